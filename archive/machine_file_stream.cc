#include "archive/machine_file_stream.h"

#include "archive/archive_errors.h"

namespace brimwell {
namespace {

[[noreturn]] void Fail(const char* what, File& file, WinError error) {
  throw EBrwlCompress(std::string(what) + " " + file.Path() + ": " + WinErrorText(error));
}

}  // namespace

std::size_t MachineFileStream::Read(std::span<std::uint8_t> buffer) {
  IoResult r = file_->Read(buffer.data(), buffer.size());
  if (!r.ok() && r.bytes == 0) Fail("Read error on", *file_, r.error);
  return r.bytes;
}

std::size_t MachineFileStream::Write(std::span<const std::uint8_t> data) {
  IoResult r = file_->Write(data.data(), data.size());
  if (!r.ok() && r.error != kErrorDiskFull && r.error != kErrorHandleDiskFull) {
    Fail("Write error on", *file_, r.error);
  }
  return r.bytes;
}

void MachineFileStream::Seek(std::int64_t position) {
  WinResult<std::uint64_t> r = file_->Seek(position, SeekOrigin::kBegin);
  if (!r) Fail("Seek error on", *file_, r.error());
}

std::int64_t MachineFileStream::Position() {
  WinResult<std::uint64_t> r = file_->Position();
  if (!r) Fail("Seek error on", *file_, r.error());
  return static_cast<std::int64_t>(*r);
}

std::int64_t MachineFileStream::Size() {
  WinResult<std::uint64_t> r = file_->Size();
  if (!r) Fail("Cannot read the size of", *file_, r.error());
  return static_cast<std::int64_t>(*r);
}

}  // namespace brimwell
