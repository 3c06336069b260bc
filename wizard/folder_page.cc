#include "wizard/folder_page.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>

#include <algorithm>

#include "engine/api_routines.h"
#include "engine/engine_context.h"
#include "engine/shell_folders.h"
#include "engine/standard_path_specifiers.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "system/custom_shell_link_group.h"
#include "system/program_manager.h"

namespace brimwell {

namespace {

WizLabel* Spacer(TBaseInstallForm* form, const std::string& name, int height) {
  auto* label = new WizLabel(form, form->Content(), name, 0, "");
  label->SetAlign(WizAlign::alTop);
  label->SetBounds(0, 0, 100, height);
  return label;
}

// The last element of a folder path ("\Tools\Sub" gives "Sub").
std::string LastElement(const std::string& dir) {
  std::string path = dir;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

WizListBox::WizListBox(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QListWidget(ParentWidget(parent)), ControlRole::kOther, true) {
  SetName(name);
  SetParent(parent);
  List()->setSelectionMode(QAbstractItemView::SingleSelection);
  List()->setSortingEnabled(true);
}

QListWidget* WizListBox::List() const { return static_cast<QListWidget*>(Widget()); }

std::vector<std::string> WizListBox::Items() const {
  std::vector<std::string> items;
  for (int i = 0; i < List()->count(); ++i) items.push_back(FromQt(List()->item(i)->text()));
  return items;
}

void WizListBox::SetItems(const std::vector<std::string>& items) {
  List()->clear();
  for (const std::string& item : items) List()->addItem(ToQt(item));
  List()->sortItems();
}

std::vector<std::string> ExistingProgramFolders(EngineContext& ctx) {
  std::vector<std::string> names;
  const int kind = WindowsKind(ctx);
  try {
    if (kind == kWindows95 || kind == kWindowsNT) {
      const std::string programs = GetShellFolder(ctx, ShellFolder::kPrograms);
      auto found = ctx.GetMachine().GetFileSystem().FindFiles(programs + "\\*");
      if (!found.ok()) return names;
      for (const FindData& entry : *found) {
        if (entry.name == "." || entry.name == "..") continue;
        if ((entry.attributes & kFileAttributeDirectory) != 0) names.push_back(entry.name);
      }
    } else {
      TProgramManager& progman = ProgramManagerOf(ctx);
      progman.Connect();
      progman.GetGroups(names);
    }
  } catch (const std::exception& e) {
    // The page still lets the user type a name.
    ctx.Log().Write("wizard", std::string("no existing program folders: ") + e.what());
    names.clear();
  }
  std::erase_if(names, [](const std::string& n) { return n.empty(); });
  return names;
}

TSelectFolderForm::TSelectFolderForm(EngineContext* ctx, QWidget* parent_widget)
    : TBaseInstallForm(ctx, "TSelectFolderForm", parent_widget, 8) {
  SetCaption("Select folder in start menu");
  SetOrder(60);
  if (LinkGroupRegistry* groups = LinkGroupsOf(ctx); groups != nullptr && groups->main_group != nullptr) {
    SetContainer(groups->main_group);
  }
  // The page keeps its designed font unless its dialog says otherwise.
  SetAutoSetFont(false);
  TopDescriptionLabel = new WizLabel(this, Content(), "TopDescriptionLabel", 41,
                                     "Setup will add program icons to the Program Folder listed below. You may type "
                                     "a new folder name, or select from the E&xisting Folders list.");
  TopDescriptionLabel->SetAlign(WizAlign::alTop);
  TopDescriptionLabel->SetBounds(0, 0, 100, 39);
  Label1 = Spacer(this, "Label1", 18);
  ProgramFolders = new WizLabel(this, Content(), "ProgramFolders", 42, "&Program Folder");
  ProgramFolders->SetAlign(WizAlign::alTop);
  Label2 = Spacer(this, "Label2", 7);
  Panel5 = new WizPanel(this, nullptr, Content(), "Panel5");
  Panel5->SetAlign(WizAlign::alTop);
  Panel5->SetBounds(0, 0, 100, 21);
  FolderEdit = new WizEdit(this, Panel5, "FolderEdit");
  FolderEdit->SetAlign(WizAlign::alClient);
  Label3 = Spacer(this, "Label3", 8);
  ExistingFolders = new WizLabel(this, Content(), "ExistingFolders", 43, "E&xisting Folders");
  ExistingFolders->SetAlign(WizAlign::alTop);
  Label4 = Spacer(this, "Label4", 8);
  FolderListBox = new WizListBox(this, Content(), "FolderListBox");
  FolderListBox->SetAlign(WizAlign::alClient);
  // The labels' accelerators lead to their controls.
  ProgramFolders->Label()->setBuddy(FolderEdit->Widget());
  ExistingFolders->Label()->setBuddy(FolderListBox->Widget());
  TopDescriptionLabel->Label()->setBuddy(FolderListBox->Widget());

  QObject::connect(FolderEdit->Edit(), &QLineEdit::textChanged, [this] { Safely([this] { FolderEdited(); }); });
  QObject::connect(FolderListBox->List(), &QListWidget::itemClicked, [this] { Safely([this] { ListClicked(); }); });
  QObject::connect(FolderListBox->List(), &QListWidget::currentRowChanged,
                   [this] { Safely([this] { ListClicked(); }); });
  QWidget::setTabOrder(FolderEdit->Widget(), FolderListBox->Widget());
  QWidget::setTabOrder(FolderListBox->Widget(), BackBtn()->Widget());
  QWidget::setTabOrder(BackBtn()->Widget(), ProceedBtn()->Widget());
  QWidget::setTabOrder(ProceedBtn()->Widget(), CancelBtn()->Widget());
  ButtonPanel()->Widget()->raise();
  LayOutChildren();
}

void TSelectFolderForm::LayOutChildren() {
  // A resized page keeps its spacers.
  Label1->SetBounds(0, 0, 100, 18);
  Label3->SetBounds(0, 0, 100, 8);
  Label4->SetBounds(0, 0, 100, 8);
  // The edit is as high as its font needs, at least as designed.
  Panel5->SetBounds(0, 0, 100, std::max(21, FolderEdit->Edit()->sizeHint().height()));
  TBaseInstallForm::LayOutChildren();
}

bool TSelectFolderForm::SkipPage() { return Container() == nullptr; }

void TSelectFolderForm::PreparePage() {
  BackBtn()->SetVisible(!IsFirstPage());
  if (Context() != nullptr) FolderListBox->SetItems(ExistingProgramFolders(*Context()));
  std::string folder;
  if (TInstallContainer* c = Container()) {
    if (dynamic_cast<TpsProgramMenu*>(c->DestDirType()) != nullptr) folder = LastElement(c->DestDir());
  }
  if (folder.empty() && FolderListBox->List()->count() > 0) folder = FromQt(FolderListBox->List()->item(0)->text());
  // Showing the name stores it (the change below), even when unchanged.
  if (ToQt(folder) == FolderEdit->Edit()->text()) {
    FolderEdited();
  } else {
    FolderEdit->Edit()->setText(ToQt(folder));
  }
  if (ProceedBtn()->Visible() && Widget()->isVisible()) ProceedBtn()->Button()->setFocus();
}

void TSelectFolderForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TBaseInstallForm::AssignFrom(dialog);
  PreparePage();
  BackBtn()->SetVisible(false);
}

void TSelectFolderForm::FolderEdited() {
  TInstallContainer* c = Container();
  if (c == nullptr || Context() == nullptr) return;
  c->SetDestDirType(StandardSpecifier<TpsProgramMenu>(Context()));
  c->SetDestDir("\\" + FromQt(FolderEdit->Edit()->text()));
}

void TSelectFolderForm::ListClicked() {
  QListWidgetItem* item = FolderListBox->List()->currentItem();
  if (item == nullptr || !item->isSelected()) return;
  FolderEdit->Edit()->setText(item->text());
}

void RegisterFolderPage(QtWizardHost& host) {
  host.RegisterForm("TSelectFolderForm", [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
    return std::make_unique<TSelectFolderForm>(ctx, parent);
  });
}

}  // namespace brimwell
