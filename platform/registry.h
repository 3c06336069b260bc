// The Windows registry of a prefix: hives of keys, each key holding subkeys
// and named values. Key and value names are case-insensitive and keep the
// case they were created with; subkeys enumerate in name order without case
// (as Windows compares them, upper-cased), values in creation order (a value
// that is overwritten keeps its place).
//
// Key paths are written with backslashes below a hive; a leading backslash
// changes nothing ("\SOFTWARE\A" and "SOFTWARE\A" are one key), nor does a
// trailing one; the empty path is the hive's root.
//
// Writes are batched into transactions for speed; Flush commits (and so does
// destruction, and the store on its own after a short while), and what was
// committed survives a crash of the process. Several processes may use one
// prefix's registry at once.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_error.h"

namespace brimwell {

enum class RegistryHive {
  kClassesRoot,    // HKEY_CLASSES_ROOT, HKCR: shows HKLM\SOFTWARE\Classes
  kCurrentUser,    // HKEY_CURRENT_USER, HKCU: shows HKU\.DEFAULT
  kLocalMachine,   // HKEY_LOCAL_MACHINE, HKLM
  kUsers,          // HKEY_USERS, HKU
  kCurrentConfig,  // HKEY_CURRENT_CONFIG, HKCC: shows
                   // HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current
  kDynData,        // HKEY_DYN_DATA
};

// "HKEY_LOCAL_MACHINE" and so on.
std::string_view HiveName(RegistryHive hive);
// Accepts the full names and the abbreviations HKLM, HKCU, HKCR, HKU, HKCC
// (and HKDD), case-insensitive.
std::optional<RegistryHive> ParseHive(std::string_view name);
// Splits "HKLM\SOFTWARE\A" into the hive and "SOFTWARE\A"; throws
// ERegistryException "Invalid registry key %s" when the first component is
// no hive.
std::pair<RegistryHive, std::string> ParseRegistryPath(std::string_view full_path);

// Value types (REG_*). The engine writes strings, DWORDs and binary data;
// the others are stored and exported as they are (the delayed-move list is a
// REG_MULTI_SZ, as on Windows).
enum class RegistryValueType : std::uint32_t {
  kNone = 0,
  kString = 1,        // REG_SZ
  kExpandString = 2,  // REG_EXPAND_SZ
  kBinary = 3,        // REG_BINARY
  kDword = 4,         // REG_DWORD (little-endian)
  kMultiString = 7,   // REG_MULTI_SZ
};

// "REG_SZ", "REG_DWORD", ... ("REG_0x<n>" for others).
std::string RegistryTypeName(RegistryValueType type);
std::optional<RegistryValueType> ParseRegistryTypeName(std::string_view name);

// A value as stored: its type and raw data. A string's data is its text
// without terminating NUL; a DWORD's its four bytes little-endian; a multi
// string's the strings each followed by NUL, then one more NUL.
struct RegistryValue {
  RegistryValueType type = RegistryValueType::kNone;
  std::string data;

  static RegistryValue String(std::string_view text);
  static RegistryValue Dword(std::uint32_t value);
  static RegistryValue Binary(std::string_view bytes);
  static RegistryValue MultiString(const std::vector<std::string>& strings);

  // The typed contents. Throw ERegistryException "Invalid data type for '%s'"
  // (with `name`) when the value has another type; AsString accepts REG_SZ
  // and REG_EXPAND_SZ.
  std::string AsString(std::string_view name) const;
  std::uint32_t AsDword(std::string_view name) const;
  std::vector<std::string> AsMultiString(std::string_view name) const;
  bool operator==(const RegistryValue&) const = default;
};

// One entry of a value enumeration.
struct RegistryValueEntry {
  std::string name;  // "" is the key's default value
  RegistryValue value;
};

class Registry {
 public:
  Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  virtual ~Registry() = default;

  // --- Keys -----------------------------------------------------------------

  virtual bool KeyExists(RegistryHive hive, std::string_view key) = 0;
  // Opens or creates the key and every missing key above it (RegCreateKey).
  // Fails with kErrorInvalidParameter for a key name longer than 255
  // characters or holding a control character (below 0x20, or 0x7f). Every method throws ERegistryStoreError (naming the file)
  // when the store cannot be read or written.
  virtual WinStatus CreateKey(RegistryHive hive, std::string_view key) = 0;
  // Names of the direct subkeys, in name order without case.
  // kErrorFileNotFound when the key does not exist.
  virtual WinResult<std::vector<std::string>> SubKeys(RegistryHive hive, std::string_view key) = 0;
  // Deletes a key without subkeys and its values (RegDeleteKey on NT):
  // kErrorAccessDenied when it has subkeys, kErrorFileNotFound when missing.
  virtual WinStatus DeleteKey(RegistryHive hive, std::string_view key) = 0;
  // Deletes a key with everything below it. kErrorFileNotFound when missing.
  virtual WinStatus DeleteTree(RegistryHive hive, std::string_view key) = 0;

