// Archive speed: TBrwlCompress against tar -czf / tar -xzf, pigz -9 and the
// bare loops (zlib, and libdeflate on every core, over the same members with
// the same file-creation calls), on a generated mixed payload and on many
// small files. Prints one line per piece of work with the time of each
// contender as a ratio of tar's, the output sizes, and the cost per file of
// small files at several counts.
//
//   archive_bench [--payload-mb N] [--small N] [--per-file N,N,...]
//                 [--rounds N] [--large-mb N] [--keep DIR]
//
// Defaults: a 200 MB payload, 20,000 small files of 1-8 KB, per-file cost at
// 1,000, 10,000 and 40,000 files, best of 3 interleaved rounds, and a 1 GB
// sparse member for the memory bound (--large-mb 0 leaves it out). Each run
// happens in a child process so its peak memory can be reported; the
// component's runs count only the operation, not the opening of the machine.
// Times are wall and processor time (every thread, tar's gzip included).
// Small files stay on disk until the end (see ExtractAll). Everything is
// made under $TMPDIR (TMPDIR=/dev/shm measures in memory, without the disk's
// file system). Prints figures; never fails on them.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_payload.h"
#include "archive/archive_reader.h"
#include "archive/brwl_compress.h"
#include "archive/host_file.h"
#include "archive/version_resource.h"
#include "archive/compression_pipeline.h"
#include "archive/zlib_stream.h"
#include "framework/headless_application.h"
#include "platform/machine.h"
#include "platform/paths.h"

namespace fs = std::filesystem;
using namespace brimwell;

namespace {

constexpr std::size_t kBlock = 64 * 1024;

struct Run {
  double seconds = 0;
  double cpu_seconds = 0;  // user and system, every thread
  long max_rss_kb = 0;
};

// The processor time of the part a run counts (see Seconds), in the child.
double g_counted_cpu = 0;
double CpuSeconds();

// Runs `work` in a child and measures it: the whole child, unless `work`
// returns the seconds of the part that counts (a component's operation
// without the opening of its machine), which it reports through a pipe.
Run Measure(const std::function<double()>& work) {
  std::fflush(stdout);
  int fds[2];
  if (::pipe(fds) != 0) return {};
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    double reported[2] = {0, 0};
    try {
      reported[0] = work();
      reported[1] = g_counted_cpu;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
      ::_exit(1);
    }
    if (::write(fds[1], reported, sizeof reported) != sizeof reported) ::_exit(1);
    ::_exit(0);
  }
  ::close(fds[1]);
  double reported[2] = {0, 0};
  if (::read(fds[0], reported, sizeof reported) != sizeof reported) reported[0] = reported[1] = 0;
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  auto seconds = [](const struct timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  Run r;
  r.seconds = reported[0] > 0
                  ? reported[0]
                  : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The child's own time with that of the programs it waited for (tar's gzip).
  r.cpu_seconds = reported[1] > 0 ? reported[1] : seconds(usage.ru_utime) + seconds(usage.ru_stime);
  r.max_rss_kb = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("  (the run failed)\n");
  return r;
}

// The best of `rounds` runs of each contender, interleaved so that a slow
// spell of the machine does not fall on one of them alone.
std::vector<Run> Best(int rounds, const std::vector<std::function<double()>>& contenders,
                      const std::function<void(std::size_t)>& before_each = {}) {
  std::vector<Run> best(contenders.size());
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < contenders.size(); ++i) {
      if (before_each) before_each(i);
      Run run = Measure(contenders[i]);
      if (r == 0 || run.seconds < best[i].seconds) best[i].seconds = run.seconds;
      if (r == 0 || run.cpu_seconds < best[i].cpu_seconds) best[i].cpu_seconds = run.cpu_seconds;
      best[i].max_rss_kb = std::max(best[i].max_rss_kb, run.max_rss_kb);
    }
  }
  return best;
}

// User and system time of this process so far (every thread).
double CpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const struct timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Seconds(const std::function<void()>& f) {
  const double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  f();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  g_counted_cpu = CpuSeconds() - cpu;
  return seconds;
}

void Shell(const std::string& cmd) {
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("failed: " + cmd);
}

