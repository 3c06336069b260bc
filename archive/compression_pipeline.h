// Compresses the sources of an archive on worker threads, ahead of the one
// thread that appends them to the archive in order and raises the events.
//
// Each worker reads a whole source into memory and compresses it in one call
// into its own buffer; the buffer starts with room for the member's header,
// so that header and stream reach the archive in one write. A source larger
// than the whole-member limit is not compressed here: the appending thread
// streams it through zlib, so memory stays flat for members of any size.
//
// Memory is bounded: a worker starts a member only while the finished
// streams waiting to be appended take less than kPipelineWindowBytes (and
// fewer than kPipelineWindowMembers members are ahead), and each worker holds
// at most one source and one stream of about kWholeMemberLimit bytes. With
// two workers the pipeline holds at most 32 + 8 MB of finished streams plus
// 2 x 2 x 8 MB in work: under 72 MB, whatever the size of the archive or of
// its members.
//
// The output does not depend on the number of workers: each member's stream
// is a function of its bytes and the level alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace brimwell {

class FileSystem;
class WholeDeflater;

inline constexpr std::size_t kWholeMemberLimit = 8u << 20;
inline constexpr std::size_t kPipelineWindowBytes = 32u << 20;
inline constexpr std::size_t kPipelineWindowMembers = 64;

class CompressionPipeline {
 public:
  struct Member {
    enum class Kind {
      kCompressed,  // `bytes` holds header room followed by the zlib stream
      kTooLarge,    // larger than kWholeMemberLimit: to be streamed
      kUnreadable,  // the source cannot be opened or read
      kFailed,      // compression failed (no memory): `error` says why
    };
    Kind kind = Kind::kUnreadable;
    std::vector<std::uint8_t> bytes;
    std::int64_t source_size = 0;  // bytes read from the source
    std::string error;
  };

  // Starts `threads` workers (at least one) over `sources` (paths of the
  // machine's file service, which must outlive the pipeline), compressing at
  // libdeflate `level` with `header_room` bytes left free before each stream.
  CompressionPipeline(FileSystem& files, std::vector<std::string> sources, int level,
                      std::size_t header_room, int threads);
  // Stops the workers (what they hold is dropped) and waits for them.
  ~CompressionPipeline();
  CompressionPipeline(const CompressionPipeline&) = delete;
  CompressionPipeline& operator=(const CompressionPipeline&) = delete;

  // The member for source `index`; members are taken in order, each once.
  // While it waits, `waiting` runs every few milliseconds (to let the
  // message queue run, or to throw when the operation is stopped).
  Member Take(std::size_t index, const std::function<void()>& waiting);

  // One worker per core of the machine.
  static int DefaultThreads();

 private:
  struct Slot {
    bool done = false;
    Member member;
  };

  void Work(int level);
  Member Compress(WholeDeflater& deflater, const std::string& source,
                  std::vector<std::uint8_t>& input);

  FileSystem& files_;
  const std::vector<std::string> sources_;
  const std::size_t header_room_;

  std::mutex mutex_;
  std::condition_variable work_ready_;  // room in the window, or stopping
  std::condition_variable member_done_;
  std::deque<Slot> slots_;          // slots_[k] is member taken_ + k
  std::size_t taken_ = 0;           // members handed to the appending thread
  std::size_t next_ = 0;            // the next member a worker claims
  std::size_t window_bytes_ = 0;    // bytes of finished members not yet taken
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// Sources that a caller adds one at a time, each by a call of its own, in a
// known order (a build adds every file of a product by itself, in the order
// of the component tree): a pipeline compresses them ahead on worker
// threads, and each call takes its member instead of compressing it.
class CompressionLookahead {
 public:
  // As CompressionPipeline; `sources` in the order they will be asked for.
  CompressionLookahead(FileSystem& files, std::vector<std::string> sources, int level,
                       std::size_t header_room, int threads);

  // The member for `source` compressed at `level`, when `source` is among
  // the sources not taken yet (members before it are dropped); nullopt
  // otherwise, and the caller compresses it itself. `waiting` as for
  // CompressionPipeline::Take.
  std::optional<CompressionPipeline::Member> Take(const std::string& source, int level,
                                                   const std::function<void()>& waiting);

 private:
  const int level_;
  std::vector<std::string> sources_;
  std::unordered_map<std::string, std::vector<std::size_t>> positions_;
  CompressionPipeline pipeline_;
  std::size_t next_ = 0;
};

}  // namespace brimwell
