#include <algorithm>
#include <array>

#include "archive/archive_names.h"
#include "archive/brwl_compress.h"
#include "archive/brwl_compress_common.h"
#include "archive/compression_pipeline.h"
#include "archive/dos_time.h"
#include "archive/host_file.h"
#include "archive/machine_file_stream.h"
#include "archive/member_inflater.h"
#include "archive/program_content.h"
#include "archive/version_resource.h"
#include "archive/zlib_stream.h"
#include "framework/sha256.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/target_directory.h"

// TBrwlCompress: extracting members, and copying files under the same
// overwrite policy.

namespace brimwell {

using namespace brwl_compress;

std::string TBrwlCompress::WindowsForm(const std::string& path) const {
  // A host directory ("/home/me/out") is read as Z:\..., so that names
  // joined to it with a backslash stay inside it.
  if (path.empty() || path[0] != '/') return path;
  return machine().GetPaths().FullPath(path);
}

std::string TBrwlCompress::TargetPath() {
  // The extraction directory is translated once for all members written to it.
  if (windows_dir_.empty() || windows_dir_for_ != extract_directory_) {
    windows_dir_ = WithBackslash(WindowsForm(extract_directory_));
    windows_dir_for_ = extract_directory_;
  }
  return windows_dir_ + ExtractAs;
}

namespace {

// The directory part of a target path with its trailing separator ("C:\"
// for a file in a drive's root); "" when there is none.
std::string_view DirectoryWithSeparator(std::string_view target) {
  return target.substr(0, target.size() - FileNamePart(target).size());
}

// A member written ahead, on the prefetcher's thread, into a new file
// without a name.
struct WrittenAhead final : MemberPrefetcher::Payload {
  std::unique_ptr<File> file;
};

// What the prefetcher's worker does with each member it inflated: writes it
// into a new file without a name in `dir`, dated as its entry of `dates`
// says, for the extraction to name if it wants the member written.
MemberPrefetcher::AfterInflating WriteAheadInto(std::shared_ptr<TargetDirectory> dir,
                                                std::shared_ptr<const std::vector<TDateTime>> dates) {
  return [dir = std::move(dir), dates = std::move(dates)](
             std::size_t index, std::span<const std::uint8_t> bytes) -> std::unique_ptr<MemberPrefetcher::Payload> {
    const TDateTime date = index < dates->size() ? (*dates)[index] : 0;
    if (!IsUsableFileDate(date)) return nullptr;
    std::unique_ptr<File> file = dir->CreateUnnamed();
    if (!file) return nullptr;
    const IoResult written = file->Write(bytes.data(), bytes.size());
    if (written.bytes != bytes.size() || written.error != kErrorSuccess || !file->SetLastWriteTime(date).ok()) {
      return nullptr;  // the extraction writes it and meets the error itself
    }
    auto ahead = std::make_unique<WrittenAhead>();
    ahead->file = std::move(file);
    return ahead;
  };
}

}  // namespace

bool TBrwlCompress::TargetExists(const std::string& target) {
  if (target_dir_ && DirectoryWithSeparator(target) == target_dir_path_) {
    return target_dir_->FileExists(FileNamePart(target));
  }
  return machine().GetFileSystem().FileExists(target);
}

std::unique_ptr<MachineFileStream> TBrwlCompress::CreateMemberTarget(const std::string& target,
                                                                     NewFile*& pending) {
  try {
    const std::string_view dir = DirectoryWithSeparator(target);
    if (!target_dir_ || dir != target_dir_path_) {
      target_dir_.reset();
      WinResult<std::unique_ptr<TargetDirectory>> opened =
          OpenTargetDirectory(machine().GetFileSystem(), dir);
      if (!opened) return nullptr;
      target_dir_ = std::move(*opened);
      target_dir_path_ = std::string(dir);
      OfferTargetDirectory();
    }
    WinResult<std::unique_ptr<NewFile>> file = target_dir_->CreateReplacement(FileNamePart(target));
    if (!file) return nullptr;
    pending = file->get();
    return std::make_unique<MachineFileStream>(std::move(*file));
  } catch (const EPlatformError&) {
    return nullptr;  // a path the machine cannot map opens nothing
  }
}

std::unique_ptr<NewFile> TBrwlCompress::AdoptMemberTarget(const std::string& target,
                                                          std::unique_ptr<MemberPrefetcher::Payload> ahead) {
  auto* written = dynamic_cast<WrittenAhead*>(ahead.get());
  const std::string_view dir = DirectoryWithSeparator(target);
  // Only into the directory open already: a directory to open (or make) is
  // left to CreateMemberTarget, which knows what to do when it is missing.
  if (written == nullptr || !target_dir_ || dir != target_dir_path_) return nullptr;
  try {
    WinResult<std::unique_ptr<NewFile>> file = target_dir_->Adopt(std::move(written->file), FileNamePart(target));
    return file ? std::move(*file) : nullptr;
  } catch (const EPlatformError&) {
    return nullptr;
  }
}

void TBrwlCompress::CheckTargetName() const {
  const std::string& name = ExtractAs;
  bool unsafe = IsBlankFileName(name) || name == "." || name == ".." ||
                name.find_first_of("\\/:") != std::string::npos;
  if (unsafe) Fail(kUnsafeTargetName, {name, extract_directory_});
}

bool TBrwlCompress::ApplyAnswer(NewerFileAnswer answer, std::string& target) {
  switch (answer) {
    case NewerFileAnswer::kCannotTell:
      Fail(kErrorComparingVersions);
    case NewerFileAnswer::kReplace:
      // The handler may change ExtractDirectory and ExtractAs.
      if (OnReplace) OnReplace(*this, stats_);
      CheckTargetName();
      target = TargetPath();
      return true;
    case NewerFileAnswer::kSame:
    case NewerFileAnswer::kKeep:
      break;
  }
  return false;
}

MemberPrefetcher::Member TBrwlCompress::PrefetchMember(const TFileHeader& h) const {
  MemberPrefetcher::Member m;
  if (multi_volume_ || h.StartDisk > 1 || h.EndDisk > 1 || h.FileSize < 0 ||
      h.CompressedSize < 0 || static_cast<std::uint64_t>(h.FileSize) > kWholeMemberLimit ||
      static_cast<std::uint64_t>(h.CompressedSize) > kWholeMemberLimit) {
    return m;  // file_size -1: not held whole
  }
  m.data_pos = h.DataPos;
  m.compressed_size = h.CompressedSize;
  m.file_size = h.FileSize;
  return m;
}

std::vector<int> TBrwlCompress::HeadersOf(const std::vector<std::string>& lines) const {
  std::vector<int> header_of(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) header_of[i] = names_.Find(lines[i]);
  return header_of;
}

std::unique_ptr<MemberPrefetcher> TBrwlCompress::MakePrefetcher(
    const std::vector<int>& header_of, bool digest, std::shared_ptr<const std::vector<TDateTime>>& dates) {
  const int threads = threads_ > 0 ? threads_ : CompressionPipeline::DefaultThreads();
  if (threads < 2 || header_of.size() < 2 || multi_volume_) return nullptr;
  std::vector<MemberPrefetcher::Member> members(header_of.size());
  auto member_dates = std::make_shared<std::vector<TDateTime>>(header_of.size(), 0);
  bool any = false;
  for (std::size_t i = 0; i < header_of.size(); ++i) {
    const int index = header_of[i];
    if (index < 0) continue;  // the extraction stops there with its error
    members[i] = PrefetchMember(headers_[index].header);
    (*member_dates)[i] = headers_[index].header.FileDate;
    any = any || members[i].file_size >= 0;
  }
  if (!any) return nullptr;
  // The worker reads through a handle of its own.
  std::unique_ptr<ArchiveStream> archive = OpenFile(compressed_file_, false, false);
  if (!archive) return nullptr;  // the extraction finds out and says so
  dates = std::move(member_dates);
  return std::make_unique<MemberPrefetcher>(std::move(archive), offset_, std::move(members), digest);
}

void TBrwlCompress::StartPrefetch(const std::vector<int>& header_of) {
  prefetch_.reset();
  prefetch_ = MakePrefetcher(header_of, false, prefetch_dates_);
  if (!prefetch_) return;
  prefetch_archive_ = compressed_file_;
  prefetch_offset_ = offset_;
  written_ahead_into_ = nullptr;
  OfferTargetDirectory();
}

void TBrwlCompress::OfferTargetDirectory() {
  MemberPrefetcher* ahead = prefetch_ ? prefetch_.get() : ahead_.get();
  if (ahead == nullptr || written_ahead_into_ == target_dir_.get()) return;
  written_ahead_into_ = target_dir_.get();
  const auto& dates = prefetch_ ? prefetch_dates_ : ahead_dates_;
  ahead->SetAfterInflating(target_dir_ ? WriteAheadInto(target_dir_, dates) : nullptr);
}

void TBrwlCompress::ExtractAheadOf(const std::vector<std::string>& lines) {
  ahead_.reset();
  ahead_entries_.clear();
  ahead_next_ = 0;
  if (!keep_open_) return;
  try {
    LoadHeadersIfNeeded();
  } catch (const std::exception&) {
    return;  // each extraction finds out and says so
  }
  // The digests the extractions are asked for are made there too.
  const std::vector<int> header_of = HeadersOf(lines);
  ahead_ = MakePrefetcher(header_of, digest_written_, ahead_dates_);
  if (!ahead_) return;
  for (std::size_t i = 0; i < header_of.size(); ++i) {
    if (header_of[i] >= 0) ahead_entries_[header_of[i]].push_back(i);
  }
  ahead_archive_ = compressed_file_;
  ahead_offset_ = offset_;
  written_ahead_into_ = nullptr;
  OfferTargetDirectory();
}

bool TBrwlCompress::TakeAhead(int header_index, const MemberPrefetcher::Member& member,
                              std::string& digest, std::unique_ptr<MemberPrefetcher::Payload>& payload) {
  if (!ahead_ || ahead_archive_ != compressed_file_ || ahead_offset_ != offset_) return false;
  auto it = ahead_entries_.find(header_index);
  if (it == ahead_entries_.end()) return false;
  // The first entry of this member not passed yet (a member may be listed
  // more than once); the entries before it are dropped.
  auto entry = std::lower_bound(it->second.begin(), it->second.end(), ahead_next_);
  if (entry == it->second.end()) return false;
  ahead_next_ = *entry + 1;
  return ahead_->Take(*entry, member, whole_out_, &digest, &payload);
}

bool TBrwlCompress::TakeWhole(ArchiveStream& archive, const TFileHeader& h, int header_index,
                              std::size_t line_index, Whole& whole) {
  const MemberPrefetcher::Member member = PrefetchMember(h);
  if (member.file_size < 0) return false;
  // A handler may have changed the archive or its offset since the
  // prefetcher started: then its bytes are not this member's.
  const bool ahead =
      (prefetch_ && prefetch_archive_ == compressed_file_ && prefetch_offset_ == offset_ &&
       prefetch_->Take(line_index, member, whole_out_, nullptr, &whole.payload)) ||
      (!prefetch_ && TakeAhead(header_index, member, whole.digest, whole.payload));
  if (!ahead) {
    whole_in_.resize(static_cast<std::size_t>(h.CompressedSize));
    whole_out_.resize(static_cast<std::size_t>(h.FileSize));
    archive.Seek(static_cast<std::int64_t>(offset_) + h.DataPos);
    if (archive.ReadFully(whole_in_) != whole_in_.size()) return false;
    if (!whole_inflater_) whole_inflater_ = std::make_unique<WholeInflater>();
    if (!whole_inflater_->InflateExactly(whole_in_, whole_out_)) return false;
  }
  return true;
}

std::unique_ptr<MachineFileStream> TBrwlCompress::CreateTarget(const std::string& target,
                                                               NewFile*& pending) {
  try {
    WinResult<std::unique_ptr<NewFile>> file = machine().GetFileSystem().CreateReplacement(target);
    if (!file) return nullptr;
    pending = file->get();
    return std::make_unique<MachineFileStream>(std::move(*file));
  } catch (const EPlatformError&) {
    return nullptr;  // a path the machine cannot map opens nothing
  }
}

void TBrwlCompress::CommitTarget(NewFile& pending, const std::string& target,
                                 std::span<const std::uint8_t> head) {
  if (!pending.Commit(LooksLikeProgram(head))) Fail(kCannotCreateTheFile, {target});
}

void TBrwlCompress::SetKeepOpen(bool keep) {
  keep_open_ = keep;
  if (!keep) ReleaseHeld();
}

void TBrwlCompress::ReleaseHeld() {
  ahead_.reset();
  ahead_entries_.clear();
  extract_archive_.reset();
  extract_archive_path_.clear();
  target_dir_.reset();
  target_dir_path_.clear();
  extract_made_dir_.clear();
}

void TBrwlCompress::CheckHeld() {
  FileSystem& fs = machine().GetFileSystem();
  if (extract_archive_ &&
      (multi_volume_ || extract_archive_path_ != compressed_file_ ||
       !IsSameFile(fs, static_cast<MachineFileStream&>(*extract_archive_).file(), compressed_file_))) {
    extract_archive_.reset();
    ahead_.reset();  // read from the archive that was there
  }
  // The directory made last exists while the one held is still there.
  if (target_dir_ && !target_dir_->StillAtPath()) target_dir_.reset();
  if (!target_dir_) extract_made_dir_.clear();
}

void TBrwlCompress::Extract() {
  RunOperation(*this, true, [&] {
    // However the extraction ends, the archive is closed (unless held for
    // the next one) and the list used up; a name meant for a failed member
    // must not rename the next one.
    AtScopeEnd finish([this] {
      prefetch_.reset();  // first: its worker stops before anything else goes
      written_ahead_into_ = nullptr;  // a prefetcher running on is told again
      if (!keep_open_) ReleaseHeld();
      windows_dir_.clear();
      // The buffers of whole members are not kept between extractions.
      std::vector<std::uint8_t>().swap(whole_in_);
      std::vector<std::uint8_t>().swap(whole_out_);
      files_to_process_.Clear();
      ExtractAs.clear();
    });
    abort_ = false;
    state_ = State::kExtracting;
    last_written_.reset();
    LoadHeadersIfNeeded();
    current_disk_ = 0;
    ComputeTotals();
    if (keep_open_) {
      CheckHeld();
    } else {
      ReleaseHeld();
    }
    const std::vector<std::string> lines = files_to_process_.Lines();
    // Each line is looked up once, unless a handler reloads the headers.
    const std::vector<int> header_of = HeadersOf(lines);
    const std::uint64_t generation = names_.Generation();
    StartPrefetch(header_of);
    OfferTargetDirectory();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      ExtractOne(lines[i], names_.Generation() == generation ? header_of[i] : names_.Find(lines[i]), i);
    }
  });
}

