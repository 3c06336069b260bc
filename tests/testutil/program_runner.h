// Runs the real programs the way a user would: a project bound to a copy of
// setupengine by `brimwell bind`, started offscreen and unattended with a
// temporary prefix, home and runtime directory; `brimwell` and other tools
// on the same prefix. Everything lives in one temporary directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/testutil/run.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

class ProgramRunner {
 public:
  // Runs `program` with `args` in the run environment; an entry of
  // `extra_env` replaces the one of the same name. Returns the exit status;
  // standard output lands in out_, standard error in err_.
  int Run(const std::filesystem::path& program, const std::vector<std::string>& args,
          const std::vector<std::string>& extra_env = {});
  int Brimwell(const std::vector<std::string>& args);

  // Binds project.json of the temporary directory into a copy of
  // setupengine and returns it; the second form writes `project` first.
  std::filesystem::path Bind();
  std::filesystem::path Bind(const std::string& project);

  std::filesystem::path prefix() const { return tmp_.path() / "prefix"; }
  std::filesystem::path log() const { return tmp_.path() / "run.log"; }
  std::filesystem::path dist() const { return tmp_.path() / "dist"; }
  static std::filesystem::path BinDir();

  // More environment entries ("NAME=value") for every program run, applied
  // before a run's own `extra_env`.
  std::vector<std::string> extra_env_;
  TempDir tmp_;
  std::string out_;
  std::string err_;
};

}  // namespace brimwell::testing
