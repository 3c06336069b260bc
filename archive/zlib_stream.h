// RAII wrappers over zlib's deflate and inflate streams (RFC 1950 framing,
// default window), and over libdeflate's whole-buffer compression and
// inflation, which write and read the same zlib streams. This pair of files
// is the only place that includes <zlib.h> or <libdeflate.h>; every zlib
// failure becomes a ZlibError carrying zlib's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_errors.h"

struct z_stream_s;
struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace brimwell {

// A zlib failure: `Code()` is zlib's negative result code (Z_DATA_ERROR, ...).
// It is an archive error like any other; the class name stays EBrwlCompress.
class ZlibError : public EBrwlCompress {
 public:
  ZlibError(int code, std::string message) : EBrwlCompress(std::move(message)), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// zlib's compression levels as the archive uses them.
inline constexpr int kZlibDefaultLevel = -1;
inline constexpr int kZlibBestLevel = 9;

// A zlib (deflate) compression stream. Not copyable.
class Deflater {
 public:
  // Throws ZlibError for a level outside -1..9 or when zlib has no memory.
  explicit Deflater(int level);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Gives the next input. `input` must stay valid until InputLeft() is 0.
  void SetInput(std::span<const std::uint8_t> input);
  std::size_t InputLeft() const;

  // Compresses into `output` and returns the bytes produced. With `finish`,
  // the stream is ended once all input is taken; call again while it returns
  // a full buffer and Finished() is false.
  std::size_t Deflate(std::span<std::uint8_t> output, bool finish);
  bool Finished() const { return finished_; }

  std::uint64_t TotalIn() const;
  std::uint64_t TotalOut() const;

 private:
  std::unique_ptr<z_stream_s> stream_;
  bool finished_ = false;
};

// A zlib (inflate) decompression stream. Not copyable.
class Inflater {
 public:
  Inflater();
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Starts a new stream, keeping the allocated state.
  void Reset();

  // Gives the next input. `input` must stay valid until InputLeft() is 0.
  void SetInput(std::span<const std::uint8_t> input);
  std::size_t InputLeft() const;

  // Inflates into `output` and returns the bytes produced (0 when it needs
  // more input). After the stream's end (its Adler-32 checked) Finished() is
  // true and nothing more is produced. Throws ZlibError for corrupt data.
  std::size_t Inflate(std::span<std::uint8_t> output);
  bool Finished() const { return finished_; }

 private:
  std::unique_ptr<z_stream_s> stream_;
  bool finished_ = false;
};

// Whole-buffer compression into one zlib stream (libdeflate): several times
// faster than the zlib stream above at comparable levels, and on two or more
// threads each with its own object. Not copyable; one object per thread.
class WholeDeflater {
 public:
  // `level` is libdeflate's, 0 (stored blocks) to 12. Throws ZlibError for a
  // level outside that range or when there is no memory.
  explicit WholeDeflater(int level);
  ~WholeDeflater();
  WholeDeflater(const WholeDeflater&) = delete;
  WholeDeflater& operator=(const WholeDeflater&) = delete;

  // Appends the zlib stream of `input` to `output` (which keeps what it
  // held) and returns the stream's length.
  std::size_t Compress(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& output);

 private:
  ::libdeflate_compressor* compressor_;
};

// Whole-buffer inflation of one zlib stream (libdeflate). Not copyable; one
// object per thread.
class WholeInflater {
 public:
  WholeInflater();
  ~WholeInflater();
  WholeInflater(const WholeInflater&) = delete;
  WholeInflater& operator=(const WholeInflater&) = delete;

  // Inflates the zlib stream at the start of `input` into `output`. True when
  // the stream is sound (checksum included) and inflates to exactly
  // output.size() bytes; false for anything else (corrupt, cut, shorter or
  // longer), which a caller tells apart by inflating through Inflater.
  bool InflateExactly(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

 private:
  ::libdeflate_decompressor* decompressor_;
};

// zlib's and libdeflate's version strings, for the benchmarks' reports.
const char* ZlibVersion();
const char* LibdeflateVersion();

}  // namespace brimwell
