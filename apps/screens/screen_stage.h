// The stage a screenshot case is set up on: a fresh engine context on a
// scratch prefix, the project's form and the engine's main window at the
// size of the screen, with the presentation controls drawn on it. A case
// loads its components, acts on them (a copy in progress, a page shown),
// and the stage captures the window, or another widget the case names.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QApplication;
class QWidget;

namespace brimwell {

class EngineContext;
class Machine;
class ProjectForm;
class QtApplication;
class QtPresentation;
class ClassRegistry;
class QtWizardHost;

namespace screens {

class ScreenStage {
 public:
  // `prefix` is a scratch directory for the engine's Windows machine.
  ScreenStage(QApplication& qt, const std::string& prefix);
  ~ScreenStage();

  // Loads the project's components (a JSON array of components) and draws
  // them on the main window. Throws EProjectError.
  void Load(const std::string& components);
  ProjectForm& Form() { return *form_; }
  EngineContext& Context() { return *ctx_; }
  // The window to capture; by default the engine's main window.
  void SetCapture(QWidget* widget) { capture_ = widget; }
  // Shows the window, lets it paint, and writes a PNG; false on failure.
  bool Capture(const std::string& png_path);
  // Keeps a window of the case alive until the stage goes.
  void Keep(std::unique_ptr<QWidget> widget);
  // The wizard pages of the engine.
  QtWizardHost& Wizard() { return *wizard_; }

 private:
  std::unique_ptr<QtApplication> ui_;
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<EngineContext> ctx_;
  std::unique_ptr<ClassRegistry> classes_;
  std::unique_ptr<ProjectForm> form_;
  std::unique_ptr<QtPresentation> presentation_;
  QWidget* capture_ = nullptr;
  QtWizardHost* wizard_ = nullptr;
  std::vector<std::unique_ptr<QWidget>> kept_;
};

struct ScreenCase {
  std::string name;  // the PNG's name without extension
  std::string description;
  std::function<void(ScreenStage&)> build;
};

// The cases of the wizard pages (wizard_cases.cc).
void AddWizardCases(std::vector<ScreenCase>& cases);
// The cases of the uninstall program's window (uninstall_cases.cc).
void AddUninstallCases(std::vector<ScreenCase>& cases);

// Every case, in the order they are rendered. Each subsystem with windows
// adds its cases here (see screen_cases.cc).
std::vector<ScreenCase> AllCases();

}  // namespace screens
}  // namespace brimwell
