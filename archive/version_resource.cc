#include "archive/version_resource.h"

#include <array>
#include <cstdio>
#include <limits>

#include "archive/dos_time.h"
#include "framework/exception.h"
#include "host/host_env.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/version_info.h"

namespace brimwell {
namespace version_resource {

const EnumInfo kLanguageInfo{"TLanguage",
                             {"lnArabic",
                              "lnBulgarian",
                              "lnCatalan",
                              "lnTraditionalChinese",
                              "lnCzech",
                              "lnDanish",
                              "lnGerman",
                              "lnGreek",
                              "lnUSEnglish",
                              "lnCastilianSpanish",
                              "lnFinnish",
                              "lnFrench",
                              "lnHebrew",
                              "lnHungarian",
                              "lnIcelandic",
                              "lnItalian",
                              "lnJapanese",
                              "lnKorean",
                              "lnDutch",
                              "lnNorwegianBokmal",
                              "lnPolish",
                              "lnBrazilianPortuguese",
                              "lnRhaetoRomanic",
                              "lnRomanian",
                              "lnRussian",
                              "lnCroatoSerbian",
                              "lnSlovak",
                              "lnAlbanian",
                              "lnSwedish",
                              "lnThai",
                              "lnTurkish",
                              "lnUrdu",
                              "lnBahasa",
                              "lnSimplifiedChinese",
                              "lnSwissGerman",
                              "lnUKEnglish",
                              "lnMexicanSpanish",
                              "lnBelgianFrench",
                              "lnSwissItalian",
                              "lnBelgianDutch",
                              "lnNorwegianNynorsk",
                              "lnPortuguese",
                              "lnSerboCroatian",
                              "lnCanadianFrench",
                              "lnSwissFrench"}};

const EnumInfo kCharacterSetInfo{
    "TCharacterSet",
    {"csASCII", "csJapan", "csKorea", "csTaiwan", "csUnicode", "csLatin2", "csCyrillic",
     "csMultilingual", "csGreek", "csTurkish", "csHebrew", "csArabic"}};

namespace {

// Languages lnArabic..lnBahasa are 0x0401 plus their ordinal; the rest:
constexpr std::array<std::uint16_t, kLanguageCount - (lnBahasa + 1)> kSecondaryLanguages = {
    0x0804, 0x0807, 0x0809, 0x080A, 0x080C, 0x0810, 0x0813, 0x0814, 0x0816, 0x081A, 0x0C0C, 0x100C};
constexpr std::uint16_t kFirstPrimaryLanguage = 0x0401;

constexpr std::array<std::uint16_t, kCharacterSetCount> kCodePages = {
    0, 932, 949, 950, 1200, 1250, 1251, 1252, 1253, 1254, 1255, 1256};

}  // namespace

std::uint16_t LanguageId(TLanguage language) {
  int ordinal = static_cast<int>(language);
  if (ordinal < 0 || ordinal >= kLanguageCount) throw EConvertError("");
  if (ordinal <= lnBahasa) return static_cast<std::uint16_t>(kFirstPrimaryLanguage + ordinal);
  return kSecondaryLanguages[static_cast<std::size_t>(ordinal - lnBahasa - 1)];
}

std::uint16_t CodePage(TCharacterSet character_set) {
  int ordinal = static_cast<int>(character_set);
  if (ordinal < 0 || ordinal >= kCharacterSetCount) throw EConvertError("");
  return kCodePages[static_cast<std::size_t>(ordinal)];
}

}  // namespace version_resource

using namespace version_resource;

namespace {

// The string-table keys read, in order, with the field each one fills.
struct StringKey {
  const char* key;
  TVersionInfo::Field field;
};
constexpr StringKey kStringKeys[] = {
    {"Comment", TVersionInfo::kComment},
    {"CompanyName", TVersionInfo::kCompanyName},
    {"FileDescription", TVersionInfo::kFileDescription},
    {"InternalName", TVersionInfo::kInternalName},
    {"LegalCopyright", TVersionInfo::kLegalCopyright},
    {"LegalTradeMarks", TVersionInfo::kLegalTradeMarks},
    {"OriginalFileName", TVersionInfo::kOriginalFileName},
    {"PrivateBuild", TVersionInfo::kPrivateBuild},
    {"ProductName", TVersionInfo::kProductName},
    {"ProductVersion", TVersionInfo::kProductVersion},
    {"SpecialBuild", TVersionInfo::kSpecialBuild},
};

std::string FileOSText(std::uint32_t os) {
  switch (os) {
    case 0x1:
      return "Windows 3.0 or later";
    case 0x2:
      return "16 bit OS/2 Presentation Manager";
    case 0x3:
      return "32 bit OS/2 Presentation Manager";
    case 0x4:
      return "32 bit Windows";
    case 0x10000:
      return "MS-Dos";
    case 0x10001:
      return "Windows 3.0 or later with MS-Dos";
    case 0x10004:
      return "32 bit Windows with MS-Dos";
    case 0x20000:
      return "16 bit OS/2";
    case 0x20002:
      return "16 bit OS/2 with Presentation Manager";
    case 0x30000:
      return "32 bit OS/2";
    case 0x30003:
      return "32 bit OS/2 with Presentation Manager";
    case 0x40000:
      return "Windows NT";
    case 0x40004:
      return "Windows NT with 32 bit Windows";
    default:
      return "Unknown";
  }
}

constexpr std::uint32_t kFileTypeDriver = 3;
constexpr std::uint32_t kFileTypeFont = 4;

std::string FileTypeText(std::uint32_t type) {
  switch (type) {
    case 1:
      return "Application";
    case 2:
      return "Dynamic-Link Library";
    case kFileTypeDriver:
      return "Device Driver";
    case kFileTypeFont:
      return "Font";
    case 5:
      return "Virtual Device Driver";
    case 7:
      return "Static-Link Library";
    default:
      return "Unknown";
  }
}

std::string FileSubTypeText(std::uint32_t type, std::uint32_t subtype) {
  static constexpr const char* kDrivers[] = {"Printer", "Keyboard",      "Language", "Display",
                                             "Mouse",   "Network",       "System",   "Installable",
                                             "Sound",   "Communications"};
  static constexpr const char* kFonts[] = {"Raster", "Vector", "TrueType"};
  if (type == kFileTypeDriver) {
    return subtype >= 1 && subtype <= std::size(kDrivers) ? kDrivers[subtype - 1] : "Unknown";
  }
  if (type == kFileTypeFont) {
    return subtype >= 1 && subtype <= std::size(kFonts) ? kFonts[subtype - 1] : "Unknown";
  }
  return "";
}

std::string VersionText(std::uint32_t ms, std::uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

bool IsDecimal(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Compares two decimal numbers of any length: -1, 0, 1.
int CompareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The i-th "."-separated token of a version text ("" past the last one).
std::string_view Token(std::string_view s, int index) {
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) {
    std::size_t dot = s.find('.', start);
    if (dot == std::string_view::npos) return {};
    start = dot + 1;
  }
  std::size_t dot = s.find('.', start);
  return s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
}

std::string Trimmed(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string HostProgramPath() {
  host::Result<std::string> path = host::Env::Default().ExecutablePath();
  return path ? *path : std::string();
}

}  // namespace

const ClassInfo& TVersionInfo::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassInfo c;
    c.name = "TVersionInfo";
    for (int f = 0; f < kFieldCount; ++f) {
      PropertyInfo p;
      p.name = FieldNames()[static_cast<std::size_t>(f)];
      p.kind = PropertyKind::kString;
      p.default_value = PropertyValue(std::string());
      p.get = [f](const TPersistent& o) -> PropertyValue {
        return static_cast<const TVersionInfo&>(o).Get(static_cast<Field>(f));
      };
      p.set = [f](TPersistent& o, const PropertyValue& v) {
        static_cast<TVersionInfo&>(o).Set(static_cast<Field>(f), std::get<std::string>(v));
      };
      c.properties.push_back(std::move(p));
    }
    return c;
  }();
  return info;
}

const std::array<const char*, TVersionInfo::kFieldCount>& TVersionInfo::FieldNames() {
  static constexpr std::array<const char*, kFieldCount> kNames = {
      "Comment",        "CompanyName",     "FileDescription",  "FileVersion",  "InternalName",
      "LegalCopyright", "LegalTradeMarks", "OriginalFileName", "PrivateBuild", "ProductName",
      "ProductVersion", "SpecialBuild",    "FileOS",           "FileType",     "FileSubType"};
  return kNames;
}

// VersionInfo holds what was read and is not part of a project, so it is not
// published; FileName is stored only when it is not the running program.
const ClassInfo& TVersionResource::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TVersionResource>("TVersionResource", &TComponent::StaticClassInfo())
          .Creatable()
          .Property("FileName", &TVersionResource::StoredFileName, &TVersionResource::SetFileName,
                    std::string())
          .Enum("Language", kLanguageInfo, &TVersionResource::Language,
                &TVersionResource::SetLanguage, lnUSEnglish)
          .Enum("CharacterSet", kCharacterSetInfo, &TVersionResource::CharacterSet,
                &TVersionResource::SetCharacterSet, csMultilingual)
          .Build();
  return info;
}

