// Fuzzes the reader of the project bound behind an executable's trailer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/bound_project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    std::optional<std::string> project = brimwell::ReadBoundProjectFromBytes(bytes, "input");
    // A project is always a part of the file before its trailer.
    if (project && project->size() + 32 > size) std::abort();
  } catch (const brimwell::EBoundProjectError&) {
  }
  return 0;
}
