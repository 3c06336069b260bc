#include "archive/member_prefetcher.h"

#include <algorithm>
#include <exception>

#include "archive/zlib_stream.h"

namespace brimwell {

MemberPrefetcher::MemberPrefetcher(std::unique_ptr<ArchiveStream> archive, std::int64_t offset,
                                   std::vector<Member> members)
    : archive_(std::move(archive)), offset_(offset), members_(std::move(members)) {
  worker_ = std::thread([this] { Work(); });
}

MemberPrefetcher::~MemberPrefetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void MemberPrefetcher::Work() {
  WholeInflater inflater;
  std::vector<std::uint8_t> input;
  for (;;) {
    std::size_t index;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Wait while the window is full (a first entry is always allowed, so a
      // member larger than the window still comes through).
      changed_.wait(lock, [&] {
        return stop_ || (!ready_.empty() ? ready_bytes_ < kWindowBytes && ready_.size() < kMaxAhead
                                         : true);
      });
      if (stop_) return;
      next_ = std::max(next_, wanted_);  // what was left out is not read
      if (next_ >= members_.size()) {
        done_ = true;
        break;
      }
      index = next_++;
    }
    const Member& m = members_[index];
    Ready r;
    r.index = index;
    if (m.file_size >= 0) {
      try {
        input.resize(static_cast<std::size_t>(m.compressed_size));
        r.bytes.resize(static_cast<std::size_t>(m.file_size));
        archive_->Seek(offset_ + m.data_pos);
        r.ok = archive_->ReadFully(input) == input.size() && inflater.InflateExactly(input, r.bytes);
      } catch (const std::exception&) {
        r.ok = false;  // the extraction reads the member itself and reports why
      }
      if (!r.ok) std::vector<std::uint8_t>().swap(r.bytes);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_bytes_ += r.bytes.size();
      ready_.push_back(std::move(r));
    }
    changed_.notify_all();
  }
  changed_.notify_all();
}

bool MemberPrefetcher::Take(std::size_t index, const Member& member,
                            std::vector<std::uint8_t>& out) {
  if (index >= members_.size() || !(members_[index] == member) || member.file_size < 0) {
    return false;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (index < wanted_) return false;  // asked for already
  wanted_ = index;  // the worker passes over what was left out
  auto drop_before = [&] {
    while (!ready_.empty() && ready_.front().index < index) {
      ready_bytes_ -= ready_.front().bytes.size();
      ready_.pop_front();
    }
  };
  drop_before();
  changed_.notify_all();
  // The worker takes up every index from wanted_ on, in order: the entry
  // comes unless the worker has ended.
  changed_.wait(lock, [&] {
    drop_before();
    return (!ready_.empty() && ready_.front().index == index) || done_;
  });
  wanted_ = index + 1;
  if (ready_.empty() || ready_.front().index != index) return false;
  Ready r = std::move(ready_.front());
  ready_.pop_front();
  ready_bytes_ -= r.bytes.size();
  lock.unlock();
  changed_.notify_all();
  if (!r.ok) return false;
  out = std::move(r.bytes);
  return true;
}

}  // namespace brimwell
