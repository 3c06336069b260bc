// The drive map of a prefix and the translation between Windows paths and
// host paths. Only this service turns a Windows path into a host path.
//
// A prefix maps drive letters to host directories: C: is <prefix>/drive_c,
// every other letter a link <prefix>/dosdevices/<letter>: (Z: is "/" unless
// the prefix says otherwise). Each component of a Windows path is looked up
// without regard to case when the exact name does not exist, so "SETUP.1"
// finds setup.1; directory listings made for that are cached and kept right
// by the file service when the engine itself creates or removes entries.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

enum class DriveType {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};

// "removable", "fixed", "remote", "cdrom", "ramdisk", "unknown".
const char* DriveTypeName(DriveType type);

struct DriveMapping {
  char letter = 'C';             // upper case
  std::filesystem::path target;  // host directory the drive root shows
  DriveType type = DriveType::kFixed;
};

class Paths {
 public:
  Paths() = default;
  Paths(const Paths&) = delete;
  Paths& operator=(const Paths&) = delete;
  virtual ~Paths() = default;

  // The host path of a Windows path. Accepts "X:\...", a path relative to the
  // current directory ("a\b", "\a\b", "X:a"), and a host absolute path
  // beginning with "/" (read as Z:\...). Components that exist under another
  // letter case resolve to the existing name; missing components are kept as
  // written, so the result also serves to create them.
  // Throws EPathError for an unknown drive letter, a UNC path, or a path with
  // characters Windows refuses in names ("<>|" and control characters).
  virtual std::filesystem::path ToHost(std::string_view windows_path) = 0;

  // What a translation saw of the entry it names, when it looked.
  enum class Seen {
    kUnknown,    // not looked at, or a link: ask the file system
    kMissing,    // no entry of that name, in any letter case
    kFile,       // an entry that is no directory (and no link)
    kDirectory,  // a directory (no link)
  };
  // ToHost, also telling what it saw of the entry on its way, which spares
  // the caller a second look.
  virtual std::filesystem::path ToHost(std::string_view windows_path, Seen& seen) {
    seen = Seen::kUnknown;
    return ToHost(windows_path);
  }

  // The Windows form "X:\..." of a host path: the drive whose target is the
  // longest prefix of the path (C: before Z:). Throws EPathError when no
  // drive reaches the path (Z: has been unmapped). The path need not exist.
  virtual std::string ToWindows(const std::filesystem::path& host_path) = 0;

  // The full Windows form of a path, as GetFullPathName gives it: relative
  // paths completed with the current directory, "." and ".." applied,
  // separators made backslashes, host paths turned into "Z:\...". Does not
  // look at the file system. Throws EPathError as ToHost.
  virtual std::string FullPath(std::string_view windows_path) = 0;

  // Every mapped drive, ordered by letter.
  virtual std::vector<DriveMapping> Drives() = 0;
  // The drive's host directory; nullopt for an unmapped letter.
  virtual std::optional<DriveMapping> Drive(char letter) = 0;

  // The current directory ("C:\" in a fresh machine), always a full path
  // without trailing backslash except at a root. Set returns false when the
  // directory does not exist.
  virtual std::string CurrentDirectory() = 0;
  virtual bool SetCurrentDirectory(std::string_view windows_path) = 0;

  // Cache upkeep, called by the file service after it created or removed an
  // entry (file, directory or link) at `host_path`; harmless for paths the
  // cache never listed.
  virtual void NoteCreated(const std::filesystem::path& host_path) = 0;
  virtual void NoteRemoved(const std::filesystem::path& host_path) = 0;
};

}  // namespace brimwell
