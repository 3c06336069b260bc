// A Registry that forwards every call to another one; a test overrides the
// call whose failure it needs.
#pragma once

#include "platform/registry.h"

namespace brimwell {

class RegistryWrapper : public Registry {
 public:
  // `target` must outlive the wrapper.
  explicit RegistryWrapper(Registry& target) : target_(target) {}
  Registry& target() { return target_; }

  bool KeyExists(RegistryHive hive, std::string_view key) override {
    return target_.KeyExists(hive, key);
  }
  WinStatus CreateKey(RegistryHive hive, std::string_view key) override {
    return target_.CreateKey(hive, key);
  }
  WinResult<std::vector<std::string>> SubKeys(RegistryHive hive, std::string_view key) override {
    return target_.SubKeys(hive, key);
  }
  WinStatus DeleteKey(RegistryHive hive, std::string_view key) override {
    return target_.DeleteKey(hive, key);
  }
  WinStatus DeleteTree(RegistryHive hive, std::string_view key) override {
    return target_.DeleteTree(hive, key);
  }
  std::optional<RegistryValue> QueryValue(RegistryHive hive, std::string_view key,
                                          std::string_view name) override {
    return target_.QueryValue(hive, key, name);
  }
  WinResult<std::vector<std::string>> ValueNames(RegistryHive hive, std::string_view key) override {
    return target_.ValueNames(hive, key);
  }
  WinResult<std::vector<RegistryValueEntry>> Values(RegistryHive hive,
                                                    std::string_view key) override {
    return target_.Values(hive, key);
  }
  WinStatus SetValue(RegistryHive hive, std::string_view key, std::string_view name,
                     const RegistryValue& value) override {
    return target_.SetValue(hive, key, name, value);
  }
  WinStatus DeleteValue(RegistryHive hive, std::string_view key, std::string_view name) override {
    return target_.DeleteValue(hive, key, name);
  }
  WinStatus Flush() override { return target_.Flush(); }
  void BeginUpdate() override { target_.BeginUpdate(); }
  void EndUpdate(bool commit) override { target_.EndUpdate(commit); }

 private:
  Registry& target_;
};

}  // namespace brimwell
