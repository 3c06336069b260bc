// Fuzzes the loader's reading of SETUP.1 and its unpacking: the header
// table, the placement rules, member names and the inflation of each
// member into a private scratch directory, as the loader does it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/memory_stream.h"
#include "framework/exception.h"
#include "loader/setup_archive.h"

namespace {

const std::string& ScratchDirectory() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "setup-archive-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brimwell;
  const std::string& dir = ScratchDirectory();
  MemoryStream file(std::vector<std::uint8_t>(data, data + size));
  SetupArchive archive(file, 0, static_cast<std::int64_t>(size));
  try {
    archive.ReadHeaders();
    std::int64_t written = 0;
    for (std::size_t i = 0; i < archive.Headers().size(); ++i) {
      std::string target = archive.Extract(i, dir, [&](std::size_t n) { written += static_cast<std::int64_t>(n); });
      // Every member lands directly in the directory, under a plain name.
      if (std::filesystem::path(target).parent_path() != dir) std::abort();
    }
    // The headers promise the sizes that were written; nothing more.
    if (written != archive.TotalSize()) std::abort();
  } catch (const Exception&) {
  }
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
  return 0;
}
