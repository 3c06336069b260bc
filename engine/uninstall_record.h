// The uninstall record of a product: the registry key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<ProductName>
// that the uninstall program reads to undo an installation. Every install
// component that changes the machine adds its part here, through this one
// writer, so the layout stays the same whoever writes:
//
//   <record>\DisplayName, UninstallString       the uninstall program (strings)
//   <record>\Files\Entries = "<n>"              installed files and links
//   <record>\Files\File1 .. File<n>             their full paths
//   <record>\Files1\...                         the same list, when Files could
//                                               not be written (Files2, ...)
//   <record>\ActiveX\Entries, File<n>           self-registered files:
//                                               "<path>;1" servers, "<path>;0" libraries
//   <record>\<other lists>\Entries ...          registry keys, INI files, ...
//   <record>\RegistryKeys\RegistryKey<n>        one numbered subkey per record
//                                               (AppendKey); "Root" is a DWORD
//   <record>\FileDigests\<installed path>       "<size>;<SHA-256 hex>" of each file
//                                               as installed, so that the uninstall
//                                               program keeps a file changed since
//   <record>\DisplayVersion                      the product's version
//
// Every value is a string in HKEY_LOCAL_MACHINE; counts are decimal texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/exception.h"

namespace brimwell {

class EngineContext;
class FileSystem;
class Registry;

// The uninstall record cannot be written.
BRIMWELL_EXCEPTION(EIRCannotWriteValue, Exception);

inline constexpr char kCannotWriteUninstallValue[] = "Cannot install into registry. Key: %s Ident: %s Value %s";
inline constexpr char kInstalledFilesList[] = "Files";
inline constexpr char kActiveXList[] = "ActiveX";
inline constexpr char kEntriesValue[] = "Entries";
inline constexpr char kFileValuePrefix[] = "File";
inline constexpr char kFileDigestsList[] = "FileDigests";
inline constexpr char kDisplayVersionValue[] = "DisplayVersion";
// How many names the installed-files list tries ("Files", "Files1", ...)
// before the last error is reported.
inline constexpr int kInstalledFilesListAttempts = 10;

// "<size>;<SHA-256 hex>" of the file at `path`, as kFileDigestsList keeps
// it; nullopt when the file cannot be read.
std::optional<std::string> FileDigestOf(FileSystem& fs, std::string_view path);

// The driver's uninstall key (kUninstallKeyPrefix + ProductName); empty
// without a driver.
std::string UninstallKeyOf(const EngineContext& ctx);

class UninstallRecord {
 public:
  // `key` is the record's key below HKEY_LOCAL_MACHINE (UninstallKeyOf).
  // `ctx` must outlive the writer.
  UninstallRecord(const EngineContext& ctx, std::string key);

  const std::string& Key() const { return key_; }
  // Key() + "\" + `sub`.
  std::string SubKey(std::string_view sub) const;

  // The count "Entries" of `list_key` (a full key below HKLM): 0 when the key
  // or the value is missing, nullopt when it holds no decimal count.
  std::optional<int> ReadCount(std::string_view list_key) const;
  // Writes the string value `name` = `data` into `key` (a full key below
  // HKLM), creating the key. Throws EIRCannotWriteValue
  // kCannotWriteUninstallValue (key, name, data).
  void WriteString(std::string_view key, std::string_view name, std::string_view data) const;
  // Appends `data` to the list `list` below the record: n = its count + 1,
  // "File<n>" = data, then "Entries" = n. Returns the value name written.
  // Throws EIRCannotWriteValue (also for a count that is no number).
  std::string Append(std::string_view list, std::string_view data) const;
  // Writes the DWORD value `name` = `value` into `key`, creating the key.
  // Throws EIRCannotWriteValue (key, name, the value in decimal).
  void WriteDword(std::string_view key, std::string_view name, std::uint32_t value) const;
  // Adds a numbered subkey to the list `list` below the record: n = its
  // count + 1 (a missing or unreadable count counts as 0), skipping every n
  // whose subkey `item_prefix` + n exists already, so a damaged count never
  // overwrites an earlier record; writes "Entries" = n and returns the full
  // key of the new subkey (which is not created). Throws EIRCannotWriteValue.
  std::string AppendKey(std::string_view list, std::string_view item_prefix) const;
  // Appends to the installed-files list: "Files", and when anything there
  // fails, "Files1", "Files2", ... up to kInstalledFilesListAttempts names;
  // then the last error is thrown. Returns "<list>\File<n>".
  std::string AppendInstalledFile(std::string_view path) const;

 private:
  const EngineContext& ctx_;
  std::string key_;
};

}  // namespace brimwell
