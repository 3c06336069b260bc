// brimwell build PROJECT.json OUTDIR: binds the project into a copy of the
// engine, writes BUILD.INF beside it naming OUTDIR and runs that engine in
// build mode, which writes setup.exe (self-extracting), setup.1 and files.1
// (and filelist.lst with the net archives for a web or network product).
#include <cstdio>
#include <string>
#include <vector>

#include "apps/brimwell/commands.h"
#include "framework/bound_project.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/machine.h"
#include "platform/paths.h"

namespace brimwell::cli {

int RunBind(Args args);

namespace {

constexpr char kUsage[] =
    "usage: brimwell build PROJECT.json OUTDIR [--engine PATH]\n"
    "\n"
    "Builds the product's distributables into OUTDIR (made when missing):\n"
    "setup.exe (the loader with setup.1, files.1 and their offsets appended, so\n"
    "it installs with no other file beside it), setup.1 (the engine bound to the\n"
    "project, then its presetup files) and files.1 (the product's files). A web\n"
    "or network product also gets filelist.lst and the server's archives below\n"
    "its net location's mirror directory, ready to upload.\n"
    "\n"
    "The project is bound to a copy of the engine (PATH, or the setupengine\n"
    "beside this program) as 'brimwell bind' does, and that engine builds in the\n"
    "prefix (BRIMWELL_PREFIX, else $XDG_DATA_HOME/brimwell/prefix), where\n"
    "'brimwell prefix init' recorded the toolkit directory that holds the loader.\n"
    "\n"
    "Exit status: 0 when every distributable was written, 2 for a usage error\n"
    "or a refused project, 1 when the build failed (its message is printed).\n";

constexpr char kBuildFailed[] = "the build failed (exit status %d)";
constexpr char kCannotRunEngine[] = "cannot run the engine %s";

std::string Absolute(const std::string& path) {
  if (path.starts_with('/')) return path;
  host::Result<std::string> cwd = host::Env::Default().CurrentDirectory();
  return cwd ? host::JoinPath(*cwd, path) : path;
}

// Removes the staging directory however the build ends.
struct StagingDirectory {
  std::string path;
  ~StagingDirectory() {
    if (!path.empty()) host::Env::Default().RemoveTree(path);
  }
};

void PrintDistributables(const std::string& dir, const std::string& shown_as) {
  host::Env& env = host::Env::Default();
  host::Result<std::vector<std::string>> names = env.ListDirectory(dir);
  if (!names) return;
  for (const std::string& name : *names) {
    const std::string path = host::JoinPath(dir, name);
    if (env.DirectoryExists(path)) {
      PrintDistributables(path, shown_as + name + "/");
      continue;
    }
    auto file = env.OpenFile(path, host::OpenMode::kRead);
    long long size = -1;
    if (file) {
      if (auto s = (*file)->Size()) size = *s;
    }
    std::printf("  %-28s %12lld bytes\n", (shown_as + name).c_str(), size);
  }
}

}  // namespace

int RunBuild(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  std::vector<std::string> positional;
  std::string engine_arg;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (a == "--engine") {
      engine_arg = OptionValue(args, i);
    } else if (a.starts_with("-")) {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  host::Env& env = host::Env::Default();
  const std::string project = Absolute(positional[0]);
  const std::string out_dir = Absolute(positional[1]);
  // The prefix must exist: it holds the toolkit directory's record.
  std::unique_ptr<Machine> machine = OpenMachine(DefaultPrefixDir(), PrefixCreation::kMustExist);
  const std::string out_windows = machine->GetPaths().ToWindows(out_dir);
  machine.reset();

  const std::string temp_root = env.GetEnv("TMPDIR").value_or("/tmp");
  host::Result<std::string> made = env.MakeTemporaryDirectory(temp_root, "brimwell-build.");
  if (!made) throw Exception(Format("cannot make a directory in %s", {temp_root}));
  StagingDirectory staging{*made};
  const std::string engine = host::JoinPath(staging.path, "setupengine");

  std::printf("binding %s\n", project.c_str());
  std::vector<std::string> bind_args{project, engine};
  if (!engine_arg.empty()) {
    bind_args.push_back("--engine");
    bind_args.push_back(engine_arg);
  }
  std::vector<char*> bind_argv;
  for (std::string& a : bind_args) bind_argv.push_back(a.data());
  if (int status = RunBind(Args(bind_argv.data(), bind_argv.size())); status != 0) return status;
  if (std::error_code e = env.WriteFile(host::JoinPath(staging.path, "BUILD.INF"), out_windows + "\r\n")) {
    throw Exception(Format("cannot write %s: %s", {host::JoinPath(staging.path, "BUILD.INF"), e.message()}));
  }

  std::printf("building into %s\n", out_dir.c_str());
  std::fflush(stdout);
  host::ProgramSpec spec;
  spec.argv = {engine, "-b"};
  spec.detached = false;
  // Build mode asks nothing; its error box is printed instead of shown.
  spec.environment = {{"BRIMWELL_UNATTENDED", "1"}, {"QT_QPA_PLATFORM", "offscreen"}};
  host::Result<int> pid = env.StartProgram(spec);
  if (!pid) throw Exception(Format(kCannotRunEngine, {engine}));
  host::Result<int> status = env.WaitForProgram(*pid);
  if (!status) throw Exception(Format(kCannotRunEngine, {engine}));
  if (*status != 0) {
    std::fprintf(stderr, "brimwell build: %s\n", Format(kBuildFailed, {*status}).c_str());
    return 1;
  }
  std::printf("built:\n");
  PrintDistributables(out_dir, "");
  return 0;
}

}  // namespace brimwell::cli
