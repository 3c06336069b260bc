#include "archive/zlib_stream.h"

#include <libdeflate.h>
#include <zlib.h>

#include <limits>

namespace brimwell {
namespace {

[[noreturn]] void Fail(int code, const z_stream& s, const char* what) {
  std::string text = std::string("zlib ") + what + " error " + std::to_string(code);
  if (s.msg != nullptr) text += std::string(": ") + s.msg;
  throw ZlibError(code, text);
}

// zlib counts in uInt; our buffers never approach that, but clamp anyway.
uInt Clamp(std::size_t n) {
  return n > std::numeric_limits<uInt>::max() ? std::numeric_limits<uInt>::max()
                                              : static_cast<uInt>(n);
}

}  // namespace

Deflater::Deflater(int level) : stream_(std::make_unique<z_stream>()) {
  int rc = deflateInit(stream_.get(), level);
  if (rc != Z_OK) Fail(rc, *stream_, "deflateInit");
}

Deflater::~Deflater() { deflateEnd(stream_.get()); }

void Deflater::SetInput(std::span<const std::uint8_t> input) {
  stream_->next_in = const_cast<Bytef*>(input.data());  // zlib never writes through next_in
  stream_->avail_in = Clamp(input.size());
}

std::size_t Deflater::InputLeft() const { return stream_->avail_in; }

std::size_t Deflater::Deflate(std::span<std::uint8_t> output, bool finish) {
  if (finished_ || output.empty()) return 0;
  stream_->next_out = output.data();
  stream_->avail_out = Clamp(output.size());
  int rc = deflate(stream_.get(), finish ? Z_FINISH : Z_NO_FLUSH);
  if (rc == Z_STREAM_END) {
    finished_ = true;
  } else if (rc != Z_OK && rc != Z_BUF_ERROR) {  // Z_BUF_ERROR: no progress possible, not fatal
    Fail(rc, *stream_, "deflate");
  }
  return output.size() - stream_->avail_out;
}

std::uint64_t Deflater::TotalIn() const { return stream_->total_in; }
std::uint64_t Deflater::TotalOut() const { return stream_->total_out; }

Inflater::Inflater() : stream_(std::make_unique<z_stream>()) {
  int rc = inflateInit(stream_.get());
  if (rc != Z_OK) Fail(rc, *stream_, "inflateInit");
}

Inflater::~Inflater() { inflateEnd(stream_.get()); }

void Inflater::Reset() {
  int rc = inflateReset(stream_.get());
  if (rc != Z_OK) Fail(rc, *stream_, "inflateReset");
  stream_->avail_in = 0;
  finished_ = false;
}

void Inflater::SetInput(std::span<const std::uint8_t> input) {
  stream_->next_in = const_cast<Bytef*>(input.data());
  stream_->avail_in = Clamp(input.size());
}

std::size_t Inflater::InputLeft() const { return stream_->avail_in; }

std::size_t Inflater::Inflate(std::span<std::uint8_t> output) {
  if (finished_ || output.empty()) return 0;
  stream_->next_out = output.data();
  stream_->avail_out = Clamp(output.size());
  int rc = inflate(stream_.get(), Z_NO_FLUSH);
  switch (rc) {
    case Z_STREAM_END:
      finished_ = true;
      break;
    case Z_OK:
    case Z_BUF_ERROR:  // needs input (or output room): not an error here
      break;
    case Z_NEED_DICT:
      Fail(Z_DATA_ERROR, *stream_, "inflate (preset dictionary)");
    default:
      Fail(rc, *stream_, "inflate");
  }
  return output.size() - stream_->avail_out;
}

WholeDeflater::WholeDeflater(int level) : compressor_(libdeflate_alloc_compressor(level)) {
  if (compressor_ == nullptr) {
    throw ZlibError(Z_STREAM_ERROR, "libdeflate cannot compress at level " + std::to_string(level));
  }
}

WholeDeflater::~WholeDeflater() { libdeflate_free_compressor(compressor_); }

std::size_t WholeDeflater::Compress(std::span<const std::uint8_t> input,
                                    std::vector<std::uint8_t>& output) {
  const std::size_t start = output.size();
  output.resize(start + libdeflate_zlib_compress_bound(compressor_, input.size()));
  std::size_t n = libdeflate_zlib_compress(compressor_, input.data(), input.size(),
                                           output.data() + start, output.size() - start);
  // The bound always fits the stream; 0 would mean libdeflate broke its word.
  if (n == 0) throw ZlibError(Z_BUF_ERROR, "libdeflate compression did not fit its bound");
  output.resize(start + n);
  return n;
}

WholeInflater::WholeInflater() : decompressor_(libdeflate_alloc_decompressor()) {
  if (decompressor_ == nullptr) throw ZlibError(Z_MEM_ERROR, "libdeflate has no memory");
}

WholeInflater::~WholeInflater() { libdeflate_free_decompressor(decompressor_); }

bool WholeInflater::InflateExactly(std::span<const std::uint8_t> input,
                                   std::span<std::uint8_t> output) {
  std::size_t produced = 0;
  libdeflate_result r = libdeflate_zlib_decompress(decompressor_, input.data(), input.size(),
                                                   output.data(), output.size(), &produced);
  return r == LIBDEFLATE_SUCCESS && produced == output.size();
}

const char* ZlibVersion() { return zlibVersion(); }
const char* LibdeflateVersion() { return LIBDEFLATE_VERSION_STRING; }

}  // namespace brimwell
