#include "framework/picture.h"

#include <iterator>

#include "framework/coding.h"
#include "host/host_env.h"

namespace brimwell {
namespace {

constexpr const char* kBadBitmap = "Bitmap image is not valid";
constexpr const char* kBadJpeg = "JPEG image is not valid";
constexpr const char* kUnknownFormat = "Unknown picture format";

// BITMAPFILEHEADER (14 bytes) then the info header; width and height are
// little-endian at offsets 18 and 22 of the file (BITMAPINFOHEADER) or 18
// and 20 as 16-bit values (the old BITMAPCOREHEADER of size 12).
constexpr std::size_t kBmpFileHeaderSize = 14;

std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

void ReadBitmapSize(const std::vector<std::uint8_t>& d, int& w, int& h) {
  if (d.size() < kBmpFileHeaderSize + 12) throw EInvalidGraphic(kBadBitmap);
  std::uint32_t info_size = DecodeFixed32(&d[14]);
  if (info_size == 12) {
    w = DecodeFixed16(&d[18]);
    h = DecodeFixed16(&d[20]);
  } else if (info_size >= 40 && d.size() >= kBmpFileHeaderSize + 40) {
    w = static_cast<std::int32_t>(DecodeFixed32(&d[18]));
    h = static_cast<std::int32_t>(DecodeFixed32(&d[22]));
    if (h < 0) h = -h;  // top-down bitmap
  } else {
    throw EInvalidGraphic(kBadBitmap);
  }
  if (w <= 0 || h <= 0) throw EInvalidGraphic(kBadBitmap);
}

// Walks the JPEG markers to the first start-of-frame.
void ReadJpegSize(const std::vector<std::uint8_t>& d, int& w, int& h) {
  std::size_t i = 2;
  while (i + 4 <= d.size()) {
    if (d[i] != 0xFF) throw EInvalidGraphic(kBadJpeg);
    std::uint8_t marker = d[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      i += 2;
      continue;
    }
    std::uint16_t len = Be16(&d[i + 2]);
    if (len < 2 || i + 2 + len > d.size()) break;
    bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (len < 7) break;
      h = Be16(&d[i + 5]);
      w = Be16(&d[i + 7]);
      if (w == 0 || h == 0) break;
      return;
    }
    i += 2 + len;
  }
  throw EInvalidGraphic(kBadJpeg);
}

}  // namespace

const ClassInfo& TPicture::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TPicture>("TPicture", nullptr).Build();
  return info;
}

void TPicture::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  int w = 0, h = 0;
  PictureFormat format;
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    ReadBitmapSize(bytes, w, h);
    format = PictureFormat::kBitmap;
  } else if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    ReadJpegSize(bytes, w, h);
    format = PictureFormat::kJpeg;
  } else {
    throw EInvalidGraphic(kUnknownFormat);
  }
  data_ = std::move(bytes);
  format_ = format;
  width_ = w;
  height_ = h;
}

void TPicture::LoadFromFile(const std::string& path) {
  host::Result<std::string> text = host::Env::Default().ReadFile(path);
  if (!text) {
    bool opened = text.error() != std::errc::no_such_file_or_directory &&
                  text.error() != std::errc::permission_denied && text.error() != std::errc::not_a_directory;
    throw EStreamError((opened ? "Cannot read file \"" : "Cannot open file \"") + path + "\"");
  }
  LoadFromBytes(std::vector<std::uint8_t>(text->begin(), text->end()));
}

void TPicture::Clear() {
  data_.clear();
  format_ = PictureFormat::kNone;
  width_ = height_ = 0;
}

void TPicture::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TPicture*>(&source);
  if (other == nullptr) throw EConvertError("Cannot assign a " + source.ClassName() + " to a TPicture");
  format_ = other->format_;
  width_ = other->width_;
  height_ = other->height_;
  data_ = other->data_;
}

std::string TPicture::Extension() const {
  switch (format_) {
    case PictureFormat::kBitmap: return "bmp";
    case PictureFormat::kJpeg: return "jpg";
    case PictureFormat::kNone: break;
  }
  return {};
}

}  // namespace brimwell
