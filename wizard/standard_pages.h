// The standard wizard pages of the first stage: welcome, licence, readme
// and install type. Each is a page form with the common frame
// (base_forms.h) and its own controls, laid out as designed.
#pragma once

#include "wizard/base_forms.h"

namespace brimwell {

class TWelcomeForm : public TBaseInstallForm {
 public:
  TWelcomeForm(EngineContext* ctx, QWidget* parent_widget);
  void PreparePage() override { PrepareButtons(); }

  WizLabel* Label1;
  WizLabel* Label7;
  WizLabel* Label2;
  WizLabel* Label6;
  WizLabel* Label3;
};

class TLicenseForm : public TBaseInstallForm {
 public:
  TLicenseForm(EngineContext* ctx, QWidget* parent_widget);
  void PreparePage() override { PrepareButtons(); }
  // The licence dialog's lines replace the designed text.
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;

  WizLabel* Label1;
  WizLabel* Label5;
  WizMemo* Agreement;
  WizLabel* Label8;
  WizLabel* Label2;
  WizLabel* TranslateLabel1;
};

class TReadmeForm : public TBaseInstallForm {
 public:
  TReadmeForm(EngineContext* ctx, QWidget* parent_widget);
  void PreparePage() override { PrepareButtons(); }
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;

  WizLabel* Label1;
  WizLabel* Label5;
  WizMemo* Information;
};

class TInstallTypeForm : public TBaseInstallForm {
 public:
  TInstallTypeForm(EngineContext* ctx, QWidget* parent_widget);

  // No container, or a container offering no install types.
  bool SkipPage() override;
  void PreparePage() override;
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;
  // The Browse button.
  void Browse();
  // Keeps the edit and the button below the group box's caption.
  void LayOutChildren() override;

  // Test hook: called with each folder browser before it runs.
  std::function<void(class TOpenFolderDialog&)> OnBrowse;

  WizLabel* TopDescriptionLabel;
  WizLabel* Label1;
  WizPageControl* PageControl;
  WizTabSheet* TypicalTab;
  WizTabSheet* CompactTab;
  WizTabSheet* FullTab;
  WizTabSheet* CustomTab;
  WizLabel* TypicalDesc;
  WizLabel* CompactDesc;
  WizLabel* FullDesc;
  WizLabel* CustomDesc;
  WizLabel* Label2;
  WizGroupBox* DirectoryGroupBox;
  WizEdit* edDestDir;
  WizButton* BrowseBtn;

 private:
  void TabChanged();
  void DestDirEdited();
  bool suppress_ = false;
};

// Opens the folder browser on `container`'s destination (made for the
// purpose when new, removed again when left empty); the chosen folder
// becomes its DestDir, without DestDirType. True when one was chosen.
bool BrowseDestination(EngineContext& ctx, TInstallContainer& container,
                       const std::function<void(class TOpenFolderDialog&)>& on_browse);

// Registers the standard page forms with a host.
void RegisterStandardPages(QtWizardHost& host);

}  // namespace brimwell
