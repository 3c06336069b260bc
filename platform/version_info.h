// The version-information service: the version resource (VS_VERSIONINFO) of
// executables and libraries, read from PE files (32-bit PE32 and 64-bit PE32+)
// by our own parser, with the semantics of GetFileVersionInfoSize,
// GetFileVersionInfo and VerQueryValue. Any other file, and any PE file whose
// headers or resource tree are malformed, has no version information; reading
// it never fails otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class FileSystem;
class Machine;

// VS_FIXEDFILEINFO, the value of the root block "\".
struct FixedFileInfo {
  std::uint32_t signature = 0;  // kFixedFileInfoSignature
  std::uint32_t struc_version = 0;
  std::uint32_t file_version_ms = 0;
  std::uint32_t file_version_ls = 0;
  std::uint32_t product_version_ms = 0;
  std::uint32_t product_version_ls = 0;
  std::uint32_t file_flags_mask = 0;
  std::uint32_t file_flags = 0;
  std::uint32_t file_os = 0;
  std::uint32_t file_type = 0;
  std::uint32_t file_subtype = 0;
  std::uint32_t file_date_ms = 0;
  std::uint32_t file_date_ls = 0;
};
inline constexpr std::size_t kFixedFileInfoSize = 13 * 4;
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// Reads up to buffer.size() bytes at `position` of a file and returns how many
// were read (fewer at the end, 0 past it or on a read error).
using ReadAtFunction =
    std::function<std::size_t(std::uint64_t position, std::span<std::uint8_t> buffer)>;

// US English, the language Windows falls back on.
inline constexpr std::uint16_t kLangUsEnglish = 0x0409;

// The version resource of a PE image of `file_size` bytes read through
// `read_at`: the bytes of its VS_VERSIONINFO block (as long as the block's
// own length says). nullopt for anything but a well-formed PE file with a
// version resource. Never reads outside the file. A file with the resource
// in several languages is read in the one Windows would load: the
// language-neutral one (0), else `user_language`, else US English, else the
// first.
std::optional<std::vector<std::uint8_t>> ReadPeVersionResource(const ReadAtFunction& read_at,
                                                               std::uint64_t file_size,
                                                               std::uint16_t user_language = kLangUsEnglish);
// The same over an image in memory (tests, fuzzing).
std::optional<std::vector<std::uint8_t>> ReadPeVersionResource(std::span<const std::uint8_t> image,
                                                               std::uint16_t user_language = kLangUsEnglish);

// VerQueryValue: the value of `sub_block` in a version block. Sub-blocks are
// "\"-separated key paths compared without regard to case: "\" is the fixed
// information, "\VarFileInfo\Translation" the language/code-page pairs,
// "\StringFileInfo\040904E4\CompanyName" a string. A text value's bytes are
// its UTF-16LE characters up to (not including) the terminating NUL. nullopt
// when the path does not exist. The span points into `block`.
std::optional<std::span<const std::uint8_t>> VerQueryValue(std::span<const std::uint8_t> block,
                                                           std::string_view sub_block);
// A text value as UTF-8 (the ANSI answer of VerQueryValueA).
std::optional<std::string> VerQueryString(std::span<const std::uint8_t> block,
                                          std::string_view sub_block);
// The fixed information; nullopt when absent, short or without signature.
std::optional<FixedFileInfo> VerQueryFixedFileInfo(std::span<const std::uint8_t> block);

class VersionInfo {
 public:
  VersionInfo() = default;
  VersionInfo(const VersionInfo&) = delete;
  VersionInfo& operator=(const VersionInfo&) = delete;
  virtual ~VersionInfo() = default;

  // GetFileVersionInfoSize: the size of the file's version block; 0 when the
  // file has none, is not a PE file, or cannot be opened or read.
  virtual std::uint32_t GetFileVersionInfoSize(std::string_view path) = 0;
  // GetFileVersionInfo: the version block; nullopt as for a size of 0.
  virtual std::optional<std::vector<std::uint8_t>> GetFileVersionInfo(std::string_view path) = 0;
};

// The implementation over the machine's files (Windows paths). `files` must
// outlive it; `user_language` (asked at every read) gives the user default
// language that picks among a file's languages, US English when empty.
std::unique_ptr<VersionInfo> CreateVersionInfo(FileSystem& files,
                                               std::function<std::uint16_t()> user_language = {});

// The machine's version service, attached to it on first use; it reads in
// the machine's user default language.
VersionInfo& GetVersionInfo(Machine& machine);

}  // namespace brimwell