// The bare deflate loop: every file through one zlib stream each, 64 KB
// blocks in and out, written one after another to `out`.
void BareDeflate(const std::vector<fs::path>& files, const fs::path& out, int level) {
  std::unique_ptr<HostFile> dest = HostFile::Open(out.string(), HostFile::Mode::kCreate);
  std::vector<std::uint8_t> in(kBlock), buf(kBlock);
  for (const fs::path& f : files) {
    std::unique_ptr<HostFile> src = HostFile::Open(f.string(), HostFile::Mode::kRead);
    Deflater d(level);
    bool finishing = false;
    while (!d.Finished()) {
      if (d.InputLeft() == 0 && !finishing) {
        std::size_t n = src->ReadFully(in);
        finishing = n < in.size();
        d.SetInput(std::span<const std::uint8_t>(in.data(), n));
      }
      std::size_t n = d.Deflate(buf, finishing);
      dest->WriteFully(std::span<const std::uint8_t>(buf.data(), n));
    }
  }
}

// The bare inflate loop over the members of `archive`: 64 KB blocks in and
// out, each member written to its file in `dir`.
void BareInflate(const fs::path& archive, const fs::path& dir) {
  fs::create_directories(dir);
  std::unique_ptr<HostFile> src = HostFile::Open(archive.string(), HostFile::Mode::kRead);
  ArchiveDirectory d = ReadArchiveDirectory(*src, 0);
  std::vector<std::uint8_t> in(kBlock), out(kBlock);
  Inflater inflater;
  for (const TFileHeader& h : d.headers) {
    std::string name = h.FileName.substr(h.FileName.find_last_of('\\') + 1);
    std::unique_ptr<HostFile> dest = HostFile::Open((dir / name).string(), HostFile::Mode::kCreate);
    inflater.Reset();
    src->Seek(h.DataPos);
    std::int64_t left = h.CompressedSize;
    while (!inflater.Finished()) {
      if (inflater.InputLeft() == 0) {
        std::size_t n = src->Read(
            std::span(in.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, kBlock))));
        if (n == 0) break;
        left -= static_cast<std::int64_t>(n);
        inflater.SetInput(std::span<const std::uint8_t>(in.data(), n));
      }
      std::size_t n = inflater.Inflate(out);
      dest->WriteFully(std::span<const std::uint8_t>(out.data(), n));
    }
    dest->SetFileDate(h.FileDate);
  }
}

// `count` small files of 1-8 KB (text and records), in one directory.
std::vector<fs::path> MakeSmallFiles(const fs::path& dir, int count) {
  fs::create_directories(dir);
  std::mt19937_64 rng(static_cast<std::uint64_t>(count) * 7919u);
  std::vector<fs::path> files;
  files.reserve(static_cast<std::size_t>(count));
  std::string data;
  for (int i = 0; i < count; ++i) {
    const std::size_t size = 1024 + rng() % (7 * 1024);
    data.clear();
    while (data.size() < size) {
      data += "entry " + std::to_string(rng() % 100000) + " of file " + std::to_string(i);
      data += (rng() % 8 == 0) ? "\n" : "; ";
    }
    data.resize(size);
    fs::path p = dir / ("s" + std::to_string(i) + ".txt");
    std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
    files.push_back(p);
  }
  return files;
}

// The bare libdeflate loop on every core: each worker reads whole files and
// compresses them; the streams are written to one output file in order.
void BareLibdeflate(const std::vector<fs::path>& files, const fs::path& out, int level) {
  std::unique_ptr<HostFile> dest = HostFile::Open(out.string(), HostFile::Mode::kCreate);
  const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::vector<std::uint8_t>> streams(files.size());
  std::vector<std::thread> workers;
  for (std::size_t t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      WholeDeflater d(level);
      std::vector<std::uint8_t> in;
      for (std::size_t i = t; i < files.size(); i += threads) {
        std::unique_ptr<HostFile> src = HostFile::Open(files[i].string(), HostFile::Mode::kRead);
        in.resize(static_cast<std::size_t>(src->Size()));
        in.resize(src->ReadFully(in));
        d.Compress(in, streams[i]);
      }
    });
  }
  for (std::thread& w : workers) w.join();
  for (const auto& s : streams) dest->WriteFully(s);
}

}  // namespace


