// TBrwlCompress: the component through which the setup engine reads and
// writes archives. It adds files to an archive as zlib streams, extracts
// members into a directory under an overwrite policy, splits an archive over
// numbered disk files, and copies files uncompressed under the same policy.
// Long operations report progress through events, let the application's
// message queue run between blocks, and stop when Abort is set.
//
// Paths are Windows paths (or host paths, read as Z:\...) resolved by the
// machine's file service; the component never touches host paths itself.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/archive_errors.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/compression_pipeline.h"
#include "archive/file_headers.h"
#include "archive/member_inflater.h"
#include "archive/member_prefetcher.h"
#include "archive/overwrite_type.h"
#include "framework/component.h"
#include "framework/date_time.h"
#include "framework/format.h"
#include "framework/string_list.h"

namespace brimwell {

class Application;
class ArchiveStream;
class Machine;
class MachineFileStream;
class NewFile;
class TargetDirectory;
class WholeInflater;
class TVersionResource;
class TBrwlCompress;

enum TCompressionLevel { colNone, colFastest, colDefault, colMax };
inline const EnumInfo kCompressionLevelInfo{"TCompressionLevel",
                                            {"colNone", "colFastest", "colDefault", "colMax"}};
// zlib's level for each value: 0, 1, zlib's default, 9.
int ZlibLevel(TCompressionLevel level);

// An install item's choice between starting a new archive and appending.
enum TlzhCommand { lzcOverwrite, lzcOnlyAdd };
inline const EnumInfo kLzhCommandInfo{"TlzhCommand", {"lzcOverwrite", "lzcOnlyAdd"}};

// The statistics every event receives. Byte counts are 64-bit so that the
// totals of large sets do not wrap.
struct TlzhFileStats {
  std::uint8_t FilePercent = 0;
  std::int64_t BytesDone = 0;
  std::string FileName;             // the member's stored FileName
  std::int64_t CompressedSize = 0;  // while adding: compressed bytes so far
  std::int32_t Ratio = 0;           // CompressedSize * 100 / FileSize, rounded
  std::int64_t FileSize = 0;
  TFileHeader Header;
  bool FileDone = false;  // last status event of a member
  std::uint8_t TotalPercent = 0;
  std::int64_t TotalBytesDone = 0;
  std::int64_t TotalCompressed = 0;
  std::int32_t TotalRatio = 0;
  std::int64_t TotalSize = 0;
};

using TNotifyEvent = std::function<void(TComponent& Sender)>;
using TlzhFileStatsEvent =
    std::function<void(TBrwlCompress& BrwlCompress, const TlzhFileStats& FileStats)>;
using TlzhNewDiskEvent =
    std::function<void(TBrwlCompress& BrwlCompress, int DiskNumber, std::string& Path)>;

// What the component works with; nothing here is owned by it.
struct ArchiveServices {
  Machine* machine = nullptr;            // files, paths, temporary names
  TVersionResource* versions = nullptr;  // the shared version reader; a private one when null
  Application* application = nullptr;    // message queue; none when null
  // Passes each message format through the translator before it is
  // formatted; the English text is used when empty.
  std::function<std::string(std::string_view)> translate;
};

// Messages (formats) raised by the component.
inline constexpr char kCannotOpenCompressedFile[] = "Cannot open the compressed file %s";
inline constexpr char kCannotCreateTheFile[] = "Cannot create the file %s";
inline constexpr char kCannotOpenTheFile[] = "Cannot open the file %s";
inline constexpr char kCannotCreateTemporaryFile[] = "Cannot create a temporary file";
inline constexpr char kCouldNotWriteHeaders[] =
    "Could not write the file headers for the compressed file";
inline constexpr char kFileNotDefined[] = "Tried to access the %dth file. This file is not defined";
inline constexpr char kInvalidHeaderIndex[] =
    "%d is an invalid TFileHeader index in TFileHeaders.GetFileHeaders";
inline constexpr char kOperationAborted[] = "Operation aborted by user";
inline constexpr char kNilDestFile[] = "AddStatus has Nil DestFile";
inline constexpr char kDiskFull[] = "The disk is full";
inline constexpr char kMemberNotFound[] = "The file <%s> was not found in the archive <%s>";
inline constexpr char kErrorComparingVersions[] = "Error comparing file versions in TBrwlCompress";
inline constexpr char kCannotSetDate[] = "Cannot set the date of the file just extracted.";
inline constexpr char kWrongDisk[] = "Could not open the correct disk file %d";
inline constexpr char kNoNewDiskHandler[] =
    "There was no event handler for the OnNewDisk event, therefore no new disk could be inserted";
inline constexpr char kTooLittleSpace[] = "There is too little space on this disk to operate";
inline constexpr char kUnableToCreateDirectory[] = "Unable to create directory";
// Refusals that keep archives sound (positions are signed 32-bit; members
// are written only inside the extraction directory).
inline constexpr char kSourceTooLarge[] =
    "The file %s is too large for an archive: files must be smaller than 2 GB";
inline constexpr char kArchiveTooLarge[] =
    "Adding the file %s would make the archive %s larger than 2 GB";
inline constexpr char kUnsafeTargetName[] =
    "The file name <%s> would be written outside the directory %s";
inline constexpr char kAlreadySplit[] = "The archive %s is already split over several disks";
// Another program kept the archive locked for longer than an operation
// waits (kArchiveLockWaitMs).
inline constexpr char kArchiveInUse[] = "The file %s is in use by another program";
inline constexpr int kArchiveLockWaitMs = 60000;

class TBrwlCompress : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TBrwlCompress(TComponent* owner);
  ~TBrwlCompress() override;

