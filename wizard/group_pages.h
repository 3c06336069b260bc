// The file group page: a tree of the installation's file groups with a
// tick box and a size beside each row, the selected group's description
// and destination, and per drive the space the selection needs and the
// space free. Every choice is written into the groups at once (Include,
// DestDir/DestDirType), so the run installs what the page shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wizard/base_forms.h"

class QCheckBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace brimwell {

class TFileContainer;
class TOpenFolderDialog;

inline constexpr char kNoGroupsContainer[] = "Cannot show the install file groups dialog for blank container property";
inline constexpr char kNotFileContainer[] = "Container is not a TFileContainer for %s";

// The tree of groups: no border, the selection always shown, no editing.
class TGroupTreeView : public QtControl<PlainControl> {
 public:
  TGroupTreeView(TComponent* owner, PlainControl* parent, const std::string& name);
  QTreeWidget* Tree() const;
  // The group a node shows.
  static TFileContainer* GroupOf(const QTreeWidgetItem* item);
  TFileContainer* SelectedGroup() const;
  // The node showing `group`, or nullptr.
  QTreeWidgetItem* NodeOf(const TFileContainer* group) const;
};

// The tick box of one row; it refers to the row's group.
class TIncludeCheckBox : public QtControl<PlainControl> {
 public:
  TIncludeCheckBox(TComponent* owner, PlainControl* parent);
  QCheckBox* Box() const;
  TFileContainer* Group() const { return group_; }
  void SetGroup(TFileContainer* group) { group_ = group; }

 private:
  TFileContainer* group_ = nullptr;
};

// The size of one row's group, right-aligned.
class TSizeLabel : public WizLabel {
 public:
  TSizeLabel(TComponent* owner, PlainControl* parent);
};

// The row controls of one column, made as rows need them and reused.
template <class Control>
using TFGSFList = std::vector<Control*>;
using TIncludeList = TFGSFList<TIncludeCheckBox>;
using TSizeList = TFGSFList<TSizeLabel>;

// One drive of the space list.
struct DriveSpace {
  char letter = 'C';
  std::int64_t required = 0;
  std::int64_t free = -1;
};

// The drive list: drive, space required, space available.
class TDriveSpaceListView : public QtControl<PlainControl> {
 public:
  TDriveSpaceListView(TComponent* owner, PlainControl* parent, const std::string& name);
  QTreeWidget* List() const;
  // The rows shown: drive letter, the two figures and the shortage mark.
  int RowCount() const;
  std::string RowText(int row, int column) const;
  bool RowShort(int row) const;
};

class TFileGroupSelectForm : public TBaseInstallForm {
 public:
  // At most this many drives are listed.
  static constexpr std::size_t kMaxDrives = 25;

  TFileGroupSelectForm(EngineContext* ctx, QWidget* parent_widget);

  bool SkipPage() override;
  void PreparePage() override;
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;
  void LayOutChildren() override;

  // Rebuilds the tree from the container (the root selected and open).
  void BuildTree();
  // Places a tick box and a size label beside each visible row.
  void LayOutRows();
  // The selected group's destination, Browse and description.
  void ShowDetails();
  // Sums the selection's bytes per drive and reads each drive's free space.
  void RefreshDrives();
  // The Browse button.
  void Browse();
  const std::vector<DriveSpace>& Drives() const { return drives_; }
  // The size label's text for `bytes`.
  std::string BytesText(std::int64_t bytes) const;

  // Test hook: called with each folder browser before it runs.
  std::function<void(TOpenFolderDialog&)> OnBrowse;

  WizLabel* TopDescriptionLabel;
  WizLabel* Label5;
  WizPanel* pnlGroups;
  WizPanel* pnlInclude;
  WizPanel* pnIncludeRightDivider;
  WizPanel* pnlIncludeSpacer;
  WizPanel* pnlSize;
  WizPanel* pnlSizeRightDivider;
  WizPanel* pnlSizeSpacer;
  TGroupTreeView* GroupTree;
  WizLabel* Label6;
  WizLabel* GroupDescLabel;
  WizMemo* DescriptionMemo;
  WizPanel* pnlDriveSpace;
  TDriveSpaceListView* DriveList;
  WizGroupBox* DirectoryGroupBox;
  WizEdit* DirectoryLabel;
  WizButton* BrowseBtn;
  TIncludeList IncludeList;
  TSizeList SizeList;

 private:
  // The page's container as a file container; throws the page's messages.
  TFileContainer* Groups() const;
  void AddNodes(QTreeWidgetItem* node, TFileContainer* group);
  void Ticked(TIncludeCheckBox* box);
  void DirectoryEdited();

  bool suppress_ = false;
  bool setting_ticks_ = false;
  std::vector<DriveSpace> drives_;
};

// Registers the group pages with a host.
void RegisterGroupPages(QtWizardHost& host);

}  // namespace brimwell
