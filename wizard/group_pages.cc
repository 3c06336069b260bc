#include "wizard/group_pages.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cctype>

#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/install.h"
#include "framework/format.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "translate/translation_site.h"
#include "wizard/open_folder_dialog.h"
#include "wizard/standard_pages.h"

namespace brimwell {

namespace {

constexpr int kDividerWidth = 3;
constexpr int kIncludeWidth = 20;
constexpr int kSizeWidth = 93;
constexpr int kGroupRole = Qt::UserRole + 1;
constexpr int kShortRole = Qt::UserRole + 2;
constexpr int kGroupsHeight = 107;
constexpr int kMinGroupsHeight = 60;
constexpr int kMinMemoHeight = 30;

void Paint(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

WizPanel* Panel(TComponent* owner, PlainControl* parent, const std::string& name, WizAlign align, int width,
                int height) {
  auto* panel = new WizPanel(owner, nullptr, parent, name);
  panel->SetAlign(align);
  panel->SetBounds(0, 0, width, height);
  return panel;
}

// A figure wider than its label (a wide script, a large product) is drawn
// smaller rather than cut off.
void FitText(WizLabel* label) {
  QFont font = ToQtFont(label->ControlFont());
  const QString text = label->Label()->text();
  while (font.pixelSize() > 7 && QFontMetrics(font).horizontalAdvance(text) > label->Bounds().width - 2) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  label->Label()->setFont(font);
}

}  // namespace

// --- Controls --------------------------------------------------------------------------

TGroupTreeView::TGroupTreeView(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QTreeWidget(ParentWidget(parent)), ControlRole::kOther, true) {
  Place(this, parent, name);
  QTreeWidget* tree = Tree();
  tree->setHeaderHidden(true);
  tree->setColumnCount(1);
  tree->setFrameShape(QFrame::NoFrame);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  tree->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tree->header()->setStretchLastSection(false);
  tree->setUniformRowHeights(true);
  // The selection stays visible when the focus is elsewhere.
  QPalette palette = tree->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  tree->setPalette(palette);
}

QTreeWidget* TGroupTreeView::Tree() const { return static_cast<QTreeWidget*>(Widget()); }

TFileContainer* TGroupTreeView::GroupOf(const QTreeWidgetItem* item) {
  if (item == nullptr) return nullptr;
  return reinterpret_cast<TFileContainer*>(item->data(0, kGroupRole).value<quintptr>());
}

TFileContainer* TGroupTreeView::SelectedGroup() const { return GroupOf(Tree()->currentItem()); }

QTreeWidgetItem* TGroupTreeView::NodeOf(const TFileContainer* group) const {
  for (QTreeWidgetItemIterator it(Tree()); *it != nullptr; ++it) {
    if (GroupOf(*it) == group) return *it;
  }
  return nullptr;
}

TIncludeCheckBox::TIncludeCheckBox(TComponent* owner, PlainControl* parent)
    : QtControl<PlainControl>(owner, new QCheckBox(ParentWidget(parent)), ControlRole::kOther, true) {
  Place(this, parent, "");
  Box()->setFocusPolicy(Qt::NoFocus);
}

QCheckBox* TIncludeCheckBox::Box() const { return static_cast<QCheckBox*>(Widget()); }

TSizeLabel::TSizeLabel(TComponent* owner, PlainControl* parent) : WizLabel(owner, parent, "", 0, "", false) {
  Label()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Its text is a figure, never translated by its wording.
  SetAutoSize(false);
}

TDriveSpaceListView::TDriveSpaceListView(TComponent* owner, PlainControl* parent, const std::string& name)
    : QtControl<PlainControl>(owner, new QTreeWidget(ParentWidget(parent)), ControlRole::kOther, true) {
  Place(this, parent, name);
  QTreeWidget* list = List();
  list->setRootIsDecorated(false);
  list->setColumnCount(3);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSelectionMode(QAbstractItemView::NoSelection);
  list->setFocusPolicy(Qt::NoFocus);
  list->header()->setSectionsClickable(false);
  list->header()->setSectionsMovable(false);
  list->header()->setStretchLastSection(false);
  list->setColumnWidth(0, 50);
  list->setColumnWidth(1, 120);
  list->setColumnWidth(2, 120);
  list->setIconSize(QSize(16, 16));
  list->setUniformRowHeights(true);
}

QTreeWidget* TDriveSpaceListView::List() const { return static_cast<QTreeWidget*>(Widget()); }

int TDriveSpaceListView::RowCount() const { return List()->topLevelItemCount(); }

std::string TDriveSpaceListView::RowText(int row, int column) const {
  return FromQt(List()->topLevelItem(row)->text(column));
}

bool TDriveSpaceListView::RowShort(int row) const { return List()->topLevelItem(row)->data(0, kShortRole).toBool(); }

// --- The page --------------------------------------------------------------------------

TFileGroupSelectForm::TFileGroupSelectForm(EngineContext* ctx, QWidget* parent_widget)
    : TBaseInstallForm(ctx, "TFileGroupSelectForm", parent_widget, 5) {
  SetCaption("Select components to install");
  SetOrder(50);
  if (ctx != nullptr && ctx->Driver() != nullptr) SetContainer(ctx->Driver());

  TopDescriptionLabel = new WizLabel(this, Content(), "TopDescriptionLabel", 28,
                                     "Select the components you want to install, clear the components you do not "
                                     "want to install. Double click on a group to see all of its subgroups.");
  TopDescriptionLabel->SetAlign(WizAlign::alTop);
  TopDescriptionLabel->SetBounds(0, 0, 100, 42);
  Label5 = new WizLabel(this, Content(), "Label5", 0, "");
  Label5->SetAlign(WizAlign::alTop);
  Label5->SetBounds(0, 0, 100, 7);

  // The groups' panel: a single border around the tick column, the tree
  // and the size column.
  pnlGroups = Panel(this, Content(), "pnlGroups", WizAlign::alTop, 100, 107);
  pnlGroups->SetBorderWidth(1);
  auto* frame = new QFrame(pnlGroups->Widget());
  frame->setFrameShape(QFrame::Box);
  frame->setAttribute(Qt::WA_TransparentForMouseEvents);
  frame->setGeometry(0, 0, 10000, 107);
  const QColor window = QApplication::palette().color(QPalette::Base);
  pnlInclude = Panel(this, pnlGroups, "pnlInclude", WizAlign::alLeft, kIncludeWidth, 10);
  Paint(pnlInclude->Widget(), QPalette::Window, window);
  pnIncludeRightDivider = Panel(this, pnlInclude, "pnIncludeRightDivider", WizAlign::alRight, kDividerWidth, 10);
  Paint(pnIncludeRightDivider->Widget(), QPalette::Window, Qt::black);
  pnlIncludeSpacer = Panel(this, pnlInclude, "pnlIncludeSpacer", WizAlign::alBottom, 10, 0);
  pnlSize = Panel(this, pnlGroups, "pnlSize", WizAlign::alRight, kSizeWidth, 10);
  Paint(pnlSize->Widget(), QPalette::Window, window);
  pnlSizeRightDivider = Panel(this, pnlSize, "pnlSizeRightDivider", WizAlign::alLeft, kDividerWidth, 10);
  Paint(pnlSizeRightDivider->Widget(), QPalette::Window, Qt::black);
  pnlSizeSpacer = Panel(this, pnlSize, "pnlSizeSpacer", WizAlign::alBottom, 10, 0);
  pnlIncludeSpacer->SetVisible(false);
  pnlSizeSpacer->SetVisible(false);
  GroupTree = new TGroupTreeView(this, pnlGroups, "GroupTree");
  GroupTree->SetAlign(WizAlign::alClient);
  frame->raise();

  Label6 = new WizLabel(this, Content(), "Label6", 0, "");
  Label6->SetAlign(WizAlign::alTop);
  Label6->SetBounds(0, 0, 100, 7);
  GroupDescLabel = new WizLabel(this, Content(), "GroupDescLabel", 29, "Description");
  GroupDescLabel->SetAlign(WizAlign::alTop);
  GroupDescLabel->SetVisible(false);

  // Bottom controls stack upwards: the directory first.
  DirectoryGroupBox = new WizGroupBox(this, Content(), "DirectoryGroupBox", "Destination Directory");
  DirectoryGroupBox->SetAlign(WizAlign::alBottom);
  DirectoryGroupBox->SetBounds(0, 0, 100, 42);
  DirectoryLabel = new WizEdit(this, DirectoryGroupBox, "DirectoryLabel");
  BrowseBtn = new WizButton(this, DirectoryGroupBox, "BrowseBtn", 48, "&Browse...");
  BrowseBtn->Button()->setAutoDefault(false);
  pnlDriveSpace = Panel(this, Content(), "pnlDriveSpace", WizAlign::alBottom, 100, 45);
  DriveList = new TDriveSpaceListView(this, pnlDriveSpace, "DriveList");
  DriveList->SetAlign(WizAlign::alClient);

  DescriptionMemo = new WizMemo(this, Content(), "DescriptionMemo");
  DescriptionMemo->SetAlign(WizAlign::alClient);
  DescriptionMemo->SetVisible(false);

  QTreeWidget* tree = GroupTree->Tree();
  auto rows = [this] { Safely([this] { LayOutRows(); }); };
  QObject::connect(tree, &QTreeWidget::itemExpanded, rows);
  QObject::connect(tree, &QTreeWidget::itemCollapsed, rows);
  QObject::connect(tree->verticalScrollBar(), &QScrollBar::valueChanged, rows);
  QObject::connect(tree, &QTreeWidget::currentItemChanged, [this] { Safely([this] { ShowDetails(); }); });
  QObject::connect(DirectoryLabel->Edit(), &QLineEdit::textChanged, [this] { Safely([this] { DirectoryEdited(); }); });
  QObject::connect(BrowseBtn->Button(), &QPushButton::clicked, [this] { Safely([this] { Browse(); }); });
  QWidget::setTabOrder(tree, DirectoryLabel->Widget());
  QWidget::setTabOrder(DirectoryLabel->Widget(), BrowseBtn->Widget());
  QWidget::setTabOrder(BrowseBtn->Widget(), BackBtn()->Widget());
  QWidget::setTabOrder(BackBtn()->Widget(), ProceedBtn()->Widget());
  QWidget::setTabOrder(ProceedBtn()->Widget(), CancelBtn()->Widget());
  ButtonPanel()->Widget()->raise();
  LayOutChildren();
}

void TFileGroupSelectForm::LayOutChildren() {
  // Designed for a caption 13 pixels high; a taller font moves them down.
  const int below = std::max(0, DirectoryGroupBox->CaptionHeight() - 13);
  DirectoryLabel->SetBounds(10, 14 + below / 2, 209, 21);
  BrowseBtn->SetBounds(226, 11 + below / 2, 89, 25);
  // The groups' panel is as designed unless a long description (a wide
  // script, a large font) leaves too little room: then it gives way, so
  // that nothing stacked from the top runs into the drive list.
  pnlGroups->SetBounds(0, 0, pnlGroups->Bounds().width, kGroupsHeight);
  TBaseInstallForm::LayOutChildren();
  const int free = DescriptionMemo->Visible() ? DescriptionMemo->Bounds().height - kMinMemoHeight
                                               : pnlDriveSpace->Bounds().top - (Label6->Bounds().top + Label6->Bounds().height);
  if (free < 0) {
    pnlGroups->SetBounds(0, 0, pnlGroups->Bounds().width, std::max(kMinGroupsHeight, kGroupsHeight + free));
    TBaseInstallForm::LayOutChildren();
  }
  for (QFrame* frame : pnlGroups->Widget()->findChildren<QFrame*>(Qt::FindDirectChildrenOnly)) {
    if (frame->frameShape() == QFrame::Box) frame->setGeometry(0, 0, pnlGroups->Bounds().width, pnlGroups->Bounds().height);
  }
  if (GroupTree->Tree()->topLevelItemCount() > 0) LayOutRows();
}

TFileContainer* TFileGroupSelectForm::Groups() const {
  TInstallContainer* c = Container();
  if (c == nullptr) Raise<IException>(Context(), kNoGroupsContainer);
  auto* groups = dynamic_cast<TFileContainer*>(c);
  if (groups == nullptr) Raise<IException>(Context(), kNotFileContainer, {c->DisplayName()});
  return groups;
}

bool TFileGroupSelectForm::SkipPage() {
  if (Container() == nullptr) return true;
  const TInstallType type = Container()->CurrentInstallType();
  return type != TInstallType::itAlways && type != TInstallType::itCustom;
}

void TFileGroupSelectForm::PreparePage() {
  BackBtn()->SetVisible(!IsFirstPage());
  BuildTree();
  RefreshDrives();
  ShowDetails();
  if (ProceedBtn()->Visible() && Widget()->isVisible()) ProceedBtn()->Button()->setFocus();
}

void TFileGroupSelectForm::AssignFrom(TCustomBaseInstallDlg& dialog) {
  TBaseInstallForm::AssignFrom(dialog);
  PreparePage();
  BackBtn()->SetVisible(false);
}

void TFileGroupSelectForm::AddNodes(QTreeWidgetItem* node, TFileContainer* group) {
  node->setText(0, ToQt(TranslateMessage(Site(), group->GroupName())));
  node->setData(0, kGroupRole, QVariant::fromValue(reinterpret_cast<quintptr>(group)));
  for (int i = 0; i < group->FileContainerCount(); ++i) {
    TFileContainer* sub = group->FileContainers(i);
    if (sub == nullptr || sub == group) continue;
    AddNodes(new QTreeWidgetItem(node), sub);
  }
}

void TFileGroupSelectForm::BuildTree() {
  TFileContainer* root = Groups();
  QTreeWidget* tree = GroupTree->Tree();
  suppress_ = true;
  tree->clear();
  auto* top = new QTreeWidgetItem(tree);
  AddNodes(top, root);
  top->setExpanded(true);
  tree->setCurrentItem(top);
  suppress_ = false;
  // The tick and size columns keep level with the rows above the tree's
  // horizontal scroll bar.
  const int bar = tree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tree);
  pnlIncludeSpacer->SetBounds(0, 0, 10, bar);
  pnlSizeSpacer->SetBounds(0, 0, 10, bar);
  pnlIncludeSpacer->SetVisible(true);
  pnlSizeSpacer->SetVisible(true);
  pnlGroups->LayOutChildren();
  LayOutRows();
}

std::string TFileGroupSelectForm::BytesText(std::int64_t bytes) const {
  return Format("%0.0n %s", {static_cast<double>(bytes), TranslateMessage(Site(), "Bytes")});
}

void TFileGroupSelectForm::LayOutRows() {
  QTreeWidget* tree = GroupTree->Tree();
  const int height = tree->viewport()->height();
  std::size_t row = 0;
  setting_ticks_ = true;
  for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
    QTreeWidgetItem* item = *it;
    bool shown = true;
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) shown = shown && up->isExpanded();
    if (!shown) continue;
    const QRect r = tree->visualItemRect(item);
    if (r.top() < 0) continue;
    if (r.top() > height) break;
    TFileContainer* group = TGroupTreeView::GroupOf(item);
    if (row == IncludeList.size()) {
      auto* box = new TIncludeCheckBox(this, pnlInclude);
      QObject::connect(box->Box(), &QCheckBox::clicked, [this, box] { Safely([this, box] { Ticked(box); }); });
      IncludeList.push_back(box);
      auto* size = new TSizeLabel(this, pnlSize);
      size->SetControlFont(TopDescriptionLabel->ControlFont());
      SizeList.push_back(size);
    }
    TIncludeCheckBox* box = IncludeList[row];
    box->SetGroup(group);
    box->SetBounds(3, r.top(), kIncludeWidth - kDividerWidth - 3, r.height());
    box->Box()->setChecked(group->IsSelected());
    box->Box()->setEnabled(group->AllowChoice());
    box->SetVisible(true);
    TSizeLabel* size = SizeList[row];
    size->SetBounds(kDividerWidth + 1, r.top(), kSizeWidth - kDividerWidth - 3 - 1, r.height());
    size->SetCaption(BytesText(group->TotalSize(false, true)));
    FitText(size);
    size->SetVisible(true);
    ++row;
  }
  for (std::size_t i = row; i < IncludeList.size(); ++i) {
    IncludeList[i]->SetVisible(false);
    SizeList[i]->SetVisible(false);
  }
  setting_ticks_ = false;
}

