// SHA-256 of a byte stream, for telling whether a file is still the one a
// run wrote (the uninstall record keeps each installed file's digest) and
// for comparing prefix snapshots.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace brimwell {

class Sha256 {
 public:
  Sha256();
  // Adds `size` bytes at `data`.
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything added; the object must not be updated after.
  std::array<std::uint8_t, 32> Finish();
  // Finish() as 64 lower-case hex digits.
  std::string FinishHex();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t total_ = 0;
};

// The hex digest of `bytes`.
std::string Sha256Hex(std::string_view bytes);

}  // namespace brimwell