TVersionResource::TVersionResource(TComponent* owner) : TComponent(owner) {
  file_name_ = ProgramPath();
}

TVersionResource::TVersionResource(TComponent* owner, Machine& machine) : TComponent(owner) {
  SetMachine(&machine);
}

void TVersionResource::Loaded() {
  TComponent::Loaded();
  ReadResource();
}

void TVersionResource::SetMachine(Machine* machine) {
  machine_ = machine;
  if (file_name_.empty() || file_name_ == HostProgramPath()) file_name_ = ProgramPath();
  ReadResource();
}

std::string TVersionResource::ProgramPath() const {
  std::string host = HostProgramPath();
  if (machine_ == nullptr || host.empty()) return host;
  return machine_->GetPaths().FullPath(host);
}

std::string TVersionResource::StoredFileName() const {
  return file_name_ == ProgramPath() ? std::string() : file_name_;
}

void TVersionResource::SetFileName(const std::string& file_name) {
  file_name_ = file_name.empty() ? ProgramPath() : file_name;
  ReadResource();
}

void TVersionResource::SetLanguage(TLanguage language) {
  LanguageId(language);  // refuses a value outside the enumeration
  language_ = language;
  ReadResource();
}

void TVersionResource::SetCharacterSet(TCharacterSet character_set) {
  CodePage(character_set);
  character_set_ = character_set;
  ReadResource();
}

