// The profile-string service over real INI files of the machine (see
// profile_strings.h), reading them through the file service and rewriting
// them whole, beside and renamed over, so a crash never leaves half a file.
#pragma once

#include "platform/profile_strings.h"

namespace brimwell {

class FileSystem;
class IniDocument;
class Paths;

class IniProfileStrings final : public ProfileStrings {
 public:
  // Both services must outlive this one.
  IniProfileStrings(FileSystem& files, Paths& paths);

  std::string GetString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_value) override;
  std::vector<std::string> SectionNames(std::string_view file) override;
  std::vector<std::string> KeyNames(std::string_view file, std::string_view section) override;
  WinStatus WriteString(std::string_view file, std::string_view section,
                        std::optional<std::string_view> key,
                        std::optional<std::string_view> value) override;

 private:
  // The full Windows path of a profile file: a bare name is in the Windows
  // directory.
  std::string Locate(std::string_view file);
  // The parsed file; nullopt when it does not exist or cannot be read.
  // Throws EProfileError when it is not text.
  std::optional<IniDocument> Load(const std::string& path, WinError* error = nullptr);

  FileSystem& files_;
  Paths& paths_;
};

}  // namespace brimwell
