#include "engine/project_check.h"

#include <sstream>

#include "engine/custom_install_file.h"
#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/file_container.h"
#include "engine/install.h"
#include "engine/project_form.h"
#include "framework/class_registry.h"
#include "framework/exception.h"
#include "framework/headless_application.h"
#include "framework/project_file.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/machine.h"

namespace brimwell {
namespace {

// A scratch directory removed with everything in it when it goes.
class ScratchDir {
 public:
  explicit ScratchDir(host::Env& env) : env_(env) {
    const std::string base = env.TemporaryDirectory();
    host::Result<std::string> made = env.MakeTemporaryDirectory(base, "brimwell-check-");
    if (!made) throw EProjectError("cannot make a scratch directory in " + base);
    path_ = *made;
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() {
    (void)env_.RemoveTree(path_);  // best effort: a scratch left behind harms nobody
  }
  const std::string& path() const { return path_; }

 private:
  host::Env& env_;
  std::string path_;
};

}  // namespace

std::string PrepareProjectForBinding(std::string_view text, const std::string& base_dir,
                                     RegisterClassesFunction register_more, std::vector<std::string>* report) {
  return EditProject(text, base_dir, register_more, [report](ProjectForm& form) {
    if (report == nullptr) return;
    TCustomInstall* driver = nullptr;
    int unreadable = 0;
    for (int i = 0; i < form.ComponentCount(); ++i) {
      TComponent* c = form.Components(i);
      if (auto* d = dynamic_cast<TCustomInstall*>(c); d != nullptr && driver == nullptr) driver = d;
      if (auto* file = dynamic_cast<TCustomInstallFile*>(c)) {
        try {
          file->ReadSourceInfo();
        } catch (const Exception&) {
          file->SetFileSize(0);
          ++unreadable;
        }
      }
    }
    if (driver == nullptr) return;
    *report = InstallTypeReport(*driver, driver->InstallTypes());
    if (unreadable > 0) {
      report->push_back(std::to_string(unreadable) + (unreadable == 1 ? " source file" : " source files") +
                        " could not be read and counted 0 bytes");
    }
  });
}

std::string EditProject(std::string_view text, const std::string& base_dir, RegisterClassesFunction register_more,
                        const std::function<void(ProjectForm& form)>& edit) {
  ScratchDir scratch(host::Env::Default());
  std::unique_ptr<Machine> machine = OpenMachine(host::JoinPath(scratch.path(), "prefix"));
  std::ostringstream quiet;
  HeadlessApplication app(false, quiet);
  EngineContext ctx(app, *machine, {});
  ClassRegistry classes;
  RegisterEngineClasses(classes);
  if (register_more != nullptr) register_more(classes);
  ProjectForm form(ctx);
  form.SetState(ComponentState::kDesigning, true);
  LoadProject(text, classes, form, base_dir);
  // The bound engine cannot know where the project file was.
  ResolveSourceDirectories(form, base_dir);
  edit(form);
  return SaveProject(form);
}

}  // namespace brimwell
