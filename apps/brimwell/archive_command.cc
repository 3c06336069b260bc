// brimwell archive: make, inspect, unpack, check and split archives.
//
// Reading commands (list, verify, trailer) work on host files directly when
// the path has no drive letter, so inspecting an archive needs no prefix;
// the others (and any path with a drive letter) go through a prefix like
// the engine does.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/brimwell/commands.h"
#include "apps/brimwell/tool_machine.h"
#include "archive/archive_names.h"
#include "archive/archive_reader.h"
#include "archive/archive_verify.h"
#include "archive/brwl_compress.h"
#include "archive/dos_time.h"
#include "archive/host_file.h"
#include "archive/machine_file_stream.h"
#include "archive/version_resource.h"
#include "framework/headless_application.h"
#include "platform/file_system.h"
#include "platform/machine.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell archive create ARCHIVE FILE... [--level none|fastest|default|max] [--id N]\n"
    "       brimwell archive add ARCHIVE FILE [--id N] [--level ...]\n"
    "       brimwell archive list ARCHIVE [--offset N | --image setup|files]\n"
    "       brimwell archive extract ARCHIVE DIR [MEMBER...] [--as NAME]\n"
    "                [--overwrite owAlways|owNever|owVersion|owDate|owVersionDate] [--offset N]\n"
    "       brimwell archive verify ARCHIVE [--offset N | --image setup|files]\n"
    "       brimwell archive split ARCHIVE DRIVE [--offset N | --image setup|files]\n"
    "       brimwell archive trailer FILE\n"
    "\n"
    "Common options: --prefix DIR (the machine whose paths are used; default\n"
    "BRIMWELL_PREFIX, else $XDG_DATA_HOME/brimwell/prefix).\n"
    "\n"
    "Paths are host paths or Windows paths of the prefix (C:\\..., A:\\...). A\n"
    "self-extracting program is read through its trailer: its files.1 image by\n"
    "default, its SETUP.1 image with --image setup; --offset N names any position.\n"
    "list prints one line per member: index, FileID, FileSize, CompressedSize,\n"
    "FileDate, FileVersion and FileName, separated by tabs. extract without\n"
    "MEMBER writes every member. verify inflates every member and checks sizes\n"
    "and zlib checksums (exit status 1 naming the member at fault). split writes\n"
    "the archive as a multi-volume set onto the removable DRIVE, inserting disks\n"
    "as they are needed.\n";

struct Options {
  std::vector<std::string> positional;
  std::string prefix;
  std::optional<std::int64_t> offset;
  std::string image;
  std::string level = "max";
  std::int32_t id = 0;
  std::string as;
  std::string overwrite = "owAlways";
};

Options Parse(Args args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "--prefix") {
      o.prefix = value();
    } else if (a == "--offset") {
      std::string text = value();
      o.offset = ParseNumber(text);
      if (!o.offset || *o.offset < 0) throw EBrwlCompress("--offset " + text + " is not a position in the file");
    } else if (a == "--image") {
      o.image = value();
      if (o.image != "setup" && o.image != "files")
        throw EBrwlCompress("--image is setup or files");
    } else if (a == "--level") {
      o.level = value();
    } else if (a == "--id") {
      std::string text = value();
      std::optional<std::int64_t> id = ParseNumber(text);
      if (!id || *id < INT32_MIN || *id > INT32_MAX) throw EBrwlCompress("--id " + text + " is not a 32-bit number");
      o.id = static_cast<std::int32_t>(*id);
    } else if (a == "--as") {
      o.as = value();
    } else if (a == "--overwrite") {
      o.overwrite = value();
    } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
      throw EBrwlCompress("unknown option " + a);
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

// True when a file the command opens is named by a Windows path (members
// to extract are names inside the archive, not paths).
bool AnyWindowsPath(const Options& o) {
  const std::size_t files = o.positional[0] == "extract" ? std::min<std::size_t>(3, o.positional.size())
                                                         : o.positional.size();
  for (std::size_t i = 1; i < files; ++i) {
    if (HasDriveLetter(o.positional[i])) return true;
  }
  return false;
}

