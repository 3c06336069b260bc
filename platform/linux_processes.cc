#include "platform/linux_processes.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/command_line_text.h"
#include "host/host_env.h"
#include "platform/after_exit.h"
#include "platform/batch_interpreter.h"
#include "platform/file_system.h"
#include "platform/linux_file_system.h"
#include "platform/paths.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

std::string ReadMagic(const std::filesystem::path& host) {
  char magic[4] = {};
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  ssize_t n = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return n > 0 ? std::string(magic, static_cast<std::size_t>(n)) : std::string();
}

bool IsElf(const std::string& magic) { return magic.size() == 4 && magic == "\x7F" "ELF"; }
bool IsScript(const std::string& magic) { return magic.size() >= 2 && magic[0] == '#' && magic[1] == '!'; }
bool IsPe(const std::string& magic) { return magic.size() >= 2 && magic[0] == 'M' && magic[1] == 'Z'; }

class DlLibrary final : public Library {
 public:
  DlLibrary(void* handle, int lock_fd, std::string path) : handle_(handle), lock_fd_(lock_fd), path_(std::move(path)) {}
  ~DlLibrary() override {
    ::dlclose(handle_);
    if (lock_fd_ >= 0) ::close(lock_fd_);
  }
  void* GetProcAddress(std::string_view name) override {
    return ::dlsym(handle_, std::string(name).c_str());
  }
  const std::string& Path() const override { return path_; }

 private:
  void* handle_;
  int lock_fd_;  // holds the "deny delete" mark: a loaded library is in use
  std::string path_;
};

}  // namespace

LinuxProcesses::LinuxProcesses(std::filesystem::path prefix, FileSystem& files, Paths& paths)
    : prefix_(std::move(prefix)), files_(files), paths_(paths) {}

std::string LinuxProcesses::FindProgram(std::string_view candidate) {
  std::vector<std::string> names{std::string(candidate)};
  if (ExtractFileExt(candidate).empty()) names.push_back(std::string(candidate) + ".exe");
  bool bare = candidate.front() != '/' && ExtractFilePath(candidate).empty();
  for (const std::string& name : names) {
    if (!bare) {
      if (files_.FileExists(name)) return name;
      continue;
    }
    for (const std::string& dir : {paths_.CurrentDirectory(), files_.SystemDirectory(), files_.WindowsDirectory()}) {
      std::string path = JoinWinPath(dir, name);
      if (files_.FileExists(path)) return path;
    }
  }
  return std::string();
}

WinResult<ParsedCommand> LinuxProcesses::ParseCommand(std::string_view command_line) {
  std::string_view line = command_line;
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  if (line.empty()) return WinResult<ParsedCommand>::Error(kErrorFileNotFound);
  ParsedCommand parsed;
  std::string_view rest;
  std::string first_candidate;
  if (line.front() == '"') {
    std::size_t close = line.find('"', 1);
    std::string_view program = line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    rest = close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
    first_candidate = std::string(program);
    parsed.program = FindProgram(program);
  } else {
    // Unquoted: the shortest prefix ending before a blank that names an
    // existing file ("C:\Program Files\app.exe -x" tries "C:\Program" first).
    std::size_t end = 0;
    while (true) {
      end = line.find(' ', end);
      std::string_view candidate = line.substr(0, end);
      if (first_candidate.empty()) first_candidate = std::string(candidate);
      if (!candidate.empty()) parsed.program = FindProgram(candidate);
      if (!parsed.program.empty() || end == std::string_view::npos) {
        rest = end == std::string_view::npos ? std::string_view() : line.substr(end);
        break;
      }
      ++end;
    }
  }
  if (parsed.program.empty()) {
    std::string dir = ExtractFileDir(first_candidate);
    bool dir_missing = !dir.empty() && !files_.DirectoryExists(dir);
    return WinResult<ParsedCommand>::Error(dir_missing ? kErrorPathNotFound : kErrorFileNotFound);
  }
  parsed.host_program = paths_.ToHost(parsed.program);
  parsed.arguments = SplitCommandLine(rest);
  return parsed;
}

