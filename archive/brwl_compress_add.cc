#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "archive/archive_names.h"
#include "archive/brwl_compress.h"
#include "archive/brwl_compress_common.h"
#include "archive/compression_pipeline.h"
#include "archive/dos_time.h"
#include "archive/machine_file_stream.h"
#include "archive/version_resource.h"
#include "archive/zlib_stream.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"

// TBrwlCompress: adding files to an archive.
//
// Workers compress whole sources in memory ahead of this thread (see
// compression_pipeline.h); this thread raises each member's events, appends
// header and stream in one write, and streams through zlib only the sources
// too large to hold in memory. Progress is reported per 64 KB of compressed
// output either way, so the events do not depend on the number of workers.

namespace brimwell {

using namespace brwl_compress;

namespace {

// libdeflate's level for each setting. For colMax it is 7: on the mixed
// payload of bench/archive_bench (which prints levels 7, 8 and 9 beside
// zlib's 9) it is several times faster than 8 and 9 and its output is still
// smaller than zlib's level 9. The others keep zlib's meaning.
int LibdeflateLevel(TCompressionLevel level) {
  switch (level) {
    case colNone:
      return 0;
    case colFastest:
      return 1;
    case colDefault:
      return 6;
    case colMax:
      return 7;
  }
  return 7;
}

// The second byte of a member's zlib header as zlib writes it at each
// setting (78 01, 78 01, 78 9C, 78 DA). libdeflate marks its levels its own
// way; the bits only describe the level, and every one of these pairs
// passes the header check (0x78xx is a multiple of 31).
std::uint8_t ZlibFlagByte(TCompressionLevel level) {
  switch (level) {
    case colNone:
    case colFastest:
      return 0x01;
    case colDefault:
      return 0x9C;
    case colMax:
      return 0xDA;
  }
  return 0xDA;
}

// Keeps the archive sound however adding ends: the prologue counts the
// members complete so far, and bytes of a member cut short are dropped, so
// the archive ends with its last complete member.
class ArchiveEnd {
 public:
  ArchiveEnd(ArchiveStream& archive, int count, std::int64_t end)
      : archive_(archive), count_(count), end_(end) {}
  ~ArchiveEnd() {
    if (written_) return;
    try {
      archive_.Seek(end_);
      static_cast<MachineFileStream&>(archive_).file().SetEndOfFile().IgnoreError();
      WriteCount();
    } catch (const std::exception&) {
      // The error that is unwinding says what went wrong; an archive that
      // cannot even be written back here is no worse than that error.
    }
  }
  ArchiveEnd(const ArchiveEnd&) = delete;
  ArchiveEnd& operator=(const ArchiveEnd&) = delete;

  // One more member is complete, ending before `end`.
  void Complete(std::int64_t end) {
    ++count_;
    end_ = end;
  }
  std::int64_t End() const { return end_; }
  // Writes the final count; false when the write fell short.
  bool Finish() {
    written_ = true;
    return WriteCount();
  }

 private:
  bool WriteCount() {
    archive_.Seek(0);
    return archive_.WriteFully(Bytes(EncodePrologue({count_, false}))) == kPrologueSize;
  }