void TFileGroupSelectForm::Ticked(TIncludeCheckBox* box) {
  if (setting_ticks_ || box->Group() == nullptr) return;
  box->Group()->SetInclude(box->Box()->isChecked());
  LayOutRows();
  ShowDetails();
  RefreshDrives();
}

void TFileGroupSelectForm::ShowDetails() {
  if (suppress_) return;
  TFileContainer* group = GroupTree->SelectedGroup();
  suppress_ = true;
  if (group != nullptr) {
    DirectoryLabel->Edit()->setText(ToQt(group->GetDestPath()).toLower());
    BrowseBtn->Widget()->setEnabled(group->AllowChangeDir());
    const std::vector<std::string>& lines = group->Description();
    const bool has_text = !lines.empty();
    std::vector<std::string> shown;
    for (const std::string& line : lines) shown.push_back(Site() != nullptr ? TranslateMessage(Site(), line) : line);
    DescriptionMemo->SetListTexts(shown);
    DescriptionMemo->SetVisible(has_text);
    GroupDescLabel->SetVisible(has_text);
    LayOutChildren();
  }
  suppress_ = false;
  GroupTree->Tree()->viewport()->update();
}

void TFileGroupSelectForm::DirectoryEdited() {
  QLineEdit* edit = DirectoryLabel->Edit();
  if (KeepLowerCase(edit)) return;  // comes back here with the lower-case text
  TFileContainer* group = GroupTree->SelectedGroup();
  if (suppress_ || group == nullptr) return;
  group->SetDestDirType(nullptr);
  group->SetDestDir(FromQt(edit->text()));
}

