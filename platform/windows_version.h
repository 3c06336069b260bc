// Which Windows the engine sees. A prefix presents one of four systems; the
// engine's branches (WININIT.INI renames on the Windows 95 family, delayed
// moves and the shutdown privilege on NT, no restart on NT 3.51 and Win32s)
// follow from it. The numbers are those the version query of each system
// answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brimwell {

enum class WindowsFamily {
  kWin32s,     // platform 0 (Win32s on Windows 3.1), version 3.10
  kWindows95,  // platform 1, version 4.0 build 950
  kNT351,      // platform 2, version 3.51 build 1057
  kNT4,        // platform 2, version 4.0 build 1381 (the default: NT 4 and later)
};

// The fields of the version query (OSVERSIONINFO).
struct WindowsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platform_id = 0;  // 0 Win32s, 1 Windows 95 family, 2 NT
  std::string csd_version;        // service pack text
};

inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32NT = 2;

WindowsVersion VersionOf(WindowsFamily family);

// The configuration names: "win32s", "windows95", "nt351", "nt4".
std::string_view WindowsFamilyName(WindowsFamily family);
// Also accepts "win95", "95", "nt3.51", "nt4+", "nt"; case-insensitive.
std::optional<WindowsFamily> ParseWindowsFamily(std::string_view name);
// "Windows NT 4.0 (build 1381, Service Pack 6)" and the like, for `prefix info`.
std::string DescribeWindows(WindowsFamily family);

// The user default language identifier of a fresh prefix (US English).
inline constexpr std::uint16_t kDefaultLangId = 0x0409;

}  // namespace brimwell
