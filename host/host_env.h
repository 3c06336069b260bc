// The host seam: every call this toolkit makes to the operating system it
// runs on (files by host path, the temporary directory, directory listings,
// the program's own path, the environment, starting programs) goes through
// one small interface. The POSIX implementation (posix_env.cc) is the only
// code outside platform/ that talks to the host; tests put a wrapper in
// front of it (host_env_wrapper.h) to provoke the failures they need.
//
// The seam sits below every library, the framework included, so it reports
// failures as errno values in std::error_code (generic category) rather than
// in the framework's exceptions; callers turn them into their own messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

namespace brimwell::host {

// The error for an errno value.
inline std::error_code ErrnoError(int error) { return std::error_code(error, std::generic_category()); }

// A value or the error that prevented it.
template <typename T>
class Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
  Result(std::error_code error) : state_(error) {}  // NOLINT: implicit by design

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }
  // The value; only when ok().
  T& operator*() { return std::get<T>(state_); }
  const T& operator*() const { return std::get<T>(state_); }
  T* operator->() { return &std::get<T>(state_); }
  const T* operator->() const { return &std::get<T>(state_); }
  // The error; an empty error_code when ok().
  std::error_code error() const { return ok() ? std::error_code() : std::get<std::error_code>(state_); }

 private:
  std::variant<T, std::error_code> state_;
};

// An open file of the host with a position. Reads and writes go straight to
// the file (no buffering of its own).
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Reads up to buffer.size() bytes at the position; 0 at the end.
  virtual Result<std::size_t> Read(std::span<std::uint8_t> buffer) = 0;
  // Writes up to data.size() bytes at the position and returns how many
  // went; a full medium (ENOSPC, EFBIG, EDQUOT) is an error like any other.
  virtual Result<std::size_t> Write(std::span<const std::uint8_t> data) = 0;
  virtual std::error_code Seek(std::int64_t position) = 0;
  virtual Result<std::int64_t> Position() = 0;
  virtual Result<std::int64_t> Size() = 0;
  // Sets the last-write time to `unix_seconds`; the access time stays.
  virtual std::error_code SetModificationTime(std::int64_t unix_seconds) = 0;
  // Adds the execute bits wherever the read bits are set.
  virtual std::error_code MakeExecutable() = 0;
  // Locks the whole file for this open file: `exclusive`, or shared with
  // other shared locks. While another open file (of this process or
  // another) holds a lock in the way, waits up to `wait_ms` milliseconds,
  // then fails with EWOULDBLOCK. The lock goes when the file is closed or
  // the process ends, however it ends.
  virtual std::error_code Lock(bool exclusive, int wait_ms) = 0;
};

enum class OpenMode {
  kRead,       // an existing file, read only
  kReadWrite,  // an existing file, read and write
  kCreate,     // created or truncated, read and write
  kCreateNew,  // created, read and write; fails with EEXIST when the name
               // exists in any form, a link included (never followed)
};

// A file written under a temporary name beside its final path and renamed
// over that path by Commit, so that no reader ever sees it half-written.
// Dropped without Commit, the temporary file is removed.
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  virtual ~AtomicFile() = default;

  // Appends all of `data`.
  virtual std::error_code Append(std::string_view data) = 0;
  // Sets the last-write time the file keeps after Commit to `unix_seconds`
  // (after the last Append).
  virtual std::error_code SetModificationTime(std::int64_t unix_seconds) = 0;
  // Gives the file the permission bits `mode` (nullopt keeps those it was
  // created with: 0666 less the umask), closes it and renames it over the
  // final path. Nothing may be appended afterwards.
  virtual std::error_code Commit(std::optional<unsigned> mode) = 0;
};

// A program to start: argv[0] is the program (a path, or with search_path
// a name looked up in PATH when it holds no '/').
struct ProgramSpec {
  std::vector<std::string> argv;
  // Variables set in the program's environment on top of this process's.
  std::vector<std::pair<std::string, std::string>> environment;
  // The program's current directory; empty keeps this process's. A
  // directory that cannot be entered is ignored (the program still starts).
  std::string working_directory;
  bool search_path = false;
  // Detached: the program runs in a session of its own and is not a child
  // of this process, so nothing is left to wait for.
  bool detached = true;
};

// What the interrupt, hang-up and termination signals (SIGINT, SIGHUP,
// SIGTERM) do to this process.
enum class TerminationSignals {
  kDefault,  // they end the process
  kHeld,     // they wait, blocked, for WaitForProgramPassingSignals to pass
             // them on; programs started meanwhile inherit them blocked
  kCaught,   // they are recorded (CaughtTerminationSignal) and the process
             // goes on; a program started later gets the default again
};

// When detached work begins.
enum class DetachedStart {
  kAtOnce,
  kAfterThisProcessExits,
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The POSIX implementation, shared by the whole process; never freed.
  static Env& Default();

