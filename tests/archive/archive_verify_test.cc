// Verifying an archive: sound sets pass whole, and a damaged member is named
// with what is wrong with it, in single-file and multi-volume archives.
#include "archive/archive_verify.h"

#include <gtest/gtest.h>

#include "archive/archive_errors.h"
#include "archive/archive_reader.h"
#include "archive/memory_stream.h"
#include "tests/archive/archive_builder.h"

namespace brimwell {
namespace {

using testing::Bytes;
using testing::Member;
using testing::MixedContent;

OpenArchiveDisk DisksOf(const std::vector<Bytes>& disks) {
  return [&disks](int n) -> std::unique_ptr<ArchiveStream> {
    if (n < 1 || static_cast<std::size_t>(n) > disks.size()) throw EBrwlCompress("no disk " + std::to_string(n));
    return std::make_unique<MemoryStream>(disks[static_cast<std::size_t>(n - 1)]);
  };
}

TEST(VerifyArchiveTest, ASoundArchiveCountsEveryMemberAndByte) {
  MemoryStream file(testing::BuildSingleFile({Member("a.txt", "alpha"), Member("b.bin", MixedContent(70000, 1))}));
  ArchiveCheck check = VerifyArchive(file, 0, std::nullopt, DisksOf({}));
  EXPECT_EQ(check.members, 2u);
  EXPECT_EQ(check.bytes, 70005);
  EXPECT_FALSE(check.fault);
}

TEST(VerifyArchiveTest, TheFirstDamagedMemberIsNamedWithItsFault) {
  Bytes bytes = testing::BuildSingleFile({Member("a.txt", "alpha"), Member("b.txt", "bravo bravo")});
  // The second header claims one byte more than its stream holds.
  std::optional<ArchiveDirectory> dir;
  {
    MemoryStream probe(bytes);
    dir = ReadArchiveDirectory(probe, 0, std::nullopt);
  }
  const std::size_t second = static_cast<std::size_t>(dir->headers[0].NextHeaderPos);
  PutInt32(&bytes[second + kFileSizeOffset], 12);
  MemoryStream file(bytes);
  ArchiveCheck check = VerifyArchive(file, 0, std::nullopt, DisksOf({}));
  ASSERT_TRUE(check.fault);
  EXPECT_EQ(check.fault->member, "b.txt");
  EXPECT_EQ(check.fault->reason, "inflates to 11 bytes instead of 12");
  EXPECT_EQ(check.bytes, 5);  // the sound member before it

  // A flipped bit inside the first stream.
  Bytes flipped = testing::BuildSingleFile({Member("a.txt", MixedContent(5000, 2))});
  flipped[kPrologueSize + kFileHeaderSize + 40] ^= 0x10;
  MemoryStream damaged(flipped);
  check = VerifyArchive(damaged, 0, std::nullopt, DisksOf({}));
  ASSERT_TRUE(check.fault);
  EXPECT_EQ(check.fault->member, "a.txt");
}

TEST(VerifyArchiveTest, MembersOfAMultiVolumeSetAreReadAcrossDisks) {
  std::vector<Bytes> disks = testing::BuildMultiVolume(
      {Member("one", MixedContent(3000, 3)), Member("two", MixedContent(9000, 4))}, {2000, 1500});
  ASSERT_GT(disks.size(), 2u);
  MemoryStream first(disks[0]);
  ArchiveCheck check = VerifyArchive(first, 0, std::nullopt, DisksOf(disks));
  EXPECT_FALSE(check.fault) << check.fault->member << ": " << check.fault->reason;
  EXPECT_EQ(check.bytes, 12000);

  // A missing disk is that member's fault, not an error of the whole check.
  std::vector<Bytes> short_set(disks.begin(), disks.end() - 1);
  MemoryStream again(short_set[0]);
  check = VerifyArchive(again, 0, std::nullopt, DisksOf(short_set));
  ASSERT_TRUE(check.fault);
  EXPECT_EQ(check.fault->member, "two");
}

}  // namespace
}  // namespace brimwell