  // Connects the component to the machine and the shared objects; required
  // before any operation (std::logic_error otherwise).
  void SetServices(ArchiveServices services);
  const ArchiveServices& Services() const { return services_; }

  // --- published properties ---------------------------------------------------
  bool Abort() const { return abort_; }
  void SetAbort(bool value) { abort_ = value; }
  const std::string& CompressedFile() const { return compressed_file_; }
  // A name equal to the current one (without case) changes nothing; a name
  // of another archive set drops the loaded headers.
  void SetCompressedFile(const std::string& name);
  TCompressionLevel CompressionLevel() const { return compression_level_; }
  void SetCompressionLevel(TCompressionLevel level) { compression_level_ = level; }
  const std::string& ExtractDirectory() const { return extract_directory_; }
  void SetExtractDirectory(const std::string& dir) { extract_directory_ = dir; }
  const TStringList& FilesToProcess() const { return files_to_process_; }
  // Copies the list without its blank lines.
  void SetFilesToProcess(const TStringList& files);
  std::vector<std::string> FilesToProcessLines() const { return files_to_process_.Lines(); }
  void SetFilesToProcessLines(const std::vector<std::string>& lines);
  std::int32_t Offset() const { return offset_; }
  void SetOffset(std::int32_t offset) { offset_ = offset; }
  TOverwriteType Overwrite() const { return overwrite_; }
  void SetOverwrite(TOverwriteType overwrite) { overwrite_ = overwrite; }

  TNotifyEvent OnAborted;
  TlzhFileStatsEvent OnAfterAdding;
  TlzhFileStatsEvent OnBeforeAdding;
  TlzhFileStatsEvent OnAfterExtracting;  // no operation raises it
  TlzhFileStatsEvent OnBeforeExtracting;
  TNotifyEvent OnFullDisk;
  TlzhFileStatsEvent OnListing;  // no operation raises it
  TlzhNewDiskEvent OnNewDisk;
  TlzhFileStatsEvent OnReplace;
  TlzhFileStatsEvent OnStatus;

  // --- public state ------------------------------------------------------------
  // Cleared before each member; an OnBeforeExtracting or OnReplace handler
  // sets it to leave the member out.
  bool SkipFile = false;
  // The name under which the next member is written; empty: its own name.
  std::string ExtractAs;
  // While compressing: the name stored for a source given by its full
  // path, instead of that path (a tool keeps names relative to a base
  // directory). Not set: the full path.
  std::function<std::string(const std::string& full_path)> StoredName;

  // --- operations ---------------------------------------------------------------
  // Adds every file of FilesToProcess to CompressedFile (appending when
  // `append` and the archive exists), each under `file_id`. Clears
  // FilesToProcess. A stop through Abort raises OnAborted instead of an error.
  void Compress(bool append, std::int32_t file_id);
  // Extracts every member named in FilesToProcess into ExtractDirectory.
  void Extract();
  // Writes CompressedFile as a multi-volume set: disk file 1 is
  // dest_dir\<file name of disk_file_name>, later disks come through OnNewDisk.
  void SplitToDisks(const std::string& dest_dir, const std::string& disk_file_name);
  // Copies `source` to `dest` uncompressed under the Overwrite policy.
  void CopyFile(const std::string& source, const std::string& dest);
  // Number of members (loads the headers first, except while compressing).
  int FileCount();
  TlzhFileStats GetFileStats(int index);
  // The index of the last member added by install item `file_id`; -1 when
  // none (or outside 0..1999).
  int IndexOfFileID(std::int32_t file_id);
  // The index of the first member whose stored FileName is `name` (without
  // case); -1 when none. Loads the headers first.
  int IndexOfFileName(std::string_view name);
  // The progress step while compressing (public as the engine's builds call it).
  void AddStatus();
  const TFileHeader& GetFileHeaders(int index) const;

