// TVersionResource: the fields read from real version resources, the version
// comparison and the newer-file tests on real files.
#include "archive/version_resource.h"

#include <gtest/gtest.h>

#include "framework/exception.h"
#include "tests/archive/machine_fixture.h"
#include "tests/archive/pe_fixture.h"

namespace brimwell {
namespace {

using namespace version_resource;

TEST(CompareVersionsTest, NumbersTextAndLength) {
  struct Case {
    const char* first;
    const char* second;
    int expected;
  };
  const Case cases[] = {
      {"2.0.8.245", "2.0.8.77", 1},  // numeric, not textual
      {"2.0.8.77", "2.0.8.245", 2},
      {"1.0b", "1.0a", 1},  // text in the second token
      {"1.0a", "1.0b", 2},
      {"1.0B", "1.0a", 2},  // byte order: upper case sorts first
      {"1.0.0", "1.0", 1},  // more tokens is newer
      {"1.0", "1.0.0", 2},
      {"", "0", 2},  // empty is older than anything
      {"", "", 0},
      {"5.0.4277.1", "5.0.4277.1", 0},
      {"007", "7", 0},                                      // equal numbers
      {"99999999999999999999", "99999999999999999998", 1},  // beyond 64 bits
      {"1..5", "1", 0},                                     // an empty token ends the comparison
      {"10", "9a", 2},                                      // "10" < "9a" as text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TVersionResource::CompareVersions(c.first, c.second), c.expected)
        << c.first << " vs " << c.second;
  }
}

TEST(VersionEnumerationsTest, LanguageAndCodePageTables) {
  EXPECT_EQ(LanguageId(lnArabic), 0x0401);
  EXPECT_EQ(LanguageId(lnUSEnglish), 0x0409);
  EXPECT_EQ(LanguageId(lnBahasa), 0x0421);
  EXPECT_EQ(LanguageId(lnSimplifiedChinese), 0x0804);
  EXPECT_EQ(LanguageId(lnSerboCroatian), 0x081A);
  EXPECT_EQ(LanguageId(lnSwissFrench), 0x100C);
  EXPECT_EQ(CodePage(csASCII), 0);
  EXPECT_EQ(CodePage(csUnicode), 1200);
  EXPECT_EQ(CodePage(csMultilingual), 1252);
  EXPECT_EQ(CodePage(csArabic), 1256);
  EXPECT_EQ(kLanguageInfo.names.size(), static_cast<std::size_t>(kLanguageCount));
  EXPECT_THROW(LanguageId(static_cast<TLanguage>(45)), EConvertError);
  EXPECT_THROW(CodePage(static_cast<TCharacterSet>(-1)), EConvertError);
}

class VersionResourceTest : public testing::MachineTest {
 protected:
  std::string Pe(const std::string& name, const std::string& file_version) {
    std::string rc = testing::kVersionScript;
    rc.replace(rc.find("5,0,4277,1"), 10, file_version);
    std::optional<std::filesystem::path> exe = testing::BuildPe32(HostDir(), name, rc);
    return exe ? exe->string() : std::string();
  }
};

TEST_F(VersionResourceTest, ReadsFixedAndStringFields) {
  if (!testing::HavePeTools()) GTEST_SKIP() << "windres or ld missing";
  std::string exe = Pe("driver", "5,0,4277,1");
  ASSERT_FALSE(exe.empty());
  versions_->SetFileName(exe);
  const TVersionInfo& v = versions_->VersionInfo();
  EXPECT_EQ(v.FileVersion(), "5.0.4277.1");   // from the fixed part, never the table
  EXPECT_EQ(v.ProductVersion(), "2.1 beta");  // the table replaces the fixed one
  EXPECT_EQ(v.FileOS(), "Windows NT with 32 bit Windows");
  EXPECT_EQ(v.FileType(), "Device Driver");
  EXPECT_EQ(v.FileSubType(), "Keyboard");
  EXPECT_EQ(v.Comment(), "made by windres");
  EXPECT_EQ(v.CompanyName(), "Acme Tools");
  EXPECT_EQ(v.LegalTradeMarks(), "Acme(tm)");
  EXPECT_EQ(v.OriginalFileName(), "KBD.DRV");
  EXPECT_EQ(v.PrivateBuild(), "");

  // Another string table; changing the language reads again at once.
  versions_->SetLanguage(lnGerman);
  EXPECT_EQ(versions_->StringTablePath(), "\\StringFileInfo\\040704E4\\");
  EXPECT_EQ(v.CompanyName(), "Acme Werkzeuge");
  EXPECT_EQ(v.FileDescription(), "");
  EXPECT_EQ(v.ProductVersion(), "2.1.0.7");
  versions_->SetCharacterSet(csUnicode);
  EXPECT_EQ(v.CompanyName(), "");
  EXPECT_EQ(v.FileVersion(), "5.0.4277.1");

  // A file without a resource clears every field.
  versions_->SetFileName(WriteFile(HostDir() / "readme.txt", "hello"));
  EXPECT_EQ(v.FileVersion(), "");
  EXPECT_EQ(v.FileOS(), "");
}

TEST_F(VersionResourceTest, FileNameDefaultsToTheRunningProgram) {
  EXPECT_EQ(versions_->FileName(), versions_->ProgramPath());
  EXPECT_EQ(versions_->FileName().rfind("Z:\\", 0), 0u);
  const PropertyInfo* p = TVersionResource::StaticClassInfo().FindProperty("FileName");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::get<std::string>(p->get(*versions_)), "");  // not stored
  versions_->SetFileName("C:\\x.dll");
  EXPECT_EQ(std::get<std::string>(p->get(*versions_)), "C:\\x.dll");
  versions_->SetFileName("");
  EXPECT_EQ(versions_->FileName(), versions_->ProgramPath());
}

TEST_F(VersionResourceTest, NewerFileTestsWithoutVersions) {
  const DateTimeParts older{2020, 1, 1, 10, 0, 0, 0}, newer{2021, 6, 1, 10, 0, 0, 0};
  std::string a = WriteFile(HostDir() / "a.txt", "a", older);
  std::string b = WriteFile(HostDir() / "b.txt", "b", newer);
  std::string a2 = WriteFile(HostDir() / "a2.txt", "a2", older);
  std::string missing = (HostDir() / "missing.txt").string();
  using A = NewerFileAnswer;
  TVersionResource& t = *versions_;

  EXPECT_EQ(t.IsFileNewerByName(a, b, owAlways), A::kReplace);
  EXPECT_EQ(t.IsFileNewerByName(a, b, owNever), A::kKeep);
  EXPECT_EQ(t.IsFileNewerByName(a, missing, owNever), A::kReplace);
  EXPECT_EQ(t.IsFileNewerByName(a, "  ", owNever), A::kReplace);
  EXPECT_EQ(t.IsFileNewerByName(a, b, owVersion), A::kSame);  // both without version
  EXPECT_EQ(t.IsFileNewerByName(a, b, owDate), A::kKeep);
  EXPECT_EQ(t.IsFileNewerByName(b, a, owDate), A::kReplace);
  EXPECT_EQ(t.IsFileNewerByName(a, a2, owDate), A::kSame);
  EXPECT_EQ(t.IsFileNewerByName(b, a, owVersionDate), A::kReplace);  // versions equal: dates
  EXPECT_EQ(t.IsFileNewerByName(a, a2, owVersionDate), A::kSame);
  EXPECT_EQ(t.IsFileNewerByName(missing, a, owDate), A::kCannotTell);
  EXPECT_EQ(t.IsFileNewerByName(a, missing, owVersion), A::kCannotTell);

  // With the new file's version and date given (an archive member): dates
  // compare at the 2-second resolution of DOS times.
  TDateTime odd_second = EncodeDateTime({2020, 1, 1, 10, 0, 1, 0});
  EXPECT_EQ(t.IsFileNewer("", a, owDate, EncodeDateTime(older)), A::kSame);
  EXPECT_EQ(t.IsFileNewer("", a, owDate, odd_second), A::kReplace);
  EXPECT_EQ(t.IsFileNewer("1.0", a, owVersion, 0), A::kReplace);  // any version beats none
  EXPECT_EQ(t.IsFileNewer("", a, owVersionDate, EncodeDateTime(newer)), A::kReplace);
  EXPECT_EQ(t.IsFileNewer("", missing, owVersionDate, 0), A::kCannotTell);
}

TEST_F(VersionResourceTest, NewerFileTestsByVersion) {
  if (!testing::HavePeTools()) GTEST_SKIP() << "windres or ld missing";
  std::string v245 = Pe("v245", "2,0,8,245");
  std::string v77 = Pe("v77", "2,0,8,77");
  ASSERT_FALSE(v245.empty());
  ASSERT_FALSE(v77.empty());
  // The newer version has the older date: owVersion looks at versions only.
  SetDate(v245, {2001, 1, 1, 0, 0, 0, 0});
  SetDate(v77, {2005, 1, 1, 0, 0, 0, 0});
  using A = NewerFileAnswer;
  EXPECT_EQ(versions_->IsFileNewerByName(v245, v77, owVersion), A::kReplace);
  EXPECT_EQ(versions_->IsFileNewerByName(v77, v245, owVersion), A::kKeep);
  EXPECT_EQ(versions_->IsFileNewerByName(v245, v77, owVersionDate), A::kReplace);
  EXPECT_EQ(versions_->IsFileNewerByName(v245, v77, owDate), A::kKeep);
  EXPECT_EQ(versions_->IsFileNewer("2.0.8.77", v77, owVersion, 0), A::kSame);
  EXPECT_EQ(versions_->IsFileNewer("2.0.8.77", v245, owVersionDate, 1e6), A::kKeep);
}

}  // namespace
}  // namespace brimwell
