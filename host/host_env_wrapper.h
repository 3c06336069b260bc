// An Env that forwards every call to another one. A test derives from it
// and overrides the one call whose failure it wants to provoke; FaultyEnv
// does that for the common case of "this call fails with this errno".
#pragma once

#include <cerrno>
#include <map>
#include <optional>
#include <string>

#include "host/host_env.h"

namespace brimwell::host {

class EnvWrapper : public Env {
 public:
  // `target` must outlive the wrapper.
  explicit EnvWrapper(Env& target) : target_(target) {}
  Env& target() const { return target_; }

  Result<std::unique_ptr<File>> OpenFile(const std::string& path, OpenMode mode) override {
    return target_.OpenFile(path, mode);
  }
  Result<std::string> ReadFile(const std::string& path) override { return target_.ReadFile(path); }
  std::error_code WriteFile(const std::string& path, std::string_view data) override {
    return target_.WriteFile(path, data);
  }
  Result<std::unique_ptr<AtomicFile>> NewAtomicFile(const std::string& path) override {
    return target_.NewAtomicFile(path);
  }
  Result<unsigned> FileMode(const std::string& path) override { return target_.FileMode(path); }
  bool FileExists(const std::string& path) override { return target_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return target_.DirectoryExists(path); }
  std::error_code MakeExecutable(const std::string& path) override { return target_.MakeExecutable(path); }
  std::error_code RemoveFile(const std::string& path) override { return target_.RemoveFile(path); }
  std::error_code RemoveTree(const std::string& path) override { return target_.RemoveTree(path); }
  std::error_code MakeDirectory(const std::string& path, bool private_to_user) override {
    return target_.MakeDirectory(path, private_to_user);
  }
  Result<std::vector<std::string>> ListDirectory(const std::string& dir) override {
    return target_.ListDirectory(dir);
  }
  Result<std::int64_t> FreeBytes(const std::string& path) override { return target_.FreeBytes(path); }
  Result<std::string> MakeTemporaryDirectory(const std::string& dir, std::string_view prefix) override {
    return target_.MakeTemporaryDirectory(dir, prefix);
  }
  Result<std::string> MakeUniqueFile(const std::string& dir, std::string_view prefix,
                                     std::string_view suffix) override {
    return target_.MakeUniqueFile(dir, prefix, suffix);
  }
  Result<std::string> ExecutablePath() override { return target_.ExecutablePath(); }
  Result<std::unique_ptr<File>> OpenExecutable() override { return target_.OpenExecutable(); }
  Result<std::string> CurrentDirectory() override { return target_.CurrentDirectory(); }
  std::optional<std::string> GetEnv(const std::string& name) override { return target_.GetEnv(name); }
  std::error_code SetEnvironmentVariable(const std::string& name, const std::string& value) override {
    return target_.SetEnvironmentVariable(name, value);
  }
  void SetTerminationSignals(TerminationSignals how) override { target_.SetTerminationSignals(how); }
  int CaughtTerminationSignal() override { return target_.CaughtTerminationSignal(); }
  int ProcessId() override { return target_.ProcessId(); }
  bool IsTerminal(std::FILE* stream) override { return target_.IsTerminal(stream); }
  Result<int> StartProgram(const ProgramSpec& spec) override { return target_.StartProgram(spec); }
  Result<int> WaitForProgram(int pid) override { return target_.WaitForProgram(pid); }
  Result<int> WaitForProgramPassingSignals(int pid) override { return target_.WaitForProgramPassingSignals(pid); }
  std::error_code RunDetached(const std::function<void()>& work, DetachedStart start) override {
    return target_.RunDetached(work, start);
  }

 private:
  Env& target_;
};

// The calls FaultyEnv can make fail.
enum class HostCall {
  kOpenFile,
  kReadFile,
  kWriteFile,
  kNewAtomicFile,
  kAtomicAppend,
  kAtomicCommit,
  kListDirectory,
  kFreeBytes,
  kMakeTemporaryDirectory,
  kMakeUniqueFile,
  kMakeDirectory,
  kExecutablePath,
  kStartProgram,
  kRunDetached,
};

// Forwards every call, except that each call named by Fail returns the
// given errno instead of reaching the host. Variables named by SetEnv or
// UnsetEnv read as set there, without touching the process's environment.
class FaultyEnv : public EnvWrapper {
 public:
  explicit FaultyEnv(Env& target = Env::Default()) : EnvWrapper(target) {}

  void Fail(HostCall call, int error) { faults_[call] = error; }
  void Heal(HostCall call) { faults_.erase(call); }
  void SetEnv(const std::string& name, const std::string& value) { variables_[name] = value; }
  void UnsetEnv(const std::string& name) { variables_[name] = std::nullopt; }

