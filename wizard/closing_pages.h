// The pages that close a run: the reboot question, the good and the bad
// installation. They have no Cancel (a run that is over cannot be
// cancelled); the last page of their wizard shows Finish instead of Next.
// Only the reboot page writes back: the driver's Reboot flag.
#pragma once

#include <string>

#include "wizard/base_forms.h"

class QRadioButton;

namespace brimwell {

// The common part: Previous, Next and Finish packed from the right, the
// theme picture, no Cancel.
class TClosingForm : public TBaseInstallForm {
 public:
  TClosingForm(EngineContext* ctx, const std::string& form_class, QWidget* parent_widget);

  WizButton* FinishBtn() const { return finish_; }
  // Previous unless first, Next unless last, Finish when Next is not.
  void PreparePage() override;
  // Previous hidden, Next and Finish close a page shown alone with OK.
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;
  void LayOutChildren() override;
  // A run that is over is finished, never cancelled.
  void CancelPage() override {}

 protected:
  // Which button takes the focus: Finish on the good and bad pages.
  virtual bool FinishTakesFocus() const { return true; }

 private:
  WizButton* finish_;
};

class TRebootForm : public TClosingForm {
 public:
  TRebootForm(EngineContext* ctx, QWidget* parent_widget);
  void PreparePage() override;
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;
  void Translate() override;
  void LayOutChildren() override;
  // Selects answer 0 (reboot) or 1 (do not), which writes the driver's
  // Reboot.
  void SetAnswer(int index);
  int Answer() const;

  WizLabel* Label1;
  WizLabel* Label2;
  WizGroupBox* RG;
  QRadioButton* Yes = nullptr;
  QRadioButton* No = nullptr;

 protected:
  bool FinishTakesFocus() const override { return false; }

 private:
  void Chosen();
};

class TGoodInstallForm : public TClosingForm {
 public:
  TGoodInstallForm(EngineContext* ctx, QWidget* parent_widget);
  // The project's own words replace the standard sentence.
  void AssignFrom(TCustomBaseInstallDlg& dialog) override;

  WizLabel* TranslateLabel1;
  WizLabel* TranslateLabel2;
  WizLabel* TranslateLabel3;
  WizLabel* Label1;
};

class TBadInstallForm : public TClosingForm {
 public:
  TBadInstallForm(EngineContext* ctx, QWidget* parent_widget);
  // Shows why the run failed, when the driver knows.
  void PreparePage() override;
  // Unattended: the reason goes to standard error.
  void RunUnattended() override;

  WizLabel* TopLabel;
  WizLabel* Label1;
  WizLabel* ErrorLabel;
};

void RegisterClosingPages(QtWizardHost& host);

}  // namespace brimwell
