#include "framework/application.h"

#include "host/host_env.h"

namespace brimwell {

std::vector<ModalResult> ButtonResults(MessageBoxButtons buttons) {
  using R = ModalResult;
  switch (buttons) {
    case MessageBoxButtons::kOK:
      return {R::kOK};
    case MessageBoxButtons::kOKCancel:
      return {R::kOK, R::kCancel};
    case MessageBoxButtons::kAbortRetryIgnore:
      return {R::kAbort, R::kRetry, R::kIgnore};
    case MessageBoxButtons::kYesNoCancel:
      return {R::kYes, R::kNo, R::kCancel};
    case MessageBoxButtons::kYesNo:
      return {R::kYes, R::kNo};
    case MessageBoxButtons::kRetryCancel:
      return {R::kRetry, R::kCancel};
  }
  return {R::kOK};
}

ModalResult DefaultResult(const MessageBoxRequest& request) {
  std::vector<ModalResult> results = ButtonResults(request.buttons);
  int i = request.default_button;
  return i >= 0 && i < static_cast<int>(results.size()) ? results[i] : results.front();
}

std::string_view ModalResultName(ModalResult result) {
  switch (result) {
    case ModalResult::kNone:
      return "None";
    case ModalResult::kOK:
      return "OK";
    case ModalResult::kCancel:
      return "Cancel";
    case ModalResult::kAbort:
      return "Abort";
    case ModalResult::kRetry:
      return "Retry";
    case ModalResult::kIgnore:
      return "Ignore";
    case ModalResult::kYes:
      return "Yes";
    case ModalResult::kNo:
      return "No";
  }
  return "None";
}

std::string DescribeMessageBox(const MessageBoxRequest& request, std::string_view title) {
  std::string out = "[";
  out += request.caption.empty() ? std::string(title) : request.caption;
  out += "] ";
  out += request.text;
  out += " (";
  std::vector<ModalResult> results = ButtonResults(request.buttons);
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (i > 0) out += "/";
    out += ModalResultName(results[i]);
  }
  out += ")";
  return out;
}

bool IsUnattended() {
  return host::Env::Default().GetEnv("BRIMWELL_UNATTENDED") == "1";
}

void Application::HandleException(const std::exception& e) {
  if (OnException) {
    OnException(e);
    return;
  }
  MessageBoxRequest request;
  request.text = e.what();
  request.icon = MessageBoxIcon::kError;
  MessageBox(request);
}

}  // namespace brimwell
