// The shell and system folders that the standard path specifiers and the
// meta variables yield, read from the registry as Windows keeps them, with
// the defaults used when a value is missing. Every result is a Windows path
// without trailing backslash.
#pragma once

#include <string>

namespace brimwell {

class EngineContext;

enum class ShellFolder {
  kStartMenu,     // HKCU Shell Folders "Start Menu", else <Windows>\Startmen
  kPrograms,      // "Programs", else <Start Menu>\Programs
  kDesktop,       // "Desktop", else <Windows>\Desktop
  kStartup,       // "Startup", else <Windows>\Startup
  kProgramFiles,  // HKLM CurrentVersion "ProgramFilesDir", else <drive>\Program Files
  kCommonFiles,   // "CommonFilesDir", else <drive>\Program Files\Common Files
  kSystem,        // the Windows system directory
  kWindows,       // the Windows directory
};

inline constexpr char kShellFoldersKey[] =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kCurrentVersionKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// The folder's path. A registry value counts when its key exists and holds
// it as a string; an existing empty value yields an empty path; a missing or
// unreadable value gives the default (<drive> is the drive of the current
// directory). Throws EAPIRoutines when the system or Windows directory is
// unavailable.
std::string GetShellFolder(const EngineContext& ctx, ShellFolder folder);

}  // namespace brimwell
