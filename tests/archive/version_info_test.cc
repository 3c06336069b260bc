// The PE version-resource reader on real PE files (windres + ld), checked
// against Debian's pefile, and on malformed input.
#include "platform/version_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <utility>

#include "tests/archive/machine_fixture.h"
#include "tests/archive/pe_fixture.h"
#include "tests/testutil/run.h"

namespace brimwell {
namespace {

using testing::ReadHostBytes;

std::map<std::string, std::string> AsMap(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> m;
  for (const std::string& l : lines) {
    std::size_t eq = l.find('=');
    if (eq != std::string::npos) m[l.substr(0, eq)] = l.substr(eq + 1);
  }
  return m;
}

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

std::string Version(std::uint32_t ms, std::uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

class PeVersionTest : public testing::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    if (!testing::HavePeTools()) GTEST_SKIP() << "windres or ld missing";
    std::optional<std::filesystem::path> exe =
        testing::BuildPe32(HostDir(), "tool32", testing::kVersionScript);
    ASSERT_TRUE(exe) << "windres/ld failed";
    pe32_ = *exe;
    pe64_ = HostDir() / "tool64.exe";
    testing::WriteHostFile(pe64_, testing::ToPe32Plus(ReadHostBytes(pe32_)));
  }
  std::filesystem::path pe32_, pe64_;
};

TEST_F(PeVersionTest, AgreesWithPefileOn32And64BitImages) {
  for (const auto& [file, magic] : {std::pair{pe32_, "10b"}, std::pair{pe64_, "20b"}}) {
    SCOPED_TRACE(file.string());
    std::map<std::string, std::string> peer = AsMap(testing::PefileView(file));
    if (peer.empty()) GTEST_SKIP() << "pefile missing";
    ASSERT_EQ(peer["magic"], magic);

    std::optional<std::vector<std::uint8_t>> block = ReadPeVersionResource(ReadHostBytes(file));
    ASSERT_TRUE(block);
    std::optional<FixedFileInfo> fixed = VerQueryFixedFileInfo(*block);
    ASSERT_TRUE(fixed);
    EXPECT_EQ(Version(fixed->file_version_ms, fixed->file_version_ls), peer["file"]);
    EXPECT_EQ(Version(fixed->product_version_ms, fixed->product_version_ls), peer["product"]);
    EXPECT_EQ(Hex(fixed->file_os), peer["os"]);
    EXPECT_EQ(Hex(fixed->file_type), peer["type"]);
    EXPECT_EQ(Hex(fixed->file_subtype), peer["subtype"]);

    int strings = 0;
    for (const auto& [key, value] : peer) {
      if (key.rfind("str:", 0) != 0) continue;
      std::size_t colon = key.find(':', 4);
      std::string table = key.substr(4, colon - 4), name = key.substr(colon + 1);
      std::optional<std::string> ours =
          VerQueryString(*block, "\\StringFileInfo\\" + table + "\\" + name);
      EXPECT_EQ(ours.value_or("<none>"), value) << table << " " << name;
      ++strings;
    }
    EXPECT_GE(strings, 10);  // pefile reads the first string table
  }
}

TEST_F(PeVersionTest, QueriesFollowVerQueryValueRules) {
  std::optional<std::vector<std::uint8_t>> block = ReadPeVersionResource(ReadHostBytes(pe64_));
  ASSERT_TRUE(block);
  // Keys compare without case; empty path components are passed over.
  EXPECT_EQ(VerQueryString(*block, "\\stringfileinfo\\040904e4\\companyname"), "Acme Tools");
  EXPECT_EQ(VerQueryString(*block, "StringFileInfo\\040704E4\\CompanyName"), "Acme Werkzeuge");
  EXPECT_FALSE(VerQueryValue(*block, "\\StringFileInfo\\040904E4\\Comments"));
  EXPECT_FALSE(VerQueryValue(*block, "\\StringFileInfo\\041104B0\\CompanyName"));
  std::optional<std::span<const std::uint8_t>> translation =
      VerQueryValue(*block, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  ASSERT_EQ(translation->size(), 8u);
  EXPECT_EQ((*translation)[0] | (*translation)[1] << 8, 0x409);
  EXPECT_EQ((*translation)[2] | (*translation)[3] << 8, 1252);
  EXPECT_EQ(VerQueryValue(*block, "\\")->size(), kFixedFileInfoSize);
}

TEST_F(PeVersionTest, ServiceReadsThroughTheMachinesFiles) {
  VersionInfo& service = GetVersionInfo(*machine_);
  EXPECT_EQ(&service, &GetVersionInfo(*machine_));  // attached once
  std::string windows = machine_->GetPaths().FullPath(pe32_.string());
  std::uint32_t size = service.GetFileVersionInfoSize(windows);
  std::optional<std::vector<std::uint8_t>> block = service.GetFileVersionInfo(windows);
  ASSERT_TRUE(block);
  EXPECT_EQ(size, block->size());
  EXPECT_EQ(VerQueryString(*block, "\\StringFileInfo\\040904E4\\InternalName"), "kbd");

  WriteFile(HostDir() / "plain.txt", "MZ but nothing else");
  EXPECT_EQ(service.GetFileVersionInfoSize((HostDir() / "plain.txt").string()), 0u);
  EXPECT_EQ(service.GetFileVersionInfoSize("C:\\no\\such.dll"), 0u);
  EXPECT_FALSE(service.GetFileVersionInfo("C:\\no\\such.dll"));
}

TEST_F(PeVersionTest, DamagedImagesHaveNoVersionOrAValidOne) {
  const std::vector<std::uint8_t> good = ReadHostBytes(pe64_);
  // Every cut shorter than the resource data reads as "no version".
  for (std::size_t cut = 0; cut < good.size(); cut += 7) {
    std::vector<std::uint8_t> b(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    std::optional<std::vector<std::uint8_t>> block = ReadPeVersionResource(b);
    if (block) {
      EXPECT_TRUE(VerQueryFixedFileInfo(*block)) << cut;
    }
  }
  // Byte damage anywhere in the headers and the resource tree: never a
  // crash, never a read outside the file.
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (std::uint8_t x : {0x01, 0x80, 0xFF}) {
      std::vector<std::uint8_t> b = good;
      b[i] ^= x;
      if (std::optional<std::vector<std::uint8_t>> block = ReadPeVersionResource(b)) {
        (void)VerQueryFixedFileInfo(*block);
        (void)VerQueryString(*block, "\\StringFileInfo\\040904E4\\CompanyName");
      }
    }
  }
}

// One version resource per language, each with its own string table:
// `first` and `second` are the languages (primary, sub), `names` the
// company names they carry.
std::string TwoLanguageScript(std::pair<int, int> first, std::pair<int, int> second,
                              const std::string& first_name, const std::string& second_name) {
  auto resource = [](std::pair<int, int> language, const std::string& name) {
    const int id = language.first | language.second << 10;
    char table[16], translation[32];
    std::snprintf(table, sizeof table, "%04X04E4", id);
    std::snprintf(translation, sizeof translation, "0x%X, 1252", id);
    return "LANGUAGE " + std::to_string(language.first) + ", " + std::to_string(language.second) +
           "\n1 VERSIONINFO\nFILEVERSION 1,0,0," + std::to_string(id) +
           "\nFILEOS 0x40004\nFILETYPE 1\nBEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"" + table +
           "\"\n    BEGIN\n      VALUE \"CompanyName\", \"" + name +
           "\"\n    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", " + translation +
           "\n  END\nEND\n";
  };
  return resource(first, first_name) + resource(second, second_name);
}

TEST_F(PeVersionTest, OfSeveralLanguagesTheOneWindowsLoadsIsRead) {
  constexpr std::pair<int, int> kGerman{0x07, 1}, kEnglish{0x09, 1}, kJapanese{0x11, 1}, kNeutral{0, 0};
  std::optional<std::filesystem::path> german_english =
      testing::BuildPe32(HostDir(), "de_en", TwoLanguageScript(kGerman, kEnglish, "Acme Werkzeuge", "Acme Tools"));
  std::optional<std::filesystem::path> neutral_english =
      testing::BuildPe32(HostDir(), "neutral", TwoLanguageScript(kEnglish, kNeutral, "Acme Tools", "Acme"));
  std::optional<std::filesystem::path> german_japanese =
      testing::BuildPe32(HostDir(), "de_ja", TwoLanguageScript(kJapanese, kGerman, "Acme Japan", "Acme Werkzeuge"));
  ASSERT_TRUE(german_english && neutral_english && german_japanese) << "windres/ld failed";

  // The company name of the table the resource's translation names.
  auto company = [&](const std::filesystem::path& file) -> std::string {
    std::optional<std::vector<std::uint8_t>> block =
        GetVersionInfo(*machine_).GetFileVersionInfo(machine_->GetPaths().FullPath(file.string()));
    if (!block) return "<no resource>";
    std::optional<std::span<const std::uint8_t>> t = VerQueryValue(*block, "\\VarFileInfo\\Translation");
    if (!t || t->size() < 4) return "<no translation>";
    char table[16];
    std::snprintf(table, sizeof table, "%04X%04X", (*t)[0] | (*t)[1] << 8, (*t)[2] | (*t)[3] << 8);
    return VerQueryString(*block, std::string("\\StringFileInfo\\") + table + "\\CompanyName").value_or("<none>");
  };
  machine_->SetUserDefaultLangId(0x0407);  // German
  EXPECT_EQ(company(*german_english), "Acme Werkzeuge");
  EXPECT_EQ(company(*neutral_english), "Acme");  // language-neutral comes first
  EXPECT_EQ(company(*german_japanese), "Acme Werkzeuge");
  machine_->SetUserDefaultLangId(0x040C);  // French: US English, else the first
  EXPECT_EQ(company(*german_english), "Acme Tools");
  EXPECT_EQ(company(*german_japanese), "Acme Werkzeuge");
  machine_->SetUserDefaultLangId(0x0411);  // Japanese
  EXPECT_EQ(company(*german_japanese), "Acme Japan");
  EXPECT_EQ(company(*german_english), "Acme Tools");

  // brimwell version reads the same way, in the table the file names: the
  // user language of a scratch prefix follows the host's locale.
  const std::string tool = "'" BRIMWELL_BIN_DIR "/brimwell' version '" + german_english->string() + "'";
  testing::RunResult german = testing::RunShell("env -u BRIMWELL_PREFIX -u LC_ALL -u LC_MESSAGES LANG=de_DE.UTF-8 XDG_DATA_HOME='" +
                                                HostDir().string() + "/data' " + tool);
  ASSERT_EQ(german.status, 0) << german.err;
  EXPECT_NE(german.out.find("CompanyName: Acme Werkzeuge\n"), std::string::npos) << german.out;
  EXPECT_NE(german.out.find("FileVersion: 1.0.0.1031\n"), std::string::npos) << german.out;
  testing::RunResult english = testing::RunShell("env -u BRIMWELL_PREFIX -u LC_ALL -u LC_MESSAGES LANG=C XDG_DATA_HOME='" +
                                                 HostDir().string() + "/data' " + tool);
  ASSERT_EQ(english.status, 0) << english.err;
  EXPECT_NE(english.out.find("CompanyName: Acme Tools\n"), std::string::npos) << english.out;
}

TEST(VersionBlockTest, MalformedBlocksAnswerNothing) {
  const std::vector<std::uint8_t> empty;
  EXPECT_FALSE(VerQueryValue(empty, "\\"));
  // A root whose key is not VS_VERSION_INFO.
  std::vector<std::uint8_t> wrong = {12, 0, 0, 0, 0, 0, 'X', 0, 0, 0, 0, 0};
  EXPECT_FALSE(VerQueryValue(wrong, "\\"));
  // A key without its terminator.
  std::vector<std::uint8_t> unterminated = {8, 0, 0, 0, 0, 0, 'V', 0};
  EXPECT_FALSE(VerQueryValue(unterminated, "\\"));
  EXPECT_FALSE(ReadPeVersionResource(std::vector<std::uint8_t>{'M', 'Z'}));
}

}  // namespace
}  // namespace brimwell
