// Restarting Windows. The host is never rebooted: a restart ends the engine
// and then runs the prefix's start-up sequence (startup_sequence.h) the way
// Windows would at its next start: delayed file moves, WININIT.INI renames,
// RunOnce values.
#pragma once

#include "platform/win_error.h"

namespace brimwell {

class Restart {
 public:
  Restart() = default;
  Restart(const Restart&) = delete;
  Restart& operator=(const Restart&) = delete;
  virtual ~Restart() = default;

  // Enables the shutdown privilege of the process token (what NT requires
  // before a restart). kErrorCallNotImplemented on the Windows 95 family
  // and Win32s, which have no tokens.
  virtual WinStatus EnableShutdownPrivilege() = 0;

  // ExitWindowsEx with the reboot flag: arranges for the start-up sequence
  // (`brimwell boot` on this prefix) to run once this process has ended, and
  // returns. The caller then ends the application, as it would when Windows
  // shuts down. On NT the shutdown privilege must have been enabled first
  // (kErrorPrivilegeNotHeld otherwise); Win32s cannot restart
  // (kErrorCallNotImplemented). Fails when the boot program cannot be found.
  virtual WinStatus RestartWindows() = 0;

  // True once RestartWindows succeeded in this process.
  virtual bool RestartPending() const = 0;
};

}  // namespace brimwell
