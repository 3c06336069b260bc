// QtApplication: the Application service over Qt Widgets, and QtMainForm,
// the engine's main window. With BRIMWELL_UNATTENDED=1 message boxes print
// their text to standard error and take their default button, so a run can
// go without a user (QT_QPA_PLATFORM=offscreen needs no display).
#pragma once

#include <memory>
#include <string>

#include "framework/application.h"

class QApplication;
class QMainWindow;

namespace brimwell {

class QtMainForm final : public MainForm {
 public:
  QtMainForm();
  ~QtMainForm() override;

  void Show() override;
  void Hide() override;
  bool Visible() const override;
  void Maximize() override;
  void Repaint() override;
  std::string Caption() const override;
  void SetCaption(std::string caption) override;
  WindowBounds Bounds() const override;
  void SetBounds(const WindowBounds& bounds) override;

  // The window, for components that draw on the main form.
  QMainWindow& Window() { return *window_; }
  // Called by the window when it becomes the active window.
  void NotifyActivated() { Activated(); }

 private:
  std::unique_ptr<QMainWindow> window_;
};

class QtApplication final : public Application {
 public:
  // `qt` must outlive this object.
  explicit QtApplication(QApplication& qt);
  ~QtApplication() override;

  MainForm* GetMainForm() override { return main_form_.get(); }
  QtMainForm& Form() { return *main_form_; }
  ModalResult MessageBox(const MessageBoxRequest& request) override;
  Cursor GetCursor() const override { return cursor_; }
  void SetCursor(Cursor cursor) override;
  void ProcessMessages() override;
  ScreenSize GetScreenSize() const override;
  int CaptionHeight() const override;
  void Terminate() override;
  bool Terminated() const override { return terminated_; }
  std::string Title() const override { return title_; }
  void SetTitle(std::string title) override;

 private:
  QApplication& qt_;
  std::unique_ptr<QtMainForm> main_form_;
  Cursor cursor_ = Cursor::kDefault;
  bool terminated_ = false;
  std::string title_;
};

}  // namespace brimwell