  // --- Files, by host path ---------------------------------------------
  // Opens `path`; a directory is refused with EISDIR. The file is not
  // inherited by started programs.
  virtual Result<std::unique_ptr<File>> OpenFile(const std::string& path, OpenMode mode) = 0;
  // The whole content of `path`.
  virtual Result<std::string> ReadFile(const std::string& path) = 0;
  // Creates or truncates `path` and writes `data` to it in place.
  virtual std::error_code WriteFile(const std::string& path, std::string_view data) = 0;
  // Starts replacing `path` (see AtomicFile).
  virtual Result<std::unique_ptr<AtomicFile>> NewAtomicFile(const std::string& path) = 0;
  // Replaces `path` by `data` with permission bits `mode` (see
  // AtomicFile::Commit): written beside and renamed over, never
  // half-written.
  std::error_code WriteFileAtomically(const std::string& path, std::string_view data,
                                      std::optional<unsigned> mode = std::nullopt);
  // The permission bits of an existing file or directory.
  virtual Result<unsigned> FileMode(const std::string& path) = 0;
  // True when `path` names an existing regular file (links followed).
  virtual bool FileExists(const std::string& path) = 0;
  // True when `path` names an existing directory (links followed).
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Adds the execute bits wherever the read bits are set.
  virtual std::error_code MakeExecutable(const std::string& path) = 0;
  virtual std::error_code RemoveFile(const std::string& path) = 0;
  // Removes `path` with everything below it; a missing path is no error.
  virtual std::error_code RemoveTree(const std::string& path) = 0;
  // Makes one directory (mode 0700 & ~umask when `private_to_user`, else 0777).
  virtual std::error_code MakeDirectory(const std::string& path, bool private_to_user) = 0;
  // The names in `dir` (without "." and ".."), in the host's order.
  virtual Result<std::vector<std::string>> ListDirectory(const std::string& dir) = 0;
  // Free bytes available to this user on the file system holding `path`.
  virtual Result<std::int64_t> FreeBytes(const std::string& path) = 0;

  // --- Temporary files ----------------------------------------------------
  // The temporary directory without trailing '/': TMPDIR when set and not
  // empty (made absolute against the current directory), else "/tmp".
  std::string TemporaryDirectory();
  // Makes a new directory `dir`/`prefix`XXXXXX, private to this user, and
  // returns its path.
  virtual Result<std::string> MakeTemporaryDirectory(const std::string& dir, std::string_view prefix) = 0;
  // Creates a new empty file `dir`/`prefix`XXXXXX`suffix` (never one that
  // existed) and returns its path.
  virtual Result<std::string> MakeUniqueFile(const std::string& dir, std::string_view prefix,
                                             std::string_view suffix) = 0;

  // --- This process -------------------------------------------------------
  // The absolute path of the running executable, as the kernel knows it.
  virtual Result<std::string> ExecutablePath() = 0;
  // Opens the running executable itself, even when its path was renamed or
  // replaced since the program started.
  virtual Result<std::unique_ptr<File>> OpenExecutable() = 0;
  virtual Result<std::string> CurrentDirectory() = 0;
  // The value of an environment variable; nullopt when unset.
  virtual std::optional<std::string> GetEnv(const std::string& name) = 0;
  // Sets an environment variable of this process, seen by the libraries it
  // uses and by every program it starts from now on.
  virtual std::error_code SetEnvironmentVariable(const std::string& name, const std::string& value) = 0;
  // Chooses what the termination signals do from now on (see
  // TerminationSignals); a signal caught before stays recorded.
  virtual void SetTerminationSignals(TerminationSignals how) = 0;
  // The last termination signal caught (kCaught), 0 when none was.
  virtual int CaughtTerminationSignal() = 0;
  // The process id of this process.
  virtual int ProcessId() = 0;
  // True when `stream` is a terminal.
  virtual bool IsTerminal(std::FILE* stream) = 0;

  // --- Other programs ---------------------------------------------------
  // Starts a program with fork and exec. Returns once the program has
  // replaced the new process, or with the errno of the fork or exec that
  // failed. The result is the program's process id; for a detached program
  // it is not a child of this one and must not be waited for.
  // Descriptors above standard error are not inherited.
  virtual Result<int> StartProgram(const ProgramSpec& spec) = 0;
  // Waits for a child started without `detached`; its exit status, or 128
  // plus the signal that ended it.
  virtual Result<int> WaitForProgram(int pid) = 0;
  // WaitForProgram for a program started while the termination signals are
  // held: each one this process receives meanwhile is sent on to the
  // program, whose own handling decides what it does.
  virtual Result<int> WaitForProgramPassingSignals(int pid) = 0;
  // Runs `work` in a forked copy of this process, detached (own session,
  // standard streams on /dev/null, no other descriptor of this process
  // kept), which ends when `work` returns. With kAfterThisProcessExits it
  // first waits until this process has ended. The copy shares no state with
  // this process: `work` must not rely on open databases or locks. Returns
  // once the copy exists, or the error of a failed fork.
  virtual std::error_code RunDetached(const std::function<void()>& work, DetachedStart start) = 0;
};

}  // namespace brimwell::host
