#include "engine/engine_session.h"

#include <optional>

#include "engine/custom_install_file.h"
#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "engine/project_form.h"
#include "engine/run_log.h"
#include "framework/application.h"
#include "framework/bound_project.h"
#include "framework/project_file.h"
#include "host/host_env.h"
#include "platform/machine.h"

namespace brimwell {

EngineSession::EngineSession(Application& app, MainForm* window, Options options)
    : app_(app), window_(window), options_(std::move(options)) {
  RegisterEngineClasses(classes_);
}

EngineSession::~EngineSession() {
  form_.reset();
  ctx_.reset();
  machine_.reset();
}

int EngineSession::Fail(int status, const std::string& text) {
  if (ctx_) ctx_->Log().Write("error", text);
  MessageBoxRequest box;
  box.text = text;
  box.icon = MessageBoxIcon::kError;
  app_.MessageBox(box);
  start_status_ = status;
  return status;
}

int EngineSession::Start() {
  if (app_.Title().empty()) app_.SetTitle(kDefaultTitle);
  try {
    machine_ = options_.prefix.empty() ? OpenInstallMachine() : OpenMachine(options_.prefix);
  } catch (const std::exception& e) {
    return Fail(kExitRunFailed, e.what());
  }
  EngineContext::Options ctx_options;
  ctx_options.arguments = options_.arguments;
  ctx_options.executable = options_.executable;
  ctx_options.log = options_.log ? std::move(options_.log) : RunLog::FromEnvironment();
  ctx_ = std::make_unique<EngineContext>(app_, *machine_, std::move(ctx_options));
  form_ = std::make_unique<ProjectForm>(*ctx_, ProjectForm::Kind::kForm, window_);

  std::string args;
  for (const std::string& a : options_.arguments) args += (args.empty() ? "" : " ") + a;
  ctx_->Log().Write("start", ctx_->ExecutableHostPath().string() + " " + args);

  try {
    if (std::optional<std::string> bound = ReadOwnBoundProject()) {
      ctx_->Log().Write("project", "bound to the engine");
      LoadProject(*bound, classes_, *form_);
    } else {
      std::optional<std::string> file = host::Env::Default().GetEnv(kProjectEnvironmentVariable);
      if (!file || file->empty()) return Fail(kExitProjectError, ctx_->Translate(kNoProject));
      ctx_->Log().Write("project", *file);
      LoadProjectFile(*file, classes_, *form_);
      const std::string::size_type slash = file->rfind('/');
      ResolveSourceDirectories(*form_, slash == std::string::npos ? std::string(".") : file->substr(0, slash));
    }
  } catch (const EProjectError& e) {
    return Fail(kExitProjectError, e.Message());
  } catch (const EStreamError& e) {
    return Fail(kExitProjectError, e.Message());  // a damaged bound project
  } catch (const EAIInstallRunning& e) {
    return Fail(kExitInstallRunning, e.Message());
  } catch (const std::exception& e) {
    // A Loaded refused the start (a bad switch, no main form).
    return Fail(kExitRunFailed, e.what());
  }
  TCustomInstall* driver = ctx_->Driver();
  // Without a driver nothing would ever start or end the application.
  if (driver == nullptr) return Fail(kExitProjectError, ctx_->Translate(kNoDriver));
  if (!driver->Information().ProductName().empty()) app_.SetTitle(driver->Information().ProductName());
  return kExitOk;
}

int EngineSession::ExitStatus() const {
  if (start_status_ != kExitOk) return start_status_;
  return ctx_ ? ctx_->ExitStatus() : kExitOk;
}

}  // namespace brimwell
