// The windows shown while the installation works: the copy progress window
// (a bar for the current file, one for the whole pass by bytes, the file's
// name, an estimate of the time left and Cancel), the status window with
// the newest of a stack of texts, and the next-disk window that lets the
// user point to another directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "wizard/base_forms.h"

class QProgressBar;

namespace brimwell {

class TCopyFileDlg;
class TOpenFolderDialog;

// A progress bar from 0 to 100.
class WizProgressBar : public QtControl<PlainControl> {
 public:
  WizProgressBar(TComponent* owner, PlainControl* parent, const std::string& name);
  QProgressBar* Bar() const;
  int Position() const;
};

// "m:ss" (or "h:mm:ss") for a number of seconds.
std::string DurationText(std::int64_t seconds);

class TCopyFileForm : public TBaseDuringCopyForm {
 public:
  // Client area as designed.
  static constexpr int kWidth = 466;
  static constexpr int kHeight = 119;

  explicit TCopyFileForm(EngineContext* ctx);

  void UpdateProgress(TFileStatusParameter* file, TDownloadStatusParameter* download) override;
  void LayOutChildren() override;
  // The time left, estimated from the bytes done since the first update
  // ("" until there is a fair guess).
  std::string TimeLeft() const { return time_left_; }

  // Milliseconds on a steady clock (a test may set its own).
  std::function<std::int64_t()> Clock;

  WizPanel* pnlLeft;
  WizImage* UnZipImage;
  WizImage* TransferBitmap;
  WizPanel* pnlRight;
  WizButton* CancelBtn;
  WizLabel* lblCopyFileHeader;
  WizLabel* lblTimeLeft;
  WizPanel* pnlFile;
  WizLabel* Label7;
  WizLabel* lblCopyingFile;
  WizLabel* Label8;
  WizLabel* Label3;
  WizLabel* Label1;
  WizProgressBar* ProgressBar1;
  WizLabel* Label4;
  WizLabel* Label2;
  WizProgressBar* ProgressBar2;
  WizLabel* Label5;
  WizLabel* Label6;

 private:
  void ShowFile(const std::string& name);
  void Estimate(std::int64_t done, std::int64_t total);
  void Report();

  std::int64_t started_ms_ = -1;
  std::int64_t started_bytes_ = 0;
  std::int64_t reported_ms_ = -1;
  std::string time_left_;
};

// The status window: no border, one line of text beside an icon, centred.
class TInstallStatusForm : public TBaseBrimwellForm {
 public:
  explicit TInstallStatusForm(EngineContext* ctx);
  // Shows `text` (in English; translated as the form's settings say),
  // sized to it and centred on the screen.
  void ShowText(const std::string& text);
  void LayOutChildren() override;

  WizPanel* pnlBack;
  WizImage* Image1;
  WizPanel* pnlMessage;
  WizLabel* lblMessage;
};

inline constexpr char kDiskNotThere[] = "The disk number %d is not in %s";

class TChangeDiskForm : public TBaseChangeDiskForm {
 public:
  static constexpr int kWidth = 418;
  static constexpr int kHeight = 180;

  explicit TChangeDiskForm(EngineContext* ctx);
  // The prompt with the disk's number and path.
  void PreparePage() override;
  // Translates, then fills the prompt's number in again.
  void Translate() override;
  void LayOutChildren() override;
  // Browse: the folder browser, without its extra controls.
  void Browse();
  // Proceed: closes with OK when the chosen path holds the disk, else
  // says that it does not and stays.
  void Proceed();

  // Test hook: called with each folder browser before it runs.
  std::function<void(TOpenFolderDialog&)> OnBrowse;

  WizImage* ThemeBitmap;
  WizImage* Image1;
  WizLabel* PromptDiskLabel;
  WizLabel* Label2;
  WizLabel* Label4;
  WizEdit* PathEdit;
  WizButton* BrowseBtn;
  WizLabel* lblNotThere;
  WizButton* InstallBtn;
  WizButton* CancelBtn;

 private:
  void FillPrompt();
};

// Registers the three windows with a host.
void RegisterCopyWindows(QtWizardHost& host);

}  // namespace brimwell
