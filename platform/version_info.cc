#include "platform/version_info.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "framework/coding.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/text_encoding.h"

namespace brimwell {
namespace {

// --- PE layout ---------------------------------------------------------------

constexpr std::uint64_t kDosLfanewOffset = 0x3C;  // e_lfanew: file offset of "PE\0\0"
constexpr std::size_t kCoffHeaderSize = 20;       // after the 4-byte signature
constexpr std::size_t kCoffSectionCountOffset = 2;
constexpr std::size_t kCoffOptionalSizeOffset = 16;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
// Where NumberOfRvaAndSizes and the data directories lie in each optional header.
constexpr std::size_t kPe32RvaCountOffset = 92;
constexpr std::size_t kPe32DirectoriesOffset = 96;
constexpr std::size_t kPe32PlusRvaCountOffset = 108;
constexpr std::size_t kPe32PlusDirectoriesOffset = 112;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
// The format allows at most 96 sections; anything above is not a real image.
constexpr std::uint32_t kMaxSections = 96;

constexpr std::size_t kResourceDirectorySize = 16;  // header before the entries
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr std::uint32_t kResourceSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kResourceNameBit = 0x80000000u;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVsVersionInfoId = 1;
// A resource directory with more entries than this is treated as corrupt.
constexpr std::uint32_t kMaxResourceEntries = 4096;
// VS_VERSIONINFO's length is a 16-bit field: no block is longer.
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;

std::uint16_t U16(const std::uint8_t* p) { return DecodeFixed16(p); }
std::uint32_t U32(const std::uint8_t* p) { return DecodeFixed32(p); }

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t raw_pointer;
};

// Reads exactly n bytes at pos inside the file, or fails.
class ImageReader {
 public:
  ImageReader(const ReadAtFunction& read_at, std::uint64_t size) : read_at_(read_at), size_(size) {}

  bool Read(std::uint64_t pos, std::span<std::uint8_t> out) const {
    if (pos > size_ || out.size() > size_ - pos) return false;
    return read_at_(pos, out) == out.size();
  }

 private:
  const ReadAtFunction& read_at_;
  std::uint64_t size_;
};

// The file offset of `length` bytes at `rva`, when a section holds them in the file.
std::optional<std::uint64_t> RvaToOffset(const std::vector<Section>& sections, std::uint32_t rva,
                                         std::uint32_t length) {
  for (const Section& s : sections) {
    std::uint64_t start = s.virtual_address;
    std::uint64_t span = std::max(s.virtual_size, s.raw_size);
    if (rva < start || rva >= start + span) continue;
    std::uint64_t delta = rva - start;
    if (delta + length > s.raw_size) return std::nullopt;  // not backed by file bytes
    return static_cast<std::uint64_t>(s.raw_pointer) + delta;
  }
  return std::nullopt;
}

// One entry of a resource directory: its id (or name flag) and target.
struct ResourceEntry {
  std::uint32_t name;
  std::uint32_t target;
};

// The resource tree lies in one range of the file; every offset in it is
// relative to the tree's root and must stay inside that range.
class ResourceTree {
 public:
  ResourceTree(const ImageReader& image, std::uint64_t root, std::uint64_t end)
      : image_(image), root_(root), end_(end) {}

  std::optional<std::vector<ResourceEntry>> Entries(std::uint32_t dir_offset) const {
    std::array<std::uint8_t, kResourceDirectorySize> head{};
    if (!ReadInTree(dir_offset, head)) return std::nullopt;
    std::uint32_t count = static_cast<std::uint32_t>(U16(&head[12])) + U16(&head[14]);
    if (count > kMaxResourceEntries) return std::nullopt;
    std::vector<std::uint8_t> raw(count * kResourceEntrySize);
    if (!ReadInTree(static_cast<std::uint64_t>(dir_offset) + kResourceDirectorySize, raw)) {
      return std::nullopt;
    }
    std::vector<ResourceEntry> entries(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      entries[i] = {U32(&raw[i * kResourceEntrySize]), U32(&raw[i * kResourceEntrySize + 4])};
    }
    return entries;
  }

  bool ReadInTree(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (root_ + offset > end_ || out.size() > end_ - (root_ + offset)) return false;
    return image_.Read(root_ + offset, out);
  }

