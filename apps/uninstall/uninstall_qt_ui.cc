// The uninstall program's windows: a question, then one window with the
// product's name, a progress bar and the list of what was done, which
// stays open with its summary until the user closes it.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "apps/uninstall/uninstall_ui.h"
#include "framework/format.h"

namespace brimwell {
namespace {

constexpr char kWindowTitle[] = "Uninstall";
constexpr char kConfirmText[] = "Are you sure you want to completely remove %s and all of its components?";

class QtUi final : public UninstallUi {
 public:
  explicit QtUi(const char* program) : argv_{const_cast<char*>(program), nullptr}, qt_(argc_, argv_) {}

  bool Confirm(const std::string& product) override {
    const std::string text = Format(kConfirmText, {product});
    return QMessageBox::question(nullptr, kWindowTitle, QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  }

  void Begin(const std::string& product, int planned_steps) override {
    dialog_ = std::make_unique<QDialog>();
    dialog_->setWindowTitle(kWindowTitle);
    dialog_->resize(560, 380);
    auto* layout = new QVBoxLayout(dialog_.get());
    heading_ = new QLabel(QString::fromStdString("Removing " + product + "..."));
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);
    bar_ = new QProgressBar;
    bar_->setRange(0, std::max(planned_steps, 1));
    list_ = new QListWidget;
    summary_ = new QLabel;
    summary_->setWordWrap(true);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons_->setEnabled(false);
    QObject::connect(buttons_, &QDialogButtonBox::rejected, dialog_.get(), &QDialog::accept);
    layout->addWidget(heading_);
    layout->addWidget(bar_);
    layout->addWidget(list_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons_);
    dialog_->show();
    QApplication::processEvents();
  }

  void Progress(const UninstallStep& step, int done, int total) override {
    if (!dialog_) return;
    bar_->setMaximum(total);
    bar_->setValue(done);
    std::string line = std::string(OutcomeName(step.outcome)) + ": " + step.what;
    if (!step.detail.empty()) line += " (" + step.detail + ")";
    list_->addItem(QString::fromStdString(line));
    list_->scrollToBottom();
    QApplication::processEvents();
  }

  void Finish(const std::string& product, const UninstallReport& report) override {
    if (!dialog_) return;
    bar_->setValue(bar_->maximum());
    heading_->setText(QString::fromStdString(report.Complete() ? product + " was removed."
                                                               : product + " was not removed completely."));
    std::string summary = SummaryText(product, report);
    if (!summary.empty() && summary.back() == '\n') summary.pop_back();
    summary_->setText(QString::fromStdString(summary));
    buttons_->setEnabled(true);
    dialog_->exec();
  }

  void ShowError(const std::string& text) override {
    QMessageBox::critical(dialog_.get(), kWindowTitle, QString::fromStdString(text));
  }

  // For pictures of the windows: the progress window as it stands.
  QDialog* Dialog() { return dialog_.get(); }

 private:
  int argc_ = 1;
  char* argv_[2];
  QApplication qt_;
  std::unique_ptr<QDialog> dialog_;
  QLabel* heading_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QListWidget* list_ = nullptr;
  QLabel* summary_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace

std::unique_ptr<UninstallUi> MakeUninstallUi(bool unattended, const char* program) {
  if (unattended) return MakeTextUninstallUi();
  return std::make_unique<QtUi>(program);
}

}  // namespace brimwell
