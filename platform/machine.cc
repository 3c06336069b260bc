#include "platform/machine.h"

#include <cstdio>
#include <cstdlib>
#include <span>

#include "framework/format.h"
#include "host/host_env.h"
#include "platform/file_system.h"
#include "platform/ini_profile_strings.h"
#include "platform/linux_file_system.h"
#include "platform/linux_paths.h"
#include "platform/linux_processes.h"
#include "platform/linux_restart.h"
#include "platform/platform_errors.h"
#include "platform/processes.h"
#include "platform/profile_strings.h"
#include "platform/registry.h"
#include "platform/restart.h"
#include "platform/sqlite_registry.h"
#include "platform/startup_sequence.h"
#include "platform/user_language.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kNoPrefix[] = "There is no prefix in %s (create one with 'brimwell prefix init')";
constexpr char kCannotCreatePrefix[] = "Cannot create the prefix %s: %s";
constexpr char kRegistryFile[] = "registry.db";
constexpr char kCannotLock[] = "Cannot lock %s: %s";

constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

template <typename T>
T& Pick(const std::unique_ptr<T>& interposed, const std::unique_ptr<T>& own) {
  return interposed ? *interposed : *own;
}

void MakeLink(const std::filesystem::path& link, const std::filesystem::path& target) {
  std::error_code ec;
  if (std::filesystem::is_symlink(link, ec)) return;
  std::filesystem::create_symlink(target, link, ec);
  if (ec) throw EPrefixError(Format(kCannotCreatePrefix, {link.parent_path().parent_path().string(), ec.message()}));
}

void CreateLayout(const std::filesystem::path& prefix, const PrefixConfig& config) {
  std::error_code ec;
  std::filesystem::create_directories(prefix / "drive_c", ec);
  if (!ec) std::filesystem::create_directories(prefix / "dosdevices", ec);
  if (ec) throw EPrefixError(Format(kCannotCreatePrefix, {prefix.string(), ec.message()}));
  MakeLink(prefix / "dosdevices" / "c:", "../drive_c");
  MakeLink(prefix / "dosdevices" / "z:", "/");
  for (const auto& [letter, capacity] : config.removable) {
    std::string lower(1, static_cast<char>(letter - 'A' + 'a'));
    std::filesystem::create_directories(prefix / "disks" / lower / "1", ec);
    MakeLink(prefix / "dosdevices" / (lower + ":"), "../disks/" + lower + "/1");
  }
}

void SetIfMissing(Registry& registry, RegistryHive hive, std::string_view key, std::string_view name,
                  std::string_view value) {
  if (!registry.ValueExists(hive, key, name)) (void)registry.WriteString(hive, key, name, value);
}

// The folders and registry values a fresh Windows has and the engine reads.
// Values a user changed are left alone.
void Populate(Machine& machine) {
  FileSystem& files = machine.GetFileSystem();
  Registry& registry = machine.GetRegistry();
  std::string windows = files.WindowsDirectory();
  std::string start_menu = JoinWinPath(windows, "Start Menu");
  std::string programs = JoinWinPath(start_menu, "Programs");
  std::string startup = JoinWinPath(programs, "Startup");
  std::string desktop = JoinWinPath(windows, "Desktop");
  std::string program_files = "C:\\Program Files";
  std::string common_files = JoinWinPath(program_files, "Common Files");
  for (const std::string& dir : {windows, files.SystemDirectory(), files.TempPath(), start_menu, programs, startup,
                                 desktop, common_files}) {
    files.ForceDirectories(dir);
  }
  SetIfMissing(registry, RegistryHive::kCurrentUser, kShellFoldersKey, "Start Menu", start_menu);
  SetIfMissing(registry, RegistryHive::kCurrentUser, kShellFoldersKey, "Programs", programs);
  SetIfMissing(registry, RegistryHive::kCurrentUser, kShellFoldersKey, "Startup", startup);
  SetIfMissing(registry, RegistryHive::kCurrentUser, kShellFoldersKey, "Desktop", desktop);
  SetIfMissing(registry, RegistryHive::kLocalMachine, kCurrentVersionKey, "ProgramFilesDir", program_files);
  SetIfMissing(registry, RegistryHive::kLocalMachine, kCurrentVersionKey, "CommonFilesDir", common_files);
  (void)registry.CreateKey(RegistryHive::kLocalMachine, kRunOnceKey);
  (void)registry.CreateKey(RegistryHive::kLocalMachine, kSessionManagerKey);
  (void)registry.CreateKey(RegistryHive::kClassesRoot, "");
  (void)registry.CreateKey(RegistryHive::kCurrentUser, "");
  (void)registry.CreateKey(RegistryHive::kCurrentConfig, "");
  (void)registry.Flush();
}

}  // namespace

