#include "engine/project_check.h"

#include <random>
#include <sstream>

#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/project_form.h"
#include "framework/class_registry.h"
#include "framework/headless_application.h"
#include "framework/project_file.h"
#include "platform/machine.h"

namespace brimwell {
namespace {

// A scratch directory removed with everything in it when it goes.
class ScratchDir {
 public:
  ScratchDir() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path candidate = base / ("brimwell-check-" + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate;
        return;
      }
    }
    throw EProjectError("cannot make a scratch directory in " + base.string());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

std::string PrepareProjectForBinding(std::string_view text, const std::filesystem::path& base_dir,
                                     RegisterClassesFunction register_more) {
  ScratchDir scratch;
  std::unique_ptr<Machine> machine = OpenMachine(scratch.path() / "prefix");
  std::ostringstream quiet;
  HeadlessApplication app(false, quiet);
  EngineContext ctx(app, *machine, {});
  ClassRegistry classes;
  RegisterEngineClasses(classes);
  if (register_more != nullptr) register_more(classes);
  ProjectForm form(ctx);
  form.SetState(ComponentState::kDesigning, true);
  LoadProject(text, classes, form, base_dir);
  return SaveProject(form);
}

}  // namespace brimwell
