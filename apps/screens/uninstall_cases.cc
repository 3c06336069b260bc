// The uninstall program's window: the question, the progress half-way and
// the summary of a run that kept a file the user had changed.
#include <memory>

#include "apps/screens/screen_stage.h"
#include "apps/uninstall/uninstall_window.h"

namespace brimwell::screens {
namespace {

constexpr char kProduct[] = "Sample Tool";
constexpr char kFolder[] = "C:\\Program Files\\Brimwell Sample Tool";

std::vector<UninstallStep> SampleSteps() {
  const std::string dir = kFolder;
  const std::string menu = "C:\\WINDOWS\\Start Menu\\Programs\\Brimwell Sample Tool\\Documentation";
  return {
      {"registration of " + dir + "\\samplereg.dll", StepOutcome::kRemoved, ""},
      {"registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimwell Samples\\Sample Tool\\1.0\\InstallDir",
       StepOutcome::kRemoved, ""},
      {"INI value " + dir + "\\sampletool.ini [Paths] Docs", StepOutcome::kRemoved, ""},
      {"file " + menu + "\\Brimwell on the web.url", StepOutcome::kRemoved, ""},
      {"file " + menu + "\\Uninstall Sample Tool.lnk", StepOutcome::kRemoved, ""},
      {"file " + dir + "\\toolinfo.exe", StepOutcome::kRemoved, ""},
      {"file " + dir + "\\Docs\\readme.txt", StepOutcome::kKeptChanged, "changed since the installation; kept"},
      {"file C:\\WINDOWS\\SYSTEM32\\acmeshared.dll", StepOutcome::kShared,
       "still used by other products (count now 1)"},
      {"file " + dir + "\\samplereg.dll", StepOutcome::kRemoved, ""},
      {"folder " + menu, StepOutcome::kRemoved, ""},
  };
}

void Stage(ScreenStage& stage, const std::function<void(UninstallWindow&)>& act) {
  auto window = std::make_unique<UninstallWindow>(kProduct);
  act(*window);
  stage.SetCapture(window.get());
  stage.Keep(std::move(window));
}

}  // namespace

void AddUninstallCases(std::vector<ScreenCase>& cases) {
  cases.push_back({"uninstall-question", "the uninstall program asks before it removes a product",
                   [](ScreenStage& stage) { Stage(stage, [](UninstallWindow& w) { w.ShowQuestion(); }); }});
  cases.push_back({"uninstall-progress", "the uninstall program half-way through the sample product",
                   [](ScreenStage& stage) {
                     Stage(stage, [](UninstallWindow& w) {
                       w.ShowProgress(22);
                       int done = 0;
                       for (const UninstallStep& step : SampleSteps()) w.AddStep(step, ++done, 22);
                     });
                   }});
  cases.push_back({"uninstall-summary", "the uninstall program's summary after keeping a changed file",
                   [](ScreenStage& stage) {
                     Stage(stage, [](UninstallWindow& w) {
                       w.ShowProgress(10);
                       UninstallReport report;
                       int done = 0;
                       for (const UninstallStep& step : SampleSteps()) {
                         w.AddStep(step, ++done, 10);
                         report.steps.push_back(step);
                       }
                       report.record_removed = true;
                       w.ShowSummary(report);
                     });
                   }});
}

}  // namespace brimwell::screens
