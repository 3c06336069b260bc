#include "loader/setup_archive.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

#include "archive/archive_errors.h"
#include "archive/archive_names.h"
#include "archive/archive_reader.h"
#include "archive/dos_time.h"
#include "archive/host_file.h"
#include "archive/program_content.h"
#include "archive/zlib_stream.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "loader/loader_text.h"

namespace brimwell {
namespace {

constexpr std::size_t kFileCountBytes = 4;
constexpr std::size_t kMultiVolumeFlagBytes = 1;
static_assert(kFileCountBytes + kMultiVolumeFlagBytes == kPrologueSize);

// Disk numbers 0 and 1 both mean the archive's own file.
bool OnFirstDisk(std::uint8_t disk) { return disk <= 1; }

bool HasControlCharacter(std::string_view name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < ' '; });
}

}  // namespace

// Reads the archive's file and turns a read error of the host into the
// loader's message; everything else passes through.
class SetupArchive::ReadStream final : public ArchiveStream {
 public:
  explicit ReadStream(ArchiveStream& inner) : inner_(inner) {}
  std::size_t Read(std::span<std::uint8_t> buffer) override {
    try {
      return inner_.Read(buffer);
    } catch (const EBrwlCompress&) {
      throw Exception(kCouldNotReadDisk);
    }
  }
  std::size_t Write(std::span<const std::uint8_t> data) override { return inner_.Write(data); }
  void Seek(std::int64_t position) override { inner_.Seek(position); }
  std::int64_t Position() override { return inner_.Position(); }
  std::int64_t Size() override { return inner_.Size(); }

 private:
  ArchiveStream& inner_;
};

std::string MemberFileName(std::string_view stored) {
  std::string_view name = FileNamePart(stored);
  if (IsBlankFileName(name) || name == "." || name == ".." || HasControlCharacter(name)) {
    throw Exception(Format(kInvalidMemberName, {stored}));
  }
  return std::string(name);
}

SetupArchive::SetupArchive(ArchiveStream& file, std::int64_t base, std::int64_t end,
                           host::Env& env)
    : file_(std::make_unique<ReadStream>(file)), base_(base), end_(end), env_(env) {}

SetupArchive::~SetupArchive() = default;

void SetupArchive::ReadHeaders() {
  headers_.clear();
  const std::int64_t length = end_ - base_;
  auto read_at = [&](std::int64_t pos, std::span<std::uint8_t> bytes) {
    // Nothing is read outside the image: a short image reads short.
    if (base_ < 0 || pos < 0 || pos + static_cast<std::int64_t>(bytes.size()) > length) return false;
    file_->Seek(base_ + pos);
    return file_->ReadFully(bytes) == bytes.size();
  };

  std::array<std::uint8_t, kFileCountBytes> count_bytes{};
  if (!read_at(kPrologueFileCountOffset, count_bytes)) throw Exception(kCouldNotReadFileCount);
  ArchivePrologue prologue;
  prologue.FileCount = GetInt32(count_bytes.data());
  // Any file's first four bytes read as some count: one that no archive of
  // this size could have says the file is no archive at all, which is worth
  // more to the user than a limit on presetup files.
  const std::int64_t room = (length - static_cast<std::int64_t>(kPrologueSize)) /
                            static_cast<std::int64_t>(kFileHeaderSize);
  if (prologue.FileCount > kMaxSetupMembers && prologue.FileCount > room) {
    throw Exception(kNotAnArchive);
  }
  if (prologue.FileCount > kMaxSetupMembers) throw Exception(kTooManySetupFiles);
  std::array<std::uint8_t, kMultiVolumeFlagBytes> flag{};
  if (!read_at(kPrologueMultiVolumeOffset, flag)) throw Exception(kCouldNotReadMultiVolumeFlag);
  prologue.MultiVolume = flag[0] != 0;  // read for the placement rules only
  if (prologue.FileCount <= 0) throw Exception(kNoFilesInArchive);

  headers_.reserve(kMaxSetupMembers);
  std::int64_t pos = kPrologueSize;
  std::array<std::uint8_t, kLoaderHeaderSize> bytes{};
  for (std::int32_t i = 0; i < prologue.FileCount; ++i) {
    if (!read_at(pos, bytes)) throw Exception(kCannotReadFileHeader);
    TFileHeader header = *DecodeFileHeader(bytes);
    MemberFileName(header.FileName);  // refuses a name that cannot be written
    // The loader reads nothing but the image itself: every stream must lie on
    // it, wholly inside the archive and after its header.
    if (!OnFirstDisk(header.StartDisk) || !OnFirstDisk(header.EndDisk) ||
        !HeaderFitsArchive(header, pos, length, prologue)) {
      throw Exception(Format(kMemberOutsideArchive, {header.FileName}));
    }
    pos = header.NextHeaderPos;
    headers_.push_back(std::move(header));
  }
}

