// An ArchiveStream over bytes in memory, with an optional capacity beyond
// which writes fall short (a full medium). For tests and fuzz targets.
#pragma once

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "archive/archive_stream.h"

namespace brimwell {

class MemoryStream final : public ArchiveStream {
 public:
  explicit MemoryStream(std::vector<std::uint8_t> bytes = {},
                        std::size_t capacity = std::numeric_limits<std::size_t>::max())
      : bytes_(std::move(bytes)), capacity_(capacity) {}

  std::size_t Read(std::span<std::uint8_t> buffer) override {
    if (pos_ >= bytes_.size()) return 0;
    std::size_t n = std::min(buffer.size(), bytes_.size() - pos_);
    std::memcpy(buffer.data(), bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  std::size_t Write(std::span<const std::uint8_t> data) override {
    std::size_t n = pos_ >= capacity_ ? 0 : std::min(data.size(), capacity_ - pos_);
    if (pos_ + n > bytes_.size()) bytes_.resize(pos_ + n);
    if (n > 0) std::memcpy(bytes_.data() + pos_, data.data(), n);
    pos_ += n;
    return n;
  }
  void Seek(std::int64_t position) override { pos_ = static_cast<std::size_t>(position); }
  std::int64_t Position() override { return static_cast<std::int64_t>(pos_); }
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t capacity_;
  std::size_t pos_ = 0;
};

}  // namespace brimwell
