// The shell link (.LNK) file format, written down once for the writer and
// the reader. doc/shell_link_format.md describes it in prose.
//
// A link file is a 76-byte header, then the optional parts its LinkFlags
// announce, in this order: an item-ID list of the target (size-prefixed),
// the link info (where the target lives: the volume and the local base
// path), the string data (name, relative path, working directory,
// arguments, icon location; each a 16-bit character count followed by the
// characters, UTF-16LE when IsUnicode is set) and extra-data blocks ended by
// a block of size less than 4. All integers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brimwell {

// ------------------------------------------------------------------ header

inline constexpr std::size_t kLinkHeaderSizeOffset = 0;       // uint32, always 0x4C
inline constexpr std::size_t kLinkClsidOffset = 4;            // 16 bytes
inline constexpr std::size_t kLinkFlagsOffset = 20;           // uint32
inline constexpr std::size_t kLinkFileAttributesOffset = 24;  // uint32
inline constexpr std::size_t kLinkCreationTimeOffset = 28;    // FILETIME (UTC)
inline constexpr std::size_t kLinkAccessTimeOffset = 36;      // FILETIME
inline constexpr std::size_t kLinkWriteTimeOffset = 44;       // FILETIME
inline constexpr std::size_t kLinkFileSizeOffset = 52;        // uint32
inline constexpr std::size_t kLinkIconIndexOffset = 56;       // int32
inline constexpr std::size_t kLinkShowCommandOffset = 60;     // uint32
inline constexpr std::size_t kLinkHotKeyOffset = 64;          // uint16: low byte key, high byte modifiers
inline constexpr std::size_t kLinkReservedOffset = 66;        // 2 + 4 + 4 bytes of 0
inline constexpr std::size_t kLinkHeaderSize = 76;

static_assert(kLinkClsidOffset == kLinkHeaderSizeOffset + 4);
static_assert(kLinkFlagsOffset == kLinkClsidOffset + 16);
static_assert(kLinkFileAttributesOffset == kLinkFlagsOffset + 4);
static_assert(kLinkCreationTimeOffset == kLinkFileAttributesOffset + 4);
static_assert(kLinkAccessTimeOffset == kLinkCreationTimeOffset + 8);
static_assert(kLinkWriteTimeOffset == kLinkAccessTimeOffset + 8);
static_assert(kLinkFileSizeOffset == kLinkWriteTimeOffset + 8);
static_assert(kLinkIconIndexOffset == kLinkFileSizeOffset + 4);
static_assert(kLinkShowCommandOffset == kLinkIconIndexOffset + 4);
static_assert(kLinkHotKeyOffset == kLinkShowCommandOffset + 4);
static_assert(kLinkReservedOffset == kLinkHotKeyOffset + 2);
static_assert(kLinkHeaderSize == kLinkReservedOffset + 2 + 4 + 4);
static_assert(kLinkHeaderSize == 0x4C);

// The shell link class {00021401-0000-0000-C000-000000000046} as stored.
inline constexpr std::array<std::uint8_t, 16> kShellLinkClsid = {
    0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// LinkFlags bits.
inline constexpr std::uint32_t kLinkHasTargetIdList = 0x00000001;
inline constexpr std::uint32_t kLinkHasLinkInfo = 0x00000002;
inline constexpr std::uint32_t kLinkHasName = 0x00000004;
inline constexpr std::uint32_t kLinkHasRelativePath = 0x00000008;
inline constexpr std::uint32_t kLinkHasWorkingDir = 0x00000010;
inline constexpr std::uint32_t kLinkHasArguments = 0x00000020;
inline constexpr std::uint32_t kLinkHasIconLocation = 0x00000040;
inline constexpr std::uint32_t kLinkIsUnicode = 0x00000080;

// ShowCommand values.
inline constexpr std::uint32_t kShowNormal = 1;

// HotKey high byte.
inline constexpr std::uint8_t kHotKeyShift = 0x01;
inline constexpr std::uint8_t kHotKeyControl = 0x02;
inline constexpr std::uint8_t kHotKeyAlt = 0x04;

// --------------------------------------------------------------- link info

// LinkInfo header fields, relative to the start of the link info.
inline constexpr std::size_t kLinkInfoSizeOffset = 0;                    // uint32, whole link info
inline constexpr std::size_t kLinkInfoHeaderSizeOffset = 4;              // uint32
inline constexpr std::size_t kLinkInfoFlagsOffset = 8;                   // uint32
inline constexpr std::size_t kLinkInfoVolumeIdOffset = 12;               // uint32
inline constexpr std::size_t kLinkInfoLocalBasePathOffset = 16;          // uint32
inline constexpr std::size_t kLinkInfoNetworkLinkOffset = 20;            // uint32
inline constexpr std::size_t kLinkInfoCommonPathSuffixOffset = 24;       // uint32
inline constexpr std::size_t kLinkInfoHeaderSizeAnsi = 28;               // no Unicode offsets
inline constexpr std::size_t kLinkInfoLocalBasePathUnicodeOffset = 28;   // uint32, when header >= 36
inline constexpr std::size_t kLinkInfoCommonPathSuffixUnicodeOffset = 32;
inline constexpr std::size_t kLinkInfoHeaderSizeUnicode = 36;
static_assert(kLinkInfoHeaderSizeAnsi == 0x1C && kLinkInfoHeaderSizeUnicode == 0x24);

// LinkInfoFlags bits.
inline constexpr std::uint32_t kLinkInfoVolumeIdAndLocalBasePath = 0x1;
inline constexpr std::uint32_t kLinkInfoCommonNetworkRelativeLink = 0x2;

// VolumeID fields, relative to the start of the volume ID.
inline constexpr std::size_t kVolumeIdSizeOffset = 0;          // uint32, > 0x10
inline constexpr std::size_t kVolumeIdDriveTypeOffset = 4;     // uint32, DRIVE_* value
inline constexpr std::size_t kVolumeIdSerialOffset = 8;        // uint32
inline constexpr std::size_t kVolumeIdLabelOffsetOffset = 12;  // uint32; 0x14 means a Unicode offset follows
inline constexpr std::size_t kVolumeIdHeaderSize = 16;

// CommonNetworkRelativeLink fields, relative to its start.
inline constexpr std::size_t kNetworkLinkSizeOffset = 0;     // uint32, >= 0x14
inline constexpr std::size_t kNetworkLinkNetNameOffset = 8;  // uint32
inline constexpr std::size_t kNetworkLinkMinimumSize = 0x14;

// Extra-data blocks: a uint32 size (the block's own size included), then a
// uint32 signature. A size below 4 ends the list.
inline constexpr std::size_t kExtraDataTerminalSize = 4;

// Windows paths of a link are at most MAX_PATH characters with the
// terminating NUL; arguments at most INFOTIPSIZE.
inline constexpr std::size_t kLinkMaxPath = 260;
inline constexpr std::size_t kLinkMaxArguments = 1024;
// The reader refuses files larger than this: no real link comes close.
inline constexpr std::size_t kLinkMaxFileSize = 1 << 20;

}  // namespace brimwell
