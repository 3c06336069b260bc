// What extraction and copying leave behind: a member takes its name only
// when it is complete and its size checked, so a full disk, a corrupt member
// or a stop leaves the old file as it was and no part file behind; a link
// planted at a member's name is replaced, never written through.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/brwl_compress.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/machine_fixture.h"
#include "tests/archive/pe_fixture.h"
#include "tests/platform/small_disk.h"

namespace brimwell {
namespace {

using testing::Bytes;

class ExtractionSafetyTest : public testing::ArchiveTest {
 protected:
  std::string Source(const std::string& name, const std::string& content) {
    WriteFile(HostDir() / "src" / name, content);
    return machine_->GetPaths().FullPath((HostDir() / "src" / name).string());
  }
  // The names in a host directory, sorted.
  static std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(ExtractionSafetyTest, LinksAtMemberNamesAreReplacedNotFollowed) {
  std::string a = Source("a.txt", "member a");
  std::string b = Source("b.txt", "member b");
  Compress({a, b});
  const std::filesystem::path out = HostDir() / "out";
  const std::filesystem::path victim = HostDir() / "victim.txt";
  WriteFile(victim, "not yours");
  std::filesystem::create_directories(out);
  std::filesystem::create_symlink(victim, out / "a.txt");
  std::filesystem::create_symlink(HostDir() / "nowhere.txt", out / "b.txt");  // dangling

  Extract({a, b}, out.string());
  EXPECT_EQ(ReadFile(victim), "not yours");
  EXPECT_FALSE(std::filesystem::exists(HostDir() / "nowhere.txt"));
  for (const char* name : {"a.txt", "b.txt"}) {
    EXPECT_FALSE(std::filesystem::is_symlink(out / name)) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(out / name)) << name;
  }
  EXPECT_EQ(ReadFile(out / "a.txt"), "member a");
  EXPECT_EQ(ReadFile(out / "b.txt"), "member b");
  EXPECT_EQ(Names(out), (std::vector<std::string>{"a.txt", "b.txt"}));

  // CopyFile replaces a link the same way.
  std::filesystem::remove(out / "a.txt");
  std::filesystem::create_symlink(victim, out / "a.txt");
  compress_->CopyFile(b, machine_->GetPaths().FullPath((out / "a.txt").string()));
  EXPECT_EQ(ReadFile(victim), "not yours");
  EXPECT_EQ(ReadFile(out / "a.txt"), "member b");
}

TEST_F(ExtractionSafetyTest, AFullDiskLeavesTheOldFileAndNoPartFile) {
  std::string big = Source("big.bin", testing::MixedContent(200000, 3));
  Compress({big});
  SetDiskCapacity(60000);
  ASSERT_TRUE(Files().InsertDisk('A', 1));
  const std::filesystem::path disk = root_ / "prefix" / "disks" / "a" / "1";
  WriteFile(disk / "big.bin", "the old version");

  EXPECT_THROW(Extract({big}, "A:\\"), EbcDiskFull);
  EXPECT_EQ(ReadFile(disk / "big.bin"), "the old version");
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"big.bin"}));

  // A copy that does not fit is not kept either.
  EXPECT_THROW(compress_->CopyFile(big, "A:\\big.bin"), EbcDiskFull);
  EXPECT_EQ(ReadFile(disk / "big.bin"), "the old version");
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"big.bin"}));

  // Room again: the member replaces the old file whole.
  SetDiskCapacity(1 << 20);
  Extract({big}, "A:\\");
  EXPECT_EQ(ReadFile(disk / "big.bin"), testing::MixedContent(200000, 3));
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"big.bin"}));
}

TEST_F(ExtractionSafetyTest, AHostDiskThatFillsMidMemberLeavesTheOldFileAndNoPartFile) {
  // A real file system that runs out of room in the middle of a member
  // (a tmpfs of 256 KB made by the test), not the prefix's counted space.
  const std::string content = testing::MixedContent(600000, 5);
  std::string big = Source("big.bin", content);
  Compress({big});
  const std::filesystem::path disk = HostDir() / "small";
  std::filesystem::create_directories(disk);
  const int status = testing::OnSmallDisk(disk, 256 << 10, [&] {
    WriteFile(disk / "big.bin", "the old version");
    const std::string target = machine_->GetPaths().FullPath(disk.string());
    try {
      Extract({big}, target);
      return 1;  // reported as done
    } catch (const EbcDiskFull&) {
    }
    if (ReadFile(disk / "big.bin") != "the old version") return 2;
    if (Names(disk) != std::vector<std::string>{"big.bin"}) return 3;
    return 0;
  });
  if (status == testing::kNoSmallDisk) GTEST_SKIP() << "this host lets no test mount a small disk";
  EXPECT_EQ(status, 0) << "1: reported as done, 2: old file changed, 3: a part file was left";
}

TEST_F(ExtractionSafetyTest, AMemberOfTheWrongSizeOrAStopLeavesTheOldFile) {
  std::string a = Source("a.txt", testing::MixedContent(50000, 8));
  Compress({a});
  const std::filesystem::path out = HostDir() / "out";
  WriteFile(out / "a.txt", "previous");

  // The header claims another size than the stream holds.
  Bytes bytes = testing::ReadHostBytes(Host("C:\\BUILD\\files.1"));
  for (std::int32_t claimed : {49999, 50001}) {
    PutInt32(&bytes[5 + kFileSizeOffset], claimed);
    testing::WriteHostFile(Host("C:\\BUILD\\size.1"), bytes);
    compress_->SetCompressedFile("C:\\BUILD\\other.1");
    EXPECT_THROW(Extract({a}, out.string(), "C:\\BUILD\\size.1"), EBrwlCompress) << claimed;
    EXPECT_EQ(ReadFile(out / "a.txt"), "previous");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"a.txt"}));
  }

  // Corrupt data inside a member held whole in memory: the same zlib error
  // as when it is streamed.
  Bytes corrupt = testing::ReadHostBytes(Host("C:\\BUILD\\files.1"));
  corrupt[5 + kFileHeaderSize + 30] ^= 0x5A;
  testing::WriteHostFile(Host("C:\\BUILD\\corrupt.1"), corrupt);
  compress_->SetCompressedFile("C:\\BUILD\\other.1");
  EXPECT_THROW(Extract({a}, out.string(), "C:\\BUILD\\corrupt.1"), EBrwlCompress);
  EXPECT_EQ(ReadFile(out / "a.txt"), "previous");
  EXPECT_EQ(Names(out), (std::vector<std::string>{"a.txt"}));

  // Stopped in the middle of the member.
  compress_->OnStatus = [](TBrwlCompress& c, const TlzhFileStats& s) {
    if (s.BytesDone >= 8192) c.SetAbort(true);
  };
  Extract({a}, out.string());
  EXPECT_TRUE(compress_->Abort());
  EXPECT_EQ(ReadFile(out / "a.txt"), "previous");
  EXPECT_EQ(Names(out), (std::vector<std::string>{"a.txt"}));
  compress_->OnStatus = nullptr;

  // A read-only file is not replaced, as on Windows.
  std::filesystem::permissions(out / "a.txt", std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::group_read);
  EXPECT_EQ([&] {
    try {
      Extract({a}, out.string());
    } catch (const EBrwlCompress& e) {
      return std::string(e.what());
    }
    return std::string();
  }(),
            "Cannot create the file " + machine_->GetPaths().FullPath((out / "a.txt").string()));
  EXPECT_EQ(ReadFile(out / "a.txt"), "previous");
  EXPECT_EQ(Names(out), (std::vector<std::string>{"a.txt"}));
}

}  // namespace
}  // namespace brimwell