std::string TVersionResource::StringTablePath() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "\\StringFileInfo\\%04X%04X\\", LanguageId(language_),
                CodePage(character_set_));
  return buf;
}

void TVersionResource::ReadResource() {
  info_.Clear();
  if (machine_ == nullptr || Loading() || file_name_.empty()) return;
  brimwell::VersionInfo& service = GetVersionInfo(*machine_);
  if (service.GetFileVersionInfoSize(file_name_) == 0) return;
  std::optional<std::vector<std::uint8_t>> block = service.GetFileVersionInfo(file_name_);
  if (!block) return;

  if (std::optional<FixedFileInfo> fixed = VerQueryFixedFileInfo(*block)) {
    info_.Set(TVersionInfo::kFileVersion,
              VersionText(fixed->file_version_ms, fixed->file_version_ls));
    info_.Set(TVersionInfo::kProductVersion,
              VersionText(fixed->product_version_ms, fixed->product_version_ls));
    info_.Set(TVersionInfo::kFileOS, FileOSText(fixed->file_os));
    info_.Set(TVersionInfo::kFileType, FileTypeText(fixed->file_type));
    info_.Set(TVersionInfo::kFileSubType, FileSubTypeText(fixed->file_type, fixed->file_subtype));
  }
  const std::string table = StringTablePath();
  for (const StringKey& k : kStringKeys) {
    if (std::optional<std::string> value = VerQueryString(*block, table + k.key)) {
      info_.Set(k.field, std::move(*value));
    }
  }
}