void TBrwlCompress::ReportBlocks(std::size_t n) {
  for (std::size_t at = 0; at < n; at += kInflateOutputBlock) {
    if (abort_) throw EbcAborted(Message(kOperationAborted, {}));
    ProcessMessages();
    const auto block = static_cast<std::int64_t>(std::min(kInflateOutputBlock, n - at));
    stats_.BytesDone += block;
    stats_.TotalBytesDone += block;
    stats_.FilePercent = Percent(stats_.BytesDone, stats_.FileSize);
    stats_.TotalPercent = Percent(stats_.TotalBytesDone, stats_.TotalSize);
    if (OnStatus) OnStatus(*this, stats_);
  }
}

void TBrwlCompress::ExtractOne(const std::string& line, int index, std::size_t line_index) {
  FileSystem& fs = machine().GetFileSystem();
  SkipFile = false;
  last_written_.reset();
  if (index < 0) Fail(kMemberNotFound, {line, compressed_file_});
  const TFileHeader h = headers_[index].header;

  FillStats(h);
  if (IsBlankFileName(ExtractAs)) ExtractAs = std::string(FileNamePart(h.FileName));
  if (OnBeforeExtracting) OnBeforeExtracting(*this, stats_);
  ExtractAs = std::string(FileNamePart(ExtractAs));
  CheckTargetName();
  std::string target = TargetPath();

  bool write = true;
  if (TargetExists(target)) {
    write =
        ApplyAnswer(versions().IsFileNewer(h.FileVersion, target, overwrite_, h.FileDate), target);
  }
  if (SkipFile) write = false;
  if (!write) {
    stats_.FileDone = true;
    if (OnStatus) OnStatus(*this, stats_);
    ExtractAs.clear();
    return;
  }

  // A single-file archive stays open from one member to the next; the disk
  // files of a set are opened (and asked for) member by member.
  std::unique_ptr<ArchiveStream> disk_file;
  if (multi_volume_ || !extract_archive_ || extract_archive_path_ != compressed_file_) {
    extract_archive_.reset();
    disk_file = OpenDiskFile(std::max<int>(h.StartDisk, 1), false);
  }
  ArchiveStream& first = disk_file ? *disk_file : *extract_archive_;
  current_disk_ = h.StartDisk;
  std::string dir(DirectoryPart(target));
  if (dir.empty()) throw EInOutError(Message(kUnableToCreateDirectory, {}));
  // The directory of the previous member exists already, unless someone
  // removed it since: then the creation below fails and is tried again.
  if (dir != extract_made_dir_) (void)fs.ForceDirectories(dir);
  // A member held whole: inflated ahead, perhaps written ahead too, or
  // inflated here.
  Whole whole;
  const bool held = TakeWhole(first, h, index, line_index, whole);
  // The member is written beside the target and takes its name only when it
  // is complete: a failure leaves the old target as it was, and a link
  // planted at the name is replaced, never written through. One written
  // ahead is such a file already.
  NewFile* pending = nullptr;
  std::unique_ptr<NewFile> adopted;
  if (whole.payload) adopted = AdoptMemberTarget(target, std::move(whole.payload));
  std::unique_ptr<MachineFileStream> out;
  if (adopted) {
    pending = adopted.get();
  } else {
    out = CreateMemberTarget(target, pending);
    if (!out && dir == extract_made_dir_ && fs.ForceDirectories(dir)) {
      target_dir_.reset();  // made anew: opened anew
      out = CreateMemberTarget(target, pending);
    }
    if (!out) Fail(kCannotCreateTheFile, {target});
  }
  extract_made_dir_ = dir;
  if (!multi_volume_ && disk_file) {
    extract_archive_ = std::move(disk_file);
    extract_archive_path_ = compressed_file_;
  }

  std::unique_ptr<ArchiveStream> later_disk;
  std::optional<Sha256> digest;
  if (digest_written_) digest.emplace();
  const std::string& digest_ahead = whole.digest;  // made with the bytes when inflated ahead
  std::array<std::uint8_t, kProgramMagicBytes> head{};
  std::size_t head_size = 0;
  std::int64_t written = 0;
  // Output goes out 64 KB at a time (few large writes); each 4 KB block of
  // it is the unit of progress and abort.
  auto sink = [&](std::span<const std::uint8_t> chunk) {
    if (head_size < head.size()) {
      std::size_t n = std::min(head.size() - head_size, chunk.size());
      std::copy_n(chunk.begin(), n, head.begin() + static_cast<std::ptrdiff_t>(head_size));
      head_size += n;
    }
    ReportBlocks(chunk.size());
    if (out) WriteOrDiskFull(*out, chunk);
    if (digest && digest_ahead.empty()) digest->Update(chunk.data(), chunk.size());
    written += static_cast<std::int64_t>(chunk.size());
  };
  MemberInflater::Result result;
  if (held) {
    for (std::size_t at = 0; at < whole_out_.size(); at += kCompressBlock) {
      sink(std::span<const std::uint8_t>(whole_out_).subspan(at, std::min(kCompressBlock, whole_out_.size() - at)));
    }
    result.bytes_out = h.FileSize;
    result.stream_end = true;
    result.too_long = false;
  } else {
    // Streamed through zlib: a member too large to hold, one of a disk set,
    // or one that is not sound (whose fault the stream then tells exactly).
    if (!inflater_) inflater_ = std::make_unique<MemberInflater>(kCompressBlock);
    result = inflater_->Inflate(
        first, h, offset_,
        [&](int disk) -> ArchiveStream& {
          current_disk_ = disk;
          later_disk = OpenDiskFile(disk, false);
          return *later_disk;
        },
        sink);
  }
  stats_.FileDone = true;
  if (OnStatus) OnStatus(*this, stats_);
  if (result.too_long || written != h.FileSize) Fail(kSizeMismatch, {h.FileName});
  // One written ahead carries its date already.
  if (!IsUsableFileDate(h.FileDate) || (out && !out->file().SetLastWriteTime(h.FileDate))) {
    Fail(kCannotSetDate);
  }
  CommitTarget(*pending, target, std::span<const std::uint8_t>(head.data(), head_size));
  if (digest) {
    last_written_ = WrittenFile{target, written, h.FileDate,
                                digest_ahead.empty() ? digest->FinishHex() : digest_ahead};
  }
  ExtractAs.clear();
}

