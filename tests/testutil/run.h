// Running other programs from a test: the toolkit's own executables, the
// engine, and outside readers (python3, lnkinfo) that check what the
// toolkit wrote.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace brimwell::testing {

struct RunResult {
  int status = -1;  // the exit status; -1 when the program did not exit
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `program` with `args` and exactly the environment `env`
// ("NAME=value" entries), standard output and error captured apart.
RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env);

// Runs a command line through /bin/sh in the test's own environment.
RunResult RunShell(const std::string& command);

// Runs `body` in a forked child process and returns its exit status (-1
// when it did not exit normally). The child never returns into the test;
// an exception in `body` is printed and exits with 99.
int InChild(const std::function<int()>& body);

// `text` quoted for /bin/sh.
std::string ShellQuote(const std::string& text);

// The test's environment without the entries that name a prefix, a home,
// a display platform or a locale, so nothing of the user's reaches a run.
std::vector<std::string> CleanEnvironment();

// lnkinfo's report of a link file, and the value it prints after
// "<label>:" (blanks trimmed; "" when absent).
std::string LnkInfo(const std::filesystem::path& file);
std::string LnkField(const std::string& report, const std::string& label);

}  // namespace brimwell::testing
