// Values of INI files with the behaviour of the private profile functions of
// Win32: sections and keys found without regard to case, the first of
// duplicates wins, blanks around names and values ignored, a value in
// matching quotes read without them; writing replaces a value in place or
// adds the key at the end of its section, or the section at the end of the
// file; every other line of the file (comments, blank lines, lines that are
// not key=value) stays as it is.
//
// `file` is a Windows path; a bare file name (no directory) means a file in
// the Windows directory, as for the profile functions. A file that is not
// text (it holds NUL bytes outside a UTF-16 text) throws EProfileError naming
// the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_error.h"

namespace brimwell {

class ProfileStrings {
 public:
  // GetPrivateProfileString copies at most this many characters.
  static constexpr std::size_t kMaxValueLength = 1023;

  ProfileStrings() = default;
  ProfileStrings(const ProfileStrings&) = delete;
  ProfileStrings& operator=(const ProfileStrings&) = delete;
  virtual ~ProfileStrings() = default;

  // The value of [section] key, trimmed of blanks and one pair of matching
  // enclosing quotes; `default_value` (trailing blanks removed) when the file,
  // section or key is missing. At most kMaxValueLength characters.
  virtual std::string GetString(std::string_view file, std::string_view section,
                                std::string_view key, std::string_view default_value) = 0;
  // The section names in file order (GetPrivateProfileString with no
  // section); empty for a missing file.
  virtual std::vector<std::string> SectionNames(std::string_view file) = 0;
  // The key names of a section in file order, without comment lines (no
  // key); empty for a missing section.
  virtual std::vector<std::string> KeyNames(std::string_view file, std::string_view section) = 0;
  // WritePrivateProfileString: writes key=value, creating the file, the
  // section or the key. A missing `value` deletes the key; a missing `key`
  // deletes the whole section. Fails with the file system's error
  // (kErrorPathNotFound for a missing directory, kErrorAccessDenied, ...).
  virtual WinStatus WriteString(std::string_view file, std::string_view section,
                                std::optional<std::string_view> key,
                                std::optional<std::string_view> value) = 0;

  // GetPrivateProfileInt: the leading decimal digits of the value (with a
  // sign), 0 when it starts with none; `default_value` when missing.
  std::int32_t GetInt(std::string_view file, std::string_view section, std::string_view key,
                      std::int32_t default_value);
};

}  // namespace brimwell
