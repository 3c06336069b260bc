// RunLog: the opt-in trace of an installation, for the people who must find
// out why a run went wrong on a user's machine. When the environment variable
// BRIMWELL_LOG names a file, every step of the run, every component call sent
// and every information event is appended to it as one line with the local
// time and the seconds since the log was opened. Without the variable the
// log is disabled and costs one branch per call.
//
// Line layout (tab-separated after the time stamps):
//
//   2024-05-01 14:03:22.481 +0.012s<TAB>step<TAB>3 FindInstallRecord ...
//   2024-05-01 14:03:22.490 +0.021s<TAB>call<TAB>-990 sender=Install1 receivers=1
//   2024-05-01 14:03:22.490 +0.021s<TAB>event<TAB>1012 sender=Docs container=Install1
//
// The first word after the time is the kind (step, call, event, error,
// mode, ...); later subsystems add their own kinds.
#pragma once

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace brimwell {

inline constexpr char kRunLogEnvironmentVariable[] = "BRIMWELL_LOG";

class RunLog {
 public:
  // A disabled log.
  RunLog() = default;
  // A log appending to `file` (created when missing). When the file cannot
  // be opened the log stays disabled: logging never stops an installation.
  explicit RunLog(const std::string& file);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // The log named by BRIMWELL_LOG, or a disabled one when it is unset or empty.
  static std::unique_ptr<RunLog> FromEnvironment();

  bool Enabled() const { return out_ != nullptr; }
  // Appends one line of kind `kind`; line breaks in `text` become blanks.
  // Each line is flushed, so a crash keeps what came before it.
  void Write(std::string_view kind, std::string_view text);

 private:
  std::unique_ptr<std::ofstream> out_;
  std::chrono::steady_clock::time_point opened_ = std::chrono::steady_clock::now();
};

}  // namespace brimwell
