#include "archive/host_file.h"

#include <cerrno>

#include "archive/archive_errors.h"
#include "archive/dos_time.h"

namespace brimwell {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, std::error_code error) {
  throw EBrwlCompress(std::string(what) + " " + path + ": " + error.message());
}

bool IsFullMedium(std::error_code error) {
  return error == std::errc::no_space_on_device || error == std::errc::file_too_large ||
         error.value() == EDQUOT;
}

}  // namespace

std::unique_ptr<HostFile> HostFile::Open(const std::string& path, Mode mode, host::Env& env) {
  host::OpenMode open_mode = mode == Mode::kRead        ? host::OpenMode::kRead
                             : mode == Mode::kReadWrite ? host::OpenMode::kReadWrite
                             : mode == Mode::kCreate    ? host::OpenMode::kCreate
                                                        : host::OpenMode::kCreateNew;
  host::Result<std::unique_ptr<host::File>> file = env.OpenFile(path, open_mode);
  if (!file) {
    errno = file.error().value();
    return nullptr;
  }
  return std::unique_ptr<HostFile>(new HostFile(std::move(*file), path));
}

HostFile::~HostFile() = default;

std::size_t HostFile::Read(std::span<std::uint8_t> buffer) {
  host::Result<std::size_t> n = file_->Read(buffer);
  if (!n) Fail("Read error on", path_, n.error());
  return *n;
}

std::size_t HostFile::Write(std::span<const std::uint8_t> data) {
  host::Result<std::size_t> n = file_->Write(data);
  if (n) return *n;
  if (IsFullMedium(n.error())) return 0;  // a full medium
  Fail("Write error on", path_, n.error());
}

void HostFile::Seek(std::int64_t position) {
  if (std::error_code e = file_->Seek(position)) Fail("Seek error on", path_, e);
}

std::int64_t HostFile::Position() {
  host::Result<std::int64_t> p = file_->Position();
  if (!p) Fail("Seek error on", path_, p.error());
  return *p;
}

std::int64_t HostFile::Size() {
  host::Result<std::int64_t> size = file_->Size();
  if (!size) Fail("Cannot read the size of", path_, size.error());
  return *size;
}

bool HostFile::SetFileDate(TDateTime date) {
  // Dates come from archive headers: refuse anything outside years 1..9999
  // (and NaN) rather than convert garbage.
  if (!IsUsableFileDate(date)) return false;
  return !file_->SetModificationTime(DateTimeToUnix(date));
}

bool HostFile::MakeExecutable() { return !file_->MakeExecutable(); }

bool MakeHostFileExecutable(const std::string& path, host::Env& env) { return !env.MakeExecutable(path); }

bool HostFileExists(const std::string& path, host::Env& env) { return env.FileExists(path); }

}  // namespace brimwell