  // `format` passed through the translator and formatted with `args`.
  std::string Message(std::string_view format, std::initializer_list<FormatArg> args) const;

  // The statistics of the running (or last) operation.
  const TlzhFileStats& FileStats() const { return stats_; }
  bool HeadersLoaded() const { return headers_loaded_; }

  // How many threads compress members while adding: 0 (the default) for one
  // per core. The archive written is the same for every number. Extraction
  // inflates the next members on a second thread unless this is 1 (or the
  // machine has one core); the files and events are the same either way.
  int Threads() const { return threads_; }
  // Starts compressing `sources` (paths as FilesToProcess takes them), in
  // the order they will be added one by one, at this component's level on
  // Threads() workers. Given by SetLookahead to the components that add
  // them, each Compress of one of them takes its member from there; the
  // archives written are the same as without.
  std::shared_ptr<CompressionLookahead> MakeLookahead(const std::vector<std::string>& sources);
  const std::shared_ptr<CompressionLookahead>& Lookahead() const { return lookahead_; }
  void SetLookahead(std::shared_ptr<CompressionLookahead> lookahead) { lookahead_ = std::move(lookahead); }
  void SetThreads(int threads) { threads_ = std::max(0, threads); }
  bool MultiVolume() const { return multi_volume_; }

  // While set, an extraction leaves the single-file archive and the
  // directory it wrote to last open for the next one, which uses them again
  // once it has checked that their paths still name them (an archive
  // replaced or changed, a directory removed or made anew are opened
  // afresh), so that many extractions of one member each cost about what
  // one extraction of them all costs. Compressing, splitting, copying,
  // another archive name and clearing this close them. The archive stays
  // locked for reading (writers wait) while it is held.
  bool KeepOpen() const { return keep_open_; }
  void SetKeepOpen(bool keep);
  // While KeepOpen is set: `lines` (as FilesToProcess takes them) are the
  // members a caller is about to extract one by one, each by an Extract of
  // its own, in this order (some may be left out). They are inflated ahead
  // on a second thread, and each such Extract takes its member from there.
  // Ends with KeepOpen, and with whatever closes the held archive. The
  // files and events are the same as without.
  void ExtractAheadOf(const std::vector<std::string>& lines);

  // While on, an extraction hashes (SHA-256) each member as it writes it,
  // so that a caller recording what it installed need not read it back.
  void SetDigestWritten(bool on) { digest_written_ = on; }
  struct WrittenFile {
    std::string path;  // the target, in Windows form
    std::int64_t size = 0;
    TDateTime date = 0;  // the last-write time given to it
    std::string sha256;  // lower-case hexadecimal
  };
  // The member the last Extract wrote last, with its digest, when that
  // extraction hashed what it wrote and its last member was written (not
  // skipped); empty otherwise.
  const std::optional<WrittenFile>& LastWritten() const { return last_written_; }

 private:
  enum class State : std::uint8_t { kIdle, kCompressing, kExtracting };

  Machine& machine() const;
  TVersionResource& versions();
  [[noreturn]] void Fail(std::string_view format, std::initializer_list<FormatArg> args = {}) const;
  void ProcessMessages();

