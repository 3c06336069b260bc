// Fuzz target for the shell link reader that the engine's tests and
// `brimwell prefix links` use: any bytes either read as a link or are
// refused with EShellLinkFormat; a link that reads is written again and
// reads back with the same arguments, working directory and hot key.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/shell_link_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  brimwell::ShellLinkData link;
  try {
    link = brimwell::DecodeShellLink(bytes);
  } catch (const brimwell::EShellLinkFormat&) {
    return 0;
  }
  (void)link.Target();
  (void)brimwell::HotKeyText(link.hot_key);
  brimwell::ShellLinkData again = brimwell::DecodeShellLink(brimwell::EncodeShellLink(link));
  auto same = [](const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a.value_or("") == b.value_or("");
  };
  if (!same(again.arguments, link.arguments) || !same(again.working_directory, link.working_directory) ||
      again.hot_key != link.hot_key) {
    std::abort();
  }
  return 0;
}
