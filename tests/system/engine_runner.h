// Runs the real programs the way a user would: a project bound to a copy of
// setupengine by `brimwell bind`, started offscreen and unattended with a
// temporary prefix, home and runtime directory; `brimwell` and other tools
// on the same prefix. Everything lives in one temporary directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.h"

extern char** environ;

namespace brimwell::testing {

class EngineRunner {
 public:
  // Runs `program` with `args`; returns its exit status (-1 when it did
  // not exit). Standard output lands in out_, standard error in err_.
  int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args) {
    namespace fs = std::filesystem;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      if (entry.starts_with("BRIMWELL_") || entry.starts_with("QT_QPA_PLATFORM=") || entry.starts_with("HOME=") ||
          entry.starts_with("XDG_")) {
        continue;
      }
      env.push_back(entry);
    }
    fs::create_directories(tmp_.path() / "home");
    fs::create_directories(tmp_.path() / "runtime");
    fs::permissions(tmp_.path() / "runtime", fs::perms::owner_all);
    // First, so that they win over the same names inherited.
    env.insert(env.begin(), extra_env_.begin(), extra_env_.end());
    for (const std::string& e : {"BRIMWELL_PREFIX=" + prefix().string(), "BRIMWELL_LOG=" + log().string(),
                                 std::string("BRIMWELL_UNATTENDED=1"), std::string("QT_QPA_PLATFORM=offscreen"),
                                 "HOME=" + (tmp_.path() / "home").string(),
                                 "XDG_RUNTIME_DIR=" + (tmp_.path() / "runtime").string()}) {
      env.push_back(e);
    }
    std::vector<std::string> argv_strings{program.string()};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& s : argv_strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);

    const fs::path out_file = tmp_.path() / "stdout";
    const fs::path err_file = tmp_.path() / "stderr";
    pid_t pid = ::fork();
    if (pid == 0) {
      if (std::freopen(out_file.c_str(), "w", stdout) == nullptr) ::_exit(120);
      if (std::freopen(err_file.c_str(), "w", stderr) == nullptr) ::_exit(120);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    out_ = ReadHostFile(out_file);
    err_ = ReadHostFile(err_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Brimwell(const std::vector<std::string>& args) {
    return RunProgram(std::filesystem::path(BRIMWELL_BIN_DIR) / "brimwell", args);
  }

  // Binds `project` (JSON text) into a copy of setupengine and returns it.
  std::filesystem::path Bind(const std::string& project) {
    namespace fs = std::filesystem;
    WriteHostFile(tmp_.path() / "project.json", project);
    fs::path out = tmp_.path() / "engine" / "setup-tool";
    fs::create_directories(out.parent_path());
    EXPECT_EQ(Brimwell({"bind", (tmp_.path() / "project.json").string(), out.string(), "--engine",
                        (fs::path(BRIMWELL_BIN_DIR) / "setupengine").string()}),
              0)
        << err_;
    return out;
  }

  std::filesystem::path prefix() const { return tmp_.path() / "prefix"; }
  std::filesystem::path log() const { return tmp_.path() / "run.log"; }
  std::filesystem::path dist() const { return tmp_.path() / "dist"; }

  // More environment entries ("NAME=value") for the programs run.
  std::vector<std::string> extra_env_;
  TempDirectory tmp_;
  std::string out_;
  std::string err_;
};

}  // namespace brimwell::testing
