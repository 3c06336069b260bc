// The program folder page: the user names the Start-menu folder that
// receives the installation's shortcuts, typing a new name or picking one
// of the folders there are. Every change of the name is written into the
// link group at once (its DestDir becomes "\" + the name, below the
// Programs menu).
#pragma once

#include <string>
#include <vector>

#include "wizard/base_forms.h"

class QListWidget;

namespace brimwell {

// A sorted list with one selectable entry at a time.
class WizListBox : public QtControl<PlainControl> {
 public:
  WizListBox(TComponent* owner, PlainControl* parent, const std::string& name);
  QListWidget* List() const;
  std::vector<std::string> Items() const;
  void SetItems(const std::vector<std::string>& items);
};

// The names of the program folders there are: the sub-directories of the
// Programs folder on the Windows 95 family and NT 4, else the groups of
// the emulated Program Manager. A folder that cannot be read gives none.
std::vector<std::string> ExistingProgramFolders(EngineContext& ctx);

class TSelectFolderForm : public TBaseInstallForm {
 public:
  TSelectFolderForm(EngineContext* ctx, QWidget* parent_widget);

  // No container.
  bool SkipPage() override;
  void PreparePage() override;
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;
  void LayOutChildren() override;

  WizLabel* TopDescriptionLabel;
  WizLabel* Label1;
  WizLabel* ProgramFolders;
  WizLabel* Label2;
  WizPanel* Panel5;
  WizEdit* FolderEdit;
  WizLabel* Label3;
  WizLabel* ExistingFolders;
  WizLabel* Label4;
  WizListBox* FolderListBox;

 private:
  void FolderEdited();
  void ListClicked();
};

void RegisterFolderPage(QtWizardHost& host);

}  // namespace brimwell
