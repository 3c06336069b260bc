// HeadlessApplication: the Application without a window system, for tests
// and for unattended command-line runs. It keeps the state a real user
// interface would show (main form, cursor, title) so tests can look at it,
// records every message box, and answers message boxes from a script of
// answers, or with their default button when the script is empty.
#pragma once

#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "framework/application.h"

namespace brimwell {

class HeadlessMainForm final : public MainForm {
 public:
  void Show() override { visible_ = true; }
  void Hide() override { visible_ = false; }
  bool Visible() const override { return visible_; }
  void Maximize() override { maximized_ = true; }
  void Repaint() override { ++repaint_count_; }
  std::string Caption() const override { return caption_; }
  void SetCaption(std::string caption) override { caption_ = std::move(caption); }
  WindowBounds Bounds() const override { return bounds_; }
  void SetBounds(const WindowBounds& bounds) override { bounds_ = bounds; }

  // Simulates the window becoming active: calls OnActivate.
  void Activate() { Activated(); }
  bool Maximized() const { return maximized_; }
  int RepaintCount() const { return repaint_count_; }

 private:
  bool visible_ = false;
  bool maximized_ = false;
  int repaint_count_ = 0;
  std::string caption_;
  WindowBounds bounds_{0, 0, 640, 480};
};

class HeadlessApplication final : public Application {
 public:
  // With echo set, every message box is written as one line
  // (DescribeMessageBox) to `out`, which must outlive the application; the
  // default echoes to standard error exactly when the run is unattended.
  HeadlessApplication();
  HeadlessApplication(bool echo, std::ostream& out);

  MainForm* GetMainForm() override { return main_form_.get(); }
  ModalResult MessageBox(const MessageBoxRequest& request) override;
  Cursor GetCursor() const override { return cursor_; }
  void SetCursor(Cursor cursor) override;
  void ProcessMessages() override;
  ScreenSize GetScreenSize() const override { return screen_; }
  int CaptionHeight() const override { return caption_height_; }
  void Terminate() override { terminated_ = true; }
  bool Terminated() const override { return terminated_; }
  std::string Title() const override { return title_; }
  void SetTitle(std::string title) override { title_ = std::move(title); }

  // --- For tests ---
  // The main form; nullptr after RemoveMainForm.
  HeadlessMainForm* Form() { return main_form_.get(); }
  void RemoveMainForm() { main_form_.reset(); }
  // The next message box answers `result` (answers are used in the order
  // queued). An answer that is not a button of that box raises Exception:
  // the test's script and the code disagree.
  void QueueAnswer(ModalResult result) { answers_.push_back(result); }
  // Every message box shown, in order.
  const std::vector<MessageBoxRequest>& MessageBoxes() const { return message_boxes_; }
  // Every cursor set, in order (ScopedCursor shows as set, then restore).
  const std::vector<Cursor>& CursorHistory() const { return cursor_history_; }
  int ProcessMessagesCount() const { return process_messages_count_; }
  // Called with each message box before it is answered, so a test can act
  // as the user would while it is shown (change a disk, for example).
  std::function<void(const MessageBoxRequest&)> OnMessageBox;
  // Called by ProcessMessages, so a test can act "between blocks of work"
  // (press a cancel button, for example).
  std::function<void()> OnProcessMessages;
  void SetScreenSize(ScreenSize size) { screen_ = size; }
  void SetCaptionHeight(int height) { caption_height_ = height; }

 private:
  std::unique_ptr<HeadlessMainForm> main_form_ = std::make_unique<HeadlessMainForm>();
  bool echo_;
  std::ostream& out_;
  std::deque<ModalResult> answers_;
  std::vector<MessageBoxRequest> message_boxes_;
  Cursor cursor_ = Cursor::kDefault;
  std::vector<Cursor> cursor_history_;
  int process_messages_count_ = 0;
  ScreenSize screen_{1024, 768};
  int caption_height_ = 19;
  bool terminated_ = false;
  std::string title_;
};

}  // namespace brimwell
