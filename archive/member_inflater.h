// Inflates one archive member from its disk file(s), in fixed blocks: input
// is read 64 KB at a time and output handed on 4 KB at a time, so memory use
// does not depend on the member's size. Needs only zlib (the loader links it).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_stream.h"
#include "archive/zlib_stream.h"

namespace brimwell {

// A member whose stream inflates to another size than its FileSize.
inline constexpr char kSizeMismatch[] =
    "The decompressed file's size does not match with the actual size of the file.  The file is "
    "%s";

inline constexpr std::size_t kInflateInputBlock = 64 * 1024;
inline constexpr std::size_t kInflateOutputBlock = 4096;

class MemberInflater {
 public:
  // Gives the stream of disk file `disk` (a later disk of a multi-volume
  // set); the reference must stay valid until the next call or the end of
  // Inflate. Throws when the disk cannot be had.
  using DiskOpener = std::function<ArchiveStream&(int disk)>;
  // Receives each output block in order (at most the output block size).
  // May throw to stop (abort, full disk).
  using BlockSink = std::function<void(std::span<const std::uint8_t> block)>;

  struct Result {
    std::int64_t bytes_out = 0;  // bytes handed to the sink
    bool stream_end = false;     // the zlib stream ended and its checksum matched
    bool too_long = false;       // the stream holds more than FileSize bytes
  };

  // `output_block` is the most that one call of the sink receives (and the
  // output buffer's size).
  explicit MemberInflater(std::size_t output_block = kInflateOutputBlock);

  // Inflates the member described by `header` of an archive placed at
  // `offset`. `first` is the disk file holding the member's first byte (disk
  // StartDisk, 0 and 1 both meaning the first file); later disks come from
  // `open_disk` and are read from position 0. On the last disk nothing past
  // offset + EndPos is read. Never hands more than FileSize bytes to `sink`:
  // a longer stream stops with too_long set. Throws ZlibError for corrupt data.
  Result Inflate(ArchiveStream& first, const TFileHeader& header, std::int64_t offset,
                 const DiskOpener& open_disk, const BlockSink& sink);

 private:
  Inflater inflater_;
  std::vector<std::uint8_t> input_;
  std::vector<std::uint8_t> output_;
};

}  // namespace brimwell
