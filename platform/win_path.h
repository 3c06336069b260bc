// Windows path texts, handled as Windows handles them, without touching any
// file system: drive letters, backslashes (a slash is accepted as one),
// case-insensitive names, extensions. Only the path service turns such a
// path into a host path (paths.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brimwell {

// True for '\\' and '/'.
bool IsWinPathSeparator(char c);

// The upper-case drive letter of "X:..." paths; nullopt otherwise.
std::optional<char> WinDriveLetter(std::string_view path);
// True for "\\server\share..." (or with slashes).
bool IsWinUncPath(std::string_view path);
// True for "X:\..." (a drive and a root), the form every host path maps to.
bool IsWinFullPath(std::string_view path);

// Case-insensitive comparison of names as Windows compares them (ASCII
// letters fold; other bytes compare as they are).
bool WinNamesEqual(std::string_view a, std::string_view b);
// Negative, zero or positive like strcmp, comparing the upper-cased names.
int WinCompareNames(std::string_view a, std::string_view b);
std::string WinUpperCase(std::string_view s);
std::string WinLowerCase(std::string_view s);

// The directory part with its trailing backslash ("C:\A\b.txt" -> "C:\A\").
std::string ExtractFilePath(std::string_view path);
// The directory part without trailing backslash, except for a root
// ("C:\A\b.txt" -> "C:\A", "C:\b.txt" -> "C:\").
std::string ExtractFileDir(std::string_view path);
// The part after the last separator or drive colon.
std::string ExtractFileName(std::string_view path);
// The extension with its dot (".txt"), empty without one.
std::string ExtractFileExt(std::string_view path);
// `path` with its extension replaced by `ext` (which carries its own dot or is
// empty).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingBackslash(std::string_view path);
// Removes one trailing separator, except from a root such as "C:\".
std::string ExcludeTrailingBackslash(std::string_view path);
// `dir` + "\" + `name`, adding the backslash only when `dir` lacks one; an
// empty `dir` gives `name`.
std::string JoinWinPath(std::string_view dir, std::string_view name);

// Backslashes for slashes, runs of separators made one (except a leading UNC
// pair), "." components dropped and ".." components applied without going above
// the root. "c:/a//b/../c" -> "c:\a\c".
std::string NormalizeWinPath(std::string_view path);

// True when `name` matches a DOS wildcard mask ("*", "*.*", "SETUP.?").
// Case-insensitive; "*.*" also matches names without a dot.
bool WinMatchesMask(std::string_view name, std::string_view mask);

}  // namespace brimwell