// --- CopyFile ---------------------------------------------------------------------------

void TBrwlCompress::CopyFile(const std::string& source, const std::string& dest) {
  FileSystem& fs = machine().GetFileSystem();
  abort_ = false;
  // A skip asked for during an earlier extraction must not silently drop
  // this copy.
  SkipFile = false;
  offset_ = 0;
  extract_directory_ = std::string(DirectoryPart(dest));
  ExtractAs = std::string(FileNamePart(dest));
  // The copy's name must not become the name of the next extracted member,
  // however the copy ends.
  AtScopeEnd clear_name([this] {
    ExtractAs.clear();
    windows_dir_.clear();
  });
  std::string target = dest;
  ReleaseHeld();  // the copy may write where an extraction read or wrote

  stats_ = TlzhFileStats{};
  stats_.FileName = source;
  if (fs.FileExists(dest) &&
      !ApplyAnswer(versions().IsFileNewerByName(source, dest, overwrite_), target)) {
    return;
  }
  if (SkipFile) return;

  std::unique_ptr<ArchiveStream> in = OpenFile(source, false, false);
  if (!in) Fail(kCannotOpenTheFile, {source});
  const std::int64_t size = in->Size();
  stats_.FileSize = size;
  WinResult<TDateTime> date = static_cast<MachineFileStream&>(*in).file().LastWriteTime();
  NewFile* pending = nullptr;
  std::unique_ptr<MachineFileStream> out = CreateTarget(target, pending);
  if (!out) Fail(kCannotCreateTheFile, {target});

  std::array<std::uint8_t, kCopyChunk> chunk{};
  std::array<std::uint8_t, kProgramMagicBytes> head{};
  std::size_t head_size = 0;
  for (;;) {
    if (abort_) return;  // closes both files; stopping a copy is not an error
    std::size_t n = in->ReadFully(chunk);
    if (head_size == 0 && n > 0) {
      head_size = std::min(n, head.size());
      std::copy_n(chunk.begin(), head_size, head.begin());
    }
    WriteOrDiskFull(*out, std::span<const std::uint8_t>(chunk.data(), n));
    stats_.BytesDone += static_cast<std::int64_t>(n);
    stats_.TotalBytesDone += static_cast<std::int64_t>(n);
    stats_.FilePercent = Percent(stats_.BytesDone, size);
    stats_.TotalPercent = Percent(stats_.TotalBytesDone, size);
    if (OnStatus) OnStatus(*this, stats_);
    ProcessMessages();
    if (n < chunk.size()) break;
  }
  if (date) out->file().SetLastWriteTime(*date).IgnoreError();
  stats_.FileDone = true;
  if (OnStatus) OnStatus(*this, stats_);
  CommitTarget(*pending, target, std::span<const std::uint8_t>(head.data(), head_size));
}

}  // namespace brimwell