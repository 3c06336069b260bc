#include "platform/windows_version.h"

#include "platform/win_path.h"

namespace brimwell {

WindowsVersion VersionOf(WindowsFamily family) {
  switch (family) {
    case WindowsFamily::kWin32s: return {3, 10, 0, kVerPlatformWin32s, ""};
    case WindowsFamily::kWindows95: return {4, 0, 950, kVerPlatformWin32Windows, ""};
    case WindowsFamily::kNT351: return {3, 51, 1057, kVerPlatformWin32NT, "Service Pack 5"};
    case WindowsFamily::kNT4: return {4, 0, 1381, kVerPlatformWin32NT, "Service Pack 6"};
  }
  return {};
}

std::string_view WindowsFamilyName(WindowsFamily family) {
  switch (family) {
    case WindowsFamily::kWin32s: return "win32s";
    case WindowsFamily::kWindows95: return "windows95";
    case WindowsFamily::kNT351: return "nt351";
    case WindowsFamily::kNT4: return "nt4";
  }
  return "nt4";
}

std::optional<WindowsFamily> ParseWindowsFamily(std::string_view name) {
  std::string n = WinLowerCase(name);
  if (n == "win32s") return WindowsFamily::kWin32s;
  if (n == "windows95" || n == "win95" || n == "95" || n == "windows 95") {
    return WindowsFamily::kWindows95;
  }
  if (n == "nt351" || n == "nt3.51" || n == "nt 3.51") return WindowsFamily::kNT351;
  if (n == "nt4" || n == "nt4+" || n == "nt" || n == "nt 4") return WindowsFamily::kNT4;
  return std::nullopt;
}

std::string DescribeWindows(WindowsFamily family) {
  WindowsVersion v = VersionOf(family);
  std::string text;
  switch (family) {
    case WindowsFamily::kWin32s: text = "Win32s on Windows 3.1"; break;
    case WindowsFamily::kWindows95: text = "Windows 95 family"; break;
    case WindowsFamily::kNT351: text = "Windows NT 3.51"; break;
    case WindowsFamily::kNT4: text = "Windows NT 4.0 and later"; break;
  }
  text += " (version " + std::to_string(v.major) + "." + std::to_string(v.minor) + ", build " +
          std::to_string(v.build) + ", platform " + std::to_string(v.platform_id);
  if (!v.csd_version.empty()) text += ", " + v.csd_version;
  text += ")";
  return text;
}

}  // namespace brimwell
