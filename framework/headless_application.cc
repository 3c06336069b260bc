#include "framework/headless_application.h"

#include <algorithm>
#include <iostream>

#include "framework/exception.h"
#include "framework/format.h"

namespace brimwell {
namespace {

constexpr char kAnswerNotAButton[] =
    "The scripted answer %s is not a button of the message box \"%s\"";

}  // namespace

HeadlessApplication::HeadlessApplication() : HeadlessApplication(IsUnattended(), std::cerr) {}

HeadlessApplication::HeadlessApplication(bool echo, std::ostream& out) : echo_(echo), out_(out) {}

ModalResult HeadlessApplication::MessageBox(const MessageBoxRequest& request) {
  message_boxes_.push_back(request);
  if (echo_) out_ << DescribeMessageBox(request, title_) << std::endl;
  if (OnMessageBox) OnMessageBox(request);
  if (answers_.empty()) return DefaultResult(request);
  ModalResult answer = answers_.front();
  answers_.pop_front();
  std::vector<ModalResult> buttons = ButtonResults(request.buttons);
  if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
    throw Exception(Format(kAnswerNotAButton, {ModalResultName(answer), request.text}));
  }
  return answer;
}

void HeadlessApplication::SetCursor(Cursor cursor) {
  cursor_ = cursor;
  cursor_history_.push_back(cursor);
}

void HeadlessApplication::ProcessMessages() {
  ++process_messages_count_;
  if (OnProcessMessages) OnProcessMessages();
}

}  // namespace brimwell