  // --- Values ---------------------------------------------------------------

  // The value, or nullopt when the key or the value does not exist.
  virtual std::optional<RegistryValue> QueryValue(RegistryHive hive, std::string_view key,
                                                  std::string_view name) = 0;
  // Names in creation order; kErrorFileNotFound when the key does not exist.
  virtual WinResult<std::vector<std::string>> ValueNames(RegistryHive hive,
                                                         std::string_view key) = 0;
  // Names and data in creation order; kErrorFileNotFound when missing.
  virtual WinResult<std::vector<RegistryValueEntry>> Values(RegistryHive hive,
                                                            std::string_view key) = 0;
  // Writes (creates or overwrites) a value. The key must exist
  // (kErrorFileNotFound otherwise), as with an opened key on Windows.
  virtual WinStatus SetValue(RegistryHive hive, std::string_view key, std::string_view name,
                             const RegistryValue& value) = 0;
  // kErrorFileNotFound when the key or the value does not exist.
  virtual WinStatus DeleteValue(RegistryHive hive, std::string_view key,
                                std::string_view name) = 0;

  // Commits every write made so far (RegFlushKey flushes everything);
  // inside an update (below) it commits nothing.
  virtual WinStatus Flush() = 0;

  // --- All or nothing -------------------------------------------------------

  // Commits what is pending, then holds back every write that follows until
  // EndUpdate: none of them is committed on its own (not by Flush, nor by
  // the store's committer, nor at destruction) or seen by another process.
  // EndUpdate(true) commits them together; EndUpdate(false), destruction
  // without EndUpdate, or the death of the process drops them all. Updates
  // do not nest. Both throw ERegistryStoreError when the store fails (a
  // commit that fails drops the update).
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate(bool commit) = 0;

  // --- Conveniences over the calls above ------------------------------------

  // nullopt when missing; throw ERegistryException when the value exists
  // with another type ("Invalid data type for '%s'").
  std::optional<std::string> ReadString(RegistryHive hive, std::string_view key,
                                        std::string_view name);
  std::optional<std::uint32_t> ReadDword(RegistryHive hive, std::string_view key,
                                         std::string_view name);
  std::optional<std::string> ReadBinary(RegistryHive hive, std::string_view key,
                                        std::string_view name);
  // The same without the exception: nullopt when the value is missing or
  // holds another type, which callers that only look for a setting treat
  // alike. A store that cannot be read still throws ERegistryStoreError.
  std::optional<std::string> FindString(RegistryHive hive, std::string_view key, std::string_view name);
  std::optional<std::uint32_t> FindDword(RegistryHive hive, std::string_view key, std::string_view name);
  std::optional<std::string> FindBinary(RegistryHive hive, std::string_view key, std::string_view name);
  // Create the key when missing, then write.
  WinStatus WriteString(RegistryHive hive, std::string_view key, std::string_view name,
                        std::string_view text);
  WinStatus WriteDword(RegistryHive hive, std::string_view key, std::string_view name,
                       std::uint32_t value);
  WinStatus WriteBinary(RegistryHive hive, std::string_view key, std::string_view name,
                        std::string_view bytes);
  bool ValueExists(RegistryHive hive, std::string_view key, std::string_view name);
};

// An update of a registry (Registry::BeginUpdate) that is dropped when the
// object goes out of scope without Commit, by an exception for instance.
class RegistryUpdate {
 public:
  explicit RegistryUpdate(Registry& registry) : registry_(registry) { registry_.BeginUpdate(); }
  RegistryUpdate(const RegistryUpdate&) = delete;
  RegistryUpdate& operator=(const RegistryUpdate&) = delete;
  ~RegistryUpdate();
  // Commits the update's writes together; throws ERegistryStoreError when
  // they cannot be (and they are then dropped).
  void Commit();

 private:
  Registry& registry_;
  bool open_ = true;
};

}  // namespace brimwell
