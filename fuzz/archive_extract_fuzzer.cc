// Fuzzes TBrwlCompress extraction: any bytes as files.1 of a scratch
// prefix, every member named in it extracted into a directory of that
// prefix. Each member is written or refused with an EBrwlCompress (or
// another exception of the framework), never anything else, and nothing is
// written outside the extraction directory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "archive/brwl_compress.h"
#include "archive/version_resource.h"
#include "framework/exception.h"
#include "platform/machine.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
  fs::path root;
  std::unique_ptr<brimwell::Machine> machine;
  std::unique_ptr<brimwell::TVersionResource> versions;
};

Scratch& TheScratch() {
  static Scratch* scratch = [] {
    std::string pattern = (fs::temp_directory_path() / "archive-extract-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    auto* s = new Scratch;  // lives for the whole fuzzing process
    s->root = pattern;
    s->machine = brimwell::OpenMachine(s->root / "prefix");
    s->versions = std::make_unique<brimwell::TVersionResource>(nullptr, *s->machine);
    return s;
  }();
  return *scratch;
}

// Every regular file below `dir`.
std::size_t CountFiles(const fs::path& dir) {
  std::error_code ec;
  std::size_t n = 0;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    ++n;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brimwell;
  Scratch& s = TheScratch();
  const fs::path drive_c = s.root / "prefix" / "drive_c";
  const fs::path input = drive_c / "fuzz";
  const fs::path out = drive_c / "fuzz" / "out";
  std::error_code ec;
  fs::remove_all(input, ec);
  fs::create_directories(out, ec);
  {
    std::ofstream f(input / "files.1", std::ios::binary);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const std::size_t before = CountFiles(drive_c);
  {
    TBrwlCompress compress(nullptr);
    compress.SetServices({s.machine.get(), s.versions.get(), nullptr, {}});
    compress.SetCompressedFile("C:\\fuzz\\files.1");
    compress.SetExtractDirectory("C:\\fuzz\\out");
    try {
      std::vector<std::string> names;
      for (int i = 0; i < compress.FileCount() && i < 64; ++i) names.push_back(compress.GetFileHeaders(i).FileName);
      compress.SetFilesToProcessLines(names);
      compress.Extract();
    } catch (const Exception&) {
    }
  }
  // Whatever was written lies in the extraction directory: the rest of the
  // prefix holds what it held before (files.1 itself included).
  if (CountFiles(drive_c) - CountFiles(out) != before) std::abort();
  return 0;
}
