// Restarting the machine of a prefix on Linux (see restart.h): the start-up
// sequence runs in `brimwell boot`, started detached, once this process has
// ended. The boot program is BRIMWELL_BOOT_PROGRAM when set, else the
// `brimwell` beside the running executable, else `brimwell` on PATH.
#pragma once

#include <filesystem>

#include "platform/prefix_config.h"
#include "platform/restart.h"

namespace brimwell {

class LinuxRestart final : public Restart {
 public:
  // `config` must outlive the service.
  LinuxRestart(std::filesystem::path prefix, const PrefixConfig& config);

  WinStatus EnableShutdownPrivilege() override;
  WinStatus RestartWindows() override;
  bool RestartPending() const override { return pending_; }

 private:
  std::filesystem::path prefix_;
  const PrefixConfig& config_;
  bool privilege_ = false;
  bool pending_ = false;
};

// Where the boot program is, as described above; empty when not found.
std::filesystem::path FindBootProgram();

}  // namespace brimwell
