// The archive file format, written down once for the reader and the writer.
//
// An archive is a 5-byte prologue followed by 172-byte file headers and the
// members' zlib streams. A single-file archive interleaves them (header,
// stream, header, stream, ...); a multi-volume archive keeps every header at
// the start of disk file 1 and lets the streams run on over files.2, files.3,
// ... A self-extracting program carries archive images after its own bytes and
// ends with the 56-byte SelfExtractTrailer that locates them. All integers are
// little-endian. doc/archive_format.md describes the layout in prose.
//
// This header and archive_format.cc need only the C++ library: the loader
// program links them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace brimwell {

// ---------------------------------------------------------------- prologue

inline constexpr std::size_t kPrologueFileCountOffset = 0;    // int32
inline constexpr std::size_t kPrologueMultiVolumeOffset = 4;  // uint8: 0 or 1
inline constexpr std::size_t kPrologueSize = 5;
static_assert(kPrologueMultiVolumeOffset + 1 == kPrologueSize);

struct ArchivePrologue {
  std::int32_t FileCount = 0;
  bool MultiVolume = false;
};

using PrologueBytes = std::array<std::uint8_t, kPrologueSize>;
PrologueBytes EncodePrologue(const ArchivePrologue& prologue);
// Any MultiVolume byte other than 0 reads as multi-volume.
ArchivePrologue DecodePrologue(std::span<const std::uint8_t, kPrologueSize> bytes);

// ------------------------------------------------------------- file header

// Short strings: a length byte, then the characters, in a field of fixed size.
inline constexpr std::size_t kMaxFileNameLength = 100;
inline constexpr std::size_t kMaxFileVersionLength = 20;

inline constexpr std::size_t kBatchIndexOffset = 0;            // int32
inline constexpr std::size_t kFileDateOffset = 4;              // IEEE double, local date-time
inline constexpr std::size_t kEndDiskOffset = 12;              // int32, low byte significant
inline constexpr std::size_t kEndPosOffset = 16;               // int32, inclusive
inline constexpr std::size_t kFileNameOffset = 20;             // short string[100]
inline constexpr std::size_t kFileNamePaddingOffset = 121;     // 3 bytes of 0
inline constexpr std::size_t kNextHeaderPosOffset = 124;       // int32
inline constexpr std::size_t kFileSizeOffset = 128;            // int32
inline constexpr std::size_t kDataPosOffset = 132;             // int32
inline constexpr std::size_t kCompressedSizeOffset = 136;      // int32
inline constexpr std::size_t kStartDiskOffset = 140;           // int32, low byte significant
inline constexpr std::size_t kFileIDOffset = 144;              // int32
inline constexpr std::size_t kFileVersionOffset = 148;         // short string[20]
inline constexpr std::size_t kFileVersionPaddingOffset = 169;  // 3 bytes of 0
inline constexpr std::size_t kFileHeaderSize = 172;

static_assert(kFileDateOffset == kBatchIndexOffset + 4);
static_assert(kEndDiskOffset == kFileDateOffset + 8);
static_assert(kEndPosOffset == kEndDiskOffset + 4);
static_assert(kFileNameOffset == kEndPosOffset + 4);
static_assert(kFileNamePaddingOffset == kFileNameOffset + 1 + kMaxFileNameLength);
static_assert(kNextHeaderPosOffset == kFileNamePaddingOffset + 3);
static_assert(kFileSizeOffset == kNextHeaderPosOffset + 4);
static_assert(kDataPosOffset == kFileSizeOffset + 4);
static_assert(kCompressedSizeOffset == kDataPosOffset + 4);
static_assert(kStartDiskOffset == kCompressedSizeOffset + 4);
static_assert(kFileIDOffset == kStartDiskOffset + 4);
static_assert(kFileVersionOffset == kFileIDOffset + 4);
static_assert(kFileVersionPaddingOffset == kFileVersionOffset + 1 + kMaxFileVersionLength);
static_assert(kFileHeaderSize == kFileVersionPaddingOffset + 3);

// The loader keeps only the first 164 bytes of each header: every field up to
// the first 15 characters of FileVersion.
inline constexpr std::size_t kLoaderHeaderSize = 164;
static_assert(kLoaderHeaderSize > kFileVersionOffset && kLoaderHeaderSize < kFileHeaderSize);

