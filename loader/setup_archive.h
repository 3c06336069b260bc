// The loader's reading of SETUP.1: the header table (at most 50 members: the
// engine and 49 presetup files) and the extraction of each member into the
// working directory under its bare file name.
//
// The table keeps the first 164 bytes of each stored header, which is all the
// loader uses. Every header is checked before anything is extracted: its
// name must give a plain file name, and its stream must lie inside the
// archive image, so a cut or damaged SETUP.1 is refused up front. While
// extracting, a stream that ends early or inflates to another size than its
// FileSize is refused too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_stream.h"
#include "archive/member_inflater.h"
#include "archive/zlib_stream.h"
#include "host/host_env.h"

namespace brimwell {

inline constexpr int kMaxSetupMembers = 50;

inline constexpr char kCouldNotReadFileCount[] =
    "LOADER: Could not read the number of files in the archive from SETUP.1";
inline constexpr char kTooManySetupFiles[] =
    "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the TInstall. "
    "If you want to have more you can modify the MaxFiles constant in the BrimwellLoadProgram "
    "project in the Brimwell directory";
inline constexpr char kNotAnArchive[] =
    "LOADER: SETUP.1 is not an archive of the installation program, or the archive is damaged. "
    "Please copy the distributable files again";
inline constexpr char kCouldNotReadMultiVolumeFlag[] =
    "LOADER: Could not read the multi-partition flag in the archive file from SETUP.1";
inline constexpr char kCannotReadFileHeader[] =
    "LOADER: Cannot read a file header in the archive file from SETUP.1";
inline constexpr char kNoFilesInArchive[] =
    "There are no files in the archive in SETUP.1. There should at least be your installation "
    "project executable";
inline constexpr char kInvalidMemberName[] =
    "LOADER: The archive SETUP.1 holds a file whose name <%s> cannot be used. The archive is "
    "probably damaged";
inline constexpr char kMemberOutsideArchive[] =
    "LOADER: The file %s does not lie inside the archive SETUP.1. The archive is probably "
    "incomplete or damaged";
inline constexpr char kCouldNotCreateFile[] = "LOADER: Could not create the following file, ";
inline constexpr char kCouldNotReadDisk[] =
    "LOADER: Could not read from this disk. The disk is probably defective. Please use another "
    "disk when you build the distributable files";
inline constexpr char kInflateFailed[] = "error";
inline constexpr char kCouldNotWriteFile[] =
    "LOADER: Could not write to the file %s. This probably means that your disk is full";
inline constexpr char kMemberCutShort[] =
    "LOADER: The data of the file %s ends early in the archive SETUP.1. The archive is probably "
    "incomplete or damaged";

// The name under which a stored member is written: the file-name part of
// `stored` (after the last "\", "/" or drive colon). Throws
// Exception(kInvalidMemberName) when that part is blank, "." or "..", or
// holds control characters.
std::string MemberFileName(std::string_view stored);

class SetupArchive {
 public:
  // The archive image occupies positions [base, end) of `file`, which must
  // stay open while this object is used. Members are written through `env`.
  SetupArchive(ArchiveStream& file, std::int64_t base, std::int64_t end,
               host::Env& env = host::Env::Default());
  SetupArchive(const SetupArchive&) = delete;
  SetupArchive& operator=(const SetupArchive&) = delete;
  ~SetupArchive();

  // Reads and checks the header table. Throws Exception with
  // kCouldNotReadFileCount, kNotAnArchive (a count above kMaxSetupMembers
  // that the image has no room for), kTooManySetupFiles (more than
  // kMaxSetupMembers),
  // kCouldNotReadMultiVolumeFlag, kCannotReadFileHeader, kNoFilesInArchive
  // (a count of 0 or less), kInvalidMemberName, kMemberOutsideArchive or
  // kCouldNotReadDisk (a read error).
  void ReadHeaders();
  const std::vector<TFileHeader>& Headers() const { return headers_; }
  // The sum of FileSize over all members.
  std::int64_t TotalSize() const;

  // Called after each block written with the block's size.
  using WriteObserver = std::function<void(std::size_t bytes)>;

  // Writes member `index` to `dir` + "/" + its file name: beside it first,
  // then renamed over it once complete and of the right size (an existing
  // file or link there is replaced, never written through; on any error it
  // stays as it was and nothing is left beside it), sets its date from FileDate (at the DOS resolution of even
  // seconds; a date DOS cannot hold is set as it is, an unusable one not at
  // all) and makes it executable
  // when its content starts like a host program. Returns the path written.
  // Throws Exception with kCouldNotCreateFile + path, kCouldNotReadDisk,
  // kInflateFailed (corrupt data), kCouldNotWriteFile, kMemberCutShort or
  // kSizeMismatch.
  std::string Extract(std::size_t index, const std::string& dir, const WriteObserver& observer);

 private:
  class ReadStream;

  // Members of up to this many bytes (either way) are inflated in one call.
  static constexpr std::uint64_t kWholeMemberBytes = 8u << 20;

  // Inflates the member into whole_out_ in one call; false when it is too
  // large or not sound, for the stream to read it (and say what is wrong).
  bool InflateWhole(const TFileHeader& header);

  std::unique_ptr<ReadStream> file_;
  std::int64_t base_;
  std::int64_t end_;
  std::vector<TFileHeader> headers_;
  MemberInflater inflater_;
  WholeInflater whole_inflater_;
  std::vector<std::uint8_t> whole_in_, whole_out_;
  host::Env& env_;
};

}  // namespace brimwell
