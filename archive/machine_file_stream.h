// An ArchiveStream over a file of the machine's file service (a Windows
// path), so the archive reader and writer work on what the engine sees.
#pragma once

#include <memory>

#include "archive/archive_stream.h"
#include "platform/file_system.h"

namespace brimwell {

class MachineFileStream final : public ArchiveStream {
 public:
  explicit MachineFileStream(std::unique_ptr<File> file) : file_(std::move(file)) {}

  // Read and seek faults throw EBrwlCompress naming the file and the system's
  // reason; a short write returns fewer bytes (a full disk).
  std::size_t Read(std::span<std::uint8_t> buffer) override;
  std::size_t Write(std::span<const std::uint8_t> data) override;
  void Seek(std::int64_t position) override;
  std::int64_t Position() override;
  std::int64_t Size() override;

  File& file() { return *file_; }

 private:
  std::unique_ptr<File> file_;
};

}  // namespace brimwell
