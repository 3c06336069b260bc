// setupengine: the install engine. Starts the Qt application, loads the
// project bound to this executable (or named by BRIMWELL_PROJECT) onto the
// main form, and runs the message loop; the install driver chooses the mode
// and, in install mode, runs the installation when the main form is first
// activated.
#include <QApplication>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "framework/bound_project.h"
#include "engine/engine_session.h"
#include "platform/after_exit.h"
#include "presentation/presentation_classes.h"
#include "presentation/qt_presentation.h"
#include "system/system_classes.h"
#include "wizard/base_forms.h"
#include "wizard/dialog_manager.h"
#include "wizard/qt_application.h"

// Tells brimwell bind that this program is an engine.
[[gnu::used]] static const char kEngineMark[] = BRIMWELL_ENGINE_MARK;

int main(int argc, char** argv) {
  // A copy of the engine started to run the clean-up batch after the engine
  // has ended does only that.
  if (std::optional<int> status = brimwell::RunBatchAfterExitIfAsked(argc, argv)) return *status;
  // The engine's switches are its own: Qt sees only the program name, so an
  // argument such as -r or -s never reaches Qt's option parser.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  int qt_argc = 1;
  QApplication qt(qt_argc, argv);
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
