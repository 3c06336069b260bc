#include "platform/shell_link_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "framework/format.h"
#include "framework/text_case.h"
#include "platform/shell_link_format.h"
#include "platform/text_encoding.h"

namespace brimwell {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks a byte without a character.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// UTF-8 text to Windows-1252 bytes; characters the code page lacks become "?".
std::string ToAnsi(std::string_view text) {
  const std::string units = Utf8ToUtf16Le(text);
  std::string out;
  out.reserve(units.size() / 2);
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    const std::uint16_t u = static_cast<std::uint16_t>(static_cast<unsigned char>(units[i]) |
                                                       static_cast<unsigned char>(units[i + 1]) << 8);
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out += static_cast<char>(u);
      continue;
    }
    const auto* hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), u);
    out += (u != 0 && hit != std::end(kCp1252High)) ? static_cast<char>(0x80 + (hit - kCp1252High)) : '?';
  }
  return out;
}

// Windows-1252 bytes to UTF-8.
std::string FromAnsi(std::string_view bytes) {
  std::string units;
  units.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    std::uint16_t u = b;
    if (b >= 0x80 && b < 0xA0) u = kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : 0xFFFD;
    units += static_cast<char>(u & 0xFF);
    units += static_cast<char>(u >> 8);
  }
  return Utf16LeToUtf8(units).value_or(std::string());
}

void Put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Append16(std::string& out, std::uint16_t v) {
  out.append(2, '\0');
  Put16(out, out.size() - 2, v);
}
void Append32(std::string& out, std::uint32_t v) {
  out.append(4, '\0');
  Put32(out, out.size() - 4, v);
}

// A StringData entry: the count of UTF-16 units, then the units.
void AppendStringData(std::string& out, std::string_view text) {
  const std::string units = Utf8ToUtf16Le(text);
  Append16(out, static_cast<std::uint16_t>(std::min<std::size_t>(units.size() / 2, 0xFFFF)));
  out.append(units, 0, std::min<std::size_t>(units.size(), 2 * 0xFFFF));
}

bool IsFullLocalPath(std::string_view path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}

std::string LinkInfoFor(const ShellLinkData& link) {
  // Volume ID: header and an empty label (or the volume's label).
  std::string volume(kVolumeIdHeaderSize, '\0');
  volume += ToAnsi(link.volume_label);
  volume += '\0';
  Put32(volume, kVolumeIdSizeOffset, static_cast<std::uint32_t>(volume.size()));
  Put32(volume, kVolumeIdDriveTypeOffset, link.drive_type);
  Put32(volume, kVolumeIdSerialOffset, link.drive_serial);
  Put32(volume, kVolumeIdLabelOffsetOffset, static_cast<std::uint32_t>(kVolumeIdHeaderSize));

  const std::string ansi_path = ToAnsi(link.local_base_path) + '\0';
  const std::string suffix = ToAnsi(link.common_path_suffix) + '\0';
  const std::string unicode_path = Utf8ToUtf16Le(link.local_base_path) + std::string(2, '\0');
  const std::string unicode_suffix = Utf8ToUtf16Le(link.common_path_suffix) + std::string(2, '\0');

  const std::size_t volume_at = kLinkInfoHeaderSizeUnicode;
  const std::size_t path_at = volume_at + volume.size();
  const std::size_t suffix_at = path_at + ansi_path.size();
  // The Unicode strings start on an even offset.
  const std::size_t unicode_path_at = (suffix_at + suffix.size() + 1) & ~std::size_t{1};
  const std::size_t unicode_suffix_at = unicode_path_at + unicode_path.size();
  const std::size_t size = unicode_suffix_at + unicode_suffix.size();

  std::string info(kLinkInfoHeaderSizeUnicode, '\0');
  Put32(info, kLinkInfoSizeOffset, static_cast<std::uint32_t>(size));
  Put32(info, kLinkInfoHeaderSizeOffset, static_cast<std::uint32_t>(kLinkInfoHeaderSizeUnicode));
  Put32(info, kLinkInfoFlagsOffset, kLinkInfoVolumeIdAndLocalBasePath);
  Put32(info, kLinkInfoVolumeIdOffset, static_cast<std::uint32_t>(volume_at));
  Put32(info, kLinkInfoLocalBasePathOffset, static_cast<std::uint32_t>(path_at));
  Put32(info, kLinkInfoNetworkLinkOffset, 0);
  Put32(info, kLinkInfoCommonPathSuffixOffset, static_cast<std::uint32_t>(suffix_at));
  Put32(info, kLinkInfoLocalBasePathUnicodeOffset, static_cast<std::uint32_t>(unicode_path_at));
  Put32(info, kLinkInfoCommonPathSuffixUnicodeOffset, static_cast<std::uint32_t>(unicode_suffix_at));
  info += volume;
  info += ansi_path;
  info += suffix;
  info.resize(unicode_path_at, '\0');
  info += unicode_path;
  info += unicode_suffix;
  return info;
}

