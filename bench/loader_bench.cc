// How long setup.exe takes from its start to the engine's launch, against
// `tar -xzf` of the same files: a SETUP.1 of 50 members (a stub engine and
// 49 presetup files) holding 40 MB in all. Both run as separate processes on
// files in the page cache; each iteration unpacks into a fresh directory.
//
//   cmake -S . -B build-bench -G Ninja -DBRIMWELL_BUILD_BENCH=ON
//   cmake --build build-bench --target loader_bench BrimwellLoadProgram
//   build-bench/bench/loader_bench
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/archive/archive_builder.h"

extern char** environ;

namespace brimwell {
namespace {

namespace fs = std::filesystem;

constexpr int kMembers = 50;
constexpr std::size_t kTotalBytes = 40 * 1000 * 1000;

// Runs a program with an optional TMPDIR and waits for it (not for what it
// starts). Returns its exit status. The programs draw offscreen: the loader
// refuses an attended run where there is no display.
int RunAndWait(const std::vector<std::string>& argv_text, const std::string& tmpdir = "") {
  std::vector<std::string> env_text = {"QT_QPA_PLATFORM=offscreen"};
  if (!tmpdir.empty()) env_text.push_back("TMPDIR=" + tmpdir);
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    if (entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0) env_text.emplace_back(*e);
  }
  std::vector<char*> env, argv;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  for (const std::string& a : argv_text) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), env.data()) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The files, setup.exe with setup.1 beside it, and files.tar.gz, made once.
class Fixture {
 public:
  Fixture() {
    root_ = fs::temp_directory_path() / ("loader-bench-" + std::to_string(::getpid()));
    fs::create_directories(root_ / "src");
    fs::create_directories(root_ / "dist");
    std::vector<testing::TestMember> members;
    // The stub engine's interpreter never reads the script, so the next
    // iteration may remove it at once.
    members.push_back(testing::Member("C:\\Build\\setupengine", "#!/bin/true\n"));
    const std::size_t each = kTotalBytes / (kMembers - 1);
    for (int i = 1; i < kMembers; ++i) {
      members.push_back(testing::Member("C:\\Build\\presetup" + std::to_string(i) + ".bin",
                                        testing::MixedContent(each, static_cast<std::uint32_t>(i))));
    }
    for (const testing::TestMember& m : members) {
      std::string name(m.name.substr(m.name.find_last_of('\\') + 1));
      WriteFile(root_ / "src" / name, m.content);
      input_bytes_ += m.content.size();
    }
    testing::Bytes setup1 = testing::BuildSingleFile(members);
    WriteFile(root_ / "dist/setup.1", testing::Text(setup1));
    fs::copy_file(BRIMWELL_BIN_DIR "/BrimwellLoadProgram", root_ / "dist/setup.exe");
    RunAndWait({"tar", "-czf", (root_ / "files.tar.gz").string(), "-C", (root_ / "src").string(),
                "."});
    std::fprintf(stderr, "%d members, %zu bytes; setup.1 %zu bytes, files.tar.gz %ju bytes\n",
                 kMembers, input_bytes_, setup1.size(),
                 static_cast<std::uintmax_t>(fs::file_size(root_ / "files.tar.gz")));
  }
  ~Fixture() { fs::remove_all(root_); }

  // A fresh, empty directory for one iteration.
  std::string FreshDir() {
    fs::path dir = root_ / "out";
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
  }

  const fs::path& root() const { return root_; }
  std::size_t input_bytes() const { return input_bytes_; }

 private:
  static void WriteFile(const fs::path& path, const std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }

  fs::path root_;
  std::size_t input_bytes_ = 0;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_LoaderToEngineLaunch(benchmark::State& state) {
  Fixture& f = Shared();
  const std::string setup = (f.root() / "dist/setup.exe").string();
  for (auto _ : state) {
    state.PauseTiming();
    std::string tmp = f.FreshDir();
    state.ResumeTiming();
    if (RunAndWait({setup, "*QUIET"}, tmp) != 0) state.SkipWithError("setup.exe failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.input_bytes()));
}

void BM_TarXzf(benchmark::State& state) {
  Fixture& f = Shared();
  const std::string archive = (f.root() / "files.tar.gz").string();
  for (auto _ : state) {
    state.PauseTiming();
    std::string out = f.FreshDir();
    state.ResumeTiming();
    if (RunAndWait({"tar", "-xzf", archive, "-C", out}) != 0) state.SkipWithError("tar failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.input_bytes()));
}

BENCHMARK(BM_LoaderToEngineLaunch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_TarXzf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace
}  // namespace brimwell

BENCHMARK_MAIN();
