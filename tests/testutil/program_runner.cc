#include "tests/testutil/program_runner.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace brimwell::testing {

namespace fs = std::filesystem;

int ProgramRunner::Run(const fs::path& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& extra_env) {
  const fs::path home = tmp_.path() / "home";
  const fs::path runtime = tmp_.path() / "runtime";
  fs::create_directories(home);
  fs::create_directories(runtime);
  // The engine installs only into a prefix directory that exists (a
  // mistyped BRIMWELL_PREFIX is refused); an empty one it makes a prefix.
  fs::create_directories(prefix());
  fs::permissions(runtime, fs::perms::owner_all);
  std::vector<std::string> env = CleanEnvironment();
  for (const std::string& e :
       {"BRIMWELL_PREFIX=" + prefix().string(), "BRIMWELL_LOG=" + log().string(), std::string("BRIMWELL_UNATTENDED=1"),
        std::string("QT_QPA_PLATFORM=offscreen"), "HOME=" + home.string(), "XDG_RUNTIME_DIR=" + runtime.string(),
        std::string("LANG=C.UTF-8")}) {
    env.push_back(e);
  }
  std::vector<std::string> extra = extra_env_;
  extra.insert(extra.end(), extra_env.begin(), extra_env.end());
  for (const std::string& e : extra) {
    const std::string name = e.substr(0, e.find('=') + 1);
    std::erase_if(env, [&](const std::string& entry) { return entry.starts_with(name); });
    env.push_back(e);
  }
  RunResult run = RunProgram(program, args, env);
  out_ = std::move(run.out);
  err_ = std::move(run.err);
  return run.status;
}

int ProgramRunner::Brimwell(const std::vector<std::string>& args) { return Run(BinDir() / "brimwell", args); }

fs::path ProgramRunner::Bind() {
  const fs::path out = tmp_.path() / "engine" / "setup-tool";
  fs::create_directories(out.parent_path());
  EXPECT_EQ(Brimwell({"bind", (tmp_.path() / "project.json").string(), out.string(), "--engine",
                      (BinDir() / "setupengine").string()}),
            0)
      << err_;
  return out;
}

fs::path ProgramRunner::Bind(const std::string& project) {
  WriteHostFile(tmp_.path() / "project.json", project);
  return Bind();
}

fs::path ProgramRunner::BinDir() { return BRIMWELL_BIN_DIR; }

}  // namespace brimwell::testing
