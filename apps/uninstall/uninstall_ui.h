// What the uninstall program shows: a question before anything is removed,
// the progress, and what was done. Unattended it reports on standard
// output and asks nothing; otherwise Qt windows (when built with Qt).
#pragma once

#include <memory>
#include <string>

#include "uninstall/uninstaller.h"

namespace brimwell {

class UninstallUi {
 public:
  virtual ~UninstallUi() = default;
  // True when the user agrees to remove `product`.
  virtual bool Confirm(const std::string& product) = 0;
  virtual void Begin(const std::string& product, int planned_steps) = 0;
  virtual void Progress(const UninstallStep& step, int done, int total) = 0;
  // Shows what was done and waits until the user has read it.
  virtual void Finish(const std::string& product, const UninstallReport& report) = 0;
  virtual void ShowError(const std::string& text) = 0;
};

// The report's closing text: what was done and what is left.
std::string SummaryText(const std::string& product, const UninstallReport& report);

// The reporter on standard output (and errors on standard error).
std::unique_ptr<UninstallUi> MakeTextUninstallUi();

// Unattended: the text reporter; else the windows, or the text reporter
// without Qt. `program` is argv[0].
std::unique_ptr<UninstallUi> MakeUninstallUi(bool unattended, const char* program);

}  // namespace brimwell
