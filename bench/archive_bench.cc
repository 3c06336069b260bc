// Archive throughput: TBrwlCompress against bare zlib loops over the same
// members and against tar with gzip, on a generated mixed payload.
//
//   archive_bench [MEGABYTES] [--rounds N] [--extract-only] [--keep DIR]
//
// Builds at levels 9 and 6 (Compress, a bare deflate loop writing one output
// file, tar piped through gzip at that level), then extracts every member
// (Extract, a bare inflate loop writing the same files, tar -xzf). Each run
// happens in a child process so its peak memory can be reported; the
// component's runs count only the operation, not the opening of the machine.
// Each figure is the best of N interleaved rounds (3 by default; 5 for
// extraction). Prints figures; never fails on them.
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
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/brwl_compress.h"
#include "archive/host_file.h"
#include "archive/version_resource.h"
#include "archive/zlib_stream.h"
#include "framework/headless_application.h"
#include "platform/machine.h"
#include "platform/paths.h"

namespace fs = std::filesystem;
using namespace brimwell;

namespace {

constexpr std::size_t kBlock = 64 * 1024;

// A payload of text, incompressible, structured binary and sparse files of
// sizes from 1 KB to 4 MB, about `total` bytes in all.
std::vector<fs::path> MakePayload(const fs::path& dir, std::uint64_t total) {
  fs::create_directories(dir);
  std::mt19937_64 rng(20260101);
  static const char* kWords[] = {"install", "archive", "version", "the",    "of",     "file",
                                 "setup",   "program", "data",    "engine", "\n",     "registry",
                                 "a",       "and",     "to",      "disk",   "window", "1999"};
  std::vector<fs::path> files;
  std::uint64_t done = 0;
  for (int i = 0; done < total; ++i) {
    std::uint64_t size = 1024ull << (rng() % 13);  // 1 KB .. 4 MB
    size += rng() % size;
    size = std::min<std::uint64_t>(size, total - done + 1024);
    std::string data;
    data.reserve(size);
    switch (i % 4) {
      case 0:  // text
        while (data.size() < size) {
          data += kWords[rng() % std::size(kWords)];
          data += ' ';
        }
        break;
      case 1:  // incompressible
        while (data.size() < size) {
          std::uint64_t r = rng();
          data.append(reinterpret_cast<const char*>(&r), 8);
        }
        break;
      case 2:  // structured records
        for (std::uint32_t n = 0; data.size() < size; ++n) {
          std::uint32_t rec[4] = {n, n * 7, 0x1000u + (n & 0xFF),
                                  static_cast<std::uint32_t>(rng() & 0xF)};
          data.append(reinterpret_cast<const char*>(rec), sizeof rec);
        }
        break;
      default:  // mostly zeros
        data.assign(size, '\0');
        for (std::uint64_t k = 0; k < size; k += 4096) data[k] = static_cast<char>(rng());
        break;
    }
    data.resize(size);
    fs::path p = dir / ("f" + std::to_string(i) + ".dat");
    std::ofstream(p, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    files.push_back(p);
    done += size;
  }
  return files;
}

struct Run {
  double seconds = 0;
  long max_rss_kb = 0;
};

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
    double seconds = 0;
    try {
      seconds = work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
      ::_exit(1);
    }
    if (::write(fds[1], &seconds, sizeof seconds) != sizeof seconds) ::_exit(1);
    ::_exit(0);
  }
  ::close(fds[1]);
  double reported = 0;
  if (::read(fds[0], &reported, sizeof reported) != sizeof reported) reported = 0;
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  Run r;
  r.seconds = reported > 0
                  ? reported
                  : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
      best[i].max_rss_kb = std::max(best[i].max_rss_kb, run.max_rss_kb);
    }
  }
  return best;
}

