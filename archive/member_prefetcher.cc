#include "archive/member_prefetcher.h"

#include <algorithm>
#include <exception>

#include "archive/zlib_stream.h"
#include "framework/sha256.h"

namespace brimwell {

MemberPrefetcher::MemberPrefetcher(std::unique_ptr<ArchiveStream> archive, std::int64_t offset,
                                   std::vector<Member> members, bool digest)
    : archive_(std::move(archive)), offset_(offset), members_(std::move(members)), digest_(digest) {
  worker_ = std::thread([this] { Work(); });
}

MemberPrefetcher::~MemberPrefetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  worker_.join();
}

void MemberPrefetcher::SetAfterInflating(AfterInflating after) {
  auto shared = after ? std::make_shared<const AfterInflating>(std::move(after)) : nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  after_ = std::move(shared);
}

std::size_t MemberPrefetcher::MaxAhead() const {
  // Members written ahead hold a file open each: fewer wait, so that each
  // can carry its file.
  return after_ ? kMaxPayloads : kMaxAhead;
}

bool MemberPrefetcher::HasRoom() const {
  return ready_bytes_ <= kWindowBytes / 2 && ready_.size() <= MaxAhead() / 2;
}

std::span<const std::uint8_t> MemberPrefetcher::ReadWindow::Read(ArchiveStream& archive, std::int64_t pos,
                                                                 std::size_t size) {
  const bool inside = pos >= start_ && static_cast<std::uint64_t>(pos - start_) + size <= filled_;
  if (!inside) {
    // A member larger than the window is read alone.
    bytes_.resize(std::max(size, kSize));
    start_ = pos;
    filled_ = 0;
    archive.Seek(pos);
    filled_ = archive.ReadFully(std::span<std::uint8_t>(bytes_.data(), size > kSize ? size : bytes_.size()));
    if (filled_ < size) return {};
  }
  return std::span<const std::uint8_t>(bytes_).subspan(static_cast<std::size_t>(pos - start_), size);
}

void MemberPrefetcher::Work() {
  WholeInflater inflater;
  ReadWindow window;
  for (;;) {
    std::size_t index;
    Ready r;
    std::shared_ptr<const AfterInflating> after;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // A full window is left until half of it is used again (a first
      // entry is always allowed, so a member larger than the window still
      // comes through).
      if (ready_bytes_ >= kWindowBytes || ready_.size() >= MaxAhead()) {
        worker_waiting_ = true;
        room_.wait(lock, [&] { return stop_ || ready_.empty() || HasRoom(); });
        worker_waiting_ = false;
      }
      if (stop_) return;
      next_ = std::max(next_, wanted_);  // what was left out is not read
      if (next_ >= members_.size()) {
        done_ = true;
        break;
      }
      index = next_++;
      // The extra work is done only while the worker is well ahead: when
      // the extraction catches up, it hands members over as they are and
      // the extraction writes them, so that both threads stay busy.
      if (payloads_ < kMaxPayloads && ready_.size() >= kAheadToWrite) after = after_;
      if (!spare_.empty()) {
        r.bytes = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    const Member& m = members_[index];
    r.index = index;
    if (m.file_size >= 0) {
      try {
        const auto size = static_cast<std::size_t>(m.compressed_size);
        r.bytes.resize(static_cast<std::size_t>(m.file_size));
        const std::span<const std::uint8_t> input = window.Read(*archive_, offset_ + m.data_pos, size);
        r.ok = input.size() == size && inflater.InflateExactly(input, r.bytes);
        if (r.ok && digest_) {
          Sha256 sha;
          sha.Update(r.bytes.data(), r.bytes.size());
          r.digest = sha.FinishHex();
        }
      } catch (const std::exception&) {
        r.ok = false;  // the extraction reads the member itself and reports why
      }
      if (!r.ok) std::vector<std::uint8_t>().swap(r.bytes);
      if (r.ok && after) {
        try {
          r.payload = (*after)(index, r.bytes);
        } catch (const std::exception&) {
          r.payload.reset();  // the extraction does that work itself
        }
      }
    }
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_bytes_ += r.bytes.size();
      if (r.payload) ++payloads_;
      ready_.push_back(std::move(r));
      wake = taker_waiting_;
    }
    if (wake) filled_.notify_one();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  filled_.notify_one();
}

bool MemberPrefetcher::Take(std::size_t index, const Member& member,
                            std::vector<std::uint8_t>& out, std::string* digest,
                            std::unique_ptr<Payload>* payload) {
  if (index >= members_.size() || !(members_[index] == member) || member.file_size < 0) {
    return false;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (index < wanted_) return false;  // asked for already
  wanted_ = index;  // the worker passes over what was left out
  auto drop_before = [&] {
    while (!ready_.empty() && ready_.front().index < index) {
      ready_bytes_ -= ready_.front().bytes.size();
      if (ready_.front().payload) --payloads_;
      ready_.pop_front();
    }
  };
  auto wake_worker = [&] {
    if (worker_waiting_ && HasRoom()) room_.notify_one();
  };
  drop_before();
  // The worker takes up every index from wanted_ on, in order: the entry
  // comes unless the worker has ended.
  auto arrived = [&] { return (!ready_.empty() && ready_.front().index == index) || done_; };
  if (!arrived()) {
    // Whatever it waits for, the worker must go on now.
    if (worker_waiting_) room_.notify_one();
    taker_waiting_ = true;
    filled_.wait(lock, [&] {
      drop_before();
      return arrived();
    });
    taker_waiting_ = false;
  }
  wanted_ = index + 1;
  if (ready_.empty() || ready_.front().index != index) return false;
  Ready r = std::move(ready_.front());
  ready_.pop_front();
  ready_bytes_ -= r.bytes.size();
  if (r.payload) --payloads_;
  if (r.ok && out.capacity() > 0 && spare_.size() < 4) {
    out.clear();
    spare_.push_back(std::move(out));
  }
  wake_worker();
  lock.unlock();
  if (!r.ok) return false;
  out = std::move(r.bytes);
  if (digest != nullptr) *digest = std::move(r.digest);
  if (payload != nullptr) *payload = std::move(r.payload);
  return true;
}

}  // namespace brimwell
