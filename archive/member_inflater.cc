#include "archive/member_inflater.h"

#include <algorithm>

namespace brimwell {

MemberInflater::MemberInflater(std::size_t output_block)
    : input_(kInflateInputBlock), output_(output_block) {}

MemberInflater::Result MemberInflater::Inflate(ArchiveStream& first, const TFileHeader& header,
                                               std::int64_t offset, const DiskOpener& open_disk,
                                               const BlockSink& sink) {
  inflater_.Reset();
  Result result;
  const std::int64_t limit = header.FileSize;
  const int end_disk = header.EndDisk;
  int disk = header.StartDisk;

  ArchiveStream* in = &first;
  in->Seek(offset + header.DataPos);
  std::int64_t read_pos = offset + header.DataPos;  // position of the next byte read
  const std::int64_t last_byte = offset + header.EndPos;

  std::size_t filled = 0;  // bytes waiting in output_
  auto flush = [&](std::size_t n) {
    if (n == 0) return;
    std::size_t room =
        static_cast<std::size_t>(std::min<std::int64_t>(n, limit - result.bytes_out));
    if (room < n) result.too_long = true;
    if (room > 0) sink(std::span<const std::uint8_t>(output_.data(), room));
    result.bytes_out += static_cast<std::int64_t>(room);
  };

  for (;;) {
    if (inflater_.InputLeft() == 0) {
      // On the member's last disk stop after its last byte; earlier disks are
      // read to their end.
      std::size_t want = input_.size();
      if (disk >= end_disk) {
        std::int64_t left = last_byte - read_pos + 1;
        want = left <= 0 ? 0 : static_cast<std::size_t>(std::min<std::int64_t>(left, want));
      }
      std::size_t got = want == 0 ? 0 : in->Read(std::span(input_.data(), want));
      if (got == 0) {
        if (disk < end_disk) {
          // This disk is exhausted: the stream goes on at the start of the next.
          ++disk;
          in = &open_disk(disk);
          in->Seek(0);
          read_pos = 0;
          continue;
        }
        break;  // no more input: the member ends with what was inflated
      }
      read_pos += static_cast<std::int64_t>(got);
      inflater_.SetInput(std::span<const std::uint8_t>(input_.data(), got));
    }
    std::size_t n = inflater_.Inflate(std::span(output_.data() + filled, output_.size() - filled));
    filled += n;
    if (filled == output_.size()) {
      flush(filled);
      filled = 0;
      if (result.too_long) return result;
    }
    if (inflater_.Finished()) break;
  }
  flush(filled);
  result.stream_end = inflater_.Finished();
  return result;
}

}  // namespace brimwell
