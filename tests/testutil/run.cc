#include "tests/testutil/run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <sstream>

#include "tests/testutil/temp_dir.h"

extern char** environ;

namespace brimwell::testing {

namespace {

// Forks, sends the child's standard output and error to two files of a
// private directory, runs `exec` in the child and collects both streams.
template <typename Exec>
RunResult Capture(Exec exec) {
  TempDir streams;
  const std::filesystem::path out = streams.path() / "stdout";
  const std::filesystem::path err = streams.path() / "stderr";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) ::_exit(120);
    if (std::freopen(err.c_str(), "w", stderr) == nullptr) ::_exit(120);
    exec();
    ::_exit(127);
  }
  RunResult result;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = ReadHostFile(out);
  result.err = ReadHostFile(err);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env) {
  std::vector<std::string> argv_strings{program.string()};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<std::string> env_strings = env;
  std::vector<char*> argv = Pointers(argv_strings);
  std::vector<char*> envp = Pointers(env_strings);
  return Capture([&] { ::execve(argv[0], argv.data(), envp.data()); });
}

RunResult RunShell(const std::string& command) {
  return Capture([&] { ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr)); });
}

int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int status = 99;
    try {
      status = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
    }
    std::fflush(nullptr);
    ::_exit(status);
  }
  if (pid < 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> CleanEnvironment() {
  std::vector<std::string> env;
  const auto dropped = [](const std::string& entry) {
    for (const char* name : {"BRIMWELL_", "QT_QPA_PLATFORM=", "HOME=", "XDG_", "LANG=", "LC_ALL=", "LC_MESSAGES="}) {
      if (entry.starts_with(name)) return true;
    }
    return false;
  };
  for (char** e = environ; *e != nullptr; ++e) {
    if (!dropped(*e)) env.push_back(*e);
  }
  return env;
}

std::string LnkInfo(const std::filesystem::path& file) {
  RunResult run = RunShell("lnkinfo " + ShellQuote(file.string()) + " 2>&1");
  return run.out;
}

std::string LnkField(const std::string& report, const std::string& label) {
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    key.erase(0, key.find_first_not_of(" \t"));
    key.erase(key.find_last_not_of(" \t") + 1);
    if (key != label) continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    return value;
  }
  return "";
}

}  // namespace brimwell::testing
