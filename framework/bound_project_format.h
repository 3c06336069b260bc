// Layout of the trailer that follows a project bound to an engine
// executable (doc/bound_project.md describes the format in prose):
//
//   [executable bytes][project bytes][32-byte trailer]
//
// All integers are little-endian. The magic sits at the very end of the file
// so that a reader finds the trailer by reading the last 32 bytes only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brimwell::bound_trailer {

// Byte count of the project (the bytes just before the trailer).
inline constexpr std::size_t kTrailerProjectLengthOffset = 0;
inline constexpr std::size_t kTrailerProjectLengthSize = 8;
// CRC-32 (framework/crc32.h) of the project bytes.
inline constexpr std::size_t kTrailerProjectCrcOffset = 8;
inline constexpr std::size_t kTrailerProjectCrcSize = 4;
// Version of this layout: kTrailerVersion.
inline constexpr std::size_t kTrailerVersionOffset = 12;
inline constexpr std::size_t kTrailerVersionSize = 4;
// Reserved, written as 0.
inline constexpr std::size_t kTrailerReservedOffset = 16;
inline constexpr std::size_t kTrailerReservedSize = 4;
// CRC-32 of the trailer's bytes 0 to 19 (everything before this field).
inline constexpr std::size_t kTrailerCrcOffset = 20;
inline constexpr std::size_t kTrailerCrcSize = 4;
// kTrailerMagic.
inline constexpr std::size_t kTrailerMagicOffset = 24;
inline constexpr std::size_t kTrailerMagicSize = 8;

inline constexpr std::size_t kTrailerSize = 32;

inline constexpr std::string_view kTrailerMagic = "BRWLPROJ";
inline constexpr std::uint32_t kTrailerVersion = 1;

static_assert(kTrailerProjectCrcOffset == kTrailerProjectLengthOffset + kTrailerProjectLengthSize);
static_assert(kTrailerVersionOffset == kTrailerProjectCrcOffset + kTrailerProjectCrcSize);
static_assert(kTrailerReservedOffset == kTrailerVersionOffset + kTrailerVersionSize);
static_assert(kTrailerCrcOffset == kTrailerReservedOffset + kTrailerReservedSize);
static_assert(kTrailerMagicOffset == kTrailerCrcOffset + kTrailerCrcSize);
static_assert(kTrailerSize == kTrailerMagicOffset + kTrailerMagicSize);
static_assert(kTrailerMagic.size() == kTrailerMagicSize);

}  // namespace brimwell::bound_trailer