std::int64_t SetupArchive::TotalSize() const {
  std::int64_t total = 0;
  for (const TFileHeader& h : headers_) total += h.FileSize;
  return total;
}

bool SetupArchive::InflateWhole(const TFileHeader& header) {
  if (header.FileSize < 0 || header.CompressedSize < 0 ||
      static_cast<std::uint64_t>(header.FileSize) > kWholeMemberBytes ||
      static_cast<std::uint64_t>(header.CompressedSize) > kWholeMemberBytes) {
    return false;
  }
  whole_in_.resize(static_cast<std::size_t>(header.CompressedSize));
  whole_out_.resize(static_cast<std::size_t>(header.FileSize));
  file_->Seek(base_ + header.DataPos);
  return file_->ReadFully(whole_in_) == whole_in_.size() &&
         whole_inflater_.InflateExactly(whole_in_, whole_out_);
}

std::string SetupArchive::Extract(std::size_t index, const std::string& dir,
                                  const WriteObserver& observer) {
  const TFileHeader& header = headers_.at(index);
  const std::string target = host::JoinPath(dir, MemberFileName(header.FileName));

  // Written beside the target and renamed over it when complete: whatever
  // lies there (a link made by someone else in a shared temporary
  // directory, an earlier version) is replaced, never written through, and
  // stays as it was when the member cannot be written whole.
  host::Result<std::unique_ptr<host::AtomicFile>> created = env_.NewAtomicFile(target);
  if (!created) throw Exception(kCouldNotCreateFile + target);
  host::AtomicFile& out = **created;

  bool is_program = false, first_block = true;
  auto sink = [&](std::span<const std::uint8_t> block) {
    if (first_block) {
      // The first block holds the whole file or kInflateOutputBlock bytes.
      is_program = LooksLikeProgram(block);
      first_block = false;
    }
    std::string_view bytes(reinterpret_cast<const char*>(block.data()), block.size());
    if (out.Append(bytes)) throw Exception(Format(kCouldNotWriteFile, {target}));
    if (observer) observer(block.size());
  };
  auto no_other_disk = [&](int) -> ArchiveStream& {
    throw Exception(Format(kMemberCutShort, {target}));
  };

  MemberInflater::Result result;
  if (InflateWhole(header)) {
    // Handed on in the blocks the stream gives, for the same progress.
    for (std::size_t at = 0; at < whole_out_.size(); at += kInflateOutputBlock) {
      sink(std::span<const std::uint8_t>(whole_out_).subspan(
          at, std::min(kInflateOutputBlock, whole_out_.size() - at)));
    }
    result.bytes_out = header.FileSize;
    result.stream_end = true;
  } else {
    try {
      result = inflater_.Inflate(*file_, header, base_, no_other_disk, sink);
    } catch (const ZlibError&) {
      throw Exception(kInflateFailed);
    }
  }
  if (result.too_long || (result.stream_end && result.bytes_out != header.FileSize)) {
    throw Exception(Format(kSizeMismatch, {target}));
  }
  if (!result.stream_end) throw Exception(Format(kMemberCutShort, {target}));

  // Dates go through the DOS form (even seconds), as the archive component
  // sets them; a failure to set one is not worth stopping the installation.
  const TDateTime date = ToDosResolution(header.FileDate);
  if (IsUsableFileDate(date)) (void)out.SetModificationTime(DateTimeToUnix(date));
  // Without execute bits the extracted engine could not be started.
  if (out.Commit(is_program ? std::optional<unsigned>(0755) : std::nullopt)) {
    throw Exception(kCouldNotCreateFile + target);
  }
  return target;
}

}  // namespace brimwell
