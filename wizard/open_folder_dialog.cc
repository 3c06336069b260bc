#include "wizard/open_folder_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "engine/engine_context.h"
#include "framework/application.h"
#include "framework/format.h"
#include "framework/text_case.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "wizard/folder_window.h"
#include "wizard/wizard_controls.h"

namespace brimwell {

namespace {

constexpr std::uint32_t kDirectoryAttribute = 0x10;
constexpr int kPathRole = Qt::UserRole;
constexpr int kListedRole = Qt::UserRole + 1;

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

std::string Join(const std::string& dir, const std::string& name) {
  return !dir.empty() && dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool DirectoryExistsSafely(FileSystem& fs, const std::string& path) {
  try {
    return fs.DirectoryExists(path);
  } catch (const std::exception&) {
    return false;
  }
}

bool ForceDirectoriesSafely(FileSystem& fs, const std::string& path) {
  try {
    return fs.ForceDirectories(path);
  } catch (const std::exception&) {
    return false;
  }
}

TOpenFolderDialog::TOpenFolderDialog(EngineContext& ctx) : ctx_(ctx) {}
TOpenFolderDialog::~TOpenFolderDialog() = default;

std::string TOpenFolderDialog::NearestExisting(const std::string& path) const {
  std::string p = Trim(path);
  FileSystem& fs = ctx_.GetMachine().GetFileSystem();
  while (!p.empty()) {
    std::string probe = p.size() <= 3 && p.back() != '\\' ? p + "\\" : p;
    if (DirectoryExistsSafely(fs, probe)) {
      return probe.size() <= 3 ? probe : WithoutTrailingSlash(probe);
    }
    const auto cut = p.find_last_of('\\');
    if (cut == std::string::npos) return "";
    p = p.substr(0, cut);
  }
  return "";
}

bool TOpenFolderDialog::Execute() {
  FolderWindow window(ctx_, *this);
  const std::string start = NearestExisting(Path);
  if (!start.empty()) window.SelectPath(start);
  window.show();
  if (OnShown) OnShown(window);
  int result = window.result();
  if (window.isVisible()) result = window.exec();
  if (result != QDialog::Accepted) return false;
  Path = ShowPathEdit ? window.CurrentPath() : window.SelectedPath();
  return true;
}

// --- The window ------------------------------------------------------------------------

FolderWindow::FolderWindow(EngineContext& ctx, TOpenFolderDialog& dialog)
    : QDialog(QApplication::activeWindow(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ctx_(ctx),
      dialog_(dialog) {
  setModal(true);
  setWindowTitle(ToQt(ctx.Translate(kBrowseFolderTitle)));
  QFont font("Liberation Sans");
  font.setPixelSize(11);
  setFont(font);
  resize(320, 360);
  auto* layout = new QVBoxLayout(this);
  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  layout->addWidget(tree_, 1);
  if (dialog.ShowPathEdit) {
    edit_ = new QLineEdit(this);
    edit_->setObjectName("TOFDPathEdit");
    layout->addWidget(edit_);
    connect(edit_, &QLineEdit::textEdited, this, [this] { Typed(); });
  }
  auto* buttons = new QHBoxLayout();
  if (dialog.ShowCreateButton) {
    create_ = new QPushButton(ToQt(ctx.Translate(kCreateFolderCaption)), this);
    create_->setObjectName("TOFDCreateButton");
    create_->setAutoDefault(false);
    buttons->addWidget(create_);
    connect(create_, &QPushButton::clicked, this, [this] { CreateFolder(); });
  }
  buttons->addStretch(1);
  ok_ = new QPushButton(ToQt(ctx.Translate("OK")), this);
  ok_->setDefault(true);
  cancel_ = new QPushButton(ToQt(ctx.Translate("Cancel")), this);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  // The drives of the machine, each opened when the user opens it.
  for (const DriveMapping& drive : ctx.GetMachine().GetPaths().Drives()) {
    const std::string root = std::string(1, drive.letter) + ":\\";
    AddFolder(nullptr, std::string(1, drive.letter) + ":", root);
  }
  connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Expand(item); });
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { SelectionChanged(); });
}

QTreeWidgetItem* FolderWindow::AddFolder(QTreeWidgetItem* parent, const std::string& label, const std::string& path) {
  auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, ToQt(label));
  item->setData(0, kPathRole, ToQt(path));
  item->setData(0, kListedRole, false);
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item;
}

void FolderWindow::Expand(QTreeWidgetItem* item) {
  if (item->data(0, kListedRole).toBool()) return;
  item->setData(0, kListedRole, true);
  const std::string dir = FromQt(item->data(0, kPathRole).toString());
  WinResult<std::vector<FindData>> found = std::vector<FindData>{};
  try {
    found = ctx_.GetMachine().GetFileSystem().FindFiles(Join(dir, "*.*"));
  } catch (const std::exception&) {
    found = std::vector<FindData>{};
  }
  bool any = false;
  if (found.ok()) {
    for (const FindData& entry : *found) {
      if ((entry.attributes & kDirectoryAttribute) == 0) continue;
      AddFolder(item, entry.name, Join(dir, entry.name));
      any = true;
    }
  }
  if (!any) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool FolderWindow::SelectPath(const std::string& path) {
  std::string p = Trim(path);
  if (p.size() < 2 || p[1] != ':') return false;
  QTreeWidgetItem* item = nullptr;
  const std::string drive = AsciiUpperCase(p.substr(0, 2));
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
    if (FromQt(tree_->topLevelItem(i)->text(0)) == drive) item = tree_->topLevelItem(i);
  }
  if (item == nullptr) return false;
  std::string rest = p.size() > 3 ? p.substr(3) : "";
  while (!rest.empty()) {
    const auto cut = rest.find('\\');
    const std::string part = rest.substr(0, cut);
    rest = cut == std::string::npos ? "" : rest.substr(cut + 1);
    if (part.empty()) continue;
    Expand(item);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount() && next == nullptr; ++i) {
      if (SameText(FromQt(item->child(i)->text(0)), part)) next = item->child(i);
    }
    if (next == nullptr) return false;
    item->setExpanded(true);
    item = next;
  }
  selecting_ = true;
  tree_->setCurrentItem(item);
  tree_->scrollToItem(item);
  selecting_ = false;
  return true;
}