Machine::Machine(std::filesystem::path prefix, std::unique_ptr<PrefixConfig> config)
    : prefix_(std::move(prefix)), config_(std::move(config)) {}

Machine::~Machine() {
  if (services_.registry) {
    try {
      (void)services_.registry->Flush();
    } catch (const std::exception& e) {
      // Lost writes must not go unnoticed, and a destructor cannot throw.
      std::fprintf(stderr, "%s\n", e.what());
    }
  }
}

void Machine::SetServices(Services services) { services_ = std::move(services); }

Paths& Machine::GetPaths() { return *services_.paths; }
FileSystem& Machine::GetFileSystem() { return Pick(interposed_.file_system, services_.file_system); }
Registry& Machine::GetRegistry() { return Pick(interposed_.registry, services_.registry); }
ProfileStrings& Machine::GetProfileStrings() {
  return Pick(interposed_.profile_strings, services_.profile_strings);
}
Processes& Machine::GetProcesses() { return Pick(interposed_.processes, services_.processes); }
Restart& Machine::GetRestart() { return Pick(interposed_.restart, services_.restart); }

void Machine::SetWindowsFamily(WindowsFamily family) {
  PrefixConfig config = *config_;
  config.windows = family;
  UpdateConfig(config);
  if (services_.file_system) services_.file_system->ForceDirectories(services_.file_system->SystemDirectory());
}

std::uint16_t Machine::GetUserDefaultLangId() const {
  if (config_->user_default_lang_stated) return config_->user_default_lang_id;
  return LangIdOfLocale(HostMessagesLocale().name);
}

void Machine::SetUserDefaultLangId(std::uint16_t lang_id) {
  PrefixConfig config = *config_;
  config.user_default_lang_id = lang_id;
  config.user_default_lang_stated = true;
  UpdateConfig(config);
}

void Machine::ClearUserDefaultLangId() {
  PrefixConfig config = *config_;
  config.user_default_lang_id = kDefaultLangId;
  config.user_default_lang_stated = false;
  UpdateConfig(config);
}

void Machine::UpdateConfig(const PrefixConfig& config) {
  config.Save(prefix_);
  *config_ = config;  // the services hold a reference to this object
}

void Machine::InterposeFileSystem(std::unique_ptr<FileSystem> wrapper) { interposed_.file_system = std::move(wrapper); }
void Machine::InterposeRegistry(std::unique_ptr<Registry> wrapper) { interposed_.registry = std::move(wrapper); }
void Machine::InterposeProfileStrings(std::unique_ptr<ProfileStrings> wrapper) {
  interposed_.profile_strings = std::move(wrapper);
}
void Machine::InterposeProcesses(std::unique_ptr<Processes> wrapper) { interposed_.processes = std::move(wrapper); }
void Machine::InterposeRestart(std::unique_ptr<Restart> wrapper) { interposed_.restart = std::move(wrapper); }

std::unique_ptr<host::File> Machine::TryLockInstall(int& holder) {
  host::Env& env = host::Env::Default();
  const std::string path = (prefix_ / kInstallLockFile).string();
  holder = 0;
  // Opened without truncation: the holder's id stays readable.
  auto file = env.OpenFile(path, host::OpenMode::kReadWrite);
  if (!file && file.error() == std::errc::no_such_file_or_directory) {
    file = env.OpenFile(path, host::OpenMode::kCreateNew);
    if (!file && file.error() == std::errc::file_exists) file = env.OpenFile(path, host::OpenMode::kReadWrite);
  }
  if (!file) throw EPrefixError(Format(kCannotLock, {path, file.error().message()}));
  if (std::error_code ec = (*file)->Lock(true, 0)) {
    if (ec != std::errc::operation_would_block) throw EPrefixError(Format(kCannotLock, {path, ec.message()}));
    std::uint8_t buffer[32] = {};
    auto read = (*file)->Read(buffer);
    if (read) holder = std::atoi(std::string(reinterpret_cast<const char*>(buffer), *read).c_str());
    return nullptr;
  }
  // The id, padded so that a shorter one overwrites a longer one whole.
  char text[32];
  int length = std::snprintf(text, sizeof text, "%-20d\n", env.ProcessId());
  (void)(*file)->Seek(0);
  (void)(*file)->Write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text),
                                                     static_cast<std::size_t>(length)));
  return std::move(*file);
}