namespace {

struct Options {
  std::uint64_t payload_mb = 200;
  int small = 20000;
  std::vector<int> per_file = {1000, 10000, 40000};
  int rounds = 3;
  std::uint64_t large_mb = 1024;
  fs::path keep;
  int profile_extract = 0;  // > 0: only extract that many small files, in this process
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&] {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return std::string(argv[++i]);
    };
    if (a == "--help" || a == "-h") {
      std::printf(
          "usage: archive_bench [--payload-mb N] [--small N] [--per-file N,N,...] [--rounds N]\n"
          "                     [--large-mb N] [--keep DIR] [--profile-extract N]\n"
          "Times TBrwlCompress against tar, pigz -9 and bare zlib/libdeflate loops.\n"
          "--profile-extract N builds an archive of N small files and extracts it once\n"
          "in this process (no child), for perf record or strace -c.\n");
      std::exit(0);
    } else if (a == "--payload-mb") {
      o.payload_mb = std::stoull(next());
    } else if (a == "--small") {
      o.small = std::stoi(next());
    } else if (a == "--per-file") {
      o.per_file.clear();
      std::stringstream list(next());
      for (std::string n; std::getline(list, n, ',');) o.per_file.push_back(std::stoi(n));
    } else if (a == "--rounds") {
      o.rounds = std::max(1, std::stoi(next()));
    } else if (a == "--large-mb") {
      o.large_mb = std::stoull(next());
    } else if (a == "--keep") {
      o.keep = next();
    } else if (a == "--profile-extract") {
      o.profile_extract = std::max(1, std::stoi(next()));
    } else {
      throw std::runtime_error("unknown option " + a + " (see --help)");
    }
  }
  return o;
}

double MegaBytes(const fs::path& p) { return static_cast<double>(fs::file_size(p)) / (1 << 20); }

class Bench {
 public:
  Bench(fs::path root, int rounds) : root_(std::move(root)), rounds_(rounds) {
    prefix_ = root_ / "prefix";
    OpenMachine(prefix_);  // made once, outside the measured runs
  }

  // The component's Compress of `files` into `archive`, timed alone.
  double Compress(const std::vector<fs::path>& files, const fs::path& archive,
                  TCompressionLevel level) {
    std::unique_ptr<Machine> machine = OpenMachine(prefix_);
    HeadlessApplication app;
    TVersionResource versions(nullptr, *machine);
    TBrwlCompress c(nullptr);
    c.SetServices({machine.get(), &versions, &app, {}});
    c.SetCompressionLevel(level);
    c.SetCompressedFile(archive.string());
    std::vector<std::string> lines;
    for (const fs::path& f : files) lines.push_back(f.string());
    c.SetFilesToProcessLines(lines);
    return Seconds([&] { c.Compress(false, 1); });
  }
  // The component's Extract of every member of `archive` into `dir`.
  double Extract(const std::vector<fs::path>& files, const fs::path& archive, const fs::path& dir) {
    std::unique_ptr<Machine> machine = OpenMachine(prefix_);
    HeadlessApplication app;
    TVersionResource versions(nullptr, *machine);
    TBrwlCompress c(nullptr);
    c.SetServices({machine.get(), &versions, &app, {}});
    c.SetCompressedFile(archive.string());
    c.SetExtractDirectory(dir.string());
    std::vector<std::string> lines;
    for (const fs::path& f : files) lines.push_back(machine->GetPaths().FullPath(f.string()));
    c.SetFilesToProcessLines(lines);
    return Seconds([&] { c.Extract(); });
  }