// Bounds-checked reading of the link's bytes. Every failure names the
// offset, so a damaged file can be looked at.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  [[noreturn]] void Fail(std::size_t at, std::string_view what) const {
    throw EShellLinkFormat(Format("Not a valid shell link: %s at offset %d",
                                  {std::string(what), static_cast<std::int64_t>(at)}));
  }
  void Need(std::size_t at, std::size_t count, std::string_view what) const {
    if (at > bytes_.size() || count > bytes_.size() - at) Fail(at, std::string(what) + " runs past the end");
  }
  std::uint16_t U16(std::size_t at, std::string_view what) const {
    Need(at, 2, what);
    return static_cast<std::uint16_t>(Byte(at) | Byte(at + 1) << 8);
  }
  std::uint32_t U32(std::size_t at, std::string_view what) const {
    Need(at, 4, what);
    return static_cast<std::uint32_t>(Byte(at)) | static_cast<std::uint32_t>(Byte(at + 1)) << 8 |
           static_cast<std::uint32_t>(Byte(at + 2)) << 16 | static_cast<std::uint32_t>(Byte(at + 3)) << 24;
  }
  // A NUL-terminated ANSI string starting at `at` and ending before `end`.
  std::string AnsiZ(std::size_t at, std::size_t end, std::string_view what) const {
    if (at >= end || end > bytes_.size()) Fail(at, std::string(what) + " lies outside its structure");
    const void* nul = std::memchr(bytes_.data() + at, '\0', end - at);
    if (nul == nullptr) Fail(at, std::string(what) + " has no terminating NUL");
    return FromAnsi(bytes_.substr(at, static_cast<const char*>(nul) - (bytes_.data() + at)));
  }
  // A NUL-terminated UTF-16LE string starting at `at` and ending before `end`.
  std::string UnicodeZ(std::size_t at, std::size_t end, std::string_view what) const {
    if (at >= end || end > bytes_.size()) Fail(at, std::string(what) + " lies outside its structure");
    for (std::size_t i = at; i + 1 < end; i += 2) {
      if (bytes_[i] == '\0' && bytes_[i + 1] == '\0') {
        return Utf16LeToUtf8(bytes_.substr(at, i - at)).value_or(std::string());
      }
    }
    Fail(at, std::string(what) + " has no terminating NUL");
  }
  std::string_view Slice(std::size_t at, std::size_t count, std::string_view what) const {
    Need(at, count, what);
    return bytes_.substr(at, count);
  }
  std::size_t size() const { return bytes_.size(); }

 private:
  unsigned Byte(std::size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
  std::string_view bytes_;
};

