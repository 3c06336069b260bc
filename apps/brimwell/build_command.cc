// brimwell build PROJECT.json OUTDIR [--type ...]: binds the project into a copy of the
// engine, writes BUILD.INF beside it naming OUTDIR and runs that engine in
// build mode, which writes setup.exe (self-extracting), setup.1 and files.1
// (and filelist.lst with the net archives for a web or network product).
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "apps/brimwell/commands.h"
#include "engine/install.h"
#include "framework/bound_project.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/win_path.h"

namespace brimwell::cli {

namespace {

constexpr char kUsage[] =
    "usage: brimwell build PROJECT.json OUTDIR [--type traditional|net|web]\n"
    "                      [--threads N] [--engine PATH]\n"
    "\n"
    "Builds the product's distributables into OUTDIR (made when missing):\n"
    "setup.exe (the loader with setup.1, files.1 and their offsets appended, so\n"
    "it installs with no other file beside it), setup.1 (the engine bound to the\n"
    "project, then its presetup files) and files.1 (the product's files). A web\n"
    "or network product also gets filelist.lst and the server's archives below\n"
    "its net location's mirror directory, ready to upload.\n"
    "\n"
    "--type sets the product's distribution for this build, whatever its\n"
    "TInstall's DistributeType says: 'traditional' keeps every file in files.1,\n"
    "'net' sends the files marked Net to the server's archives, 'web' sends\n"
    "every file there (both need the TInstall's NetLocation).\n"
    "\n"
    "The project is bound to a copy of the engine (PATH, or the setupengine\n"
    "beside this program) as 'brimwell bind' does, and that engine builds in the\n"
    "prefix (BRIMWELL_PREFIX, else $XDG_DATA_HOME/brimwell/prefix), where\n"
    "'brimwell prefix init' recorded the toolkit directory that holds the loader.\n"
    "\n"
    "--threads N compresses the files on N threads (default: one per core);\n"
    "the distributables are the same for every N.\n"
    "\n"
    "It prints each distributable this build wrote, with its size.\n"
    "\n"
    "Exit status: 0 when every distributable was written, 2 for a usage error\n"
    "or a refused project, 1 when the build failed (its message is printed).\n";

constexpr char kBuildFailed[] = "the build failed (exit status %d)";
constexpr char kCannotRunEngine[] = "cannot run the engine %s";
constexpr char kUnknownType[] = "--type is traditional, net or web, not %s";

// The DistributeType value of each --type.
std::optional<std::string> DistributeTypeOf(const std::string& type) {
  if (type == "traditional") return "dtTraditional";
  if (type == "net") return "dtTraditionalNet";
  if (type == "web") return "dtWeb";
  return std::nullopt;
}

// The project with every TInstall's DistributeType set to `value`. Text
// that is not a JSON project is left for the project check to refuse.
std::string WithDistributeType(const std::string& text, const std::string& value) {
  nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc["components"].is_array()) return text;
  for (nlohmann::json& c : doc["components"]) {
    if (!c.is_object() || c.value("class", "") != "TInstall") continue;
    if (!c["properties"].is_object()) c["properties"] = nlohmann::json::object();
    c["properties"]["DistributeType"] = value;
  }
  return doc.dump(1);
}

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

// Prints every file below `dir` (a Windows path) written at or after
// `since`, the files this build wrote: a distributable an earlier build
// left and this one did not write again is not reported.
void PrintWritten(FileSystem& fs, const std::string& dir, const std::string& shown_as, TDateTime since) {
  auto found = fs.FindFiles(IncludeTrailingBackslash(dir) + "*");
  if (!found.ok()) return;
  std::vector<FindData> entries = std::move(*found);
  std::sort(entries.begin(), entries.end(), [](const FindData& a, const FindData& b) { return a.name < b.name; });
  for (const FindData& f : entries) {
    if (f.name == "." || f.name == "..") continue;
    if ((f.attributes & kFileAttributeDirectory) != 0) {
      PrintWritten(fs, IncludeTrailingBackslash(dir) + f.name, shown_as + f.name + "/", since);
    } else if (f.last_write_time >= since) {
      std::printf("  %-36s %12llu bytes\n", (shown_as + f.name).c_str(), static_cast<unsigned long long>(f.size));
    }
  }
}

}  // namespace

int RunBuild(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  std::vector<std::string> positional;
  std::string engine_arg;
  std::optional<std::string> distribute_type;
  std::string threads;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (a == "--engine") {
      engine_arg = OptionValue(args, i);
    } else if (a == "--threads") {
      threads = OptionValue(args, i);
      std::optional<std::int64_t> n = ParseNumber(threads);
      if (!n || *n < 1 || *n > 1024) {
        std::fprintf(stderr, "brimwell build: --threads takes a number from 1 to 1024, not %s\n", threads.c_str());
        return 2;
      }
    } else if (a == "--type") {
      const std::string type = OptionValue(args, i);
      distribute_type = DistributeTypeOf(type);
      if (!distribute_type) {
        std::fprintf(stderr, "brimwell build: %s\n", Format(kUnknownType, {type}).c_str());
        return 2;
      }
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

  const std::string temp_root = env.TemporaryDirectory();
  host::Result<std::string> made = env.MakeTemporaryDirectory(temp_root, "brimwell-build.");
  if (!made) throw Exception(Format("cannot make a directory in %s", {temp_root}));
  StagingDirectory staging{*made};
  const std::string engine = host::JoinPath(staging.path, "setupengine");

  std::printf("binding %s\n", project.c_str());
  std::function<std::string(const std::string&)> edit;
  if (distribute_type) edit = [&](const std::string& text) { return WithDistributeType(text, *distribute_type); };
  if (int status = BindProjectFile(project, engine, engine_arg, edit); status != 0) return status;
  const std::string inf = host::JoinPath(staging.path, "BUILD.INF");
  if (std::error_code e = env.WriteFile(inf, out_windows + "\r\n")) {
    throw Exception(Format("cannot write %s: %s", {inf, e.message()}));
  }
  // What the engine writes from now on is newer than BUILD.INF (the same
  // clock stamps both).
  FileSystem& fs = machine->GetFileSystem();
  TDateTime started = 0;
  if (auto found = fs.FindFiles(machine->GetPaths().ToWindows(inf)); found.ok() && !found->empty()) {
    started = found->front().last_write_time;
  }

  std::printf("building into %s\n", out_dir.c_str());
  std::fflush(stdout);
  host::ProgramSpec spec;
  spec.argv = {engine, "-b"};
  spec.detached = false;
  // Build mode asks nothing; its error box is printed instead of shown.
  spec.environment = {{"BRIMWELL_UNATTENDED", "1"}, {"QT_QPA_PLATFORM", "offscreen"}};
  if (!threads.empty()) spec.environment.push_back({kBuildThreadsVariable, threads});
  // Qt wants a private runtime directory even offscreen.
  if (!env.GetEnv("XDG_RUNTIME_DIR")) spec.environment.push_back({"XDG_RUNTIME_DIR", staging.path});
  host::Result<int> pid = env.StartProgram(spec);
  if (!pid) throw Exception(Format(kCannotRunEngine, {engine}));
  host::Result<int> status = env.WaitForProgram(*pid);
  if (!status) throw Exception(Format(kCannotRunEngine, {engine}));
  if (*status != 0) {
    std::fprintf(stderr, "brimwell build: %s\n", Format(kBuildFailed, {*status}).c_str());
    return 1;
  }
  std::printf("built:\n");
  PrintWritten(fs, out_windows, "", started);
  return 0;
}

}  // namespace brimwell::cli
