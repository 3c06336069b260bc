#include "archive/archive_format.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "framework/coding.h"

namespace brimwell {
namespace {

static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559,
              "FileDate is stored as an IEEE 754 double");

double GetDouble(const std::uint8_t* p) { return std::bit_cast<double>(DecodeFixed64(p)); }

void PutDouble(std::uint8_t* p, double v) { EncodeFixed64(p, std::bit_cast<std::uint64_t>(v)); }

// Writes a short string into a field of 1 + max bytes.
void PutShortString(std::uint8_t* p, std::string_view text, std::size_t max) {
  std::size_t n = std::min(text.size(), max);
  p[0] = static_cast<std::uint8_t>(n);
  std::memcpy(p + 1, text.data(), n);
}

// Reads a short string from a field of 1 + max bytes of which only
// `available` (>= 1) are present.
std::string GetShortString(const std::uint8_t* p, std::size_t max, std::size_t available) {
  std::size_t n = std::min<std::size_t>({p[0], max, available - 1});
  return std::string(reinterpret_cast<const char*>(p + 1), n);
}

}  // namespace

std::int32_t GetInt32(const std::uint8_t* p) { return static_cast<std::int32_t>(DecodeFixed32(p)); }
void PutInt32(std::uint8_t* p, std::int32_t value) {
  EncodeFixed32(p, static_cast<std::uint32_t>(value));
}

PrologueBytes EncodePrologue(const ArchivePrologue& prologue) {
  PrologueBytes b{};
  PutInt32(&b[kPrologueFileCountOffset], prologue.FileCount);
  b[kPrologueMultiVolumeOffset] = prologue.MultiVolume ? 1 : 0;
  return b;
}

ArchivePrologue DecodePrologue(std::span<const std::uint8_t, kPrologueSize> bytes) {
  return {GetInt32(&bytes[kPrologueFileCountOffset]), bytes[kPrologueMultiVolumeOffset] != 0};
}

FileHeaderBytes EncodeFileHeader(const TFileHeader& h) {
  FileHeaderBytes b{};
  PutInt32(&b[kBatchIndexOffset], h.BatchIndex);
  PutDouble(&b[kFileDateOffset], h.FileDate);
  b[kEndDiskOffset] = h.EndDisk;
  PutInt32(&b[kEndPosOffset], h.EndPos);
  PutShortString(&b[kFileNameOffset], h.FileName, kMaxFileNameLength);
  PutInt32(&b[kNextHeaderPosOffset], h.NextHeaderPos);
  PutInt32(&b[kFileSizeOffset], h.FileSize);
  PutInt32(&b[kDataPosOffset], h.DataPos);
  PutInt32(&b[kCompressedSizeOffset], h.CompressedSize);
  b[kStartDiskOffset] = h.StartDisk;
  PutInt32(&b[kFileIDOffset], h.FileID);
  PutShortString(&b[kFileVersionOffset], h.FileVersion, kMaxFileVersionLength);
  return b;
}

std::optional<TFileHeader> DecodeFileHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= kFileVersionOffset) return std::nullopt;
  const std::uint8_t* b = bytes.data();
  TFileHeader h;
  h.BatchIndex = GetInt32(b + kBatchIndexOffset);
  h.FileDate = GetDouble(b + kFileDateOffset);
  h.EndDisk = b[kEndDiskOffset];  // the upper three bytes carry nothing
  h.EndPos = GetInt32(b + kEndPosOffset);
  h.FileName = GetShortString(b + kFileNameOffset, kMaxFileNameLength, kMaxFileNameLength + 1);
  h.NextHeaderPos = GetInt32(b + kNextHeaderPosOffset);
  h.FileSize = GetInt32(b + kFileSizeOffset);
  h.DataPos = GetInt32(b + kDataPosOffset);
  h.CompressedSize = GetInt32(b + kCompressedSizeOffset);
  h.StartDisk = b[kStartDiskOffset];
  h.FileID = GetInt32(b + kFileIDOffset);
  std::size_t version_bytes = std::min(bytes.size(), kFileHeaderSize) - kFileVersionOffset;
  h.FileVersion = GetShortString(b + kFileVersionOffset, kMaxFileVersionLength, version_bytes);
  return h;
}

bool IsBlankFileName(std::string_view name) {
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string CutShortString(std::string_view text, std::size_t max) {
  return std::string(text.substr(0, max));
}

TrailerBytes EncodeTrailer(const SelfExtractTrailer& t) {
  TrailerBytes b{};
  PutShortString(&b[self_extract::kTrailerMarkerOffset], self_extract::kSelfExtractMarker, 15);
  PutInt32(&b[self_extract::kTrailerSetup1StartOffset], t.Setup1Start);
  PutInt32(&b[self_extract::kTrailerSetup1EndOffset], t.Setup1End);
  PutInt32(&b[self_extract::kTrailerFiles1StartOffset], t.Files1Start);
  PutInt32(&b[self_extract::kTrailerFiles1EndOffset], t.Files1End);
  return b;
}

std::optional<SelfExtractTrailer> DecodeTrailer(std::span<const std::uint8_t, self_extract::kTrailerSize> b) {
  if (b[self_extract::kTrailerMarkerOffset] != self_extract::kSelfExtractMarker.size() ||
      std::memcmp(&b[self_extract::kTrailerMarkerOffset + 1], self_extract::kSelfExtractMarker.data(),
                  self_extract::kSelfExtractMarker.size()) != 0) {
    return std::nullopt;
  }
  return SelfExtractTrailer{
      GetInt32(&b[self_extract::kTrailerSetup1StartOffset]), GetInt32(&b[self_extract::kTrailerSetup1EndOffset]),
      GetInt32(&b[self_extract::kTrailerFiles1StartOffset]), GetInt32(&b[self_extract::kTrailerFiles1EndOffset])};
}

}  // namespace brimwell
