// Installing many small files through the engine: a project of N files
// (1 to 8 KB, in groups of 100) installed from one files.1 into a fresh
// prefix by a whole run (archive information, extraction, events, uninstall
// log), against tar -xzf of the same files.
//
//   install_bench [FILES] [--rounds N] [--keep DIR] [--engine-only]
//
// Each round installs into a prefix of its own (and tar into a directory of
// its own); they are deleted at the end. --engine-only runs the engine
// alone and leaves its prefixes in place (under DIR/run-PID), for profiling
// it with perf or strace.
//
// Prints the time of each, microseconds per file, and where the engine's
// time goes: the registry (uninstall log, install record), the archive
// component's extraction, and the rest (loading the project, the tree walk,
// events). Each figure is the best of N rounds (3 by default). Prints
// figures; never fails on them.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/brwl_compress.h"
#include "engine/custom_install_file.h"
#include "engine/engine_classes.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/project_form.h"
#include "framework/class_registry.h"
#include "framework/headless_application.h"
#include "framework/project_file.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/registry_wrapper.h"

namespace fs = std::filesystem;
using namespace brimwell;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kGroupSize = 100;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time (user and system) of this process or of its ended
// children: on a shared machine it says more than the clock.
double CpuSeconds(int who) {
  struct rusage u {};
  ::getrusage(who, &u);
  auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return secs(u.ru_utime) + secs(u.ru_stime);
}

std::string FileName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "f%05d.txt", i);
  return name;
}

// Files of 1 to 8 KB of words, as a product's small text and data files.
std::vector<std::string> MakeFiles(const fs::path& dir, int count) {
  fs::create_directories(dir);
  std::mt19937 rng(20261207);
  static const char* kWords[] = {"install", "archive", "the", "of", "file", "setup", "data", "\n", "1999"};
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    const std::string name = FileName(i);
    std::size_t size = 1024 + rng() % (7 * 1024);
    std::string text;
    while (text.size() < size) text += std::string(kWords[rng() % 9]) + " ";
    text.resize(size);
    std::ofstream(dir / name, std::ios::binary) << text;
    names.push_back(name);
  }
  return names;
}

// Times every registry call.
class TimedRegistry : public RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  Clock::duration spent{};
  struct Scope {
    TimedRegistry& r;
    Clock::time_point start = Clock::now();
    ~Scope() { r.spent += Clock::now() - start; }
  };
  bool KeyExists(RegistryHive h, std::string_view k) override {
    Scope s{*this};
    return RegistryWrapper::KeyExists(h, k);
  }
  WinStatus CreateKey(RegistryHive h, std::string_view k) override {
    Scope s{*this};
    return RegistryWrapper::CreateKey(h, k);
  }
  std::optional<RegistryValue> QueryValue(RegistryHive h, std::string_view k, std::string_view n) override {
    Scope s{*this};
    return RegistryWrapper::QueryValue(h, k, n);
  }
  WinStatus SetValue(RegistryHive h, std::string_view k, std::string_view n, const RegistryValue& v) override {
    Scope s{*this};
    return RegistryWrapper::SetValue(h, k, n, v);
  }
  WinStatus Flush() override {
    Scope s{*this};
    return RegistryWrapper::Flush();
  }
};

struct EngineFigures {
  double total = 0, cpu = 0, load = 0, registry = 0, extract = 0;
  int installed = 0;
  bool ok = false;
};

std::string Project(const fs::path& src, const std::vector<std::string>& names) {
  std::ostringstream p;
  p << R"({"format": "brimwell-project/1", "components": [)"
    << R"({"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Bench", "Information": {"ProductName": "Bench"}}})";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i % kGroupSize == 0) {
      p << R"(, {"class": "TInstallFileGroup", "name": "G)" << i / kGroupSize
        << R"(", "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "DestDir": "\\g)"
        << i / kGroupSize << R"("}})";
    }
    p << R"(, {"class": "TInstallFile", "name": "F)" << i << R"(", "properties": {"Container": "G)" << i / kGroupSize
      << R"(", "DestDirType": "psContainerDestDir", "IncludeFromDir": ")" << src.string() << R"(", "FileName": ")"
      << names[i] << R"(", "DestName": ")" << names[i] << R"("}})";
  }
  p << "]}";
  return p.str();
}

