// The Windows machine the engine sees: one object owning every platform
// service of one prefix. Code above the platform reaches the machine only
// through it; a test opens a fresh machine on a temporary prefix.
//
// A prefix is a directory laid out like a Wine prefix: drive_c/ is C:,
// dosdevices/<letter>: links map the other drives (z: is "/"), registry.db
// holds the registry and brimwell.ini the configuration (prefix_config.h).
// Opening a prefix for the first time creates C:\WINDOWS, its system and
// temporary directories, C:\Program Files\Common Files, the Start Menu with
// Programs and Startup, the Desktop, the removable drive A: with disk 1 in
// it, and the registry values the engine reads (Shell Folders,
// ProgramFilesDir, CommonFilesDir, ...).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <typeindex>
#include <unordered_map>

#include "platform/prefix_config.h"
#include "platform/windows_version.h"

namespace brimwell {

namespace host {
class File;
}

// The file in a prefix whose lock says an installation is running there.
inline constexpr char kInstallLockFile[] = "install.lock";

class FileSystem;
class Paths;
class ProfileStrings;
class Processes;
class Registry;
class Restart;

class Machine {
 public:
  // The parts of a machine. Services may refer to each other and to the
  // configuration owned by the machine; they are destroyed in reverse order.
  struct Services {
    std::unique_ptr<Paths> paths;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<FileSystem> file_system;
    std::unique_ptr<ProfileStrings> profile_strings;
    std::unique_ptr<Processes> processes;
    std::unique_ptr<Restart> restart;
  };

  Machine(std::filesystem::path prefix, std::unique_ptr<PrefixConfig> config);
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;
  // Commits the registry.
  ~Machine();

  // Installs the services (done once by the factory).
  void SetServices(Services services);

  const std::filesystem::path& PrefixDir() const { return prefix_; }

  Paths& GetPaths();
  FileSystem& GetFileSystem();
  Registry& GetRegistry();
  ProfileStrings& GetProfileStrings();
  Processes& GetProcesses();
  Restart& GetRestart();

  // Which Windows the machine presents (stored in the prefix's
  // configuration, so every process using the prefix sees the change).
  WindowsFamily GetWindowsFamily() const { return config_->windows; }
  WindowsVersion GetWindowsVersion() const { return VersionOf(config_->windows); }
  void SetWindowsFamily(WindowsFamily family);
  // GetUserDefaultLangID: the language the prefix states, else the host
  // locale's (user_language.h).
  std::uint16_t GetUserDefaultLangId() const;
  // States the language in the prefix.
  void SetUserDefaultLangId(std::uint16_t lang_id);
  // Leaves the language to the host locale again.
  void ClearUserDefaultLangId();
  const PrefixConfig& Config() const { return *config_; }

  // Takes the prefix's install lock (kInstallLockFile in the prefix), which
  // one process at a time holds: until the returned file is dropped or the
  // process ends, however it ends (a killed installation leaves no stale
  // lock). nullptr when another process holds it; `holder` then receives
  // that process's id (0 when unknown). Throws EPrefixError when the lock
  // file cannot be made.
  std::unique_ptr<host::File> TryLockInstall(int& holder);
  // Changes and saves the configuration (for settings without a setter).
  void UpdateConfig(const PrefixConfig& config);

  // Test seams: from now on the accessor returns `wrapper` (usually a
  // *Wrapper forwarding to the original, which stays owned by the machine).
  // Services keep using each other's originals.
  void InterposeFileSystem(std::unique_ptr<FileSystem> wrapper);
  void InterposeRegistry(std::unique_ptr<Registry> wrapper);
  void InterposeProfileStrings(std::unique_ptr<ProfileStrings> wrapper);
  void InterposeProcesses(std::unique_ptr<Processes> wrapper);
  void InterposeRestart(std::unique_ptr<Restart> wrapper);

  // Services of later subsystems (version resources, shell links, Program
  // Manager, internet) attach themselves by type; Find answers nullptr until
  // one is attached. The machine owns what is attached.
  template <typename Service>
  void Attach(std::unique_ptr<Service> service) {
    attached_[std::type_index(typeid(Service))] = std::shared_ptr<void>(std::move(service));
  }
  template <typename Service>
  Service* Find() const {
    auto it = attached_.find(std::type_index(typeid(Service)));
    return it == attached_.end() ? nullptr : static_cast<Service*>(it->second.get());
  }

 private:
  std::filesystem::path prefix_;
  std::unique_ptr<PrefixConfig> config_;
  Services services_;
  Services interposed_;
  std::unordered_map<std::type_index, std::shared_ptr<void>> attached_;
};

enum class PrefixCreation {
  kCreateIfMissing,  // make and populate the prefix on first use
  kMustExist,        // EPrefixError when `prefix` holds no prefix
};

// Opens the prefix at `prefix`. Throws EPrefixError when it cannot be made or
// used, ERegistryStoreError (naming the file) for a corrupt or unreadable
// registry.
std::unique_ptr<Machine> OpenMachine(const std::filesystem::path& prefix,
                                     PrefixCreation creation = PrefixCreation::kCreateIfMissing);

// The prefix named by BRIMWELL_PREFIX, else $XDG_DATA_HOME/brimwell/prefix,
// else ~/.local/share/brimwell/prefix.
std::filesystem::path DefaultPrefixDir();
std::unique_ptr<Machine> OpenDefaultMachine(
    PrefixCreation creation = PrefixCreation::kCreateIfMissing);

// The machine an installation works on. The prefix BRIMWELL_PREFIX names
// must be an existing directory (one that holds no prefix yet is made one),
// so a mistyped name is refused with EPrefixError ("There is no prefix in
// ... (create one with 'brimwell prefix init')") instead of becoming a new
// prefix; the default prefix is made on first use.
std::unique_ptr<Machine> OpenInstallMachine();

// True when `dir` holds a prefix (drive_c and dosdevices exist).
bool IsPrefix(const std::filesystem::path& dir);

// Copies the prefix at `from` to the new directory `to` (which must not
// exist), its drive links kept as links, so that a run on the copy sees the
// same machine and leaves the original alone. No process may write to the
// prefix meanwhile. Throws EPrefixError naming what could not be copied.
void CopyPrefix(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace brimwell