void ReadLinkInfo(const Reader& r, std::size_t start, ShellLinkData& link) {
  const std::uint32_t size = r.U32(start + kLinkInfoSizeOffset, "LinkInfoSize");
  const std::uint32_t header = r.U32(start + kLinkInfoHeaderSizeOffset, "LinkInfoHeaderSize");
  if (header != kLinkInfoHeaderSizeAnsi && header < kLinkInfoHeaderSizeUnicode) {
    r.Fail(start + kLinkInfoHeaderSizeOffset, "LinkInfoHeaderSize is neither 0x1C nor at least 0x24");
  }
  if (size < header) r.Fail(start, "LinkInfoSize is smaller than its header");
  r.Need(start, size, "LinkInfo");
  const std::size_t end = start + size;
  const std::uint32_t flags = r.U32(start + kLinkInfoFlagsOffset, "LinkInfoFlags");
  auto offset = [&](std::size_t field, std::string_view what) -> std::size_t {
    const std::uint32_t value = r.U32(start + field, what);
    if (value < header || value >= size) r.Fail(start + field, std::string(what) + " points outside the LinkInfo");
    return start + value;
  };

  if (flags & kLinkInfoVolumeIdAndLocalBasePath) {
    const std::size_t volume = offset(kLinkInfoVolumeIdOffset, "VolumeIDOffset");
    const std::uint32_t volume_size = r.U32(volume + kVolumeIdSizeOffset, "VolumeIDSize");
    if (volume_size <= kVolumeIdHeaderSize || volume_size > end - volume) {
      r.Fail(volume, "VolumeIDSize does not fit the LinkInfo");
    }
    link.drive_type = r.U32(volume + kVolumeIdDriveTypeOffset, "DriveType");
    link.drive_serial = r.U32(volume + kVolumeIdSerialOffset, "DriveSerialNumber");
    const std::uint32_t label = r.U32(volume + kVolumeIdLabelOffsetOffset, "VolumeLabelOffset");
    if (label == 0x14) {
      const std::uint32_t unicode_label = r.U32(volume + kVolumeIdHeaderSize, "VolumeLabelOffsetUnicode");
      if (unicode_label >= volume_size) r.Fail(volume, "VolumeLabelOffsetUnicode points outside the VolumeID");
      link.volume_label = r.UnicodeZ(volume + unicode_label, volume + volume_size, "VolumeLabel");
    } else {
      if (label >= volume_size) r.Fail(volume, "VolumeLabelOffset points outside the VolumeID");
      link.volume_label = r.AnsiZ(volume + label, volume + volume_size, "VolumeLabel");
    }
    if (header >= kLinkInfoHeaderSizeUnicode && r.U32(start + kLinkInfoLocalBasePathUnicodeOffset, "") != 0) {
      link.local_base_path = r.UnicodeZ(offset(kLinkInfoLocalBasePathUnicodeOffset, "LocalBasePathOffsetUnicode"),
                                        end, "LocalBasePathUnicode");
    } else {
      link.local_base_path = r.AnsiZ(offset(kLinkInfoLocalBasePathOffset, "LocalBasePathOffset"), end,
                                     "LocalBasePath");
    }
  }
  if (flags & kLinkInfoCommonNetworkRelativeLink) {
    const std::size_t net = offset(kLinkInfoNetworkLinkOffset, "CommonNetworkRelativeLinkOffset");
    const std::uint32_t net_size = r.U32(net + kNetworkLinkSizeOffset, "CommonNetworkRelativeLinkSize");
    if (net_size < kNetworkLinkMinimumSize || net_size > end - net) {
      r.Fail(net, "CommonNetworkRelativeLinkSize does not fit the LinkInfo");
    }
    const std::uint32_t name = r.U32(net + kNetworkLinkNetNameOffset, "NetNameOffset");
    if (name >= net_size) r.Fail(net, "NetNameOffset points outside its structure");
    link.network_name = r.AnsiZ(net + name, net + net_size, "NetName");
  }
  if (header >= kLinkInfoHeaderSizeUnicode && r.U32(start + kLinkInfoCommonPathSuffixUnicodeOffset, "") != 0) {
    link.common_path_suffix = r.UnicodeZ(
        offset(kLinkInfoCommonPathSuffixUnicodeOffset, "CommonPathSuffixOffsetUnicode"), end, "CommonPathSuffix");
  } else if (r.U32(start + kLinkInfoCommonPathSuffixOffset, "") != 0) {
    link.common_path_suffix =
        r.AnsiZ(offset(kLinkInfoCommonPathSuffixOffset, "CommonPathSuffixOffset"), end, "CommonPathSuffix");
  }
}

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t begin = 0;
  while (begin <= path.size()) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    if (end > begin) parts.emplace_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

}  // namespace

