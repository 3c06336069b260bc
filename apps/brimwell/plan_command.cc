// brimwell plan: what an installation would change, found by running it
// unattended on a throwaway copy of the prefix and comparing the copy's
// snapshots before and after; the real prefix is never touched.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "apps/brimwell/commands.h"
#include "framework/exception.h"
#include "host/host_env.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "uninstall/prefix_snapshot.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell plan SETUP.EXE [--prefix DIR] [--json] [--keep] [-- ARGS...]\n"
    "\n"
    "Runs SETUP.EXE (a host path; the loader or a bound engine, with ARGS)\n"
    "unattended and without a display on a copy of the prefix (DIR, default\n"
    "BRIMWELL_PREFIX) and prints every folder, file, registry key and value and\n"
    "INI value the installation would add, remove or replace, as\n"
    "'brimwell prefix diff' prints them (--json: as JSON). The prefix itself is\n"
    "left alone; --keep keeps the copy and names it. Exit status: 0, or 1 when\n"
    "the run did not end within two minutes or ended with an error status.\n";

// How long the engine may run: the loader does not wait for it, so its end
// is read from the run log.
constexpr auto kRunLimit = std::chrono::seconds(120);

// The engine's clean-up batch runs once the engine has ended, and removes
// itself: the snapshot waits for it (as long as the run may take), so the
// plan lists what stays, not the batch on its way.
void WaitForCleanUpBatch(Machine& machine, const std::string& log, std::chrono::steady_clock::time_point deadline) {
  auto text = host::Env::Default().ReadFile(log);
  if (!text) return;
  constexpr std::string_view kBatchLine = "\tcleanup\tbatch ";
  const std::size_t at = text->rfind(kBatchLine);
  if (at == std::string::npos) return;
  const std::size_t start = at + kBatchLine.size();
  const std::string batch = text->substr(start, text->find('\n', start) - start);
  while (std::chrono::steady_clock::now() < deadline && machine.GetFileSystem().FileExists(batch)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

int RunPlan(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  std::string setup;
  std::string dir;
  bool json = false;
  bool keep = false;
  std::vector<std::string> setup_args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string a = args[i];
    if (a == "--") {
      setup_args.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (a == "--prefix") {
      dir = OptionValue(args, i);
    } else if (a == "--json") {
      json = true;
    } else if (a == "--keep") {
      keep = true;
    } else if (setup.empty()) {
      setup = a;
    } else {
      throw Exception("unexpected argument " + a);
    }
  }
  host::Env& env = host::Env::Default();
  if (!env.FileExists(setup)) throw Exception("no such program: " + setup);
  const std::filesystem::path prefix = dir.empty() ? DefaultPrefixDir() : std::filesystem::path(dir);
  auto work = env.MakeTemporaryDirectory(env.TemporaryDirectory(), "brimwell-plan-");
  if (!work) throw Exception("cannot make a temporary directory: " + work.error().message());
  const std::filesystem::path root = *work;
  struct Cleanup {
    host::Env& env;
    std::string dir;
    bool keep;
    ~Cleanup() {
      if (!keep) (void)env.RemoveTree(dir);
    }
  } cleanup{env, root.string(), keep};

  const std::filesystem::path copy = root / "prefix";
  CopyPrefix(prefix, copy);
  PrefixSnapshot before = TakeSnapshot(*OpenMachine(copy, PrefixCreation::kMustExist));

  for (const char* sub : {"tmp", "runtime", "home"}) {
    if (std::error_code error = env.MakeDirectory((root / sub).string(), true)) {
      throw Exception("cannot make " + (root / sub).string() + ": " + error.message());
    }
  }
  const std::filesystem::path log = root / "run.log";
  host::ProgramSpec spec;
  std::filesystem::path program = setup;
  if (program.is_relative()) {
    auto cwd = env.CurrentDirectory();
    if (!cwd) throw Exception("cannot read the current directory: " + cwd.error().message());
    program = std::filesystem::path(*cwd) / program;
  }
  spec.argv = {program.string()};
  spec.argv.insert(spec.argv.end(), setup_args.begin(), setup_args.end());
  spec.environment = {{"BRIMWELL_PREFIX", copy.string()},     {"BRIMWELL_UNATTENDED", "1"},
                      {"BRIMWELL_LOG", log.string()},         {"QT_QPA_PLATFORM", "offscreen"},
                      {"TMPDIR", (root / "tmp").string()},    {"XDG_RUNTIME_DIR", (root / "runtime").string()},
                      {"HOME", (root / "home").string()}};
  spec.detached = false;
  auto pid = env.StartProgram(spec);
  if (!pid) throw Exception("cannot start " + setup + ": " + pid.error().message());
  auto status = env.WaitForProgram(*pid);
  bool ended = false;
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    auto text = env.ReadFile(log.string());
    if (text && text->find("\tshutdown") != std::string::npos) {
      ended = true;
      break;
    }
    if (!text && status && *status != 0) break;  // it stopped before the engine started
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::unique_ptr<Machine> machine = OpenMachine(copy, PrefixCreation::kMustExist);
  if (ended) WaitForCleanUpBatch(*machine, log.string(), deadline);
  PrefixSnapshot after = TakeSnapshot(*machine);
  const std::vector<SnapshotChange> changes = CompareSnapshots(before, after);
  std::fputs((json ? ChangesToJson(changes) : ChangesToText(changes)).c_str(), stdout);
  if (keep) std::fprintf(stderr, "brimwell plan: the copy of the prefix is %s\n", copy.string().c_str());
  if (!status || *status != 0) {
    std::fprintf(stderr, "brimwell plan: %s ended with status %d\n", setup.c_str(), status ? *status : -1);
    return 1;
  }
  if (!ended) {
    std::fprintf(stderr, "brimwell plan: the installation did not end (see %s with --keep)\n", log.string().c_str());
    return 1;
  }
  return 0;
}

}  // namespace brimwell::cli