// Opens files for the reading commands: host files, or the prefix's files
// for Windows paths.
class Reader {
 public:
  explicit Reader(const Options& o) : options_(o) {}

  std::unique_ptr<ArchiveStream> Open(const std::string& path) {
    if (!HasDriveLetter(path)) {
      std::unique_ptr<HostFile> f = HostFile::Open(path, HostFile::Mode::kRead);
      if (!f) throw EBrwlCompress(Format(kCannotOpenCompressedFile, {path}));
      // A shared lock: an archive being added to is read once the writer is
      // done, never half-written.
      if (!f->Lock(false, kArchiveLockWaitMs)) throw EBrwlCompress(Format(kArchiveInUse, {path}));
      return f;
    }
    WinResult<std::unique_ptr<File>> f = GetMachine().GetFileSystem().Open(
        path, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!f) throw EBrwlCompress(Format(kCannotOpenCompressedFile, {path}));
    if (!(*f)->Lock(false, kArchiveLockWaitMs)) throw EBrwlCompress(Format(kArchiveInUse, {path}));
    return std::make_unique<MachineFileStream>(std::move(*f));
  }

  // Opens disk file `disk` of the set whose first file is `path`; on a
  // removable drive the disk is put into the drive first.
  std::unique_ptr<ArchiveStream> OpenDisk(const std::string& path, int disk) {
    if (HasDriveLetter(path)) {
      FileSystem& files = GetMachine().GetFileSystem();
      if (files.GetDriveType(path[0]) == DriveType::kRemovable) {
        files.InsertDisk(path[0], disk).IgnoreError();
      }
    }
    return Open(DiskFileName(path, disk));
  }

  Machine& GetMachine() {
    if (!machine_) machine_ = std::make_unique<ToolMachine>(options_.prefix, true);
    return machine_->Get();
  }

 private:
  const Options& options_;
  std::unique_ptr<ToolMachine> machine_;
};

// Where the archive starts in `file`, and where it ends when an embedded
// image: --offset, else the trailer's image, else 0.
struct Placement {
  std::int64_t offset = 0;
  std::optional<std::int64_t> end;
};

Placement Locate(ArchiveStream& file, const Options& o) {
  if (o.offset) return {*o.offset, std::nullopt};
  std::optional<SelfExtractTrailer> t = ReadSelfExtractTrailer(file);
  if (!t || !TrailerFitsFile(*t, file.Size())) {
    if (!o.image.empty()) throw EBrwlCompress("the file is not self-extracting");
    return {};
  }
  bool setup = o.image == "setup" || (o.image.empty() && !t->HasFiles1());
  if (setup) return {t->Setup1Start, static_cast<std::int64_t>(t->Setup1End) + 1};
  if (!t->HasFiles1()) throw EBrwlCompress("the self-extracting file holds no files.1 image");
  return {t->Files1Start, static_cast<std::int64_t>(t->Files1End) + 1};
}

