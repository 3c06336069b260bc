#include "archive/compression_pipeline.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>

#include "archive/zlib_stream.h"
#include "platform/file_system.h"

namespace brimwell {
namespace {

// How often a waiting Take lets its caller run.
constexpr std::chrono::milliseconds kWaitSlice{20};

}  // namespace

CompressionPipeline::CompressionPipeline(FileSystem& files, std::vector<std::string> sources,
                                         int level, std::size_t header_room, int threads)
    : files_(files), sources_(std::move(sources)), header_room_(header_room) {
  const int count =
      std::clamp(threads, 1, static_cast<int>(std::max<std::size_t>(sources_.size(), 1)));
  workers_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) workers_.emplace_back([this, level] { Work(level); });
}

CompressionPipeline::~CompressionPipeline() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : workers_) t.join();
}

int CompressionPipeline::DefaultThreads() {
  // Asked once: the count is read from the system each time, and every
  // extraction of a single member asks.
  static const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return threads;
}

CompressionPipeline::Member CompressionPipeline::Take(std::size_t index,
                                                      const std::function<void()>& waiting) {
  std::unique_lock lock(mutex_);
  if (index != taken_) throw std::logic_error("CompressionPipeline: members are taken in order");
  while (slots_.empty() || !slots_.front().done) {
    if (!member_done_.wait_for(lock, kWaitSlice, [&] {
          return !slots_.empty() && slots_.front().done;
        })) {
      lock.unlock();
      if (waiting) waiting();  // may throw: the destructor then stops the workers
      lock.lock();
    }
  }
  Member member = std::move(slots_.front().member);
  slots_.pop_front();
  ++taken_;
  window_bytes_ -= member.bytes.size();
  lock.unlock();
  work_ready_.notify_all();
  return member;
}

void CompressionPipeline::Work(int level) {
  std::unique_ptr<WholeDeflater> deflater;
  std::string failure;
  try {
    deflater = std::make_unique<WholeDeflater>(level);
  } catch (const std::exception& e) {
    failure = e.what();  // each member then reports it
  }
  std::vector<std::uint8_t> input;
  for (;;) {
    std::size_t index;
    {
      std::unique_lock lock(mutex_);
      work_ready_.wait(lock, [&] {
        return stopping_ || (next_ < sources_.size() && next_ - taken_ < kPipelineWindowMembers &&
                             window_bytes_ < kPipelineWindowBytes);
      });
      if (stopping_) return;
      index = next_++;
      slots_.emplace_back();
    }
    Member member;
    if (deflater) {
      try {
        member = Compress(*deflater, sources_[index], input);
      } catch (const std::exception& e) {  // no memory: the appending thread reports it
        member = Member{};
        member.kind = Member::Kind::kFailed;
        member.error = e.what();
      }
    } else {
      member.kind = Member::Kind::kFailed;
      member.error = failure;
    }
    {
      std::lock_guard lock(mutex_);
      window_bytes_ += member.bytes.size();
      Slot& slot = slots_[index - taken_];
      slot.member = std::move(member);
      slot.done = true;
    }
    member_done_.notify_all();
  }
}

CompressionPipeline::Member CompressionPipeline::Compress(WholeDeflater& deflater,
                                                          const std::string& source,
                                                          std::vector<std::uint8_t>& input) {
  Member member;
  WinResult<std::unique_ptr<File>> file =
      files_.Open(source, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
  if (!file) return member;  // kUnreadable
  WinResult<std::uint64_t> size = (*file)->Size();
  if (!size) return member;
  if (*size > kWholeMemberLimit) {
    member.kind = Member::Kind::kTooLarge;
    return member;
  }
  // One byte more than the size, to see a source that grew since.
  input.resize(static_cast<std::size_t>(*size) + 1);
  std::size_t got = 0;
  for (;;) {
    IoResult r = (*file)->Read(input.data() + got, input.size() - got);
    if (!r.ok() && r.bytes == 0) return member;
    got += r.bytes;
    if (r.bytes == 0) break;
    if (got == input.size()) {
      if (got > kWholeMemberLimit) {
        member.kind = Member::Kind::kTooLarge;
        return member;
      }
      input.resize(std::min(input.size() * 2, kWholeMemberLimit + 1));
    }
  }
  file->reset();
  member.source_size = static_cast<std::int64_t>(got);
  member.bytes.resize(header_room_);
  deflater.Compress(std::span<const std::uint8_t>(input.data(), got), member.bytes);
  member.kind = Member::Kind::kCompressed;
  if (input.capacity() > kWholeMemberLimit / 4) {
    std::vector<std::uint8_t>().swap(input);  // keep no large buffer between members
  }
  return member;
}

CompressionLookahead::CompressionLookahead(FileSystem& files, std::vector<std::string> sources, int level,
                                           std::size_t header_room, int threads)
    : level_(level), sources_(sources), pipeline_(files, std::move(sources), level, header_room, threads) {
  for (std::size_t i = 0; i < sources_.size(); ++i) positions_[sources_[i]].push_back(i);
}

std::optional<CompressionPipeline::Member> CompressionLookahead::Take(const std::string& source, int level,
                                                                      const std::function<void()>& waiting) {
  if (level != level_) return std::nullopt;
  std::size_t wanted = next_;
  if (wanted >= sources_.size() || sources_[wanted] != source) {
    auto found = positions_.find(source);
    if (found == positions_.end()) return std::nullopt;
    auto at = std::lower_bound(found->second.begin(), found->second.end(), next_);
    if (at == found->second.end()) return std::nullopt;
    wanted = *at;
  }
  // Members the caller did not ask for in order are dropped unused.
  for (; next_ < wanted; ++next_) pipeline_.Take(next_, waiting);
  CompressionPipeline::Member member = pipeline_.Take(wanted, waiting);
  ++next_;
  return member;
}

}  // namespace brimwell

