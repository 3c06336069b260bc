// Fuzzes Format with format strings as a translated message may bring them,
// against a fixed mix of arguments.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framework/exception.h"
#include "framework/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view format(reinterpret_cast<const char*>(data), size);
  try {
    brimwell::Format(format, {"setup.1", 3, -42, 1234567.891, -0.005, static_cast<long long>(-1),
                              18446744073709551615ull, "\xC3\xA4\xC3\xB6", 1e300});
  } catch (const brimwell::EFormatError&) {
  }
  return 0;
}