std::string ShellLinkData::Target() const {
  if (!local_base_path.empty()) {
    if (common_path_suffix.empty()) return local_base_path;
    return local_base_path.ends_with('\\') ? local_base_path + common_path_suffix
                                           : local_base_path + "\\" + common_path_suffix;
  }
  if (!network_name.empty()) {
    return common_path_suffix.empty() ? network_name : network_name + "\\" + common_path_suffix;
  }
  return relative_path.value_or(std::string());
}

std::string EncodeShellLink(const ShellLinkData& link) {
  const bool has_info = IsFullLocalPath(link.local_base_path);
  auto present = [](const std::optional<std::string>& s) { return s.has_value() && !s->empty(); };
  std::uint32_t flags = kLinkIsUnicode;
  if (has_info) flags |= kLinkHasLinkInfo;
  if (present(link.name)) flags |= kLinkHasName;
  if (present(link.relative_path)) flags |= kLinkHasRelativePath;
  if (present(link.working_directory)) flags |= kLinkHasWorkingDir;
  if (present(link.arguments)) flags |= kLinkHasArguments;
  if (present(link.icon_location)) flags |= kLinkHasIconLocation;

  std::string out(kLinkHeaderSize, '\0');
  Put32(out, kLinkHeaderSizeOffset, static_cast<std::uint32_t>(kLinkHeaderSize));
  std::memcpy(out.data() + kLinkClsidOffset, kShellLinkClsid.data(), kShellLinkClsid.size());
  Put32(out, kLinkFlagsOffset, flags);
  Put32(out, kLinkFileAttributesOffset, link.file_attributes);
  Put32(out, kLinkFileSizeOffset, link.file_size);
  Put32(out, kLinkIconIndexOffset, static_cast<std::uint32_t>(link.icon_index));
  Put32(out, kLinkShowCommandOffset, link.show_command);
  Put16(out, kLinkHotKeyOffset, link.hot_key);

  if (has_info) out += LinkInfoFor(link);
  // String data in its fixed order.
  for (const auto* s : {&link.name, &link.relative_path, &link.working_directory, &link.arguments,
                        &link.icon_location}) {
    if (present(*s)) AppendStringData(out, **s);
  }
  Append32(out, 0);  // terminal block
  return out;
}