void TFileGroupSelectForm::Browse() {
  TFileContainer* group = GroupTree->SelectedGroup();
  if (group == nullptr || Context() == nullptr) return;
  BrowseDestination(*Context(), *group, OnBrowse);
  ShowDetails();
  RefreshDrives();
}

void TFileGroupSelectForm::RefreshDrives() {
  TFileContainer* root = Groups();
  drives_.clear();
  QTreeWidget* list = DriveList->List();
  list->clear();
  FileSystem* fs = Context() != nullptr ? &Context()->GetMachine().GetFileSystem() : nullptr;
  std::function<void(TFileContainer*)> walk = [&](TFileContainer* group) {
    std::string dest = group->GetDestPath();
    std::transform(dest.begin(), dest.end(), dest.begin(), [](unsigned char c) { return std::toupper(c); });
    const bool selected = group->IsSelected();
    const char letter = dest.empty() ? '\0' : dest[0];
    if (letter >= 'A' && letter <= 'Z' && dest[0] != '\\') {
      const std::int64_t bytes = selected ? group->TotalSize(false, false) : 0;
      auto known = std::find_if(drives_.begin(), drives_.end(), [&](const DriveSpace& d) { return d.letter == letter; });
      if (known != drives_.end()) {
        known->required += bytes;
      } else if (drives_.size() < kMaxDrives) {
        std::int64_t free = -1;
        try {
          if (fs != nullptr) free = fs->DiskFree(letter - 'A' + 1);
        } catch (const std::exception&) {
          free = -1;  // a drive that cannot be read shows -1 free
        }
        drives_.push_back({letter, bytes, free});
      }
    }
    if (!selected) return;
    for (int i = 0; i < group->FileContainerCount(); ++i) {
      TFileContainer* sub = group->FileContainers(i);
      if (sub != nullptr && sub != group) walk(sub);
    }
  };
  walk(root);

  const QIcon drive = list->style()->standardIcon(QStyle::SP_DriveHDIcon);
  const QIcon shortage = list->style()->standardIcon(QStyle::SP_MessageBoxWarning);
  for (const DriveSpace& d : drives_) {
    auto* item = new QTreeWidgetItem(list);
    const bool short_of_space = d.required >= d.free;
    item->setText(0, QString(QChar(d.letter)) + ":");
    item->setText(1, ToQt(BytesText(d.required)));
    item->setText(2, ToQt(BytesText(d.free)));
    item->setIcon(0, short_of_space ? shortage : drive);
    item->setData(0, kShortRole, short_of_space);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  }
  list->setHeaderLabels({"", ToQt(TranslateMessage(Site(), "Space Required:")),
                         ToQt(TranslateMessage(Site(), "Space Available:"))});
  // The figures' columns are 120 wide, wider where their titles or figures
  // need it; the drive column gives way first.
  int figures = 0;
  for (int column : {1, 2}) {
    list->resizeColumnToContents(column);
    const int wanted = std::max({120, list->columnWidth(column), list->header()->sectionSizeHint(column)});
    list->setColumnWidth(column, wanted);
    figures += wanted;
  }
  list->setColumnWidth(0, std::clamp(list->viewport()->width() - figures, 40, 50));
  const int rows = static_cast<int>(drives_.size());
  // As designed (two rows shown, more scroll), or higher where the header
  // and two rows in the page's font need more.
  int height = rows > 2 ? 61 : 18 * rows + 25;
  if (rows > 0) {
    const int needed = list->header()->sizeHint().height() + std::min(rows, 2) * list->sizeHintForRow(0) +
                       2 * list->frameWidth();
    height = std::max(height, needed);
  }
  pnlDriveSpace->SetBounds(0, 0, pnlDriveSpace->Bounds().width, height);
  LayOutChildren();
}

void RegisterGroupPages(QtWizardHost& host) {
  host.RegisterForm("TFileGroupSelectForm",
                    [](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
                      return std::make_unique<TFileGroupSelectForm>(ctx, parent);
                    });
}

}  // namespace brimwell