std::string FolderWindow::SelectedPath() const {
  QTreeWidgetItem* item = tree_->currentItem();
  return item != nullptr ? FromQt(item->data(0, kPathRole).toString()) : std::string();
}

void FolderWindow::SelectionChanged() {
  current_ = SelectedPath();
  if (edit_ != nullptr && !typing_) edit_->setText(ToQt(current_));
  if (create_ != nullptr) create_->setVisible(ok_->isEnabled());
}

void FolderWindow::Typed() {
  if (selecting_) return;
  typing_ = true;
  current_ = Trim(FromQt(edit_->text()));
  // The tree follows what is typed as far as it exists.
  SelectPath(current_);
  current_ = Trim(FromQt(edit_->text()));
  typing_ = false;
}

void FolderWindow::CreateFolder(const std::string* name) {
  bool allow = true;
  if (dialog_.OnCreateFolder) dialog_.OnCreateFolder(&dialog_, allow);
  if (!allow) return;
  FileSystem& fs = ctx_.GetMachine().GetFileSystem();
  std::string target;
  const std::string typed = edit_ != nullptr ? Trim(FromQt(edit_->text())) : std::string();
  if (!typed.empty() && !DirectoryExistsSafely(fs, typed)) {
    target = typed;
  } else {
    std::string folder;
    if (name != nullptr) {
      folder = *name;
    } else {
      bool ok = false;
      QString answer = QInputDialog::getText(this, ToQt(ctx_.Translate(kCreateFolderCaption)).remove('&'),
                                             ToQt(ctx_.Translate(kNewFolderPrompt)), QLineEdit::Normal, QString(),
                                             &ok);
      if (!ok) return;
      folder = Trim(FromQt(answer));
    }
    if (folder.empty() || current_.empty()) return;
    target = Join(current_, folder);
  }
  if (!ForceDirectoriesSafely(fs, target)) {
    MessageBoxRequest box;
    box.text = Format(ctx_.Translate(kCannotCreateFolder), {target});
    box.icon = MessageBoxIcon::kError;
    ctx_.App().MessageBox(box);
    return;
  }
  // The new folder shows in the tree, selected.
  current_ = WithoutTrailingSlash(target);
  const std::string parent = current_.substr(0, current_.find_last_of('\\'));
  for (QTreeWidgetItem* item : tree_->findItems("*", Qt::MatchWildcard | Qt::MatchRecursive)) {
    if (SameText(FromQt(item->data(0, kPathRole).toString()), parent) ||
        SameText(FromQt(item->data(0, kPathRole).toString()), parent + "\\")) {
      qDeleteAll(item->takeChildren());
      item->setData(0, kListedRole, false);
    }
  }
  SelectPath(current_);
  if (edit_ != nullptr) edit_->setText(ToQt(current_));
}

void FolderWindow::accept() {
  if (dialog_.ShowPathEdit) {
    current_ = Trim(FromQt(edit_->text()));
    if (current_.empty()) return;
    FileSystem& fs = ctx_.GetMachine().GetFileSystem();
    if (!DirectoryExistsSafely(fs, current_) && !ForceDirectoriesSafely(fs, current_)) {
      // Reported here, with the window still open for another path.
      MessageBoxRequest box;
      box.text = Format(ctx_.Translate(kCannotCreateFolder), {current_});
      box.icon = MessageBoxIcon::kError;
      ctx_.App().MessageBox(box);
      return;
    }
  } else if (SelectedPath().empty()) {
    return;
  }
  QDialog::accept();
}

}  // namespace brimwell
