// setupengine: the install engine. Starts the Qt application, loads the
// project bound to this executable (or named by BRIMWELL_PROJECT) onto the
// main form, and runs the message loop; the install driver chooses the mode
// and, in install mode, runs the installation when the main form is first
// activated.
#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/engine_context.h"
#include "engine/engine_session.h"
#include "framework/application.h"
#include "framework/bound_project.h"
#include "framework/toolkit_version.h"
#include "framework/ui_session.h"
#include "host/host_env.h"
#include "platform/after_exit.h"
#include "presentation/presentation_classes.h"
#include "presentation/qt_presentation.h"
#include "system/system_classes.h"
#include "wizard/base_forms.h"
#include "wizard/dialog_manager.h"
#include "wizard/qt_application.h"

// Tells brimwell bind that this program is an engine.
[[gnu::used]] static const char kEngineMark[] = BRIMWELL_ENGINE_MARK;

namespace {

// True when the command line asks for an installation (no -b, -f or -r); a
// command line the driver will refuse counts as none.
bool InstallsSomething(const std::vector<std::string>& arguments) {
  try {
    brimwell::CommandLine line = brimwell::ParseCommandLine(nullptr, arguments);
    return !line.Has(brimwell::EngineSwitch::kBuild) && !line.Has(brimwell::EngineSwitch::kFloppies) &&
           !line.Has(brimwell::EngineSwitch::kReboot);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A copy of the engine started to run the clean-up batch after the engine
  // has ended does only that.
  if (std::optional<int> status = brimwell::RunBatchAfterExitIfAsked(argc, argv)) return *status;
  // The engine's switches are its own: Qt sees only the program name (and
  // the platform chosen here), so an argument such as -r or -s never reaches
  // Qt's option parser.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 1 && arguments[0] == "--help") {
    std::fputs(brimwell::kEngineUsage, stdout);
    return brimwell::kExitOk;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    std::printf("setupengine %s\n", std::string(brimwell::ToolkitVersion()).c_str());
    return brimwell::kExitOk;
  }

  brimwell::host::Env& env = brimwell::host::Env::Default();
  const bool unattended = brimwell::IsUnattended();
  const brimwell::UiPlatform platform = brimwell::ChooseUiPlatform(unattended, env);
  if (platform == brimwell::UiPlatform::kNone) {
    std::fprintf(stderr, "setupengine: %s\n", brimwell::kNoDisplay);
    return brimwell::kExitRunFailed;
  }
  // An unattended installation takes a termination signal for the user's
  // Cancel (setup.exe, waiting for it, passes them on); every other run
  // ends on one as any program does.
  env.SetTerminationSignals(unattended && InstallsSomething(arguments) ? brimwell::host::TerminationSignals::kCaught
                                                                        : brimwell::host::TerminationSignals::kDefault);
  // Made before Qt looks for it, removed after Qt is gone.
  brimwell::PrivateRuntimeDirectory runtime(env);
  std::vector<char*> qt_argv{argv[0]};
  char platform_switch[] = "-platform";
  char offscreen[] = "offscreen";
  if (platform == brimwell::UiPlatform::kOffscreen) {
    qt_argv.push_back(platform_switch);
    qt_argv.push_back(offscreen);
  }
  qt_argv.push_back(nullptr);
  int qt_argc = static_cast<int>(qt_argv.size()) - 1;
  QApplication qt(qt_argc, qt_argv.data());
  brimwell::QtApplication ui(qt);

  brimwell::EngineSession::Options options;
  options.arguments = std::move(arguments);
  brimwell::EngineSession session(ui, ui.GetMainForm(), std::move(options));
  brimwell::RegisterSystemClasses(session.Classes());
  brimwell::RegisterPresentationClasses(session.Classes());
  brimwell::RegisterWizardClasses(session.Classes());
  if (int status = session.Start(); status != brimwell::kExitOk) return status;
  // The wizard pages, shown when the run reaches them.
  if (session.Context() != nullptr) brimwell::AttachQtWizard(*session.Context());
  // The backdrop, labels and advertising panel fill the screen behind the
  // wizard; drawn from here on, before the first activation starts the run.
  std::unique_ptr<brimwell::QtPresentation> presentation;
  if (!ui.Terminated() && session.Form() != nullptr) {
    presentation = brimwell::QtPresentation::AttachToMainWindow(*session.Form(), ui.Form().Window());
  }
  if (!ui.Terminated()) {
    ui.GetMainForm()->Show();
    QApplication::exec();
  }
  return session.ExitStatus();
}
