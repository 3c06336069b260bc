#include "wizard/qt_application.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

#include <cstdio>

namespace brimwell {
namespace {

// The main window reports its activation to the form.
class EngineWindow final : public QMainWindow {
 public:
  explicit EngineWindow(QtMainForm& form) : form_(form) {}

 protected:
  bool event(QEvent* e) override {
    bool handled = QMainWindow::event(e);
    if (e->type() == QEvent::WindowActivate) form_.NotifyActivated();
    return handled;
  }

 private:
  QtMainForm& form_;
};

QMessageBox::StandardButton ButtonOf(ModalResult result) {
  switch (result) {
    case ModalResult::kOK: return QMessageBox::Ok;
    case ModalResult::kCancel: return QMessageBox::Cancel;
    case ModalResult::kAbort: return QMessageBox::Abort;
    case ModalResult::kRetry: return QMessageBox::Retry;
    case ModalResult::kIgnore: return QMessageBox::Ignore;
    case ModalResult::kYes: return QMessageBox::Yes;
    case ModalResult::kNo: return QMessageBox::No;
    case ModalResult::kNone: break;
  }
  return QMessageBox::NoButton;
}

QMessageBox::Icon IconOf(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::kInformation: return QMessageBox::Information;
    case MessageBoxIcon::kWarning: return QMessageBox::Warning;
    case MessageBoxIcon::kError: return QMessageBox::Critical;
    case MessageBoxIcon::kQuestion: return QMessageBox::Question;
    case MessageBoxIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QtMainForm::QtMainForm() : window_(std::make_unique<EngineWindow>(*this)) { window_->resize(640, 480); }

QtMainForm::~QtMainForm() = default;

void QtMainForm::Show() {
  window_->show();
  window_->activateWindow();
}
void QtMainForm::Hide() { window_->hide(); }
bool QtMainForm::Visible() const { return window_->isVisible(); }
void QtMainForm::Maximize() { window_->showMaximized(); }
void QtMainForm::Repaint() { window_->repaint(); }
std::string QtMainForm::Caption() const { return window_->windowTitle().toStdString(); }
void QtMainForm::SetCaption(std::string caption) { window_->setWindowTitle(QString::fromStdString(caption)); }

WindowBounds QtMainForm::Bounds() const {
  QRect r = window_->geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

void QtMainForm::SetBounds(const WindowBounds& b) { window_->setGeometry(b.left, b.top, b.width, b.height); }

QtApplication::QtApplication(QApplication& qt) : qt_(qt), main_form_(std::make_unique<QtMainForm>()) {}

QtApplication::~QtApplication() {
  if (cursor_ != Cursor::kDefault) QApplication::restoreOverrideCursor();
}

ModalResult QtApplication::MessageBox(const MessageBoxRequest& request) {
  if (IsUnattended()) {
    std::string line = DescribeMessageBox(request, title_);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return DefaultResult(request);
  }
  QMessageBox box(IconOf(request.icon),
                  QString::fromStdString(request.caption.empty() ? title_ : request.caption),
                  QString::fromStdString(request.text), QMessageBox::NoButton, &main_form_->Window());
  std::vector<ModalResult> results = ButtonResults(request.buttons);
  for (ModalResult r : results) box.addButton(ButtonOf(r));
  box.setDefaultButton(ButtonOf(DefaultResult(request)));
  int answer = box.exec();
  for (ModalResult r : results) {
    if (answer == ButtonOf(r)) return r;
  }
  // Closed without a button: Cancel when the set has one, else the default.
  for (ModalResult r : results) {
    if (r == ModalResult::kCancel) return r;
  }
  return DefaultResult(request);
}

void QtApplication::SetCursor(Cursor cursor) {
  if (cursor == cursor_) return;
  if (cursor_ != Cursor::kDefault) QApplication::restoreOverrideCursor();
  if (cursor == Cursor::kHourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
  cursor_ = cursor;
}

void QtApplication::ProcessMessages() { QCoreApplication::processEvents(); }

ScreenSize QtApplication::GetScreenSize() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  QSize size = screen->size();
  return {size.width(), size.height()};
}

int QtApplication::CaptionHeight() const { return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight); }

void QtApplication::Terminate() {
  terminated_ = true;
  QCoreApplication::quit();
}

void QtApplication::SetTitle(std::string title) {
  title_ = std::move(title);
  QGuiApplication::setApplicationDisplayName(QString::fromStdString(title_));
  main_form_->SetCaption(title_);
}

}  // namespace brimwell
