// Figures for the platform services: the uninstall-log pattern of an
// installation against the registry store, and Windows-path resolution with
// the directory-listing cache. Prints figures; asserts nothing.
//
//   cmake -S . -B build -G Ninja -DBRIMWELL_BUILD_BENCH=ON
//   cmake --build build --target platform_bench && build/bench/platform_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "platform/linux_paths.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/sqlite_registry.h"

namespace brimwell {
namespace {

class TempPrefix {
 public:
  TempPrefix() {
    char pattern[] = "/tmp/brimwell-bench-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~TempPrefix() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path prefix() const { return dir_ / "prefix"; }

 private:
  std::filesystem::path dir_;
};

constexpr char kFilesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Tool\\Files";

// Per installed file: read "Entries", write "File<n>", write "Entries" = n.
// flush_every = 0 commits only at the end (the machine closing).
void UninstallLog(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const int flush_every = static_cast<int>(state.range(1));
  std::uint64_t commits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TempPrefix temp;
    auto machine = OpenMachine(temp.prefix());
    Registry& reg = machine->GetRegistry();
    auto& store = static_cast<SqliteRegistry&>(reg);
    std::uint64_t commits_before = store.CommitCount();
    state.ResumeTiming();

    for (int i = 0; i < files; ++i) {
      int n = 0;
      if (auto entries = reg.ReadString(RegistryHive::kLocalMachine, kFilesKey, "Entries")) n = std::stoi(*entries);
      ++n;
      (void)reg.WriteString(RegistryHive::kLocalMachine, kFilesKey, "File" + std::to_string(n),
                            "C:\\Program Files\\Acme\\file" + std::to_string(i) + ".dat");
      (void)reg.WriteString(RegistryHive::kLocalMachine, kFilesKey, "Entries", std::to_string(n));
      if (flush_every > 0 && (i + 1) % flush_every == 0) (void)reg.Flush();
    }
    (void)reg.Flush();  // what closing the machine does
    commits += store.CommitCount() - commits_before;

    state.PauseTiming();
    if (reg.ReadString(RegistryHive::kLocalMachine, kFilesKey, "Entries") != std::to_string(files)) {
      state.SkipWithError("the log is incomplete");
    }
    machine.reset();
    state.ResumeTiming();
  }
  state.counters["commits"] = benchmark::Counter(static_cast<double>(commits) / static_cast<double>(state.iterations()));
  state.counters["files"] = files;
}
BENCHMARK(UninstallLog)
    ->ArgNames({"files", "flush_every"})
    ->Args({10000, 0})
    ->Args({10000, 1000})
    ->Args({10000, 100})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Resolving Windows paths of existing files in a directory of `files`
// entries, spelled in another letter case than stored (every lookup needs the
// listing), then creating as many new files through the file service.
void ResolvePaths(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  TempPrefix temp;
  auto machine = OpenMachine(temp.prefix());
  std::filesystem::path dir = temp.prefix() / "drive_c" / "Big";
  std::filesystem::create_directories(dir);
  for (int i = 0; i < files; ++i) std::ofstream(dir / ("file" + std::to_string(i) + ".dat")) << "x";
  auto& paths = static_cast<LinuxPaths&>(machine->GetPaths());
  FileSystem& fs = machine->GetFileSystem();
  std::uint64_t listings = 0;
  int round = 0;
  for (auto _ : state) {
    std::uint64_t before = paths.ListingCount();
    for (int i = 0; i < files; ++i) {
      benchmark::DoNotOptimize(fs.FileExists("C:\\BIG\\FILE" + std::to_string(i) + ".DAT"));
    }
    for (int i = 0; i < 1000; ++i) {
      std::string name = "C:\\BIG\\NEW" + std::to_string(round) + "_" + std::to_string(i) + ".DAT";
      auto f = fs.Open(name, FileAccess::kWrite, kShareNone, FileDisposition::kCreateNew);
      benchmark::DoNotOptimize(f.ok());
    }
    listings += paths.ListingCount() - before;
    ++round;
  }
  state.counters["listings_per_round"] =
      benchmark::Counter(static_cast<double>(listings) / static_cast<double>(state.iterations()));
  state.counters["lookups_per_round"] = files + 1000;
}
BENCHMARK(ResolvePaths)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace brimwell

BENCHMARK_MAIN();
