// The PE version-resource reader on real PE files (windres + ld), checked
// against Debian's pefile, and on malformed input.
#include "platform/version_info.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/archive/machine_fixture.h"
#include "tests/archive/pe_fixture.h"

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
