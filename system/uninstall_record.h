// The parts of a product's uninstall record that the registry and INI
// components write. The record lives under the product's uninstall key in
// HKEY_LOCAL_MACHINE; each component adds one numbered record per run below
// a list key that counts them:
//
//   <uninstall key>\RegistryKeys          "Entries" = "2"   (REG_SZ)
//   <uninstall key>\RegistryKeys\RegistryKey2
//                                         "Key"  = "\SOFTWARE\Acme" (REG_SZ)
//                                         "Root" = 4  (REG_DWORD, TRootKeys ordinal)
//   <uninstall key>\RegistryKeys\RegistryKey2\Entries
//                                         "<value name>" = "<text>"   (REG_SZ)
//
//   <uninstall key>\INIFiles              "Entries" = "1"
//   <uninstall key>\INIFiles\INIFile1     "FilePath" = "C:\WINDOWS\win.ini"
//   <uninstall key>\INIFiles\INIFile1\Entries\<section>
//                                         "<key>" = "<value>"
//
// The separate uninstall program reads this layout. Every write here goes
// through one UninstallRecord, so the record's conventions live in one
// place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/exception.h"

namespace brimwell {

class EngineContext;

// A value of the uninstall record could not be written.
BRIMWELL_EXCEPTION(EIRCannotWriteValue, Exception);

inline constexpr char kCannotWriteRecordValue[] = "Cannot install into registry. Key: %s Ident: %s Value %s";
inline constexpr char kRecordCountValue[] = "Entries";

class UninstallRecord {
 public:
  // `ctx` must outlive the writer; all writes go to its machine's
  // HKEY_LOCAL_MACHINE.
  explicit UninstallRecord(const EngineContext& ctx) : ctx_(ctx) {}

  // Adds one record to the list below `list_key` ("<U>\RegistryKeys"):
  // reads the decimal string "Entries" (0 when the key or value is missing
  // or unreadable), takes the next number, stores it back as "Entries" and
  // returns it. A number whose subkey `item_prefix` + n already exists is
  // skipped, so a damaged or lost count never overwrites an earlier record.
  // Throws EIRCannotWriteValue.
  int AddRecord(const std::string& list_key, std::string_view item_prefix);

  // Write one value of the record (creating the key). Throw
  // EIRCannotWriteValue naming the key, the value name and the data.
  void WriteString(const std::string& key, std::string_view ident, std::string_view value);
  void WriteDword(const std::string& key, std::string_view ident, std::uint32_t value);

 private:
  const EngineContext& ctx_;
};

// `key` with one trailing backslash added when it has none.
std::string WithTrailingBackslash(std::string_view key);

}  // namespace brimwell
