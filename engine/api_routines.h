// The small Windows helper routines the engine uses throughout: which
// Windows it runs on, unique temporary names, the system and Windows
// directories and short path names. They raise EAPIRoutines.
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

class EngineContext;

inline constexpr char kCannotCreateTempFile[] = "Cannot create a temporary file";
inline constexpr char kCannotGetSystemDir[] = "Could not retrieve the system directroy from windows";
inline constexpr char kCannotGetWindowsDir[] = "Could not retrieve the windows directory from windows";

// The kinds WindowsKind answers.
inline constexpr int kWindowsWin32s = 0;
inline constexpr int kWindows95 = 1;
inline constexpr int kWindowsNT = 2;
inline constexpr int kWindowsNT35 = 3;
inline constexpr int kWindowsOther = 4;

// 0 Win32s, 1 the Windows 95 family, 2 Windows NT (3 when its version text
// "major.minor" contains "3.5"), 4 any other platform.
int WindowsKind(const EngineContext& ctx);

// Asks Windows for a unique file name with the prefix "bat" in the
// temporary directory; Windows creates the file, and unless `keep` it is
// deleted again, leaving a free name. Returns the Windows path. Throws
// EAPIRoutines kCannotCreateTempFile.
std::string MakeTempFileName(const EngineContext& ctx, bool keep);

// The Windows system and Windows directories, without trailing backslash.
// Throw EAPIRoutines when Windows answers nothing.
std::string SystemDirectory(const EngineContext& ctx);
std::string WindowsDirectory(const EngineContext& ctx);

// The short form of an existing path; the path as given when Windows has no
// short form for it (it does not exist), so a caller never builds a command
// from an empty name.
std::string ShortPathName(const EngineContext& ctx, std::string_view path);

// `path` without one trailing backslash (also after a drive: "C:\" gives
// "C:", so that appending "\name" yields "C:\name").
std::string StripTrailingBackslash(std::string_view path);
// The same for a path no longer needed, without a copy.
std::string StripTrailingBackslash(std::string&& path);

}  // namespace brimwell