EngineFigures RunEngine(const fs::path& prefix, const fs::path& work, const fs::path& dist,
                        const std::string& project) {
  EngineFigures f;
  fs::remove_all(prefix);
  std::unique_ptr<Machine> machine = OpenMachine(prefix);
  auto timed = std::make_unique<TimedRegistry>(machine->GetRegistry());
  TimedRegistry& registry = *timed;
  machine->InterposeRegistry(std::move(timed));
  std::ostringstream quiet;
  HeadlessApplication app(false, quiet);
  const Clock::time_point start = Clock::now();
  const double cpu_start = CpuSeconds(RUSAGE_SELF);
  {
    EngineContext::Options options;
    options.arguments = {"-s" + dist.string()};
    options.executable = work / "engine" / "setupengine";
    EngineContext ctx(app, *machine, std::move(options));
    ClassRegistry classes;
    RegisterEngineClasses(classes);
    ProjectForm form(ctx, ProjectForm::Kind::kForm, app.Form());
    LoadProject(project, classes, form);
    f.load = Seconds(Clock::now() - start);
    Clock::duration extracting{};
    Clock::time_point file_start;
    for (TCustomInstallFile* file : ctx.Files()) {
      file->OnBeforeInstall = [&](TCustomInstallFile*) { file_start = Clock::now(); };
      file->OnAfterInstall = [&](TCustomInstallFile*) {
        extracting += Clock::now() - file_start;
        ++f.installed;
      };
    }
    app.Form()->Activate();
    machine->GetRegistry().Flush().IgnoreError();
    f.total = Seconds(Clock::now() - start);
    f.cpu = CpuSeconds(RUSAGE_SELF) - cpu_start;
    f.extract = Seconds(extracting);
    f.ok = ctx.ExitStatus() == kExitOk;
    if (!f.ok) {
      for (const auto& box : app.MessageBoxes()) std::fprintf(stderr, "engine: %s\n", box.text.c_str());
    }
  }
  f.registry = Seconds(registry.spent);
  return f;
}

struct TarFigures {
  double total = 0, cpu = 0;
};

