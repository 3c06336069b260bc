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

  // A header that claims fewer bytes than its stream holds.
  PutInt32(&bytes[second + kFileSizeOffset], 10);
  MemoryStream longer(bytes);
  check = VerifyArchive(longer, 0, std::nullopt, DisksOf({}));
  ASSERT_TRUE(check.fault);
  EXPECT_EQ(check.fault->reason, "inflates to more than its 10 bytes");

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

TEST(VerifyArchiveTest, BytesTheDirectoryDoesNotAccountForAreAFault) {
  // Two writers appending at one place leave the longer one's tail behind
  // the shorter one's directory: every member inflates, yet bytes are left.
  Bytes bytes = testing::BuildSingleFile({Member("a.txt", "alpha"), Member("b.txt", "bravo")});
  Bytes longer = bytes;
  longer.insert(longer.end(), 300, 0x5A);
  MemoryStream tail(longer);
  ArchiveCheck check = VerifyArchive(tail, 0, std::nullopt, DisksOf({}));
  ASSERT_TRUE(check.fault);
  EXPECT_EQ(check.fault->member, "b.txt");
  EXPECT_EQ(check.fault->reason, "300 bytes after the last member are not accounted for by the directory");

  // An embedded image ends where it says: what follows is not its own.
  MemoryStream embedded(longer);
  EXPECT_FALSE(VerifyArchive(embedded, 0, static_cast<std::int64_t>(bytes.size()), DisksOf({})).fault);
}

TEST(VerifyArchiveTest, StreamsOfASetThatShareBytesAreAFault) {
  std::vector<Bytes> disks = testing::BuildMultiVolume(
      {Member("one", MixedContent(3000, 3)), Member("two", MixedContent(900, 4)), Member("three", MixedContent(700, 5))},
      {20000});
  ASSERT_EQ(disks.size(), 1u);
  std::optional<ArchiveDirectory> dir;
  {
    MemoryStream probe(disks[0]);
    dir = ReadArchiveDirectory(probe, 0, std::nullopt);
  }
  ASSERT_EQ(dir->headers.size(), 3u);
  ASSERT_TRUE(dir->prologue.MultiVolume);
  // The third header points its stream back onto the second's.
  const std::size_t third = kPrologueSize + 2 * kFileHeaderSize;
  const std::int32_t data = dir->headers[1].DataPos;
  PutInt32(&disks[0][third + kDataPosOffset], data);
  PutInt32(&disks[0][third + kEndPosOffset], data + dir->headers[2].CompressedSize - 1);
  MemoryStream first(disks[0]);
  ArchiveCheck check = VerifyArchive(first, 0, std::nullopt, DisksOf(disks));
  ASSERT_TRUE(check.fault);
  EXPECT_EQ(check.fault->member, "three");
  EXPECT_EQ(check.fault->reason, "its data overlaps that of two");
}

}  // namespace
}  // namespace brimwell