std::string IsoDate(double date) {
  if (!IsUsableFileDate(date)) return "?";
  DateTimeParts p = DecodeDateTime(date);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

// The archive's directory; a file that holds none is told in plain words
// instead of by the reading step that failed.
ArchiveDirectory ReadDirectoryOf(ArchiveStream& file, const Placement& at, const std::string& name) {
  try {
    return ReadArchiveDirectory(file, at.offset, at.end);
  } catch (const EBrwlCompress& e) {
    throw EBrwlCompress(name + " holds no archive, or a damaged one (" + e.what() + ")");
  }
}

int List(const Options& o) {
  if (o.positional.size() != 2) throw EBrwlCompress("list takes one ARCHIVE");
  Reader reader(o);
  std::unique_ptr<ArchiveStream> file = reader.Open(o.positional[1]);
  Placement at = Locate(*file, o);
  ArchiveDirectory dir = ReadDirectoryOf(*file, at, o.positional[1]);
  for (std::size_t i = 0; i < dir.headers.size(); ++i) {
    const TFileHeader& h = dir.headers[i];
    std::printf("%zu\t%d\t%d\t%d\t%s\t%s\t%s\n", i, h.FileID, h.FileSize, h.CompressedSize,
                IsoDate(h.FileDate).c_str(), h.FileVersion.c_str(), h.FileName.c_str());
  }
  return 0;
}

int Verify(const Options& o) {
  if (o.positional.size() != 2) throw EBrwlCompress("verify takes one ARCHIVE");
  const std::string& path = o.positional[1];
  Reader reader(o);
  // Disk 1 of a set on a removable drive holds the headers.
  std::unique_ptr<ArchiveStream> file =
      HasDriveLetter(path) &&
              reader.GetMachine().GetFileSystem().GetDriveType(path[0]) == DriveType::kRemovable
          ? reader.OpenDisk(path, 1)
          : reader.Open(path);
  Placement at = Locate(*file, o);
  ArchiveCheck check = VerifyArchive(*file, at.offset, at.end, [&](int disk) { return reader.OpenDisk(path, disk); });
  if (check.fault) {
    std::fprintf(stderr, "brimwell archive verify: %s: %s\n", check.fault->member.c_str(),
                 check.fault->reason.c_str());
    return 1;
  }
  std::printf("%zu members, %lld bytes: all sound\n", check.members, static_cast<long long>(check.bytes));
  return 0;
}

int Trailer(const Options& o) {
  if (o.positional.size() != 2) throw EBrwlCompress("trailer takes one FILE");
  Reader reader(o);
  std::unique_ptr<ArchiveStream> file = reader.Open(o.positional[1]);
  std::optional<SelfExtractTrailer> t = ReadSelfExtractTrailer(*file);
  if (!t) {
    std::printf("not self-extracting\n");
    return 0;
  }
  std::printf("Setup1Start\t%d\nSetup1End\t%d\nFiles1Start\t%d\nFiles1End\t%d\n", t->Setup1Start,
              t->Setup1End, t->Files1Start, t->Files1End);
  if (!TrailerFitsFile(*t, file->Size())) std::printf("warning: the images do not fit the file\n");
  return 0;
}

// The writing commands work through the archive component on a machine.
class Session {
 public:
  explicit Session(const Options& o)
      : tool_(o.prefix, AnyWindowsPath(o)),
        machine_(&tool_.Get()),
        versions_(nullptr, *machine_),
        compress_(nullptr) {
    compress_.SetServices({machine_, &versions_, &app_, {}});
    // Disk files on a removable drive: put the wanted disk in the drive.
    compress_.OnNewDisk = [this](TBrwlCompress&, int disk, std::string& path) {
      if (!path.empty() &&
          machine_->GetFileSystem().GetDriveType(path[0]) == DriveType::kRemovable) {
        machine_->GetFileSystem().InsertDisk(path[0], disk).IgnoreError();
        std::fprintf(stderr, "disk %d in drive %c:\n", disk, path[0]);
      }
    };
  }
  Machine& machine() { return *machine_; }
  TBrwlCompress& compress() { return compress_; }

 private:
  ToolMachine tool_;  // never makes a prefix of the user's
  Machine* machine_;
  HeadlessApplication app_;
  TVersionResource versions_;
  TBrwlCompress compress_;
};

TCompressionLevel ParseLevel(const std::string& s) {
  if (s == "none") return colNone;
  if (s == "fastest") return colFastest;
  if (s == "default") return colDefault;
  if (s == "max") return colMax;
  throw EBrwlCompress("--level is none, fastest, default or max");
}

int Create(const Options& o, bool append) {
  if (o.positional.size() < 3 || (append && o.positional.size() != 3)) {
    throw EBrwlCompress(append ? "add takes ARCHIVE FILE" : "create takes ARCHIVE FILE...");
  }
  Session s(o);
  TBrwlCompress& c = s.compress();
  c.SetCompressionLevel(ParseLevel(o.level));
  c.SetCompressedFile(s.machine().GetPaths().FullPath(o.positional[1]));
  c.SetFilesToProcessLines({o.positional.begin() + 2, o.positional.end()});
  c.Compress(append, o.id);
  std::printf("%d members in %s\n", c.FileCount(), c.CompressedFile().c_str());
  return 0;
}

int ExtractMembers(const Options& o) {
  if (o.positional.size() < 3) throw EBrwlCompress("extract takes ARCHIVE DIR [MEMBER...]");
  Session s(o);
  TBrwlCompress& c = s.compress();
  std::optional<TOverwriteType> policy;
  for (std::size_t i = 0; i < kOverwriteTypeInfo.names.size(); ++i) {
    if (kOverwriteTypeInfo.names[i] == o.overwrite) policy = static_cast<TOverwriteType>(i);
  }
  if (!policy) throw EBrwlCompress("unknown --overwrite " + o.overwrite);
  c.SetOverwrite(*policy);
  const std::string archive = s.machine().GetPaths().FullPath(o.positional[1]);
  c.SetCompressedFile(archive);
  // A set on a removable drive is read starting with disk 1.
  if (s.machine().GetFileSystem().GetDriveType(archive[0]) == DriveType::kRemovable) {
    s.machine().GetFileSystem().InsertDisk(archive[0], 1).IgnoreError();
  }
  {
    WinResult<std::unique_ptr<File>> f = s.machine().GetFileSystem().Open(
        archive, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!f) throw EBrwlCompress(Format(kCannotOpenCompressedFile, {archive}));
    MachineFileStream stream(std::move(*f));
    c.SetOffset(static_cast<std::int32_t>(Locate(stream, o).offset));
  }
  std::vector<std::string> members(o.positional.begin() + 3, o.positional.end());
  if (members.empty()) {
    for (int i = 0; i < c.FileCount(); ++i) members.push_back(c.GetFileHeaders(i).FileName);
  }
  if (!o.as.empty() && members.size() != 1) throw EBrwlCompress("--as needs exactly one MEMBER");
  c.SetExtractDirectory(s.machine().GetPaths().FullPath(o.positional[2]));
  c.ExtractAs = o.as;
  c.SetFilesToProcessLines(members);
  c.Extract();
  if (c.Abort()) return 1;
  std::printf("%zu members to %s\n", members.size(), c.ExtractDirectory().c_str());
  return 0;
}

int Split(const Options& o) {
  if (o.positional.size() != 3) throw EBrwlCompress("split takes ARCHIVE DRIVE");
  Session s(o);
  TBrwlCompress& c = s.compress();
  const std::string archive = s.machine().GetPaths().FullPath(o.positional[1]);
  std::string drive = o.positional[2];
  if (drive.size() < 2 || drive[1] != ':')
    throw EBrwlCompress("DRIVE is a drive letter such as A:");
  drive = drive.substr(0, 2) + "\\";
  c.SetCompressedFile(archive);
  {
    WinResult<std::unique_ptr<File>> f = s.machine().GetFileSystem().Open(
        archive, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!f) throw EBrwlCompress(Format(kCannotOpenCompressedFile, {archive}));
    MachineFileStream stream(std::move(*f));
    c.SetOffset(static_cast<std::int32_t>(Locate(stream, o).offset));
  }
  if (s.machine().GetFileSystem().GetDriveType(drive[0]) == DriveType::kRemovable) {
    s.machine().GetFileSystem().InsertDisk(drive[0], 1).IgnoreError();
  }
  c.SplitToDisks(drive, "files.1");
  if (c.Abort()) return 1;
  std::printf("%d members split from %s onto %s\n", c.FileCount(), archive.c_str(), drive.c_str());
  return 0;
}

}  // namespace

int RunArchive(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  Options o = Parse(args);
  const std::string verb = o.positional.empty() ? "" : o.positional[0];
  if (verb == "create") return Create(o, false);
  if (verb == "add") return Create(o, true);
  if (verb == "list") return List(o);
  if (verb == "extract") return ExtractMembers(o);
  if (verb == "verify") return Verify(o);
  if (verb == "split") return Split(o);
  if (verb == "trailer") return Trailer(o);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace brimwell::cli
