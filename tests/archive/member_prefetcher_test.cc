// The read-ahead of whole members: every member comes out as it went in,
// in order, through a window that fills and drains many times over, with
// members left out, asked for twice, not read ahead or damaged.
#include "archive/member_prefetcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "archive/memory_stream.h"
#include "archive/zlib_stream.h"

namespace brimwell {
namespace {

using Member = MemberPrefetcher::Member;

// More members than two windows hold, so the worker waits for room and is
// woken again several times in one pass.
constexpr std::size_t kMembers = MemberPrefetcher::kMaxAhead * 3 + 17;

std::vector<std::uint8_t> Content(std::size_t i) {
  std::vector<std::uint8_t> bytes(1 + i * 37 % 600);
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(i * 31 + k / 3);
  return bytes;
}

// An archive body of kMembers zlib streams one after the other, starting
// `offset` bytes in, and where each lies.
struct Streams {
  std::vector<std::uint8_t> bytes;
  std::vector<Member> members;
};

Streams MakeStreams(std::int64_t offset) {
  Streams s;
  s.bytes.assign(static_cast<std::size_t>(offset), 0xEE);
  WholeDeflater deflater(6);
  for (std::size_t i = 0; i < kMembers; ++i) {
    const std::vector<std::uint8_t> content = Content(i);
    Member m;
    m.data_pos = static_cast<std::int64_t>(s.bytes.size()) - offset;
    m.compressed_size = static_cast<std::int64_t>(deflater.Compress(content, s.bytes));
    m.file_size = static_cast<std::int64_t>(content.size());
    s.members.push_back(m);
  }
  return s;
}

TEST(MemberPrefetcherTest, EveryMemberComesOutInOrderThroughAWindowFilledManyTimes) {
  const Streams s = MakeStreams(11);
  MemberPrefetcher ahead(std::make_unique<MemoryStream>(s.bytes), 11, s.members);
  // Let the worker fill the window before the first member is taken.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < kMembers; ++i) {
    ASSERT_TRUE(ahead.Take(i, s.members[i], out)) << i;
    ASSERT_EQ(out, Content(i)) << i;
  }
  EXPECT_FALSE(ahead.Take(kMembers, Member{}, out));
}

TEST(MemberPrefetcherTest, MembersLeftOutAskedTwiceOrNotAheadFallBackToTheCaller) {
  Streams s = MakeStreams(0);
  // Member 3 is not read ahead; member 7's stream is damaged.
  s.members[3].file_size = -1;
  s.bytes[static_cast<std::size_t>(s.members[7].data_pos) + 2] ^= 0xFF;
  MemberPrefetcher ahead(std::make_unique<MemoryStream>(s.bytes), 0, s.members);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(ahead.Take(0, s.members[0], out));
  EXPECT_FALSE(ahead.Take(3, s.members[3], out));
  ASSERT_TRUE(ahead.Take(4, s.members[4], out));
  EXPECT_EQ(out, Content(4));
  EXPECT_FALSE(ahead.Take(4, s.members[4], out)) << "asked for already";
  EXPECT_FALSE(ahead.Take(2, s.members[2], out)) << "passed already";
  Member other = s.members[5];
  other.file_size += 1;
  EXPECT_FALSE(ahead.Take(5, other, out)) << "not the member read ahead";
  EXPECT_FALSE(ahead.Take(7, s.members[7], out)) << "damaged";
  ASSERT_TRUE(ahead.Take(8, s.members[8], out));
  EXPECT_EQ(out, Content(8));
  // Past a full window of members never asked for, after the worker waited
  // for room.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::size_t far = MemberPrefetcher::kMaxAhead * 2 + 5;
  ASSERT_TRUE(ahead.Take(far, s.members[far], out));
  EXPECT_EQ(out, Content(far));
  for (std::size_t i = far + 1; i < kMembers; i += 3) {
    ASSERT_TRUE(ahead.Take(i, s.members[i], out)) << i;
    ASSERT_EQ(out, Content(i)) << i;
  }
}

// The worker reads the archive through a window of several members:
// streams larger than it, streams across its edge, the last one ending the
// archive, and members taken in another order than stored all come whole.
TEST(MemberPrefetcherTest, StreamsLargerThanTheReadWindowOrAcrossItsEdgeComeWhole) {
  constexpr std::size_t kWindow = 256 * 1024;
  const std::vector<std::size_t> sizes = {100, kWindow + 5000, 70000, kWindow - 3, 120000, 10, 2 * kWindow, 90000};
  std::vector<std::vector<std::uint8_t>> contents;
  std::vector<std::uint8_t> bytes(7, 0xEE);
  std::vector<Member> stored;
  WholeDeflater deflater(6);
  std::uint32_t noise = 12345;
  for (std::size_t size : sizes) {
    std::vector<std::uint8_t> content(size);
    for (auto& b : content) b = static_cast<std::uint8_t>((noise = noise * 1103515245u + 12345u) >> 24);
    Member m;
    m.data_pos = static_cast<std::int64_t>(bytes.size()) - 7;
    m.compressed_size = static_cast<std::int64_t>(deflater.Compress(content, bytes));
    m.file_size = static_cast<std::int64_t>(size);
    stored.push_back(m);
    contents.push_back(std::move(content));
  }
  // Stored order, then backwards.
  std::vector<std::size_t> order(sizes.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  order.insert(order.end(), order.rbegin(), order.rend());
  std::vector<Member> members;
  for (std::size_t i : order) members.push_back(stored[i]);
  MemberPrefetcher ahead(std::make_unique<MemoryStream>(bytes), 7, members);
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k < order.size(); ++k) {
    ASSERT_TRUE(ahead.Take(k, members[k], out)) << k;
    ASSERT_EQ(out, contents[order[k]]) << k;
  }
}

TEST(MemberPrefetcherTest, EndsWhileItsWorkerWaitsForRoom) {
  const Streams s = MakeStreams(0);
  {
    MemberPrefetcher ahead(std::make_unique<MemoryStream>(s.bytes), 0, s.members);
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(ahead.Take(0, s.members[0], out));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }  // must not hang
  {
    MemberPrefetcher ahead(std::make_unique<MemoryStream>(s.bytes), 0, s.members);
  }  // nor when nothing was asked for
}

}  // namespace
}  // namespace brimwell
