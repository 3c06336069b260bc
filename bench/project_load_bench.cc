// Loading and freeing a large project: N installable files in groups of
// 1,000 under the driver, read from the project's JSON text into a form
// (every component created, its properties set, references resolved,
// Loaded run) and then freed with the form. Both must grow linearly with N.
//
//   project_load_bench [N ...]     (default: 10000 20000 40000)
//
// Prints, per N, the seconds to load, the seconds to free, and the
// microseconds per component. Prints figures; never fails on them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/project_form.h"
#include "framework/class_registry.h"
#include "framework/headless_application.h"
#include "framework/project_file.h"
#include "platform/machine.h"

namespace brimwell {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string Project(int files) {
  std::ostringstream p;
  p << R"({"format": "brimwell-project/1", "components": [)"
    << R"({"class": "TInstall", "name": "Install1", "properties": {"RunAutomatic": false, "Information": {"ProductName": "Big"}}})";
  for (int i = 0; i < files; ++i) {
    if (i % 1000 == 0) {
      p << R"(, {"class": "TInstallFileGroup", "name": "Group)" << i / 1000
        << R"(", "properties": {"Container": "Install1"}})";
    }
    p << R"(, {"class": "TInstallFile", "name": "File)" << i << R"(", "properties": {"Container": "Group)"
      << i / 1000 << R"(", "IncludeFromDir": "/src", "FileName": "file)" << i << R"(.txt"}})";
  }
  p << "]}";
  return p.str();
}

}  // namespace
}  // namespace brimwell

int main(int argc, char** argv) {
  using namespace brimwell;
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {10000, 20000, 40000};
  char pattern[] = "/tmp/brimwell-load-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const fs::path work = pattern;
  std::printf("%10s %10s %10s %14s\n", "components", "load s", "free s", "us/component");
  for (int files : counts) {
    const std::string project = Project(files);
    std::unique_ptr<Machine> machine = OpenMachine(work / "prefix");
    std::ostringstream quiet;
    HeadlessApplication app(false, quiet);
    EngineContext::Options options;
    options.executable = work / "setupengine";
    EngineContext ctx(app, *machine, std::move(options));
    ClassRegistry classes;
    RegisterEngineClasses(classes);
    auto form = std::make_unique<ProjectForm>(ctx, ProjectForm::Kind::kDataModule, nullptr);
    const Clock::time_point start = Clock::now();
    LoadProject(project, classes, *form);
    const Clock::time_point loaded = Clock::now();
    const int components = form->ComponentCount();
    form.reset();
    const Clock::time_point freed = Clock::now();
    std::printf("%10d %10.2f %10.2f %14.1f\n", components, Seconds(loaded - start), Seconds(freed - loaded),
                1e6 * Seconds(freed - start) / components);
  }
  fs::remove_all(work);
  return 0;
}