LinuxProcesses::Kind LinuxProcesses::KindOf(const std::filesystem::path& host) {
  std::string ext = WinUpperCase(host.extension().string());
  if (ext == ".BAT" || ext == ".CMD") return Kind::kBatch;
  std::string magic = ReadMagic(host);
  if (IsPe(magic)) return Kind::kBad;
  if (!IsElf(magic) && !IsScript(magic)) return Kind::kBad;
  struct stat st;
  if (::stat(host.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) == 0) {
    // Windows runs any program file; the host needs the execute bits.
    ::chmod(host.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
  }
  return Kind::kProgram;
}

WinResult<int> LinuxProcesses::Spawn(const ParsedCommand& command, ShowState show, bool detach) {
  host::ProgramSpec spec;
  spec.argv.push_back(command.host_program.string());
  for (const std::string& a : command.arguments) spec.argv.push_back(a);
  spec.environment = {{"BRIMWELL_PREFIX", prefix_.string()},
                      {"BRIMWELL_SHOW_STATE", std::to_string(static_cast<int>(show))}};
  spec.working_directory = paths_.ToHost(paths_.CurrentDirectory()).string();
  spec.detached = detach;
  host::Result<int> started = host::Env::Default().StartProgram(spec);
  if (!started) {
    int error = started.error().value();
    return WinResult<int>::Error(error == ENOEXEC ? kErrorBadExeFormat : WinErrorFromErrno(error));
  }
  return *started;
}

std::uint32_t LinuxProcesses::WinExec(std::string_view command_line, ShowState show) {
  auto parsed = ParseCommand(command_line);
  if (!parsed) return parsed.error() == kErrorPathNotFound ? kExecPathNotFound : kExecFileNotFound;
  switch (KindOf(parsed->host_program)) {
    case Kind::kBad: return kExecBadFormat;
    case Kind::kBatch: {
      // A batch runs through the interpreter in a detached copy.
      std::error_code error = host::Env::Default().RunDetached(
          [&] { RunBatchFile(files_, parsed->program); }, host::DetachedStart::kAtOnce);
      return error ? kExecFileNotFound : kExecStarted;
    }
    case Kind::kProgram: break;
  }
  auto started = Spawn(*parsed, show, true);
  if (!started) {
    if (started.error() == kErrorBadExeFormat) return kExecBadFormat;
    return started.error() == kErrorPathNotFound ? kExecPathNotFound : kExecFileNotFound;
  }
  return kExecStarted;
}

WinResult<int> LinuxProcesses::RunAndWait(std::string_view command_line, ShowState show) {
  auto parsed = ParseCommand(command_line);
  if (!parsed) return WinResult<int>::Error(parsed.error());
  switch (KindOf(parsed->host_program)) {
    case Kind::kBad: return WinResult<int>::Error(kErrorBadExeFormat);
    case Kind::kBatch: return RunBatchFile(files_, parsed->program).failures == 0 ? 0 : 1;
    case Kind::kProgram: break;
  }
  auto started = Spawn(*parsed, show, false);
  if (!started) return started;
  host::Result<int> status = host::Env::Default().WaitForProgram(*started);
  if (!status) return WinResult<int>::Error(WinErrorFromErrno(status.error().value()));
  return *status;
}

WinStatus LinuxProcesses::StartBatchAfterExit(std::string_view batch_path) {
  if (!files_.FileExists(batch_path)) return WinStatus::Error(kErrorFileNotFound);
  std::string path = paths_.FullPath(batch_path);
  // A program that can start a copy of itself runs the batch there, so that
  // no process runs its executable when the batch deletes it.
  if (CanStartBatchProgram()) return StartBatchProgramAfterExit(prefix_, path);
  return RunAfterThisProcessExits([&] { RunBatchFile(files_, path); });
}

WinResult<std::unique_ptr<Library>> LinuxProcesses::LoadLibrary(std::string_view path) {
  using Result = WinResult<std::unique_ptr<Library>>;
  std::string name(path);
  if (ExtractFileExt(name).empty() && !name.empty() && name.back() != '.') name += ".dll";
  std::string found;
  bool bare = !name.empty() && name.front() != '/' && ExtractFilePath(name).empty();
  if (bare) {
    for (const std::string& dir : {paths_.CurrentDirectory(), files_.SystemDirectory(), files_.WindowsDirectory()}) {
      if (files_.FileExists(JoinWinPath(dir, name))) {
        found = JoinWinPath(dir, name);
        break;
      }
    }
  } else if (files_.FileExists(name)) {
    found = name;
  }
  if (found.empty()) return Result::Error(kErrorModNotFound);
  std::filesystem::path host = paths_.ToHost(found);
  std::string magic = ReadMagic(host);
  if (!IsElf(magic)) return Result::Error(kErrorBadExeFormat);
  void* handle = ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    std::string text = why != nullptr ? why : "";
    bool bad_image = text.find("wrong ELF class") != std::string::npos ||
                     text.find("invalid ELF header") != std::string::npos ||
                     text.find("file too short") != std::string::npos;
    return Result::Error(bad_image ? kErrorBadExeFormat : kErrorModNotFound);
  }
  int lock_fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (lock_fd >= 0) {
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockDenyDelete;
    fl.l_len = 1;
    (void)::fcntl(lock_fd, F_OFD_SETLK, &fl);
  }
  return std::unique_ptr<Library>(std::make_unique<DlLibrary>(handle, lock_fd, paths_.FullPath(found)));
}

}  // namespace brimwell