  ArchiveStream& archive_;
  int count_;
  std::int64_t end_;
  bool written_ = false;
};

}  // namespace

void TBrwlCompress::AddStatus() {
  if (abort_) throw EbcAborted(Message(kOperationAborted, {}));
  ProcessMessages();
  if (!compressed_position_) Fail(kNilDestFile);
  const std::int64_t p = source_position_;
  stats_.TotalBytesDone += p - stats_.BytesDone;
  stats_.BytesDone = p;
  stats_.CompressedSize = *compressed_position_;
  stats_.FilePercent = Percent(stats_.BytesDone, stats_.FileSize);
  stats_.TotalPercent = Percent(stats_.TotalBytesDone, stats_.TotalSize);
  if (OnStatus) OnStatus(*this, stats_);
}

// --- Compress ------------------------------------------------------------------------

TFileHeader TBrwlCompress::HeaderForSource(const std::string& source, const std::string& full,
                                           int batch_index) {
  std::unique_ptr<ArchiveStream> in = OpenFile(full, false, false);
  if (!in) Fail(kCannotOpenTheFile, {source});
  const std::int64_t size = in->Size();
  if (size > kMaxArchiveBytes) Fail(kSourceTooLarge, {full});
  WinResult<TDateTime> date = static_cast<MachineFileStream&>(*in).file().LastWriteTime();
  if (!date) Fail(kCannotOpenTheFile, {source});

  TFileHeader h;
  h.BatchIndex = batch_index;
  h.FileName = CutShortString(StoredName ? StoredName(full) : full, kMaxFileNameLength);
  h.FileDate = ToDosResolution(*date);
  h.FileSize = static_cast<std::int32_t>(size);
  // Only a Windows program (starting with "MZ") has a version resource;
  // asking for one opens the file twice more.
  std::array<std::uint8_t, 2> magic{};
  in->Seek(0);
  if (in->ReadFully(magic) == magic.size() && magic[0] == 'M' && magic[1] == 'Z') {
    versions().SetFileName(full);
    h.FileVersion = CutShortString(versions().VersionInfo().FileVersion(), kMaxFileVersionLength);
  }
  if (IsBlankFileName(h.FileName)) Fail(kInvalidFileHeader);
  return h;
}

void TBrwlCompress::Compress(bool append, std::int32_t file_id) {
  RunOperation(*this, true, [&] { CompressFiles(append, file_id); });
}

void TBrwlCompress::CompressFiles(bool append, std::int32_t file_id) {
  // The list is used up however the operation ends.
  AtScopeEnd clear_list([this] { files_to_process_.Clear(); });
  ReleaseHeld();  // a handle held for extraction would keep the writer waiting
  totals_valid_ = false;
  abort_ = false;
  state_ = State::kCompressing;
  offset_ = 0;
  multi_volume_ = false;
  FileSystem& fs = machine().GetFileSystem();

  std::string dir(DirectoryPart(compressed_file_));
  if (dir.empty()) throw EInOutError(Message(kUnableToCreateDirectory, {}));
  (void)fs.ForceDirectories(dir);  // a level that cannot be made fails at creation

  std::vector<std::string> sources;
  for (int i = 0; i < files_to_process_.Count(); ++i) {
    std::string source(FirstToken(files_to_process_.Strings(i)));
    try {
      sources.push_back(machine().GetPaths().FullPath(source));
    } catch (const EPlatformError&) {
      Fail(kCannotOpenTheFile, {source});
    }
  }
  auto waiting = [this] {
    if (abort_) throw EbcAborted(Message(kOperationAborted, {}));
    ProcessMessages();
  };
  // A single source compressed ahead is taken from there.
  std::optional<CompressionPipeline::Member> ahead;
  if (lookahead_ != nullptr && sources.size() == 1) {
    ahead = lookahead_->Take(sources[0], LibdeflateLevel(compression_level_), waiting);
  }
  // The workers start at once, while the headers are made below.
  std::optional<CompressionPipeline> pipeline;
  if (!sources.empty() && !ahead) {
    pipeline.emplace(fs, sources, LibdeflateLevel(compression_level_), kFileHeaderSize,
                     threads_ > 0 ? threads_ : CompressionPipeline::DefaultThreads());
  }

  // Everything about the sources is known before the archive is touched,
  // so a missing or oversized source leaves the archive as it was.
  std::vector<TFileHeader> fresh;
  for (int i = 0; i < files_to_process_.Count(); ++i) {
    fresh.push_back(HeaderForSource(std::string(FirstToken(files_to_process_.Strings(i))),
                                    sources[static_cast<std::size_t>(i)], i + 1));
  }

  const bool appending = append && fs.FileExists(compressed_file_);
  std::unique_ptr<ArchiveStream> archive = OpenFile(compressed_file_, true, !appending);
  if (!archive) Fail(kCannotCreateTheFile, {compressed_file_});
  headers_.Clear();
  headers_loaded_ = false;
  ids_.Clear();
  names_.Clear();
  std::int64_t end = kPrologueSize;  // where the next member goes
  if (appending) {
    ArchiveDirectory existing;
    try {
      existing = ReadArchiveDirectory(*archive, 0);
    } catch (const EBrwlCompress&) {
      Fail(kCouldNotReadHeaders);
    }
    if (existing.prologue.MultiVolume) Fail(kAlreadySplit, {compressed_file_});
    for (TFileHeader& h : existing.headers) {
      end = h.NextHeaderPos;
      headers_.Add(std::move(h), true);
    }
  }
  const int kept = headers_.Count();
  for (int i = 0; i < kept; ++i) ids_.Set(headers_[i].header.FileID, i);
  for (TFileHeader& h : fresh) headers_.Add(std::move(h), false);

  // The count is written now and once more at the end: it covers complete
  // members only, so an archive interrupted by an error or Abort (or by the
  // end of the process) stays readable.
  ArchiveEnd archive_end(*archive, kept, end);
  archive->Seek(0);
  if (archive->WriteFully(Bytes(EncodePrologue({kept, false}))) != kPrologueSize) {
    Fail(kCouldNotWriteHeaders);
  }
  archive->Seek(end);

  ComputeTotals();
  stats_.TotalCompressed = 0;
  for (int i = kept; i < headers_.Count(); ++i) {
    const std::size_t k = static_cast<std::size_t>(i - kept);
    CompressionPipeline::Member member = ahead ? std::move(*ahead) : pipeline->Take(k, waiting);
    AppendMember(*archive, i, file_id, sources[k], member);
    archive_end.Complete(archive->Position());
  }
  pipeline.reset();
  if (!archive_end.Finish()) Fail(kCouldNotWriteHeaders);
  headers_loaded_ = false;
}

std::shared_ptr<CompressionLookahead> TBrwlCompress::MakeLookahead(const std::vector<std::string>& sources) {
  std::vector<std::string> full;
  full.reserve(sources.size());
  for (const std::string& source : sources) {
    try {
      full.push_back(machine().GetPaths().FullPath(FirstToken(source)));
    } catch (const EPlatformError&) {
      full.push_back(std::string());  // never asked for: its Compress fails by itself
    }
  }
  return std::make_shared<CompressionLookahead>(machine().GetFileSystem(), std::move(full),
                                                LibdeflateLevel(compression_level_), kFileHeaderSize,
                                                threads_ > 0 ? threads_ : CompressionPipeline::DefaultThreads());
}

void TBrwlCompress::AppendMember(ArchiveStream& archive, int index, std::int32_t file_id,
                                 const std::string& source,
                                 CompressionPipeline::Member& member) {
  using Kind = CompressionPipeline::Member::Kind;
  if (member.kind == Kind::kUnreadable) Fail(kCannotOpenTheFile, {source});
  if (member.kind == Kind::kFailed) throw EBrwlCompress(member.error);
  if (member.kind == Kind::kTooLarge) {
    StreamMember(archive, index, file_id, source);
    return;
  }
  TFileHeader& h = headers_[index].header;
  const std::int64_t compressed =
      static_cast<std::int64_t>(member.bytes.size() - kFileHeaderSize);
  FillStats(h);
  stats_.CompressedSize = 0;
  if (OnBeforeAdding) OnBeforeAdding(*this, stats_);

  // The progress of a stream made in one piece: a step per 64 KB of it, with
  // the share of the source that the step stands for.
  struct Adding {
    TBrwlCompress& c;
    ~Adding() { c.compressed_position_.reset(); }
  } adding{*this};
  const std::int64_t size = member.source_size;
  for (std::int64_t out = kCompressBlock; out <= compressed; out += kCompressBlock) {
    compressed_position_ = out;
    source_position_ = compressed == 0 ? size : size * out / compressed;
    AddStatus();
  }
  FinishMemberStatus(h, size, compressed);

  const std::int64_t header_pos = archive.Position();
  if (header_pos + static_cast<std::int64_t>(kFileHeaderSize) + compressed > kMaxArchiveBytes) {
    Fail(kArchiveTooLarge, {source, compressed_file_});
  }
  h.DataPos = static_cast<std::int32_t>(header_pos + static_cast<std::int64_t>(kFileHeaderSize));
  h.EndPos = static_cast<std::int32_t>(h.DataPos + compressed - 1);
  h.NextHeaderPos = h.EndPos + 1;
  h.CompressedSize = static_cast<std::int32_t>(compressed);
  h.FileID = file_id;
  const FileHeaderBytes encoded = EncodeFileHeader(h);
  std::copy(encoded.begin(), encoded.end(), member.bytes.begin());
  member.bytes[kFileHeaderSize + 1] = ZlibFlagByte(compression_level_);
  WriteOrDiskFull(archive, member.bytes);
  EndMember(h, index, file_id, compressed);
}

void TBrwlCompress::FinishMemberStatus(TFileHeader& h, std::int64_t size,
                                       std::int64_t compressed) {
  // The header describes what was compressed, even if the file changed since.
  h.FileSize = static_cast<std::int32_t>(size);
  stats_.FileSize = h.FileSize;
  stats_.Ratio = Ratio(compressed, h.FileSize);
  stats_.FileDone = true;
  source_position_ = size;
  compressed_position_ = compressed;
  AddStatus();
  stats_.FileDone = false;
}

void TBrwlCompress::EndMember(const TFileHeader& h, int index, std::int32_t file_id,
                              std::int64_t compressed) {
  stats_.TotalCompressed += compressed;
  ids_.Set(file_id, index);
  stats_.Header = h;
  if (OnAfterAdding) OnAfterAdding(*this, stats_);
}

void TBrwlCompress::StreamMember(ArchiveStream& archive, int index, std::int32_t file_id,
                                 const std::string& source) {
  TFileHeader& h = headers_[index].header;
  std::unique_ptr<ArchiveStream> in = OpenFile(source, false, false);
  if (!in) Fail(kCannotOpenTheFile, {source});
  FillStats(h);
  stats_.CompressedSize = 0;
  if (OnBeforeAdding) OnBeforeAdding(*this, stats_);

  // A placeholder header, the stream straight into the archive, then the
  // header again with the stream's place.
  struct Adding {
    TBrwlCompress& c;
    ~Adding() { c.compressed_position_.reset(); }
  } adding{*this};
  compressed_position_ = 0;
  const std::int64_t header_pos = archive.Position();
  if (archive.WriteFully(Bytes(EncodeFileHeader(h))) != kFileHeaderSize) {
    Fail(kCouldNotWriteHeaders);
  }
  Deflater deflater(ZlibLevel(compression_level_));
  std::vector<std::uint8_t> input(kCompressBlock), output(kCompressBlock);
  std::size_t filled = 0;
  source_position_ = 0;
  bool finishing = false;
  while (!deflater.Finished()) {
    if (deflater.InputLeft() == 0 && !finishing) {
      std::size_t n = in->ReadFully(input);
      source_position_ += static_cast<std::int64_t>(n);
      if (source_position_ > kMaxArchiveBytes) Fail(kSourceTooLarge, {source});
      finishing = n < input.size();
      deflater.SetInput(std::span<const std::uint8_t>(input.data(), n));
    }
    filled +=
        deflater.Deflate(std::span(output.data() + filled, output.size() - filled), finishing);
    if (filled == output.size()) {
      WriteOrDiskFull(archive, output);
      *compressed_position_ += static_cast<std::int64_t>(filled);
      filled = 0;
      AddStatus();
    }
  }
  WriteOrDiskFull(archive, std::span<const std::uint8_t>(output.data(), filled));
  const std::int64_t compressed = *compressed_position_ + static_cast<std::int64_t>(filled);
  FinishMemberStatus(h, source_position_, compressed);

  const std::int64_t end = archive.Position();
  if (end > kMaxArchiveBytes) Fail(kArchiveTooLarge, {source, compressed_file_});
  h.DataPos = static_cast<std::int32_t>(header_pos + static_cast<std::int64_t>(kFileHeaderSize));
  h.EndPos = static_cast<std::int32_t>(end - 1);
  h.NextHeaderPos = static_cast<std::int32_t>(end);
  h.CompressedSize = static_cast<std::int32_t>(compressed);
  h.FileID = file_id;
  archive.Seek(header_pos);
  if (archive.WriteFully(Bytes(EncodeFileHeader(h))) != kFileHeaderSize) {
    Fail(kCouldNotWriteHeaders);
  }
  archive.Seek(end);
  EndMember(h, index, file_id, compressed);
}

}  // namespace brimwell