  void LoadHeaders();
  void LoadHeadersIfNeeded();
  void ComputeTotals();
  void FillStats(const TFileHeader& header);
  // Opens an archive or a source file, locked for this handle: shared for
  // reading, exclusive for writing, so that two writers never append at
  // the same place and no reader sees a half-written directory. Waits
  // while another handle holds a lock in the way; throws EBrwlCompress
  // kArchiveInUse when that lasts too long. nullptr when the file cannot
  // be opened. `create` empties the file, once the lock is held.
  std::unique_ptr<ArchiveStream> OpenFile(const std::string& path, bool write, bool create);
  // Opens disk file `disk` of the archive for reading (asking OnNewDisk when
  // it is missing); CompressedFile takes the name of the file opened.
  std::unique_ptr<ArchiveStream> OpenDiskFile(int disk, bool write);
  // The same for the disk file `name`; `rename_archive` makes CompressedFile
  // follow the file opened.
  std::unique_ptr<ArchiveStream> OpenDiskFileAt(std::string name, int disk, bool write,
                                                bool rename_archive);
  // Writes all of `data`; a short write runs the disk-full step, which
  // retries once after OnFullDisk.
  void WriteOrDiskFull(ArchiveStream& out, std::span<const std::uint8_t> data);
  // Appends member `index` (compressed by the pipeline) with its events.
  void AppendMember(ArchiveStream& archive, int index, std::int32_t file_id,
                    const std::string& source, CompressionPipeline::Member& member);
  // Compresses a source too large to hold in memory straight into the archive.
  void StreamMember(ArchiveStream& archive, int index, std::int32_t file_id,
                    const std::string& source);
  void FinishMemberStatus(TFileHeader& h, std::int64_t size, std::int64_t compressed);
  void EndMember(const TFileHeader& h, int index, std::int32_t file_id, std::int64_t compressed);
  // Extracts the member named by `line` (header `index`, -1 for none),
  // entry `line_index` of the list.
  void ExtractOne(const std::string& line, int index, std::size_t line_index);
  // The header each of `lines` names, -1 for a name not in the archive.
  std::vector<int> HeadersOf(const std::vector<std::string>& lines) const;
  // Progress and abort for `n` more bytes of the member, 4 KB at a time.
  void ReportBlocks(std::size_t n);
  // A prefetcher of the members of the headers `header_of` (digests made if
  // `digest`; -1 for a name not in the archive), reading through a handle
  // of its own, where that can pay; nullptr otherwise. `dates` receives each
  // entry's date (for writing ahead).
  std::unique_ptr<MemberPrefetcher> MakePrefetcher(const std::vector<int>& header_of, bool digest,
                                                   std::shared_ptr<const std::vector<TDateTime>>& dates);
  // Starts inflating the members of the headers `header_of` ahead on a
  // second thread, where that can pay.
  void StartPrefetch(const std::vector<int>& header_of);
  // What the prefetcher is told of a member: where its stream lies, or
  // file_size -1 for a member not held whole (see InflateWhole).
  MemberPrefetcher::Member PrefetchMember(const TFileHeader& h) const;
  std::string TargetPath();
  // A host path in its Windows form (Z:\...); other paths as they are.
  std::string WindowsForm(const std::string& path) const;
  void CheckTargetName() const;
  // Acts on the newer-file test's answer for an existing target: true when
  // the member is to be written (after OnReplace, with `target` recomputed).
  bool ApplyAnswer(NewerFileAnswer answer, std::string& target);
  // A member of up to kWholeMemberLimit bytes of a single-file archive held
  // whole in whole_out_: taken from what was inflated ahead (with its
  // digest, and the file it was written into ahead, if any) or inflated
  // here in one call.
  struct Whole {
    std::string digest;
    std::unique_ptr<MemberPrefetcher::Payload> payload;
  };
  // False (nothing held) when the member is not such a member or not sound;
  // `line_index` is its entry in the prefetcher's list, `header_index` its
  // header (for ExtractAheadOf's).
  bool TakeWhole(ArchiveStream& archive, const TFileHeader& h, int header_index, std::size_t line_index,
                 Whole& whole);
  // The file written ahead in `ahead` as the new version of `target`, when
  // it can be named there; nullptr otherwise (the member is written anew).
  std::unique_ptr<NewFile> AdoptMemberTarget(const std::string& target,
                                             std::unique_ptr<MemberPrefetcher::Payload> ahead);
  // Has the running prefetcher write the members it inflates ahead into
  // new files of the directory open now.
  void OfferTargetDirectory();
  // A new version of the file `target`, written beside it (`pending` is set
  // to it, for CommitTarget); nullptr when it cannot be created.
  std::unique_ptr<MachineFileStream> CreateTarget(const std::string& target, NewFile*& pending);
  // The same for an extracted member, through the directory of `target`,
  // which is opened once for all the members written to it.
  std::unique_ptr<MachineFileStream> CreateMemberTarget(const std::string& target,
                                                        NewFile*& pending);
  // True when the file `target` exists (asked of its directory when that is
  // the one open).
  bool TargetExists(const std::string& target);
  // Gives the complete file its name, making it executable when `head` (its
  // first bytes) starts a program; "Cannot create the file" when it cannot.
  void CommitTarget(NewFile& pending, const std::string& target, std::span<const std::uint8_t> head);
  // The header of a new member from its source (`full`: its full path;
  // errors name `source` as given).
  TFileHeader HeaderForSource(const std::string& source, const std::string& full, int batch_index);
  // The bodies of the operations, run under the component's error rules.
  void CompressFiles(bool append, std::int32_t file_id);
  void WriteDiskSet(const std::string& dest_dir, const std::string& disk_file_name);
  void SplitMember(ArchiveStream& source, std::unique_ptr<ArchiveStream>& target,
                   TFileHeader& header, int& disk, std::string& path,
                   const std::string& disk_file_name);

