// Application: what the engine, archive and system code need of the user
// interface, behind one interface so that they run and are tested without a
// window system. The Qt implementation lives with the wizard; tests and
// unattended tools use HeadlessApplication (framework/headless_application.h).
//
// One Application exists per process run; it is created at start-up and
// handed to the code that needs it (never reached through a global).
// Everything runs on the user-interface thread.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

// Icon of a message box.
enum class MessageBoxIcon { kNone, kInformation, kWarning, kError, kQuestion };

// The button sets of a message box (the Win32 MB_OK ... MB_RETRYCANCEL sets).
enum class MessageBoxButtons { kOK, kOKCancel, kAbortRetryIgnore, kYesNoCancel, kYesNo, kRetryCancel };

// The answer of a message box or modal window; the values are the Win32
// IDOK ... IDNO codes.
enum class ModalResult { kNone = 0, kOK = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7 };

enum class Cursor { kDefault, kHourGlass };

struct ScreenSize {
  int width = 0;
  int height = 0;
};

struct WindowBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct MessageBoxRequest {
  std::string text;
  std::string caption;  // empty: the application's Title()
  MessageBoxIcon icon = MessageBoxIcon::kNone;
  MessageBoxButtons buttons = MessageBoxButtons::kOK;
  int default_button = 0;  // 0-based position among the buttons
};

// The answers of the buttons of a set, in the order the buttons appear.
std::vector<ModalResult> ButtonResults(MessageBoxButtons buttons);
// The answer of the request's default button; the first button when
// default_button is outside the set.
ModalResult DefaultResult(const MessageBoxRequest& request);
// "OK", "Cancel", ... ("None" for kNone).
std::string_view ModalResultName(ModalResult result);
// The request as text for a log or standard error, one box per call:
//   [caption] text (OK/Cancel)
// with caption replaced by title when it is empty.
std::string DescribeMessageBox(const MessageBoxRequest& request, std::string_view title);
// True when BRIMWELL_UNATTENDED is "1": every dialog takes its current values
// and proceeds, and message boxes print their text to standard error and
// take their default button.
bool IsUnattended();

// The application's main window: the form that owns the project's
// components and whose first activation starts an installation.
class MainForm {
 public:
  MainForm() = default;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;
  virtual ~MainForm() = default;

  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  virtual void Maximize() = 0;
  virtual void Repaint() = 0;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(std::string caption) = 0;
  virtual WindowBounds Bounds() const = 0;
  virtual void SetBounds(const WindowBounds& bounds) = 0;

  // The activation hook, called each time the form becomes the active
  // window. A component that takes the hook over keeps the previous value
  // and calls it itself.
  std::function<void()> OnActivate;

 protected:
  // Implementations call this when the window has been activated.
  void Activated() {
    if (OnActivate) OnActivate();
  }
};

class Application {
 public:
  Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  virtual ~Application() = default;

  // The main form, owned by the application; nullptr when there is none.
  virtual MainForm* GetMainForm() = 0;

  // Shows a modal message box and returns the button chosen. Closing the box
  // without a button answers Cancel when the set has one, else the default.
  virtual ModalResult MessageBox(const MessageBoxRequest& request) = 0;

  // The cursor shown over the application's windows. Prefer ScopedCursor,
  // which restores the previous cursor.
  virtual Cursor GetCursor() const = 0;
  virtual void SetCursor(Cursor cursor) = 0;

  // Handles the pending window-system events (repaints, button clicks that
  // set cancel flags) and returns; long operations call it between blocks.
  virtual void ProcessMessages() = 0;

  // Size of the screen and height of a window's caption bar, in pixels.
  virtual ScreenSize GetScreenSize() const = 0;
  virtual int CaptionHeight() const = 0;

  // Asks the message loop to end; the caller's operation continues to its
  // end. Terminated() stays true from then on.
  virtual void Terminate() = 0;
  virtual bool Terminated() const = 0;

  // The application's title (task bar, default message-box caption).
  virtual std::string Title() const = 0;
  virtual void SetTitle(std::string title) = 0;

  // The application's exception handler: called by HandleException for an
  // exception that reached the message loop. Without one, the exception's
  // text is shown in an error box.
  std::function<void(const std::exception&)> OnException;
  void HandleException(const std::exception& e);
};

// Sets a cursor for the lifetime of the object and restores the one that was
// shown before, also when the scope is left by an exception.
class ScopedCursor {
 public:
  explicit ScopedCursor(Application& app, Cursor cursor = Cursor::kHourGlass)
      : app_(app), previous_(app.GetCursor()) {
    app_.SetCursor(cursor);
  }
  ScopedCursor(const ScopedCursor&) = delete;
  ScopedCursor& operator=(const ScopedCursor&) = delete;
  ~ScopedCursor() { app_.SetCursor(previous_); }

 private:
  Application& app_;
  Cursor previous_;
};

}  // namespace brimwell
