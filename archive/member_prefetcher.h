// Inflates whole members of a single-file archive ahead of an extraction on
// a worker thread, so that inflating the next members overlaps creating and
// writing the current one. The extraction asks for the members in the order
// it was given them and may leave any out; what it does with the bytes
// (events, progress, abort, writing) stays its own, on its own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_stream.h"

namespace brimwell {

class MemberPrefetcher {
 public:
  // Where a member's stream lies and what it inflates to. A member with
  // `file_size` < 0 is not read ahead (the extraction reads it itself).
  struct Member {
    std::int64_t data_pos = 0;
    std::int64_t compressed_size = 0;
    std::int64_t file_size = -1;
    bool operator==(const Member&) const = default;
  };

  // At most this many bytes (inflated) wait ahead of the extraction, and at
  // most kMaxAhead members. A worker that filled the window waits until the
  // extraction has used half of it, so that the two threads hand members
  // over in batches: waking a thread for every member costs more than
  // inflating a small one, and the woken thread tends to take the waker's
  // processor.
  static constexpr std::size_t kWindowBytes = 24u << 20;
  static constexpr std::size_t kMaxAhead = 256;

  // `archive` is a handle of the archive for the worker alone; the archive
  // starts at `offset`. Members are read ahead in the order of `members`,
  // with the SHA-256 digest of each when `digest` is set.
  MemberPrefetcher(std::unique_ptr<ArchiveStream> archive, std::int64_t offset,
                   std::vector<Member> members, bool digest = false);
  // Stops the worker (waiting for the member it is inflating).
  ~MemberPrefetcher();

  // What the worker does with a member's bytes once inflated, on its own
  // thread (writing them into a new file ahead of its naming); what it
  // returns travels with the member to Take. While it is set, at most
  // kMaxPayloads members wait ahead.
  class Payload {
   public:
    virtual ~Payload() = default;
  };
  using AfterInflating =
      std::function<std::unique_ptr<Payload>(std::size_t index, std::span<const std::uint8_t> bytes)>;
  static constexpr std::size_t kMaxPayloads = 64;
  // AfterInflating runs only while at least this many members wait ahead.
  static constexpr std::size_t kAheadToWrite = 8;
  // Applies to the members the worker takes up from now on; nullptr stops
  // it. Called by the extraction.
  void SetAfterInflating(AfterInflating after);
  MemberPrefetcher(const MemberPrefetcher&) = delete;
  MemberPrefetcher& operator=(const MemberPrefetcher&) = delete;

  // The inflated bytes of entry `index` of the members, which must be
  // `member` (as the extraction now sees it); entries before `index` that
  // were not asked for are dropped. False when the entry is not read ahead,
  // was asked for already, differs from `member`, or is not sound: the
  // caller then inflates it itself (and finds the fault exactly). The
  // buffer `out` held before goes back to the worker for a later member.
  // `digest`, when given, receives the bytes' digest in hex (empty unless
  // the prefetcher makes digests).
  // `payload`, when given, receives what AfterInflating made of them.
  bool Take(std::size_t index, const Member& member, std::vector<std::uint8_t>& out,
            std::string* digest = nullptr, std::unique_ptr<Payload>* payload = nullptr);

 private:
  struct Ready {
    std::size_t index = 0;
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::string digest;
    std::unique_ptr<Payload> payload;
  };

  // Reads through a window of the archive: the compressed bytes of small
  // members lie close together, and one read brings many of them instead of
  // a seek and a read each.
  class ReadWindow {
   public:
    static constexpr std::size_t kSize = 256 * 1024;
    // The `size` bytes at `pos` of `archive`, which stay valid until the
    // next call; empty when they cannot all be read.
    std::span<const std::uint8_t> Read(ArchiveStream& archive, std::int64_t pos, std::size_t size);

   private:
    std::vector<std::uint8_t> bytes_;
    std::int64_t start_ = 0;
    std::size_t filled_ = 0;
  };

  void Work();

  std::unique_ptr<ArchiveStream> archive_;
  const std::int64_t offset_;
  const std::vector<Member> members_;
  const bool digest_;
  std::shared_ptr<const AfterInflating> after_;
  std::size_t payloads_ = 0;  // entries of ready_ that carry one
  // Buffers the extraction is done with, for the worker to fill again (a
  // buffer freed on the other thread costs a lock of the allocator).
  std::vector<std::vector<std::uint8_t>> spare_;
  // How many members may wait ahead now (mutex_ held).
  std::size_t MaxAhead() const;
  // The worker's room in the window is at least half of it again.
  bool HasRoom() const;

  std::mutex mutex_;
  std::condition_variable room_;    // the worker waits here for room (or the stop)
  std::condition_variable filled_;  // the extraction waits here for its member
  bool worker_waiting_ = false;
  bool taker_waiting_ = false;
  std::deque<Ready> ready_;     // in index order
  std::size_t ready_bytes_ = 0;  // held in ready_
  std::size_t next_ = 0;         // the next index the worker takes up
  std::size_t wanted_ = 0;       // no index below this will be asked for
  bool stop_ = false;
  bool done_ = false;  // the worker has ended
  std::thread worker_;
};

}  // namespace brimwell