  // Build: component, tar -czf, tar | pigz -9, bare zlib 9, bare libdeflate.
  void Build(const char* title, const fs::path& payload, const std::vector<fs::path>& files,
             const std::string& tag, const std::vector<int>& levels = {7}) {
    const fs::path archive = root_ / (tag + ".1"), tgz = root_ / (tag + ".tgz"),
                   pgz = root_ / (tag + ".pigz.tgz"), bare = root_ / (tag + ".bare");
    const std::string cd = "cd '" + payload.string() + "' && ";
    std::vector<std::function<double()>> contenders = {
        [&] { Shell(cd + "tar -czf '" + tgz.string() + "' ."); return 0.0; },
        [&] { return Compress(files, archive, colMax); },
        [&] { Shell(cd + "tar -cf - . | pigz -9 > '" + pgz.string() + "'"); return 0.0; },
        [&] { return Seconds([&] { BareDeflate(files, bare, 9); }); },
    };
    // The bare libdeflate loop at the levels that could serve colMax.
    for (int level : levels) {
      contenders.push_back([&, level] {
        return Seconds([&] {
          BareLibdeflate(files, root_ / (tag + ".bare-ld" + std::to_string(level)), level);
        });
      });
    }
    std::vector<Run> r = Best(rounds_, contenders);
    std::printf("\n%s (%zu files, best of %d)\n", title, files.size(), rounds_);
    const Run& tar = r[0];
    Line("tar -czf", r[0], tar, MegaBytes(tgz), files.size());
    Line("brimwell archive create", r[1], tar, MegaBytes(archive), files.size());
    Line("tar -cf - | pigz -9", r[2], tar, MegaBytes(pgz), files.size());
    Line("bare zlib 9 loop", r[3], tar, MegaBytes(bare), files.size());
    for (std::size_t k = 0; k < levels.size(); ++k) {
      const std::string name = "bare libdeflate " + std::to_string(levels[k]) + ", all cores";
      Line(name.c_str(), r[4 + k], tar,
           MegaBytes(root_ / (tag + ".bare-ld" + std::to_string(levels[k]))), files.size());
    }
  }

  // Extract: component, tar -xzf, bare zlib loop; each run into a new empty
  // directory. Nothing is removed until the end: on ext4 without a journal,
  // creating files soon after many were deleted costs several times more
  // (the allocator passes over recently freed inodes), which would fall on
  // whichever contender ran next.
  void ExtractAll(const char* title, const std::vector<fs::path>& files, const std::string& tag,
                  int rounds) {
    const fs::path archive = root_ / (tag + ".1"), tgz = root_ / (tag + ".tgz");
    std::vector<fs::path> dirs(3);
    std::vector<Run> r = Best(
        rounds,
        {[&] {
           Shell("tar -xzf '" + tgz.string() + "' -C '" + dirs[0].string() + "'");
           return 0.0;
         },
         [&] { return Extract(files, archive, dirs[1]); },
         [&] { return Seconds([&] { BareInflate(archive, dirs[2]); }); }},
        [&](std::size_t i) {
          dirs[i] = root_ / "out" / (tag + "-" + std::to_string(i) + "-" + std::to_string(runs_++));
          fs::create_directories(dirs[i]);
        });
    std::printf("\n%s (%zu files, best of %d)\n", title, files.size(), rounds);
    const Run& tar = r[0];
    Line("tar -xzf", r[0], tar, 0, files.size());
    Line("brimwell archive extract", r[1], tar, 0, files.size());
    Line("bare zlib inflate loop", r[2], tar, 0, files.size());
    std::printf("  %-30s %.2fx the bare loop (processor time %.2fx)\n", "brimwell / bare loop",
                r[1].seconds / r[2].seconds, r[1].cpu_seconds / r[2].cpu_seconds);
    bool same = true;
    for (const fs::path& f : files) {
      same = same && fs::file_size(dirs[1] / f.filename()) == fs::file_size(f);
    }
    std::printf("  extracted sizes %s\n", same ? "match" : "DIFFER");
  }

  // A member of `mb` MB (sparse) added and extracted: the peak memory.
  void Large(std::uint64_t mb) {
    const fs::path big = root_ / "large" / "large.bin";
    fs::create_directories(big.parent_path());
    { std::ofstream(big) << "head"; }
    fs::resize_file(big, mb << 20);
    Run add = Measure([&] { return Compress({big}, root_ / "large.1", colMax); });
    Run extract = Measure([&] {
      fs::remove_all(root_ / "xl");
      return Extract({big}, root_ / "large.1", root_ / "xl");
    });
    std::printf("\none member of %llu MB (sparse file)\n", static_cast<unsigned long long>(mb));
    std::printf("  %-30s %7.2f s  peak RSS %6ld KB\n", "add", add.seconds, add.max_rss_kb);
    std::printf("  %-30s %7.2f s  peak RSS %6ld KB\n", "extract", extract.seconds,
                extract.max_rss_kb);
    fs::remove_all(root_ / "xl");
    fs::remove_all(big.parent_path());
    fs::remove(root_ / "large.1");
  }

