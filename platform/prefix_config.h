// The configuration of a prefix: which Windows it presents, the user default
// language, its directories and drives. Kept in <prefix>/brimwell.ini, an INI
// file a user may edit:
//
//   [Windows]
//   Version=nt4                 ; win32s | windows95 | nt351 | nt4
//   UserDefaultLanguage=0x0407  ; LANGID, hexadecimal or decimal; without
//                               ; it the host locale decides (user_language.h)
//   WindowsDirectory=C:\WINDOWS
//   TempDirectory=C:\WINDOWS\TEMP
//   [Removable]
//   A=1457664                   ; a removable drive and its disk capacity
//   [FreeBytes]
//   C=5000000                   ; answer this for DiskFree instead of the host's
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "platform/windows_version.h"

namespace brimwell {

inline constexpr std::int64_t kDefaultDiskCapacity = 1457664;  // a 3.5" high-density disk
inline constexpr char kPrefixConfigFile[] = "brimwell.ini";

struct PrefixConfig {
  WindowsFamily windows = WindowsFamily::kNT4;
  // The user default language the prefix states; without one
  // (user_default_lang_stated false) the host locale decides.
  std::uint16_t user_default_lang_id = kDefaultLangId;
  bool user_default_lang_stated = false;
  std::string windows_directory = "C:\\WINDOWS";
  std::string temp_directory = "C:\\WINDOWS\\TEMP";
  // Removable drive letters (upper case) and their disk capacity in bytes.
  std::map<char, std::int64_t> removable = {{'A', kDefaultDiskCapacity}};
  // Drives whose free space is fixed by configuration (tests of low space).
  std::map<char, std::int64_t> free_bytes;

  // Reads <prefix>/brimwell.ini; defaults for what it lacks; defaults alone
  // when the file is missing. Throws EPrefixError naming the file for a
  // value it cannot use (an unknown Windows version, a bad number).
  static PrefixConfig Load(const std::filesystem::path& prefix);
  // Writes <prefix>/brimwell.ini (replacing it atomically). Throws
  // EPrefixError when it cannot be written.
  void Save(const std::filesystem::path& prefix) const;
};

}  // namespace brimwell