bool IsPrefix(const std::filesystem::path& dir) {
  std::error_code ec;
  return std::filesystem::is_directory(dir / "drive_c", ec) && std::filesystem::is_directory(dir / "dosdevices", ec);
}

void CopyPrefix(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!IsPrefix(from)) throw EPrefixError(Format(kNoPrefix, {from.string()}));
  std::error_code ec;
  if (std::filesystem::exists(to, ec)) throw EPrefixError(to.string() + " exists already");
  // The registry's journal goes along with its database, so the copy holds
  // every committed write.
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks,
                        ec);
  if (ec) throw EPrefixError("cannot copy the prefix " + from.string() + " to " + to.string() + ": " + ec.message());
}

std::unique_ptr<Machine> OpenMachine(const std::filesystem::path& prefix_dir, PrefixCreation creation) {
  std::filesystem::path prefix = std::filesystem::absolute(prefix_dir).lexically_normal();
  if (prefix.has_filename() == false && prefix.has_parent_path()) prefix = prefix.parent_path();
  bool existed = IsPrefix(prefix);
  if (!existed && creation == PrefixCreation::kMustExist) throw EPrefixError(Format(kNoPrefix, {prefix.string()}));
  auto config = std::make_unique<PrefixConfig>(PrefixConfig::Load(prefix));
  if (!existed) CreateLayout(prefix, *config);
  if (!std::filesystem::exists(prefix / kPrefixConfigFile)) config->Save(prefix);
  bool fresh_registry = !std::filesystem::exists(prefix / kRegistryFile);

  auto machine = std::make_unique<Machine>(prefix, std::move(config));
  const PrefixConfig& shared = machine->Config();
  Machine::Services services;
  services.paths = std::make_unique<LinuxPaths>(prefix, shared);
  services.registry = std::make_unique<SqliteRegistry>(prefix / kRegistryFile);
  services.file_system = std::make_unique<LinuxFileSystem>(prefix, shared, *services.paths, *services.registry);
  services.profile_strings = std::make_unique<IniProfileStrings>(*services.file_system, *services.paths);
  services.processes = std::make_unique<LinuxProcesses>(prefix, *services.file_system, *services.paths);
  services.restart = std::make_unique<LinuxRestart>(prefix, shared);
  machine->SetServices(std::move(services));
  if (!existed || fresh_registry) Populate(*machine);
  return machine;
}

std::filesystem::path DefaultPrefixDir() {
  host::Env& env = host::Env::Default();
  if (std::optional<std::string> prefix = env.GetEnv("BRIMWELL_PREFIX"); prefix && !prefix->empty()) return *prefix;
  if (std::optional<std::string> data = env.GetEnv("XDG_DATA_HOME"); data && !data->empty()) {
    return std::filesystem::path(*data) / "brimwell" / "prefix";
  }
  std::optional<std::string> home = env.GetEnv("HOME");
  return std::filesystem::path(home ? *home : ".") / ".local" / "share" / "brimwell" / "prefix";
}

std::unique_ptr<Machine> OpenDefaultMachine(PrefixCreation creation) {
  return OpenMachine(DefaultPrefixDir(), creation);
}

std::unique_ptr<Machine> OpenInstallMachine() {
  host::Env& env = host::Env::Default();
  std::optional<std::string> named = env.GetEnv("BRIMWELL_PREFIX");
  if (named && !named->empty() && !env.DirectoryExists(*named)) throw EPrefixError(Format(kNoPrefix, {*named}));
  return OpenDefaultMachine(PrefixCreation::kCreateIfMissing);
}

}  // namespace brimwell
