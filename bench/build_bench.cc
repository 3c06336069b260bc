// brimwell build of a product against tar -czf and pigz -9 of the same
// files. The product is a generated mixed payload (text, incompressible,
// structured and sparse files of 1 KB to 8 MB, as archive_bench makes it),
// one TInstallFile per file. The build runs on one thread and on every
// core; the time the engine spends compressing the tree (from its run log)
// is set apart from everything around it (binding, BUILD.INF, setup.1, the
// loader copy, the self-extracting copy).
//
//   build_bench [--payload-mb N] [--rounds N]
//
// Everything lives in a temporary directory that is removed at the end.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_payload.h"

namespace fs = std::filesystem;

namespace {

void WriteProject(const fs::path& file, const std::vector<std::string>& names) {
  std::ofstream out(file);
  out << R"({"format": "brimwell-project/1", "components": [)"
      << R"({"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Bench"}})";
  for (std::size_t i = 0; i < names.size(); ++i) {
    out << R"(, {"class": "TInstallFile", "name": "F)" << i << R"(", "properties": {"Container": "Install1", )"
        << R"("DestDirType": "psContainerDestDir", "UniqueID": )" << i % 2000
        << R"(, "IncludeFromDir": "files", "FileName": ")" << names[i] << R"("}})";
  }
  out << "]}\n";
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command; its wall-clock seconds.
double Timed(const std::string& command) {
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "build_bench: failed: %s\n", command.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double MegaBytes(const fs::path& p) { return fs::exists(p) ? static_cast<double>(fs::file_size(p)) / 1e6 : 0; }

// The engine's seconds from "compress the tree" to "self-extracting" in
// its run log: the compression of the product's files.
double CompressSeconds(const fs::path& log) {
  std::ifstream in(log);
  std::string line;
  double start = -1, end = -1;
  auto elapsed = [](const std::string& l) {
    std::size_t plus = l.find(" +");
    return plus == std::string::npos ? -1.0 : std::atof(l.c_str() + plus + 2);
  };
  while (std::getline(in, line)) {
    if (line.find("\tbuild\tcompress the tree") != std::string::npos) start = elapsed(line);
    if (line.find("\tbuild\tself-extracting") != std::string::npos) end = elapsed(line);
  }
  return start >= 0 && end >= start ? end - start : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t payload_mb = 200;
  int rounds = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--payload-mb" && i + 1 < argc) {
      payload_mb = std::stoull(argv[++i]);
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::printf("usage: build_bench [--payload-mb N] [--rounds N]\n");
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/build_bench.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  const fs::path product = root / "product";
  std::vector<std::string> names;
  for (const fs::path& file : brimwell::bench::MakePayload(product / "files", payload_mb << 20)) {
    names.push_back(file.filename().string());
  }
  WriteProject(product / "project.json", names);
  std::uint64_t bytes = 0;
  for (const std::string& n : names) bytes += fs::file_size(product / "files" / n);

  const std::string tool = Quoted((fs::path(BRIMWELL_BIN_DIR) / "brimwell").string());
  const std::string env = "BRIMWELL_PREFIX=" + Quoted((root / "prefix").string()) +
                          " BRIMWELL_LOG=" + Quoted((root / "build.log").string()) + " ";
  Timed(env + tool + " prefix init >/dev/null");
  const std::string files = "cd " + Quoted((product / "files").string()) + " && ";

  struct Row {
    std::string name;
    double seconds = 1e300;
    double mb = 0;
    double compress = 0;
  };
  std::vector<Row> rows = {{"tar -czf"}, {"tar -cf - | pigz -9 (all cores)"},
                           {"brimwell build --threads 1"}, {"brimwell build (all cores)"}};
  for (int r = 0; r < rounds; ++r) {
    auto best = [](Row& row, double s) { row.seconds = std::min(row.seconds, s); };
    best(rows[0], Timed(files + "tar -czf " + Quoted((root / "p.tgz").string()) + " ."));
    rows[0].mb = MegaBytes(root / "p.tgz");
    best(rows[1], Timed(files + "tar -cf - . | pigz -9 > " + Quoted((root / "p.pigz.tgz").string())));
    rows[1].mb = MegaBytes(root / "p.pigz.tgz");
    for (int k = 0; k < 2; ++k) {
      Row& row = rows[2 + k];
      const fs::path out = root / (k == 0 ? "one" : "all");
      fs::remove(root / "build.log");
      const double s = Timed(env + tool + " build " + Quoted((product / "project.json").string()) + " " +
                             Quoted(out.string()) + (k == 0 ? " --threads 1" : "") + " >/dev/null");
      if (s < row.seconds) {
        row.seconds = s;
        row.compress = CompressSeconds(root / "build.log");
      }
      row.mb = MegaBytes(out / "setup.exe");
    }
  }
  const bool same = [&] {
    std::ifstream a(root / "one" / "files.1", std::ios::binary), b(root / "all" / "files.1", std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {});
  }();

  std::printf("product: %zu files, %.1f MB; %u cores; best of %d\n", names.size(), bytes / 1e6,
              std::max(1u, std::thread::hardware_concurrency()), rounds);
  std::printf("  %-34s %9s %9s %11s %13s\n", "", "seconds", "x tar", "size MB", "around comp.");
  for (const Row& row : rows) {
    std::printf("  %-34s %9.2f %9.2f %11.1f", row.name.c_str(), row.seconds, row.seconds / rows[0].seconds, row.mb);
    if (row.compress > 0) {
      std::printf(" %6.2fs %4.1f%%", row.seconds - row.compress, 100 * (row.seconds - row.compress) / row.seconds);
    }
    std::printf("\n");
  }
  std::printf("  (brimwell sizes: the self-extracting setup.exe, engine and loader included)\n");
  std::printf("  files.1 of one thread and of all cores: %s\n", same ? "byte-identical" : "DIFFERENT");
  fs::remove_all(root);
  return same ? 0 : 1;
}
