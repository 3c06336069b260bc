#include "platform/ini_profile_strings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/format.h"
#include "host/host_env.h"
#include "platform/file_system.h"
#include "platform/ini_document.h"
#include "platform/linux_file_system.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kNotText[] = "The INI file %s is not a text file";

std::string StripQuotes(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

IniProfileStrings::IniProfileStrings(FileSystem& files, Paths& paths) : files_(files), paths_(paths) {}

std::string IniProfileStrings::Locate(std::string_view file) {
  if (!file.empty() && file.front() != '/' && ExtractFilePath(file).empty()) {
    return JoinWinPath(files_.WindowsDirectory(), file);
  }
  return paths_.FullPath(file);
}

std::optional<IniDocument> IniProfileStrings::Load(const std::string& path, WinError* error) {
  auto opened = files_.Open(path, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
  if (!opened) {
    if (error) *error = opened.error();
    return std::nullopt;
  }
  std::string bytes;
  char buffer[16384];
  while (true) {
    IoResult read = (*opened)->Read(buffer, sizeof buffer);
    if (!read.ok()) {
      if (error) *error = read.error;
      return std::nullopt;
    }
    if (read.bytes == 0) break;
    bytes.append(buffer, read.bytes);
  }
  std::optional<IniDocument> doc = IniDocument::Parse(bytes);
  if (!doc) throw EProfileError(Format(kNotText, {path}));
  return doc;
}

std::string IniProfileStrings::GetString(std::string_view file, std::string_view section,
                                         std::string_view key, std::string_view default_value) {
  std::optional<std::string> value;
  if (auto doc = Load(Locate(file))) value = doc->Get(section, key);
  std::string result;
  if (value) {
    result = StripQuotes(*value);
  } else {
    result = std::string(default_value);
    while (!result.empty() && (result.back() == ' ' || result.back() == '\t')) result.pop_back();
  }
  if (result.size() > kMaxValueLength) result.resize(kMaxValueLength);
  return result;
}

std::vector<std::string> IniProfileStrings::SectionNames(std::string_view file) {
  auto doc = Load(Locate(file));
  return doc ? doc->SectionNames() : std::vector<std::string>();
}

std::vector<std::string> IniProfileStrings::KeyNames(std::string_view file, std::string_view section) {
  auto doc = Load(Locate(file));
  return doc ? doc->KeyNames(section) : std::vector<std::string>();
}

WinStatus IniProfileStrings::WriteString(std::string_view file, std::string_view section,
                                         std::optional<std::string_view> key,
                                         std::optional<std::string_view> value) {
  std::string path = Locate(file);
  WinError error = kErrorSuccess;
  std::optional<IniDocument> doc = Load(path, &error);
  bool exists = doc.has_value();
  if (!exists) {
    if (error != kErrorFileNotFound) return WinStatus::Error(error);
    if (!key || !value) return WinStatus::Ok();  // nothing to delete in a missing file
    doc = IniDocument();
  }
  if (!key) {
    if (!doc->DeleteSection(section)) return WinStatus::Ok();
  } else if (!value) {
    if (!doc->DeleteKey(section, *key)) return WinStatus::Ok();
  } else {
    doc->Set(section, *key, *value);
  }

  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  mode_t mode = 0666 & ~0022;
  if (exists && ::stat(host.c_str(), &st) == 0) {
    if ((st.st_mode & S_IWUSR) == 0) return WinStatus::Error(kErrorAccessDenied);
    mode = st.st_mode & 07777;
  }
  // A symbolic link keeps pointing where it did: the file it names is
  // replaced.
  std::error_code ec;
  std::filesystem::path target = std::filesystem::is_symlink(host, ec) ? std::filesystem::canonical(host, ec) : host;
  if (ec) target = host;
  std::error_code written = host::Env::Default().WriteFileAtomically(target.string(), doc->Serialize(), mode);
  if (written) {
    return WinStatus::Error(written == std::errc::no_such_file_or_directory ? kErrorPathNotFound
                                                                            : WinErrorFromErrno(written.value()));
  }
  if (!exists) paths_.NoteCreated(host);
  return WinStatus::Ok();
}

}  // namespace brimwell
