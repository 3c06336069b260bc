// TVersionResource reads the version resource of an executable or library
// (through the machine's version-information service) and shows its fixed and
// string fields as text in VersionInfo. On top of it sit CompareVersions and
// the newer-file tests that decide whether an existing file is replaced.
//
// One shared instance serves the whole program: the archive writer and the
// newer-file tests set its FileName and read FileVersion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/overwrite_type.h"
#include "archive/version_info.h"
#include "framework/component.h"
#include "framework/date_time.h"

namespace brimwell {

class Machine;

// The version module's own enumerations (the translator's TLanguage is
// another thing), kept apart in their own namespace.
namespace version_resource {

enum TLanguage {
  lnArabic,
  lnBulgarian,
  lnCatalan,
  lnTraditionalChinese,
  lnCzech,
  lnDanish,
  lnGerman,
  lnGreek,
  lnUSEnglish,
  lnCastilianSpanish,
  lnFinnish,
  lnFrench,
  lnHebrew,
  lnHungarian,
  lnIcelandic,
  lnItalian,
  lnJapanese,
  lnKorean,
  lnDutch,
  lnNorwegianBokmal,
  lnPolish,
  lnBrazilianPortuguese,
  lnRhaetoRomanic,
  lnRomanian,
  lnRussian,
  lnCroatoSerbian,
  lnSlovak,
  lnAlbanian,
  lnSwedish,
  lnThai,
  lnTurkish,
  lnUrdu,
  lnBahasa,
  lnSimplifiedChinese,
  lnSwissGerman,
  lnUKEnglish,
  lnMexicanSpanish,
  lnBelgianFrench,
  lnSwissItalian,
  lnBelgianDutch,
  lnNorwegianNynorsk,
  lnPortuguese,
  lnSerboCroatian,
  lnCanadianFrench,
  lnSwissFrench
};
inline constexpr int kLanguageCount = 45;
extern const EnumInfo kLanguageInfo;

enum TCharacterSet {
  csASCII,
  csJapan,
  csKorea,
  csTaiwan,
  csUnicode,
  csLatin2,
  csCyrillic,
  csMultilingual,
  csGreek,
  csTurkish,
  csHebrew,
  csArabic
};
inline constexpr int kCharacterSetCount = 12;
extern const EnumInfo kCharacterSetInfo;

// The Windows language identifier and code page of a value; an ordinal
// outside the enumeration throws EConvertError without text.
std::uint16_t LanguageId(TLanguage language);
std::uint16_t CodePage(TCharacterSet character_set);

}  // namespace version_resource

class TVersionResource : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  // Without a machine the component reads nothing until SetMachine.
  explicit TVersionResource(TComponent* owner);
  // Reads the running program's resource at once.
  TVersionResource(TComponent* owner, Machine& machine);

  // Reads the resource once the project has set every property.
  void Loaded() override;

  // The machine whose files are read; not owned, must outlive this
  // component. Reads the resource again.
  void SetMachine(Machine* machine);
  Machine* GetMachine() const { return machine_; }

  // The file whose resource is read (a Windows path or a host path); an empty
  // name means the running program. Setting it reads the resource again.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& file_name);
  // The running program's path as the machine names it.
  std::string ProgramPath() const;

  version_resource::TLanguage Language() const { return language_; }
  void SetLanguage(version_resource::TLanguage language);
  version_resource::TCharacterSet CharacterSet() const { return character_set_; }
  void SetCharacterSet(version_resource::TCharacterSet character_set);

  const TVersionInfo& VersionInfo() const { return info_; }
  // "\StringFileInfo\040904E4\" for the current language and character set.
  std::string StringTablePath() const;

  // 0 equal, 1 first newer, 2 second newer. Tokens between "." compare as
  // numbers when both are decimal, else as byte strings; a version with more
  // tokens is newer (1.0.0 beats 1.0), an empty one is older than any other.
  static int CompareVersions(std::string_view first, std::string_view second);

  // The newer-file test for two files on disk (Windows or host paths).
  // Uses this component: its FileName is set to each file in turn.
  NewerFileAnswer IsFileNewerByName(const std::string& new_file, const std::string& old_file,
                                    TOverwriteType policy);
  // The same when the new file's version text and date are known already
  // (an archive member).
  NewerFileAnswer IsFileNewer(const std::string& new_version, const std::string& old_file,
                              TOverwriteType policy, TDateTime new_date);

  // Internal message of a file the tests cannot open (never shown).
  static constexpr char kCannotOpenInTest[] =
      "Cannot open %s in TVersionResource.IsFileNewerByName";

 private:
  // The stored form of FileName: empty when it is the running program's path.
  std::string StoredFileName() const;
  void ReadResource();
  std::string VersionOf(const std::string& path);
  // The last-write time of an open-able file rounded to DOS resolution;
  // nullopt when the file cannot be opened for reading.
  std::optional<TDateTime> FileDateOf(const std::string& path);
  // owNever: keep an existing old file, else write.
  NewerFileAnswer NeverAnswer(const std::string& old_file);
  NewerFileAnswer Decide(TOverwriteType policy, const std::string& new_version,
                         const std::string& old_version, TDateTime new_date, TDateTime old_date);

  Machine* machine_ = nullptr;
  std::string file_name_;
  version_resource::TLanguage language_ = version_resource::lnUSEnglish;
  version_resource::TCharacterSet character_set_ = version_resource::csMultilingual;
  TVersionInfo info_;
};

}  // namespace brimwell
