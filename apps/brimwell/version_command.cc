// brimwell version: the fifteen fields of a file's version resource, as the
// engine's version reader sees them.
#include <cstdio>
#include <memory>
#include <string>

#include "apps/brimwell/commands.h"
#include "archive/archive_errors.h"
#include "archive/version_resource.h"
#include "platform/machine.h"
#include "platform/paths.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell version FILE [--prefix DIR] [--language lnXXX] [--charset csXXX]\n"
    "\n"
    "Prints the version resource of a PE file (32 or 64 bit), one field a line.\n"
    "FILE is a host path or a Windows path of the prefix (default BRIMWELL_PREFIX,\n"
    "else $XDG_DATA_HOME/brimwell/prefix). The string table read is the one of\n"
    "the language and character set (lnUSEnglish and csMultilingual by default).\n"
    "A file without a version resource prints empty fields.\n";

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
  std::unique_ptr<Machine> machine =
      OpenMachine(prefix.empty() ? DefaultPrefixDir() : std::filesystem::path(prefix),
                  PrefixCreation::kCreateIfMissing);
  TVersionResource versions(nullptr, *machine);
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
  versions.SetFileName(machine->GetPaths().FullPath(file));
  const TVersionInfo& info = versions.VersionInfo();
  for (int f = 0; f < TVersionInfo::kFieldCount; ++f) {
    std::printf("%s: %s\n", TVersionInfo::FieldNames()[static_cast<std::size_t>(f)],
                info.Get(static_cast<TVersionInfo::Field>(f)).c_str());
  }
  return 0;
}

}  // namespace brimwell::cli
