// Fuzz target for the registry editor text reader (`brimwell reg import`):
// any bytes are applied or refused with ERegistryTextError, never anything
// else. The registry is a stand-in that accepts every write.
#include <cstdint>
#include <string_view>

#include "platform/platform_errors.h"
#include "platform/registry.h"
#include "platform/registry_text.h"

namespace {

class AcceptingRegistry final : public brimwell::Registry {
 public:
  bool KeyExists(brimwell::RegistryHive, std::string_view) override { return true; }
  brimwell::WinStatus CreateKey(brimwell::RegistryHive, std::string_view) override { return {}; }
  brimwell::WinResult<std::vector<std::string>> SubKeys(brimwell::RegistryHive, std::string_view) override {
    return std::vector<std::string>{};
  }
  brimwell::WinStatus DeleteKey(brimwell::RegistryHive, std::string_view) override { return {}; }
  brimwell::WinStatus DeleteTree(brimwell::RegistryHive, std::string_view) override { return {}; }
  std::optional<brimwell::RegistryValue> QueryValue(brimwell::RegistryHive, std::string_view,
                                                    std::string_view) override {
    return std::nullopt;
  }
  brimwell::WinResult<std::vector<std::string>> ValueNames(brimwell::RegistryHive, std::string_view) override {
    return std::vector<std::string>{};
  }
  brimwell::WinResult<std::vector<brimwell::RegistryValueEntry>> Values(brimwell::RegistryHive,
                                                                        std::string_view) override {
    return std::vector<brimwell::RegistryValueEntry>{};
  }
  brimwell::WinStatus SetValue(brimwell::RegistryHive, std::string_view, std::string_view,
                               const brimwell::RegistryValue&) override {
    return {};
  }
  brimwell::WinStatus DeleteValue(brimwell::RegistryHive, std::string_view, std::string_view) override {
    return {};
  }
  brimwell::WinStatus Flush() override { return {}; }
  void BeginUpdate() override {}
  void EndUpdate(bool) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AcceptingRegistry registry;
  try {
    brimwell::ImportRegistryText(registry, std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const brimwell::ERegistryTextError&) {
    // Refused input is the expected outcome for most bytes.
  }
  return 0;
}