ShellLinkData DecodeShellLink(std::string_view bytes) {
  Reader r(bytes);
  if (bytes.size() > kLinkMaxFileSize) r.Fail(0, "the file is larger than any link");
  if (r.U32(kLinkHeaderSizeOffset, "HeaderSize") != kLinkHeaderSize) r.Fail(0, "HeaderSize is not 0x4C");
  r.Need(0, kLinkHeaderSize, "ShellLinkHeader");
  if (std::memcmp(bytes.data() + kLinkClsidOffset, kShellLinkClsid.data(), kShellLinkClsid.size()) != 0) {
    r.Fail(kLinkClsidOffset, "LinkCLSID is not the shell link class");
  }
  ShellLinkData link;
  link.link_flags = r.U32(kLinkFlagsOffset, "LinkFlags");
  link.file_attributes = r.U32(kLinkFileAttributesOffset, "FileAttributes");
  link.file_size = r.U32(kLinkFileSizeOffset, "FileSize");
  link.icon_index = static_cast<std::int32_t>(r.U32(kLinkIconIndexOffset, "IconIndex"));
  link.show_command = r.U32(kLinkShowCommandOffset, "ShowCommand");
  link.hot_key = r.U16(kLinkHotKeyOffset, "HotKey");
  std::size_t at = kLinkHeaderSize;

  if (link.link_flags & kLinkHasTargetIdList) {
    link.has_target_id_list = true;
    const std::uint16_t list_size = r.U16(at, "IDListSize");
    at += 2;
    r.Need(at, list_size, "LinkTargetIDList");
    // The items must chain exactly to a terminal 0 inside the list.
    const std::size_t list_end = at + list_size;
    std::size_t item = at;
    for (;;) {
      if (item + 2 > list_end) r.Fail(item, "the IDList has no terminal item");
      const std::uint16_t item_size = r.U16(item, "ItemIDSize");
      if (item_size == 0) break;
      if (item_size < 2 || item_size > list_end - item) r.Fail(item, "an ItemID runs past its IDList");
      item += item_size;
    }
    at = list_end;
  }
  if (link.link_flags & kLinkHasLinkInfo) {
    ReadLinkInfo(r, at, link);
    at += r.U32(at, "LinkInfoSize");
  }
  const bool unicode = (link.link_flags & kLinkIsUnicode) != 0;
  const std::pair<std::uint32_t, std::optional<std::string>*> strings[] = {
      {kLinkHasName, &link.name},
      {kLinkHasRelativePath, &link.relative_path},
      {kLinkHasWorkingDir, &link.working_directory},
      {kLinkHasArguments, &link.arguments},
      {kLinkHasIconLocation, &link.icon_location}};
  for (const auto& [flag, target] : strings) {
    if (!(link.link_flags & flag)) continue;
    const std::size_t count = r.U16(at, "CountCharacters");
    const std::size_t length = unicode ? 2 * count : count;
    const std::string_view text = r.Slice(at + 2, length, "StringData");
    *target = unicode ? Utf16LeToUtf8(text).value_or(std::string()) : FromAnsi(text);
    at += 2 + length;
  }
  // Extra data: blocks until one smaller than 4 bytes. A file may end
  // without the terminal block; links written by old shells do.
  while (at < bytes.size()) {
    const std::uint32_t block = r.U32(at, "ExtraData BlockSize");
    if (block < kExtraDataTerminalSize) break;
    r.Need(at, block, "ExtraData block");
    at += block;
  }
  return link;
}

std::optional<std::string> RelativeLinkPath(std::string_view from_dir, std::string_view target) {
  const std::vector<std::string> from = SplitComponents(from_dir);
  const std::vector<std::string> to = SplitComponents(target);
  if (from.empty() || to.empty() || !SameText(from[0], to[0]) || !from[0].ends_with(':')) return std::nullopt;
  std::size_t common = 0;
  while (common < from.size() && common + 1 < to.size() && SameText(from[common], to[common])) ++common;
  std::string out = common == from.size() ? "." : "";
  for (std::size_t i = common; i < from.size(); ++i) out += out.empty() ? ".." : "\\..";
  for (std::size_t i = common; i < to.size(); ++i) out += "\\" + to[i];
  return out;
}

std::string HotKeyText(std::uint16_t hot_key) {
  if (hot_key == 0) return "";
  const auto key = static_cast<std::uint8_t>(hot_key & 0xFF);
  const auto mods = static_cast<std::uint8_t>(hot_key >> 8);
  std::string out;
  if (mods & kHotKeyControl) out += "Ctrl+";
  if (mods & kHotKeyAlt) out += "Alt+";
  if (mods & kHotKeyShift) out += "Shift+";
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    out += static_cast<char>(key);
  } else if (key >= 0x70 && key <= 0x87) {
    out += "F" + std::to_string(key - 0x6F);
  } else {
    out += Format("0x%.2x", {static_cast<std::int64_t>(key)});
  }
  return out;
}

}  // namespace brimwell