  const fs::path& root() const { return root_; }

 private:
  // Wall time and its ratio to tar's, then processor time (every thread)
  // and its ratio, the output size, and both per file.
  static void Line(const char* what, const Run& r, const Run& tar, double mb, std::size_t files) {
    const double n = static_cast<double>(files);
    std::printf("  %-26s %6.2f s %5.2fx tar  cpu %6.2f s %5.2fx", what, r.seconds,
                r.seconds / tar.seconds, r.cpu_seconds, r.cpu_seconds / tar.cpu_seconds);
    if (mb > 0) std::printf("  %7.1f MB", mb);
    std::printf("  %6.1f us/file (cpu %6.1f)  peak RSS %7ld KB\n", r.seconds * 1e6 / n,
                r.cpu_seconds * 1e6 / n, r.max_rss_kb);
  }

  fs::path root_;
  int runs_ = 0;  // extraction runs so far, each into a directory of its own
  fs::path prefix_;
  int rounds_;
};

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options o;
  try {
    o = Parse(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "archive_bench: %s\n", e.what());
    return 2;
  }
  std::string templ = (fs::temp_directory_path() / "brimwell-archive-bench-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) return 1;
  const fs::path root = o.keep.empty() ? fs::path(templ) : o.keep;
  std::printf("archive benchmark in %s: zlib %s, libdeflate %s, %u cores, %d compressing threads\n",
              root.c_str(), ZlibVersion(), LibdeflateVersion(), std::thread::hardware_concurrency(),
              CompressionPipeline::DefaultThreads());
  try {
    Bench bench(root, o.rounds);
    if (o.profile_extract > 0) {
      const fs::path dir = root / "profile";
      std::vector<fs::path> files = MakeSmallFiles(dir, o.profile_extract);
      bench.Compress(files, root / "profile.1", colMax);
      std::printf("extracting\n");  // marks where the extraction starts in a trace
      const double cpu_before = CpuSeconds();
      const double seconds = bench.Extract(files, root / "profile.1", root / "xp");
      const double cpu = CpuSeconds() - cpu_before;
      std::printf("extract, %d small files: %.3f s, %.1f us/file; cpu %.3f s, %.1f us/file\n",
                  o.profile_extract, seconds, seconds * 1e6 / o.profile_extract, cpu,
                  cpu * 1e6 / o.profile_extract);
      if (o.keep.empty()) fs::remove_all(root);
      return 0;
    }
    if (o.payload_mb > 0) {
      const fs::path payload = root / "payload";
      std::vector<fs::path> files = bench::MakePayload(payload, o.payload_mb << 20);
      std::uint64_t bytes = 0;
      for (const fs::path& f : files) bytes += fs::file_size(f);
      std::printf("mixed payload: %zu files, %.1f MB\n", files.size(),
                  static_cast<double>(bytes) / (1 << 20));
      bench.Build("build, mixed payload, level 9", payload, files, "mixed", {7, 8, 9});
      bench.ExtractAll("extract, the same payload", files, "mixed", o.rounds);
      fs::remove_all(payload);
    }
    if (o.small > 0) {
      const fs::path dir = root / "small";
      std::vector<fs::path> files = MakeSmallFiles(dir, o.small);
      bench.Build("build, small files of 1-8 KB", dir, files, "small");
      bench.ExtractAll("extract, small files of 1-8 KB", files, "small", o.rounds);
    }
    for (int n : o.per_file) {
      const fs::path dir = root / ("per" + std::to_string(n));
      std::vector<fs::path> files = MakeSmallFiles(dir, n);
      std::string tag = "per" + std::to_string(n);
      bench.Build(("per-file cost, build, " + std::to_string(n) + " small files").c_str(), dir,
                  files, tag);
      bench.ExtractAll(("per-file cost, extract, " + std::to_string(n) + " small files").c_str(),
                       files, tag, o.rounds);
    }
    if (o.large_mb > 0) bench.Large(o.large_mb);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "archive_bench: %s\n", e.what());
    return 1;
  }
  if (o.keep.empty()) fs::remove_all(root);
  return 0;
}
