// Fuzzes the PE version-resource reader and the VS_VERSIONINFO walker: the
// input is read both as a PE file and as a version block.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/version_info.h"

namespace {

void Query(std::span<const std::uint8_t> block) {
  using namespace brimwell;
  (void)VerQueryFixedFileInfo(block);
  (void)VerQueryValue(block, "\\VarFileInfo\\Translation");
  (void)VerQueryString(block, "\\StringFileInfo\\040904E4\\CompanyName");
  (void)VerQueryString(block, "StringFileInfo\\\\040904e4\\FileVersion\\");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> input(data, size);
  if (std::optional<std::vector<std::uint8_t>> block = brimwell::ReadPeVersionResource(input)) {
    if (block->size() > 0xFFFF) __builtin_trap();  // a block is never longer than its 16-bit length
    Query(*block);
  }
  Query(input);
  return 0;
}
