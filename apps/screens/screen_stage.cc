#include "apps/screens/screen_stage.h"

#include <QApplication>
#include <QMainWindow>
#include <QPixmap>

#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/project_form.h"
#include "framework/class_registry.h"
#include "framework/project_file.h"
#include "platform/machine.h"
#include "presentation/presentation_classes.h"
#include "presentation/qt_presentation.h"
#include "system/system_classes.h"
#include "wizard/base_forms.h"
#include "wizard/dialog_manager.h"
#include "wizard/qt_application.h"

namespace brimwell::screens {

ScreenStage::ScreenStage(QApplication& qt, const std::string& prefix)
    : ui_(std::make_unique<QtApplication>(qt)),
      machine_(OpenMachine(prefix)),
      ctx_(std::make_unique<EngineContext>(*ui_, *machine_, EngineContext::Options{})),
      classes_(std::make_unique<ClassRegistry>()) {
  RegisterEngineClasses(*classes_);
  RegisterSystemClasses(*classes_);
  RegisterPresentationClasses(*classes_);
  RegisterWizardClasses(*classes_);
  wizard_ = &AttachQtWizard(*ctx_);
  form_ = std::make_unique<ProjectForm>(*ctx_, ProjectForm::Kind::kForm, ui_->GetMainForm());
}

ScreenStage::~ScreenStage() {
  kept_.clear();
  presentation_.reset();
  form_.reset();
  ctx_.reset();
}

void ScreenStage::Load(const std::string& components) {
  LoadProject(R"({"format": "brimwell-project/1", "components": )" + components + "}", *classes_, *form_);
  presentation_ = QtPresentation::AttachToMainWindow(*form_, ui_->Form().Window());
}

bool ScreenStage::Capture(const std::string& png_path) {
  QWidget* widget = capture_ != nullptr ? capture_ : &ui_->Form().Window();
  widget->show();
  QApplication::processEvents();
  return widget->grab().save(QString::fromStdString(png_path), "PNG");
}

void ScreenStage::Keep(std::unique_ptr<QWidget> widget) { kept_.push_back(std::move(widget)); }

}  // namespace brimwell::screens
