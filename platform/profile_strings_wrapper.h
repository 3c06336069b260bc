// A ProfileStrings that forwards every call to another one; a test overrides
// the call whose failure it needs.
#pragma once

#include "platform/profile_strings.h"

namespace brimwell {

class ProfileStringsWrapper : public ProfileStrings {
 public:
  // `target` must outlive the wrapper.
  explicit ProfileStringsWrapper(ProfileStrings& target) : target_(target) {}
  ProfileStrings& target() { return target_; }

  std::string GetString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_value) override {
    return target_.GetString(file, section, key, default_value);
  }
  std::vector<std::string> SectionNames(std::string_view file) override {
    return target_.SectionNames(file);
  }
  std::vector<std::string> KeyNames(std::string_view file, std::string_view section) override {
    return target_.KeyNames(file, section);
  }
  WinStatus WriteString(std::string_view file, std::string_view section,
                        std::optional<std::string_view> key,
                        std::optional<std::string_view> value) override {
    return target_.WriteString(file, section, key, value);
  }

 private:
  ProfileStrings& target_;
};

}  // namespace brimwell