int TVersionResource::CompareVersions(std::string_view first, std::string_view second) {
  for (int i = 0;; ++i) {
    std::string_view a = Token(first, i), b = Token(second, i);
    if (a.empty() || b.empty()) {
      if (a.empty() && b.empty()) return 0;
      return b.empty() ? 1 : 2;
    }
    int c = IsDecimal(a) && IsDecimal(b) ? CompareNumbers(a, b) : a.compare(b);
    if (c > 0) return 1;
    if (c < 0) return 2;
  }
}

std::string TVersionResource::VersionOf(const std::string& path) {
  SetFileName(path);
  return info_.FileVersion();
}

std::optional<TDateTime> TVersionResource::FileDateOf(const std::string& path) {
  if (machine_ == nullptr) return std::nullopt;
  WinResult<std::unique_ptr<File>> file = machine_->GetFileSystem().Open(
      path, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
  if (!file) return std::nullopt;  // kCannotOpenInTest: the answer is "cannot tell"
  WinResult<TDateTime> date = (*file)->LastWriteTime();
  if (!date) return std::nullopt;
  // Compared at the resolution of DOS file times, which archive headers store.
  return ToDosResolution(*date);
}

NewerFileAnswer TVersionResource::Decide(TOverwriteType policy, const std::string& new_version,
                                         const std::string& old_version, TDateTime new_date,
                                         TDateTime old_date) {
  auto by_version = [](int c) {
    return c == 0   ? NewerFileAnswer::kSame
           : c == 1 ? NewerFileAnswer::kReplace
                    : NewerFileAnswer::kKeep;
  };
  auto by_date = [&] {
    return new_date > old_date    ? NewerFileAnswer::kReplace
           : new_date == old_date ? NewerFileAnswer::kSame
                                  : NewerFileAnswer::kKeep;
  };
  switch (policy) {
    case owVersion:
      return by_version(CompareVersions(new_version, old_version));
    case owDate:
      return by_date();
    case owVersionDate: {
      int c = CompareVersions(new_version, old_version);
      return c != 0 ? by_version(c) : by_date();
    }
    default:
      return NewerFileAnswer::kCannotTell;
  }
}

NewerFileAnswer TVersionResource::NeverAnswer(const std::string& old_file) {
  bool exists = machine_ != nullptr && !Trimmed(old_file).empty() &&
                machine_->GetFileSystem().FileExists(old_file);
  return exists ? NewerFileAnswer::kKeep : NewerFileAnswer::kReplace;
}

NewerFileAnswer TVersionResource::IsFileNewerByName(const std::string& new_file,
                                                    const std::string& old_file,
                                                    TOverwriteType policy) {
  if (policy == owAlways) return NewerFileAnswer::kReplace;
  if (policy == owNever) return NeverAnswer(old_file);
  std::optional<TDateTime> new_date = FileDateOf(new_file);
  if (!new_date) return NewerFileAnswer::kCannotTell;
  std::optional<TDateTime> old_date = FileDateOf(old_file);
  if (!old_date) return NewerFileAnswer::kCannotTell;
  std::string new_version = VersionOf(new_file);
  std::string old_version = VersionOf(old_file);
  return Decide(policy, new_version, old_version, *new_date, *old_date);
}

NewerFileAnswer TVersionResource::IsFileNewer(const std::string& new_version,
                                              const std::string& old_file, TOverwriteType policy,
                                              TDateTime new_date) {
  if (policy == owAlways) return NewerFileAnswer::kReplace;
  if (policy == owNever) return NeverAnswer(old_file);
  std::optional<TDateTime> old_date = FileDateOf(old_file);
  if (!old_date) return NewerFileAnswer::kCannotTell;
  std::string old_version = VersionOf(old_file);
  return Decide(policy, new_version, old_version, new_date, *old_date);
}

}  // namespace brimwell
