// Reading a product's uninstall record back: the registry key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<product>
// that the install components wrote (engine/uninstall_record.h gives the
// layout). The reader trusts no count: it lists the numbered values and
// subkeys that are really there, and notes every sign of damage (a count
// that is missing, no number or does not match, a hive ordinal out of
// range) as a problem, so that the uninstall program can remove what the
// record proves and report the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/uninstall_record.h"
#include "platform/registry.h"

namespace brimwell {

// One "File<n>" value of an installed-files list ("Files", "Files1", ...).
struct RecordedFile {
  std::string list;        // the list key's name below the record
  int number = 0;          // n of "File<n>"
  std::string path;        // the installed path (Windows)
};

// One "File<n>" value of the "ActiveX" list: "<path>;1" servers, "<path>;0"
// libraries.
struct RecordedServer {
  int number = 0;
  std::string path;
  bool executable = false;
};

// One "RegistryKeys\RegistryKey<n>" record.
struct RecordedRegistryKey {
  int number = 0;
  RegistryHive hive = RegistryHive::kLocalMachine;
  std::string key;
  // Value name and the resolved text written (empty for numbers).
  std::vector<std::pair<std::string, std::string>> values;
};

struct RecordedIniEntry {
  std::string section;
  std::string key;
  std::string value;
};

// One "INIFiles\INIFile<n>" record.
struct RecordedIniFile {
  int number = 0;
  std::string path;
  std::vector<RecordedIniEntry> entries;
};

struct ProductRecord {
  std::string product;
  std::string key;  // below HKEY_LOCAL_MACHINE
  bool exists = false;
  std::string display_name;
  std::string display_version;
  std::string uninstall_string;
  std::vector<RecordedFile> files;  // in the order they were recorded
  std::vector<RecordedServer> servers;
  std::vector<RecordedRegistryKey> registry_keys;
  std::vector<RecordedIniFile> ini_files;
  // "<path>" -> "<size>;<digest>".
  std::vector<std::pair<std::string, std::string>> digests;
  // Damage found while reading, one sentence each.
  std::vector<std::string> problems;

  // The uninstall program's path: UninstallString without the " <product>"
  // that follows it; empty when the record names none.
  std::string UninstallProgram() const;
  // The recorded "<size>;<digest>" of `path` (compared without case).
  std::optional<std::string> DigestOf(std::string_view path) const;
};

// The record of `product`; `exists` is false when there is none. Throws
// only what the registry throws for an unreadable store.
ProductRecord ReadProductRecord(Registry& registry, std::string_view product);

// The names of the products that have a record, in name order.
std::vector<std::string> RecordedProducts(Registry& registry);

class Machine;

// A product with a record, as `brimwell prefix products` lists it.
struct InstalledProduct {
  std::string name;
  std::string version;
  std::string location;  // the uninstall program's folder, else the first file's
  std::uint64_t size = 0;  // bytes of the recorded files that exist
  std::size_t files = 0;   // recorded files and servers
};

// Every product with a record on `machine`, in name order.
std::vector<InstalledProduct> ListInstalledProducts(Machine& machine);

// The hive of a "Root" ordinal (hkClassesRoot 0, hkCurrentConfig 1,
// hkCurrentUser 2, hkDynData 3, hkLocalMachine 4, hkUsers 5).
std::optional<RegistryHive> HiveOfRootOrdinal(std::uint32_t ordinal);

}  // namespace brimwell
