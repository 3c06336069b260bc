// A Processes that forwards every call to another one; a test overrides the
// call it needs to observe or make fail (a start that answers 2, a library
// that does not load).
#pragma once

#include "platform/processes.h"

namespace brimwell {

class ProcessesWrapper : public Processes {
 public:
  // `target` must outlive the wrapper.
  explicit ProcessesWrapper(Processes& target) : target_(target) {}
  Processes& target() { return target_; }

  std::uint32_t WinExec(std::string_view command_line, ShowState show) override {
    return target_.WinExec(command_line, show);
  }
  WinResult<int> RunAndWait(std::string_view command_line, ShowState show) override {
    return target_.RunAndWait(command_line, show);
  }
  WinStatus StartBatchAfterExit(std::string_view batch_path) override {
    return target_.StartBatchAfterExit(batch_path);
  }
  WinResult<std::unique_ptr<Library>> LoadLibrary(std::string_view path) override {
    return target_.LoadLibrary(path);
  }

 private:
  Processes& target_;
};

}  // namespace brimwell
