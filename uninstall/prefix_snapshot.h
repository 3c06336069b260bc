// A snapshot of what a prefix holds, as a user of the machine sees it:
// every folder and file of drive C: (size, SHA-256, last-write time),
// every registry key and value (HKEY_LOCAL_MACHINE and HKEY_USERS, which
// the other hives show), and the values of every INI file. Two snapshots
// compared give what an installation or an uninstallation changed; the
// install-then-uninstall proof is an empty difference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brimwell {

class Machine;

struct SnapshotEntry {
  // "folder", "file", "key", "value" or "ini".
  std::string kind;
  // A folder's or file's Windows path, a key's or value's full name
  // ("HKEY_LOCAL_MACHINE\...\name"), an INI value's "<file> [section] key".
  std::string name;
  // What is compared: a file's "<size>;<sha-256>", a value's type and data
  // as text, an INI value's text; empty for folders and keys.
  std::string content;
  // Shown, not compared: a file's last-write time.
  std::string date;
};

struct PrefixSnapshot {
  std::vector<SnapshotEntry> entries;  // sorted by kind, then name without case
};

// The snapshot of `machine`'s prefix. Throws what the registry throws for
// an unreadable store.
PrefixSnapshot TakeSnapshot(Machine& machine);

// As JSON: {"format": "brimwell-snapshot/1", "entries": [{"kind", "name",
// "content", "date"}...]}.
std::string SnapshotToJson(const PrefixSnapshot& snapshot);
// Reads SnapshotToJson's text. Throws Exception naming what is wrong.
PrefixSnapshot SnapshotFromJson(const std::string& text);

struct SnapshotChange {
  // "added", "removed" or "changed".
  std::string change;
  std::string kind;
  std::string name;
  std::string before;
  std::string after;
};

// What changed from `before` to `after` (last-write times alone are no
// change), in kind and name order.
std::vector<SnapshotChange> CompareSnapshots(const PrefixSnapshot& before, const PrefixSnapshot& after);

// One line per change: "+ file C:\...", "- key HKEY_...", "~ value ...: old -> new".
std::string ChangesToText(const std::vector<SnapshotChange>& changes);
std::string ChangesToJson(const std::vector<SnapshotChange>& changes);

}  // namespace brimwell
