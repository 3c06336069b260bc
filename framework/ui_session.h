// What a program with windows needs of the host session before its
// user-interface library starts: somewhere to show the windows (a display,
// or a platform that needs none), and a runtime directory of its own.
#pragma once

#include <string>

#include "host/host_env.h"

namespace brimwell {

inline constexpr char kNoDisplay[] =
    "There is no display to show the installation on: neither DISPLAY nor WAYLAND_DISPLAY is set. "
    "Start it from a graphical session, or set BRIMWELL_UNATTENDED=1 to install without a user";

// True when QT_QPA_PLATFORM names a platform, or DISPLAY or WAYLAND_DISPLAY
// a display (each set and not empty).
bool DisplayAvailable(host::Env& env = host::Env::Default());

enum class UiPlatform {
  kLibraryChoice,  // the library finds its platform itself
  kOffscreen,      // windows are drawn but shown nowhere
  kNone,           // nowhere to show them: the program must stop
};

// The platform the user interface starts on: the library's own choice when
// a display or QT_QPA_PLATFORM is there; without either, offscreen for an
// unattended run and none otherwise.
UiPlatform ChooseUiPlatform(bool unattended, host::Env& env = host::Env::Default());

// The runtime directory (XDG_RUNTIME_DIR) the user-interface library
// expects. When the session has none (unset or empty), the constructor
// makes a private one (a fresh name in the temporary directory, mode 0700,
// never an existing directory) and sets the variable; the destructor
// removes it again. A directory that cannot be made leaves the variable
// unset.
class PrivateRuntimeDirectory {
 public:
  explicit PrivateRuntimeDirectory(host::Env& env = host::Env::Default());
  PrivateRuntimeDirectory(const PrivateRuntimeDirectory&) = delete;
  PrivateRuntimeDirectory& operator=(const PrivateRuntimeDirectory&) = delete;
  ~PrivateRuntimeDirectory();

  // The directory made; empty when the session had one.
  const std::string& path() const { return path_; }

 private:
  host::Env& env_;
  std::string path_;
};

}  // namespace brimwell
