// brimwell version: the fifteen fields of a file's version resource, as the
// engine's version reader sees them.
#include <cstdio>
#include <memory>
#include <string>

#include "apps/brimwell/commands.h"
#include "apps/brimwell/tool_machine.h"
#include "archive/archive_errors.h"
#include "archive/version_resource.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/version_info.h"
#include "platform/win_error.h"
#include "platform/paths.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell version FILE [--prefix DIR] [--language lnXXX] [--charset csXXX]\n"
    "\n"
    "Prints the version resource of a PE file (32 or 64 bit), one field a line.\n"
    "FILE is a host path or a Windows path of the prefix (default BRIMWELL_PREFIX,\n"
    "else $XDG_DATA_HOME/brimwell/prefix). A file with its resource in several\n"
    "languages is read in the one Windows loads: language-neutral, else the\n"
    "prefix's user language, else US English, else the first. The string table\n"
    "read is the one of --language and --charset; without them, the first\n"
    "the resource lists in its Translation value (lnUSEnglish and\n"
    "csMultilingual when it lists none the tool knows).\n"
    "\n"
    "Exit status: 0 when the fields were printed, 1 when the file cannot be\n"
    "read, 3 when it has no version resource (said on standard error).\n"
    "Reading a host path needs no prefix, and none is made.\n";

constexpr int kExitNoResource = 3;

// Sets the language and character set of `versions` to the first pair of the
// file's "\VarFileInfo\Translation" that both enumerations hold, so that a
// file whose strings are not in the default table (a system library's
// 040904B0) still shows them.
void UseOwnTranslation(Machine& machine, const std::string& path, TVersionResource& versions) {
  std::optional<std::vector<std::uint8_t>> block = GetVersionInfo(machine).GetFileVersionInfo(path);
  if (!block) return;
  std::optional<std::span<const std::uint8_t>> pairs = VerQueryValue(*block, "\\VarFileInfo\\Translation");
  if (!pairs) return;
  for (std::size_t at = 0; at + 4 <= pairs->size(); at += 4) {
    const std::uint16_t lang = static_cast<std::uint16_t>((*pairs)[at] | (*pairs)[at + 1] << 8);
    const std::uint16_t code_page = static_cast<std::uint16_t>((*pairs)[at + 2] | (*pairs)[at + 3] << 8);
    std::optional<int> l, c;
    for (int v = 0; v < version_resource::kLanguageCount; ++v) {
      if (version_resource::LanguageId(static_cast<version_resource::TLanguage>(v)) == lang) l = v;
    }
    for (int v = 0; v < version_resource::kCharacterSetCount; ++v) {
      if (version_resource::CodePage(static_cast<version_resource::TCharacterSet>(v)) == code_page) c = v;
    }
    if (l && c) {
      versions.SetLanguage(static_cast<version_resource::TLanguage>(*l));
      versions.SetCharacterSet(static_cast<version_resource::TCharacterSet>(*c));
      return;
    }
  }
}

}  // namespace

int RunVersion(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  std::string file, prefix, language, charset;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "--prefix") {
      prefix = value();
    } else if (a == "--language") {
      language = value();
    } else if (a == "--charset") {
      charset = value();
    } else if (file.empty()) {
      file = a;
    } else {
      throw EBrwlCompress("unexpected argument " + a);
    }
  }
  if (file.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  ToolMachine tool(prefix, HasDriveLetter(file));
  Machine* machine = &tool.Get();
  const std::string path = machine->GetPaths().FullPath(file);
  if (machine->GetFileSystem().DirectoryExists(path)) throw EBrwlCompress(file + " is a directory");
  if (!machine->GetFileSystem().FileExists(path)) throw EBrwlCompress("there is no file " + file);
  {
    WinResult<std::unique_ptr<File>> readable =
        machine->GetFileSystem().Open(path, FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting);
    if (!readable) throw EBrwlCompress("cannot read " + file + ": " + WinErrorText(readable.error()));
  }
  if (GetVersionInfo(*machine).GetFileVersionInfoSize(path) == 0) {
    std::fprintf(stderr, "brimwell version: %s has no version resource\n", file.c_str());
    return kExitNoResource;
  }
  TVersionResource versions(nullptr, *machine);
  if (language.empty() && charset.empty()) UseOwnTranslation(*machine, path, versions);
  if (!language.empty()) {
    std::optional<int> v = version_resource::kLanguageInfo.Find(language);
    if (!v) throw EBrwlCompress("unknown language " + language);
    versions.SetLanguage(static_cast<version_resource::TLanguage>(*v));
  }
  if (!charset.empty()) {
    std::optional<int> v = version_resource::kCharacterSetInfo.Find(charset);
    if (!v) throw EBrwlCompress("unknown character set " + charset);
    versions.SetCharacterSet(static_cast<version_resource::TCharacterSet>(*v));
  }
  versions.SetFileName(path);
  const TVersionInfo& info = versions.VersionInfo();
  for (int f = 0; f < TVersionInfo::kFieldCount; ++f) {
    std::printf("%s: %s\n", TVersionInfo::FieldNames()[static_cast<std::size_t>(f)],
                info.Get(static_cast<TVersionInfo::Field>(f)).c_str());
  }
  return 0;
}

}  // namespace brimwell::cli