 private:
  const ImageReader& image_;
  std::uint64_t root_;
  std::uint64_t end_;
};

// Picks the entry with id `id` among the numbered entries, or the first entry
// when `id` is nullopt, preferring `preferred` when present.
std::optional<ResourceEntry> Pick(const std::vector<ResourceEntry>& entries,
                                  std::optional<std::uint32_t> id,
                                  std::optional<std::uint32_t> preferred = std::nullopt) {
  for (const ResourceEntry& e : entries) {
    if ((e.name & kResourceNameBit) != 0) continue;
    if (id && e.name == *id) return e;
    if (!id && preferred && e.name == *preferred) return e;
  }
  if (id || entries.empty()) return std::nullopt;
  return entries.front();
}

// --- VS_VERSIONINFO nodes ------------------------------------------------------

// A node: wLength, wValueLength, wType, a NUL-terminated UTF-16 key, padding
// to 32 bits, the value, padding, then the children up to wLength.
struct Node {
  std::size_t end = 0;  // one past the node's last byte
  std::u16string key;
  std::size_t value_start = 0;
  std::size_t value_size = 0;  // bytes
  bool text = false;
  std::size_t children_start = 0;
};

constexpr std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

std::optional<Node> ParseNode(std::span<const std::uint8_t> block, std::size_t pos,
                              std::size_t limit) {
  constexpr std::size_t kNodeHeader = 6;
  if (pos + kNodeHeader > limit) return std::nullopt;
  std::size_t length = U16(&block[pos]);
  if (length < kNodeHeader) return std::nullopt;
  Node node;
  node.end = std::min(pos + length, limit);
  std::size_t value_length = U16(&block[pos + 2]);
  node.text = U16(&block[pos + 4]) == 1;
  std::size_t p = pos + kNodeHeader;
  for (;;) {
    if (p + 2 > node.end) return std::nullopt;  // key without terminator
    char16_t c = static_cast<char16_t>(U16(&block[p]));
    p += 2;
    if (c == 0) break;
    node.key.push_back(c);
  }
  node.value_start = std::min(Align4(p), node.end);
  // Text lengths count characters, binary lengths bytes.
  std::size_t value_bytes = node.text ? value_length * 2 : value_length;
  node.value_size = std::min(value_bytes, node.end - node.value_start);
  node.children_start = std::min(Align4(node.value_start + node.value_size), node.end);
  return node;
}

bool KeyEquals(const std::u16string& key, std::string_view name) {
  if (key.size() != name.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char16_t a = key[i];
    char16_t b = static_cast<unsigned char>(name[i]);
    if (a >= 'A' && a <= 'Z') a = static_cast<char16_t>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char16_t>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

std::optional<Node> FindChild(std::span<const std::uint8_t> block, const Node& parent,
                              std::string_view name) {
  std::size_t pos = parent.children_start;
  while (pos < parent.end) {
    std::optional<Node> child = ParseNode(block, pos, parent.end);
    if (!child) return std::nullopt;
    if (KeyEquals(child->key, name)) return child;
    std::size_t next = Align4(child->end);
    if (next <= pos) return std::nullopt;
    pos = next;
  }
  return std::nullopt;
}

std::optional<Node> ParseRoot(std::span<const std::uint8_t> block) {
  std::optional<Node> root = ParseNode(block, 0, block.size());
  if (!root || !KeyEquals(root->key, "VS_VERSION_INFO")) return std::nullopt;
  return root;
}

// --- the service -----------------------------------------------------------------

class FileVersionInfo final : public VersionInfo {
 public:
  FileVersionInfo(FileSystem& files, std::function<std::uint16_t()> user_language)
      : files_(files), user_language_(std::move(user_language)) {}

  std::uint32_t GetFileVersionInfoSize(std::string_view path) override {
    std::optional<std::vector<std::uint8_t>> block = GetFileVersionInfo(path);
    return block ? static_cast<std::uint32_t>(block->size()) : 0;
  }

  std::optional<std::vector<std::uint8_t>> GetFileVersionInfo(std::string_view path) override {
    WinResult<std::unique_ptr<File>> opened =
        files_.Open(path, FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting);
    if (!opened) return std::nullopt;
    File& file = **opened;
    WinResult<std::uint64_t> size = file.Size();
    if (!size) return std::nullopt;
    ReadAtFunction read_at = [&file](std::uint64_t pos, std::span<std::uint8_t> out) {
      if (!file.Seek(static_cast<std::int64_t>(pos), SeekOrigin::kBegin)) return std::size_t{0};
      std::size_t done = 0;
      while (done < out.size()) {
        IoResult r = file.Read(out.data() + done, out.size() - done);
        if (r.bytes == 0) break;
        done += r.bytes;
      }
      return done;
    };
    return ReadPeVersionResource(read_at, *size, user_language_ ? user_language_() : kLangUsEnglish);
  }

 private:
  FileSystem& files_;
  std::function<std::uint16_t()> user_language_;
};

// The language entry Windows loads: language-neutral, the user's language,
// US English, else the first. Entries named by string are no languages.
const ResourceEntry* PickLanguage(const std::vector<ResourceEntry>& languages, std::uint16_t user_language) {
  for (std::uint32_t wanted : {std::uint32_t{0}, std::uint32_t{user_language}, std::uint32_t{kLangUsEnglish}}) {
    for (const ResourceEntry& e : languages) {
      if ((e.name & kResourceNameBit) == 0 && e.name == wanted) return &e;
    }
  }
  return languages.empty() ? nullptr : &languages.front();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadPeVersionResource(const ReadAtFunction& read_at,
                                                               std::uint64_t file_size,
                                                               std::uint16_t user_language) {
  ImageReader image(read_at, file_size);

  std::array<std::uint8_t, 64> dos{};
  if (!image.Read(0, dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const std::uint64_t pe = U32(&dos[kDosLfanewOffset]);

  std::array<std::uint8_t, 4 + kCoffHeaderSize> coff{};
  if (!image.Read(pe, coff) || std::memcmp(coff.data(), "PE\0\0", 4) != 0) return std::nullopt;
  const std::uint32_t section_count = U16(&coff[4 + kCoffSectionCountOffset]);
  const std::size_t optional_size = U16(&coff[4 + kCoffOptionalSizeOffset]);
  if (section_count == 0 || section_count > kMaxSections) return std::nullopt;

  std::vector<std::uint8_t> opt(optional_size);
  const std::uint64_t opt_pos = pe + coff.size();
  if (optional_size < 2 || !image.Read(opt_pos, opt)) return std::nullopt;
  std::size_t rva_count_offset = 0, directories_offset = 0;
  switch (U16(opt.data())) {
    case kPe32Magic:
      rva_count_offset = kPe32RvaCountOffset;
      directories_offset = kPe32DirectoriesOffset;
      break;
    case kPe32PlusMagic:
      rva_count_offset = kPe32PlusRvaCountOffset;
      directories_offset = kPe32PlusDirectoriesOffset;
      break;
    default:
      return std::nullopt;
  }
  const std::size_t resource_dir = directories_offset + kResourceDirectoryIndex * 8;
  if (optional_size < resource_dir + 8 || U32(&opt[rva_count_offset]) <= kResourceDirectoryIndex) {
    return std::nullopt;
  }
  const std::uint32_t resource_rva = U32(&opt[resource_dir]);
  if (resource_rva == 0) return std::nullopt;

  std::vector<std::uint8_t> raw_sections(section_count * kSectionHeaderSize);
  if (!image.Read(opt_pos + optional_size, raw_sections)) return std::nullopt;
  std::vector<Section> sections(section_count);
  for (std::uint32_t i = 0; i < section_count; ++i) {
    const std::uint8_t* s = &raw_sections[i * kSectionHeaderSize];
    sections[i] = {U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)};
  }

  // The tree must lie in the file bytes of the section that holds its root.
  std::optional<std::uint64_t> root = RvaToOffset(sections, resource_rva, kResourceDirectorySize);
  if (!root) return std::nullopt;
  std::uint64_t tree_end = 0;
  for (const Section& s : sections) {
    if (resource_rva >= s.virtual_address &&
        resource_rva - s.virtual_address < std::max(s.virtual_size, s.raw_size)) {
      tree_end = std::min<std::uint64_t>(static_cast<std::uint64_t>(s.raw_pointer) + s.raw_size,
                                         file_size);
      break;
    }
  }
  ResourceTree tree(image, *root, tree_end);

  // Type RT_VERSION, then the name (VS_VERSION_INFO = 1 by preference), then
  // the language: two directory levels and a data entry.
  std::optional<std::vector<ResourceEntry>> types = tree.Entries(0);
  if (!types) return std::nullopt;
  std::optional<ResourceEntry> type = Pick(*types, kRtVersion);
  if (!type || (type->target & kResourceSubdirectoryBit) == 0) return std::nullopt;
  std::optional<std::vector<ResourceEntry>> names =
      tree.Entries(type->target & ~kResourceSubdirectoryBit);
  if (!names) return std::nullopt;
  std::optional<ResourceEntry> name = Pick(*names, std::nullopt, kVsVersionInfoId);
  if (!name || (name->target & kResourceSubdirectoryBit) == 0) return std::nullopt;
  std::optional<std::vector<ResourceEntry>> languages =
      tree.Entries(name->target & ~kResourceSubdirectoryBit);
  if (!languages) return std::nullopt;
  const ResourceEntry* picked = PickLanguage(*languages, user_language);
  if (picked == nullptr) return std::nullopt;
  const ResourceEntry& language = *picked;
  if ((language.target & kResourceSubdirectoryBit) != 0) return std::nullopt;

  std::array<std::uint8_t, kResourceDataEntrySize> data_entry{};
  if (!tree.ReadInTree(language.target, data_entry)) return std::nullopt;
  const std::uint32_t data_rva = U32(&data_entry[0]);
  const std::uint32_t data_size = std::min(U32(&data_entry[4]), kMaxVersionBlock);
  if (data_size < 6) return std::nullopt;
  std::optional<std::uint64_t> data = RvaToOffset(sections, data_rva, data_size);
  if (!data) return std::nullopt;
  std::vector<std::uint8_t> block(data_size);
  if (!image.Read(*data, block)) return std::nullopt;

  // The block is as long as its root node says (never longer than the data).
  std::size_t length = U16(block.data());
  if (length > block.size()) return std::nullopt;
  block.resize(length);
  if (!ParseRoot(block)) return std::nullopt;
  return block;
}

std::optional<std::vector<std::uint8_t>> ReadPeVersionResource(std::span<const std::uint8_t> image,
                                                               std::uint16_t user_language) {
  ReadAtFunction read_at = [image](std::uint64_t pos, std::span<std::uint8_t> out) {
    if (pos >= image.size()) return std::size_t{0};
    std::size_t n = std::min<std::size_t>(out.size(), image.size() - pos);
    if (n > 0) std::memcpy(out.data(), image.data() + pos, n);  // an empty span may have no data
    return n;
  };
  return ReadPeVersionResource(read_at, image.size(), user_language);
}

std::optional<std::span<const std::uint8_t>> VerQueryValue(std::span<const std::uint8_t> block,
                                                           std::string_view sub_block) {
  std::optional<Node> node = ParseRoot(block);
  if (!node) return std::nullopt;
  std::size_t start = 0;
  while (start <= sub_block.size()) {
    std::size_t stop = sub_block.find('\\', start);
    if (stop == std::string_view::npos) stop = sub_block.size();
    std::string_view part = sub_block.substr(start, stop - start);
    if (!part.empty()) {
      node = FindChild(block, *node, part);
      if (!node) return std::nullopt;
    }
    start = stop + 1;
  }
  std::span<const std::uint8_t> value = block.subspan(node->value_start, node->value_size);
  if (node->text) {
    // Up to the first NUL character.
    std::size_t chars = value.size() / 2;
    for (std::size_t i = 0; i < chars; ++i) {
      if (U16(&value[i * 2]) == 0) {
        chars = i;
        break;
      }
    }
    value = value.first(chars * 2);
  }
  return value;
}

std::optional<std::string> VerQueryString(std::span<const std::uint8_t> block,
                                          std::string_view sub_block) {
  std::optional<std::span<const std::uint8_t>> value = VerQueryValue(block, sub_block);
  if (!value) return std::nullopt;
  return Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(value->data()),
                                        value->size() & ~std::size_t{1}));
}

std::optional<FixedFileInfo> VerQueryFixedFileInfo(std::span<const std::uint8_t> block) {
  std::optional<std::span<const std::uint8_t>> value = VerQueryValue(block, "\\");
  if (!value || value->size() < kFixedFileInfoSize) return std::nullopt;
  const std::uint8_t* p = value->data();
  FixedFileInfo f;
  std::uint32_t* fields[] = {&f.signature,       &f.struc_version,      &f.file_version_ms,
                             &f.file_version_ls, &f.product_version_ms, &f.product_version_ls,
                             &f.file_flags_mask, &f.file_flags,         &f.file_os,
                             &f.file_type,       &f.file_subtype,       &f.file_date_ms,
                             &f.file_date_ls};
  static_assert(std::size(fields) * 4 == kFixedFileInfoSize);
  for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = U32(p + i * 4);
  if (f.signature != kFixedFileInfoSignature) return std::nullopt;
  return f;
}

std::unique_ptr<VersionInfo> CreateVersionInfo(FileSystem& files, std::function<std::uint16_t()> user_language) {
  return std::make_unique<FileVersionInfo>(files, std::move(user_language));
}

VersionInfo& GetVersionInfo(Machine& machine) {
  if (VersionInfo* found = machine.Find<VersionInfo>()) return *found;
  machine.Attach<VersionInfo>(
      CreateVersionInfo(machine.GetFileSystem(), [&machine] { return machine.GetUserDefaultLangId(); }));
  return *machine.Find<VersionInfo>();
}

}  // namespace brimwell