// One file header, decoded. Positions count from the start of the archive
// (single-file) or of the disk file they lie in (multi-volume).
struct TFileHeader {
  std::int32_t BatchIndex = 1;
  double FileDate = 0;       // days since 1899-12-30, local time
  std::uint8_t EndDisk = 0;  // 0 in a single-file archive
  std::int32_t EndPos = 0;   // last byte of the stream, inclusive
  std::string FileName;      // at most kMaxFileNameLength characters
  std::int32_t NextHeaderPos = 0;
  std::int32_t FileSize = 0;  // uncompressed
  std::int32_t DataPos = 0;   // first byte of the stream
  std::int32_t CompressedSize = 0;
  std::uint8_t StartDisk = 0;  // 0 in a single-file archive
  std::int32_t FileID = 0;
  std::string FileVersion;  // at most kMaxFileVersionLength characters

  friend bool operator==(const TFileHeader&, const TFileHeader&) = default;
};

using FileHeaderBytes = std::array<std::uint8_t, kFileHeaderSize>;

// Encodes a header; FileName and FileVersion are cut to their field sizes and
// every padding byte is 0.
FileHeaderBytes EncodeFileHeader(const TFileHeader& header);

// Decodes a header from `bytes`, which hold its first bytes.size() bytes and
// must reach at least to the FileVersion length byte (kFileVersionOffset + 1);
// a FileVersion cut by the end of `bytes` is cut there (the loader's 164-byte
// entries). A length byte larger than its field reads as the whole field.
// Returns nullopt when `bytes` is too short.
std::optional<TFileHeader> DecodeFileHeader(std::span<const std::uint8_t> bytes);

// The header's FileName trimmed of blanks and control characters is empty: an
// archive must not hold such a header.
bool IsBlankFileName(std::string_view name);

// Cuts a text to at most `max` bytes (the short-string rule of the format).
std::string CutShortString(std::string_view text, std::size_t max);

// ------------------------------------------------------- identifier table

// Install items are numbered 0..kFileIDTableSize-1; the table maps an item's
// number to the index of the last header that carries it.
inline constexpr int kFileIDTableSize = 2000;

// ------------------------------------------------------------ trailer

// The self-extracting trailer's own names, apart from those of other
// formats' trailers.
namespace self_extract {

inline constexpr std::size_t kTrailerMarkerOffset = 0;  // short string[15]
inline constexpr std::size_t kTrailerSetup1StartOffset = 16;
inline constexpr std::size_t kTrailerSetup1EndOffset = 20;
inline constexpr std::size_t kTrailerFiles1StartOffset = 24;
inline constexpr std::size_t kTrailerFiles1EndOffset = 28;
inline constexpr std::size_t kTrailerReservedOffset = 32;  // 24 bytes of 0
inline constexpr std::size_t kTrailerSize = 56;
inline constexpr std::string_view kSelfExtractMarker = "SELFEXTRACTING";
// The length byte and the marker's characters: what identifies a trailer.
inline constexpr std::size_t kTrailerMarkerCompared = 1 + 14;

static_assert(kSelfExtractMarker.size() == 14);
static_assert(kTrailerSetup1StartOffset == kTrailerMarkerOffset + 1 + 15);
static_assert(kTrailerSetup1EndOffset == kTrailerSetup1StartOffset + 4);
static_assert(kTrailerFiles1StartOffset == kTrailerSetup1EndOffset + 4);
static_assert(kTrailerFiles1EndOffset == kTrailerFiles1StartOffset + 4);
static_assert(kTrailerReservedOffset == kTrailerFiles1EndOffset + 4);
static_assert(kTrailerSize == kTrailerReservedOffset + 24);

}  // namespace self_extract

// The last 56 bytes of a self-extracting program. Ends are inclusive; the
// files.1 fields are 0 when there is no files.1 image.
struct SelfExtractTrailer {
  std::int32_t Setup1Start = 0;
  std::int32_t Setup1End = 0;
  std::int32_t Files1Start = 0;
  std::int32_t Files1End = 0;

  bool HasFiles1() const { return Files1Start != 0 || Files1End != 0; }
  friend bool operator==(const SelfExtractTrailer&, const SelfExtractTrailer&) = default;
};

using TrailerBytes = std::array<std::uint8_t, self_extract::kTrailerSize>;
TrailerBytes EncodeTrailer(const SelfExtractTrailer& trailer);
// nullopt when the bytes do not start with the marker (a plain program).
std::optional<SelfExtractTrailer> DecodeTrailer(std::span<const std::uint8_t, self_extract::kTrailerSize> bytes);

// ------------------------------------------------------------ limits

// Positions and sizes are signed 32-bit: nothing may reach 2 GiB.
inline constexpr std::int64_t kMaxArchiveBytes = INT32_MAX;

// Little-endian helpers shared by the reader and the writer.
std::int32_t GetInt32(const std::uint8_t* p);
void PutInt32(std::uint8_t* p, std::int32_t value);

}  // namespace brimwell