TarFigures RunTar(const fs::path& out, const fs::path& tarball) {
  fs::create_directories(out);
  const std::string command = "tar -xzf '" + tarball.string() + "' -C '" + out.string() + "'";
  const Clock::time_point start = Clock::now();
  const double cpu_start = CpuSeconds(RUSAGE_CHILDREN);
  int status = std::system(command.c_str());
  TarFigures f{Seconds(Clock::now() - start), CpuSeconds(RUSAGE_CHILDREN) - cpu_start};
  if (status != 0) std::fprintf(stderr, "tar failed: %s\n", command.c_str());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 10000;
  int rounds = 3;
  fs::path keep;
  bool engine_only = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (a == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else if (a == "--engine-only") {
      engine_only = true;
    } else if (a == "--help") {
      std::puts("usage: install_bench [FILES] [--rounds N] [--keep DIR] [--engine-only]");
      return 0;
    } else {
      count = std::atoi(a.c_str());
    }
  }
  std::string pattern = (fs::temp_directory_path() / "brimwell-install-bench-XXXXXX").string();
  const fs::path work = keep.empty() ? fs::path(::mkdtemp(pattern.data())) : keep;
  fs::create_directories(work / "engine");
  std::ofstream(work / "engine" / "setupengine") << "engine";
  const fs::path src = work / "src";
  const fs::path dist = work / "dist";
  fs::create_directories(dist);

  const fs::path tarball = work / "files.tar.gz";
  // A kept directory that holds the prepared set already is used again (as
  // when profiling the run alone).
  const bool prepared = fs::exists(tarball) && fs::exists(dist / "files.1") &&
                        fs::exists(src / FileName(count - 1)) && !fs::exists(src / FileName(count));
  std::vector<std::string> names;
  if (prepared) {
    std::printf("using the %d files prepared in %s\n", count, work.c_str());
    for (int i = 0; i < count; ++i) names.push_back(FileName(i));
  } else {
    std::printf("preparing %d files in %s\n", count, work.c_str());
    names = MakeFiles(src, count);
  }
  std::uint64_t bytes = 0;
  for (const auto& n : names) bytes += fs::file_size(src / n);
  if (!prepared) {
    // One archive of every file, as a build makes it.
    auto machine = OpenMachine(work / "build-prefix");
    TBrwlCompress archive(nullptr);
    ArchiveServices services;
    services.machine = machine.get();
    archive.SetServices(services);
    archive.SetCompressedFile((dist / "files.1").string());
    std::vector<std::string> lines;
    for (const auto& n : names) lines.push_back((src / n).string());
    archive.SetFilesToProcessLines(lines);
    archive.Compress(false, 0);
    std::system(("tar -czf '" + tarball.string() + "' -C '" + src.string() + "' .").c_str());
  }
  const std::string project = Project(src, names);

  EngineFigures best;
  best.total = 1e9;
  TarFigures tar_best{1e9, 1e9};
  // Nothing is deleted while the contenders run: on a file system without
  // a journal, files created within seconds of a mass deletion cost several
  // times more (the inode allocator passes over recently freed inodes), and
  // that cost would fall on whoever runs next.
  const fs::path runs = work / ("run-" + std::to_string(::getpid()));
  for (int r = 0; r < rounds; ++r) {
    const fs::path prefix = runs / ("prefix-" + std::to_string(r));
    EngineFigures f = RunEngine(prefix, work, dist, project);
    if (!f.ok || f.installed != count) {
      std::fprintf(stderr, "the engine run failed (%d of %d files installed)\n", f.installed, count);
      return 1;
    }
    if (f.total < best.total) best = f;
    if (engine_only) continue;
    TarFigures t = RunTar(runs / ("tar-out-" + std::to_string(r)), tarball);
    if (t.total < tar_best.total) tar_best.total = t.total;
    if (t.cpu < tar_best.cpu) tar_best.cpu = t.cpu;
  }
  std::printf("%d files, %.1f MB\n", count, static_cast<double>(bytes) / 1e6);
  std::printf("engine run      %8.3f s  %7.1f us/file  (processor %.3f s, %.1f us/file)\n", best.total,
              best.total * 1e6 / count, best.cpu, best.cpu * 1e6 / count);
  std::printf("  project load  %8.3f s  %7.1f us/file\n", best.load, best.load * 1e6 / count);
  std::printf("  per-file install (replace test, extract, after-install steps) %8.3f s  %7.1f us/file\n",
              best.extract, best.extract * 1e6 / count);
  std::printf("  registry (all calls: record, uninstall log) %8.3f s  %7.1f us/file\n", best.registry,
              best.registry * 1e6 / count);
  if (engine_only) {
    if (keep.empty()) fs::remove_all(work);
    return 0;
  }
  std::printf("tar -xzf        %8.3f s  %7.1f us/file  (processor %.3f s, %.1f us/file)\n", tar_best.total,
              tar_best.total * 1e6 / count, tar_best.cpu, tar_best.cpu * 1e6 / count);
  std::printf("engine / tar    %8.2f  (processor %.2f)\n", best.total / tar_best.total, best.cpu / tar_best.cpu);
  fs::remove_all(runs);
  if (keep.empty()) fs::remove_all(work);
  return 0;
}
