// Little-endian integers in byte buffers: the byte order of every binary
// format this toolkit reads or writes (archives, trailers, PE resources,
// bitmaps, registry DWORDs). Callers check bounds before they decode.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brimwell {

// The unsigned integer of `size` bytes (at most 8) at `p`.
inline std::uint64_t DecodeFixed(const std::uint8_t* p, std::size_t size) {
  std::uint64_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

inline std::uint16_t DecodeFixed16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t DecodeFixed32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t DecodeFixed64(const std::uint8_t* p) { return DecodeFixed(p, 8); }

// Writes the low `size` bytes (at most 8) of `v` at `p`.
inline void EncodeFixed(std::uint8_t* p, std::uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v & 0xFF);
}

inline void EncodeFixed16(std::uint8_t* p, std::uint16_t v) { EncodeFixed(p, v, 2); }
inline void EncodeFixed32(std::uint8_t* p, std::uint32_t v) { EncodeFixed(p, v, 4); }
inline void EncodeFixed64(std::uint8_t* p, std::uint64_t v) { EncodeFixed(p, v, 8); }

// The same over char buffers (std::string, std::string_view data).
inline std::uint64_t DecodeFixed(const char* p, std::size_t size) {
  return DecodeFixed(reinterpret_cast<const std::uint8_t*>(p), size);
}
inline std::uint16_t DecodeFixed16(const char* p) { return DecodeFixed16(reinterpret_cast<const std::uint8_t*>(p)); }
inline std::uint32_t DecodeFixed32(const char* p) { return DecodeFixed32(reinterpret_cast<const std::uint8_t*>(p)); }
inline void EncodeFixed(char* p, std::uint64_t v, std::size_t size) {
  EncodeFixed(reinterpret_cast<std::uint8_t*>(p), v, size);
}

}  // namespace brimwell