  ArchiveServices services_;
  std::shared_ptr<CompressionLookahead> lookahead_;
  std::unique_ptr<TVersionResource> own_versions_;
  bool abort_ = false;
  std::string compressed_file_;
  TCompressionLevel compression_level_ = colMax;
  std::string extract_directory_;
  TStringList files_to_process_;
  std::int32_t offset_ = 0;
  TOverwriteType overwrite_ = owAlways;

  State state_ = State::kIdle;
  TFileHeaders headers_;
  bool headers_loaded_ = false;
  bool multi_volume_ = false;
  FileIDTable ids_;
  MemberNameIndex names_;  // the loaded headers by name
  TlzhFileStats stats_;
  // The sums of FileSize and CompressedSize over the loaded headers.
  bool totals_valid_ = false;
  decltype(TlzhFileStats::TotalSize) total_size_ = 0;
  decltype(TlzhFileStats::TotalCompressed) total_compressed_ = 0;
  int current_disk_ = 0;
  int threads_ = 0;
  // While a member is being added: the bytes of its source and of its stream
  // that the progress reports.
  std::optional<std::int64_t> compressed_position_;
  std::int64_t source_position_ = 0;
  std::unique_ptr<MemberInflater> inflater_;
  std::unique_ptr<WholeInflater> whole_inflater_;
  std::vector<std::uint8_t> whole_in_, whole_out_;  // a member held whole
  // Takes header `header_index`'s member, which must be `member`, into
  // whole_out_ (and its digest, if one was made) from what ExtractAheadOf
  // inflated ahead; false when it is not there.
  bool TakeAhead(int header_index, const MemberPrefetcher::Member& member, std::string& digest,
                 std::unique_ptr<MemberPrefetcher::Payload>& payload);
  // Closes what an extraction left open for the next one.
  void ReleaseHeld();
  // Drops what was left open that its path no longer names.
  void CheckHeld();

  bool keep_open_ = false;
  // During one Extract (and between them with KeepOpen): the open
  // single-file archive and the directory made last.
  std::unique_ptr<ArchiveStream> extract_archive_;
  std::string extract_archive_path_;
  std::string extract_made_dir_;
  // During one Extract: the directory members were written to last (its
  // Windows path with trailing separator), and ExtractDirectory in Windows
  // form for the value it was computed from.
  std::shared_ptr<TargetDirectory> target_dir_;  // shared with a prefetcher writing ahead into it
  std::string target_dir_path_;
  std::string windows_dir_for_, windows_dir_;
  // During one Extract: members inflated ahead, from the archive and offset
  // it was started on.
  std::unique_ptr<MemberPrefetcher> prefetch_;
  std::shared_ptr<const std::vector<TDateTime>> prefetch_dates_;  // of its entries
  std::string prefetch_archive_;
  std::int32_t prefetch_offset_ = 0;
  // With KeepOpen (see ExtractAheadOf): members inflated ahead for the
  // extractions to come, from the archive and offset it was started on;
  // each header's entries in its list, and the entry the next extraction
  // looks from.
  std::unique_ptr<MemberPrefetcher> ahead_;
  std::string ahead_archive_;
  std::int32_t ahead_offset_ = 0;
  std::unordered_map<int, std::vector<std::size_t>> ahead_entries_;
  std::shared_ptr<const std::vector<TDateTime>> ahead_dates_;
  // The directory the running prefetcher was told to write ahead into.
  const TargetDirectory* written_ahead_into_ = nullptr;
  std::size_t ahead_next_ = 0;
  bool digest_written_ = false;
  std::optional<WrittenFile> last_written_;
};

}  // namespace brimwell
