// The uninstall program's windows over Qt: one window that asks, shows
// the progress and stays open with the summary until the user closes it.
#include <QApplication>
#include <QMessageBox>

#include "apps/uninstall/uninstall_ui.h"
#include "apps/uninstall/uninstall_window.h"

namespace brimwell {
namespace {

class QtUi final : public UninstallUi {
 public:
  explicit QtUi(const char* program) : argv_{const_cast<char*>(program), nullptr}, qt_(argc_, argv_) {}

  bool Confirm(const std::string& product) override {
    window_ = std::make_unique<UninstallWindow>(product);
    window_->ShowQuestion();
    return window_->exec() == QDialog::Accepted;
  }

  void Begin(const std::string& product, int planned_steps) override {
    if (!window_) window_ = std::make_unique<UninstallWindow>(product);
    window_->ShowProgress(planned_steps);
    window_->show();
    QApplication::processEvents();
  }

  void Progress(const UninstallStep& step, int done, int total) override {
    window_->AddStep(step, done, total);
    QApplication::processEvents();
  }

  void Finish(const std::string&, const UninstallReport& report) override {
    window_->ShowSummary(report);
    window_->exec();
  }

  void ShowError(const std::string& text) override {
    QMessageBox::critical(window_.get(), "Uninstall", QString::fromStdString(text));
  }

 private:
  int argc_ = 1;
  char* argv_[2];
  QApplication qt_;
  std::unique_ptr<UninstallWindow> window_;
};

}  // namespace

std::unique_ptr<UninstallUi> MakeUninstallUi(bool unattended, const char* program) {
  if (unattended) return MakeTextUninstallUi();
  return std::make_unique<QtUi>(program);
}

}  // namespace brimwell
