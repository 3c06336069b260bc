// The engine fixture with the wizard on Qt (offscreen): the system and
// wizard classes registered and the standard pages attached to the engine.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include <functional>
#include <string>

#include "system/system_classes.h"
#include "tests/engine/engine_fixture.h"
#include "wizard/base_forms.h"

namespace brimwell::testing {

class WizardFixture : public EngineTest {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "wizard_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);  // lives for the whole test program
    }
  }
  WizardFixture() {
    RegisterSystemClasses(registry_);
    RegisterWizardClasses(registry_);
    host_ = &AttachQtWizard(*ctx_);
  }
  // A fresh engine with these arguments, the wizard attached again.
  void Restart(std::vector<std::string> arguments) {
    Start(std::move(arguments));
    host_ = &AttachQtWizard(*ctx_);
  }

  static void Click(WizButton* button) { button->Button()->click(); }
  static void Key(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
  }
  // Runs the wizards the run shows through `act` (each once it is shown).
  void OnWizards(const std::function<void(TBaseFormContainer&)>& act) { host_->OnWizardShown = act; }

  QtWizardHost* host_ = nullptr;
};

// Sets BRIMWELL_UNATTENDED=1 for its life.
class Unattended {
 public:
  Unattended() { ::setenv("BRIMWELL_UNATTENDED", "1", 1); }
  ~Unattended() { ::unsetenv("BRIMWELL_UNATTENDED"); }
};

}  // namespace brimwell::testing
