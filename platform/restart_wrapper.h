// A Restart that forwards every call to another one; a test overrides the
// step it needs to fail (the privilege, the restart itself) or records the
// restart instead of ending the process.
#pragma once

#include "platform/restart.h"

namespace brimwell {

class RestartWrapper : public Restart {
 public:
  // `target` must outlive the wrapper.
  explicit RestartWrapper(Restart& target) : target_(target) {}
  Restart& target() { return target_; }

  WinStatus EnableShutdownPrivilege() override { return target_.EnableShutdownPrivilege(); }
  WinStatus RestartWindows() override { return target_.RestartWindows(); }
  bool RestartPending() const override { return target_.RestartPending(); }

 private:
  Restart& target_;
};

}  // namespace brimwell
