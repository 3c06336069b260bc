// TPicture: an image stored with a project (a Windows bitmap or a JPEG),
// kept as the file's bytes. Only the header is read here, to know the format
// and the size; decoding for display belongs to the user interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/persistent.h"

namespace brimwell {

enum class PictureFormat { kNone, kBitmap, kJpeg };

class TPicture : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  TPicture() = default;

  PictureFormat Format() const { return format_; }
  bool Empty() const { return format_ == PictureFormat::kNone; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::uint8_t>& Data() const { return data_; }

  // Takes an image file's bytes. Throws EInvalidGraphic "Bitmap image is not
  // valid" / "JPEG image is not valid" for a damaged header and
  // "Unknown picture format" for anything else; the picture is unchanged then.
  void LoadFromBytes(std::vector<std::uint8_t> bytes);
  // Reads a host file; throws EStreamError naming the file when it cannot be read.
  void LoadFromFile(const std::string& path);
  void Clear();
  void Assign(const TPersistent& source) override;
  bool operator==(const TPicture& other) const { return data_ == other.data_; }

  // The file extension of the format ("bmp", "jpg"), empty when empty.
  std::string Extension() const;

 private:
  PictureFormat format_ = PictureFormat::kNone;
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> data_;
};

BRIMWELL_EXCEPTION(EInvalidGraphic, Exception);

}  // namespace brimwell