double Seconds(const std::function<void()>& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Shell(const std::string& cmd) {
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("failed: " + cmd);
}

void Report(const char* what, const Run& r, double megabytes, const Run* reference = nullptr) {
  std::printf("  %-28s %7.2f s  %7.1f MB/s  peak RSS %6ld KB", what, r.seconds,
              megabytes / r.seconds, r.max_rss_kb);
  if (reference != nullptr)
    std::printf("  (%5.1f%% of bare zlib)", 100.0 * reference->seconds / r.seconds);
  std::printf("\n");
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

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::uint64_t megabytes = 200;
  int rounds = 3;
  bool extract_only = false;
  fs::path keep;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else if (a == "--extract-only") {
      extract_only = true;
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::stoi(argv[++i]));
    } else {
      megabytes = std::stoull(a);
    }
  }
  std::string templ = (fs::temp_directory_path() / "brimwell-archive-bench-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) return 1;
  const fs::path root = keep.empty() ? fs::path(templ) : keep;
  const fs::path payload = root / "payload";
  std::printf("archive benchmark: %llu MB mixed payload in %s, zlib %s\n",
              static_cast<unsigned long long>(megabytes), root.c_str(), ZlibVersion());
  std::vector<fs::path> files = MakePayload(payload, megabytes << 20);
  std::uint64_t bytes = 0;
  for (const fs::path& f : files) bytes += fs::file_size(f);
  const double mb = static_cast<double>(bytes) / (1 << 20);
  std::printf("%zu files, %.1f MB\n", files.size(), mb);

  const fs::path prefix = root / "prefix";
  OpenMachine(prefix);  // made once, outside the measured runs

  // The component's operations are timed without the opening of the machine.
  auto compress = [&](TCompressionLevel level, const fs::path& archive) {
    std::unique_ptr<Machine> machine = OpenMachine(prefix);
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
  };
  auto tar_build = [&](int level) {
    return [&, level] {
      Shell("cd '" + payload.string() + "' && tar -cf - . | gzip -" + std::to_string(level) +
            " > '" + (root / "payload.tgz").string() + "'");
      return 0.0;
    };
  };

  if (extract_only) {  // the level-6 archive and tarball, made once, untimed
    Measure([&] { return compress(colDefault, root / "build6.1"); });
    Measure(tar_build(6));
  }
  for (auto [level, zlib_level, name] :
       {std::tuple{colMax, 9, "9"}, std::tuple{colDefault, 6, "6 (zlib default)"}}) {
    if (extract_only) break;
    std::printf("\nbuilding at level %s (best of %d)\n", name, rounds);
    const fs::path archive = root / ("build" + std::to_string(zlib_level) + ".1");
    std::vector<Run> r =
        Best(rounds, {[&, zlib_level] {
                        return Seconds([&] { BareDeflate(files, root / "bare.z", zlib_level); });
                      },
                      [&, level] { return compress(level, archive); }, tar_build(zlib_level)});
    Report("bare deflate loop", r[0], mb);
    Report("TBrwlCompress.Compress", r[1], mb, &r[0]);
    Report("tar -cf - | gzip", r[2], mb);
    std::printf("  archive %.1f MB, bare stream %.1f MB, tar.gz %.1f MB\n",
                static_cast<double>(fs::file_size(archive)) / (1 << 20),
                static_cast<double>(fs::file_size(root / "bare.z")) / (1 << 20),
                static_cast<double>(fs::file_size(root / "payload.tgz")) / (1 << 20));
  }

  std::printf("\nextracting every member of the level-6 archive (best of %d)\n", rounds + 2);
  const fs::path archive = root / "build6.1";
  auto extract = [&](const fs::path& dir) {
    std::unique_ptr<Machine> machine = OpenMachine(prefix);
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
  };
  std::vector<Run> r = Best(rounds + 2,
                            {[&] { return Seconds([&] { BareInflate(archive, root / "x1"); }); },
                             [&] { return extract(root / "x2"); },
                             [&] {
                               Shell("tar -xzf '" + (root / "payload.tgz").string() + "' -C '" +
                                     (root / "x3").string() + "'");
                               return 0.0;
                             }},
                            [&](std::size_t i) {  // each starts from an empty directory
                              const fs::path dir = root / ("x" + std::to_string(i + 1));
                              fs::remove_all(dir);
                              fs::create_directories(dir);
                            });
  Report("bare inflate loop", r[0], mb);
  Report("TBrwlCompress.Extract", r[1], mb, &r[0]);
  Report("tar -xzf", r[2], mb);
  bool same = true;
  for (const fs::path& f : files) {
    same = same && fs::file_size(root / "x2" / f.filename()) == fs::file_size(f);
  }
  std::printf("  extracted sizes %s\n", same ? "match" : "DIFFER");
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