  Result<std::unique_ptr<File>> OpenFile(const std::string& path, OpenMode mode) override {
    if (std::error_code e = Fault(HostCall::kOpenFile)) return e;
    return EnvWrapper::OpenFile(path, mode);
  }
  Result<std::string> ReadFile(const std::string& path) override {
    if (std::error_code e = Fault(HostCall::kReadFile)) return e;
    return EnvWrapper::ReadFile(path);
  }
  std::error_code WriteFile(const std::string& path, std::string_view data) override {
    if (std::error_code e = Fault(HostCall::kWriteFile)) return e;
    return EnvWrapper::WriteFile(path, data);
  }
  Result<std::unique_ptr<AtomicFile>> NewAtomicFile(const std::string& path) override {
    if (std::error_code e = Fault(HostCall::kNewAtomicFile)) return e;
    Result<std::unique_ptr<AtomicFile>> file = EnvWrapper::NewAtomicFile(path);
    if (!file) return file;
    return std::unique_ptr<AtomicFile>(std::make_unique<FaultyAtomicFile>(std::move(*file), *this));
  }
  Result<std::vector<std::string>> ListDirectory(const std::string& dir) override {
    if (std::error_code e = Fault(HostCall::kListDirectory)) return e;
    return EnvWrapper::ListDirectory(dir);
  }
  Result<std::int64_t> FreeBytes(const std::string& path) override {
    if (std::error_code e = Fault(HostCall::kFreeBytes)) return e;
    return EnvWrapper::FreeBytes(path);
  }
  Result<std::string> MakeTemporaryDirectory(const std::string& dir, std::string_view prefix) override {
    if (std::error_code e = Fault(HostCall::kMakeTemporaryDirectory)) return e;
    return EnvWrapper::MakeTemporaryDirectory(dir, prefix);
  }
  Result<std::string> MakeUniqueFile(const std::string& dir, std::string_view prefix,
                                     std::string_view suffix) override {
    if (std::error_code e = Fault(HostCall::kMakeUniqueFile)) return e;
    return EnvWrapper::MakeUniqueFile(dir, prefix, suffix);
  }
  std::error_code MakeDirectory(const std::string& path, bool private_to_user) override {
    if (std::error_code e = Fault(HostCall::kMakeDirectory)) return e;
    return EnvWrapper::MakeDirectory(path, private_to_user);
  }
  Result<std::string> ExecutablePath() override {
    if (std::error_code e = Fault(HostCall::kExecutablePath)) return e;
    return EnvWrapper::ExecutablePath();
  }
  std::optional<std::string> GetEnv(const std::string& name) override {
    auto it = variables_.find(name);
    if (it != variables_.end()) return it->second;
    return EnvWrapper::GetEnv(name);
  }
  std::error_code SetEnvironmentVariable(const std::string& name, const std::string& value) override {
    variables_[name] = value;
    return {};
  }
  Result<int> StartProgram(const ProgramSpec& spec) override {
    if (std::error_code e = Fault(HostCall::kStartProgram)) return e;
    return EnvWrapper::StartProgram(spec);
  }
  std::error_code RunDetached(const std::function<void()>& work, DetachedStart start) override {
    if (std::error_code e = Fault(HostCall::kRunDetached)) return e;
    return EnvWrapper::RunDetached(work, start);
  }

 private:
  class FaultyAtomicFile final : public AtomicFile {
   public:
    FaultyAtomicFile(std::unique_ptr<AtomicFile> file, FaultyEnv& env) : file_(std::move(file)), env_(env) {}
    std::error_code Append(std::string_view data) override {
      if (std::error_code e = env_.Fault(HostCall::kAtomicAppend)) return e;
      return file_->Append(data);
    }
    std::error_code SetModificationTime(std::int64_t unix_seconds) override {
      return file_->SetModificationTime(unix_seconds);
    }
    std::error_code Commit(std::optional<unsigned> mode) override {
      if (std::error_code e = env_.Fault(HostCall::kAtomicCommit)) return e;
      return file_->Commit(mode);
    }

   private:
    std::unique_ptr<AtomicFile> file_;
    FaultyEnv& env_;
  };

  std::error_code Fault(HostCall call) const {
    auto it = faults_.find(call);
    return it == faults_.end() ? std::error_code() : ErrnoError(it->second);
  }

  std::map<HostCall, int> faults_;
  std::map<std::string, std::optional<std::string>> variables_;
};

}  // namespace brimwell::host
