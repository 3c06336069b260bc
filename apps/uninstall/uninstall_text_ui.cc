#include <cstdio>

#include "apps/uninstall/uninstall_ui.h"

namespace brimwell {
namespace {

class TextUi final : public UninstallUi {
 public:
  bool Confirm(const std::string&) override { return true; }
  void Begin(const std::string& product, int) override {
    std::printf("Removing %s\n", product.c_str());
    std::fflush(stdout);
  }
  void Progress(const UninstallStep& step, int, int) override {
    std::string line = std::string(OutcomeName(step.outcome)) + ": " + step.what;
    if (!step.detail.empty()) line += " (" + step.detail + ")";
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  void Finish(const std::string& product, const UninstallReport& report) override {
    std::fputs(SummaryText(product, report).c_str(), stdout);
    std::fflush(stdout);
  }
  void ShowError(const std::string& text) override { std::fprintf(stderr, "uninstall: %s\n", text.c_str()); }
};

}  // namespace

std::string SummaryText(const std::string& product, const UninstallReport& report) {
  std::string text;
  for (const std::string& problem : report.problems) text += "The record is damaged: " + problem + ".\n";
  int removed = 0;
  for (const UninstallStep& step : report.steps) {
    if (step.outcome == StepOutcome::kRemoved) ++removed;
    if (step.outcome == StepOutcome::kKeptChanged && step.what.starts_with("file ")) {
      text += "Kept " + step.what.substr(5) + ": it was changed after the installation.\n";
    } else if (step.outcome == StepOutcome::kRefused || step.outcome == StepOutcome::kFailed) {
      text += "Not removed: " + step.what + " (" + step.detail + ").\n";
    }
  }
  if (report.Scheduled()) {
    text += "Some files are in use; they are deleted when the computer starts again.\n";
  }
  if (!report.Complete()) {
    text += product + " was not removed completely: run the uninstallation again to finish it.\n";
  } else {
    text += product + " was removed (" + std::to_string(removed) + " items).\n";
  }
  return text;
}

std::unique_ptr<UninstallUi> MakeTextUninstallUi() { return std::make_unique<TextUi>(); }

}  // namespace brimwell
