// The byte stream the archive reader and writer work on: one open file (a
// disk file of an archive, an extraction target, a self-extracting program).
// The loader uses host files (archive/host_file.h); the archive component
// uses the platform's file service through an adapter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace brimwell {

class ArchiveStream {
 public:
  ArchiveStream() = default;
  ArchiveStream(const ArchiveStream&) = delete;
  ArchiveStream& operator=(const ArchiveStream&) = delete;
  virtual ~ArchiveStream() = default;

  // Reads up to buffer.size() bytes at the current position and returns how
  // many were read; 0 at the end. Throws EBrwlCompress on a read error.
  virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
  // Writes at the current position and returns how many bytes were written;
  // fewer than asked means the medium is full. Throws EBrwlCompress when the
  // stream is not open for writing or on another error.
  virtual std::size_t Write(std::span<const std::uint8_t> data) = 0;
  // Moves to an absolute position (past the end is allowed, as for files).
  virtual void Seek(std::int64_t position) = 0;
  virtual std::int64_t Position() = 0;
  virtual std::int64_t Size() = 0;

  // Reads until `buffer` is full or the end is reached; returns the count.
  std::size_t ReadFully(std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
      std::size_t n = Read(buffer.subspan(done));
      if (n == 0) break;
      done += n;
    }
    return done;
  }
  // Writes all of `data` unless the medium fills up; returns the count.
  std::size_t WriteFully(std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
      std::size_t n = Write(data.subspan(done));
      if (n == 0) break;
      done += n;
    }
    return done;
  }
};

}  // namespace brimwell
