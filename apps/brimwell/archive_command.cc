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
#include <map>
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
#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell archive create|add ARCHIVE PATH... [--base DIR | --full-names] [--id N]\n"
    "                [--level none|fastest|default|max]\n"
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
    "Paths are host paths (relative ones to the current directory) or Windows\n"
    "paths of the prefix (C:\\..., A:\\...).\n"
    "\n"
    "create and add take files and directories (a directory adds every file\n"
    "below it, as tar does). A member added from a host path is named by its\n"
    "path relative to the base directory: --base DIR, else the directory\n"
    "holding every PATH given (so 'create a.1 docs' names its members\n"
    "docs\\readme.txt, ...). With --full-names, and for Windows paths, a member\n"
    "is named by its full Windows path (Z:\\... for a host file), as an engine's\n"
    "own build names the files it finds again by those names. extract finds\n"
    "a MEMBER by its name (\\ or / between directories, letter case ignored)\n"
    "and writes it below DIR in the member's relative directory; without\n"
    "MEMBER it writes every member.\n"
    "\n"
    "A self-extracting program is read through its trailer: its files.1 image by\n"
    "default, its SETUP.1 image with --image setup; --offset N names any position.\n"
    "list prints one line per member: index, FileID, FileSize, CompressedSize,\n"
    "FileDate, FileVersion and FileName, separated by tabs. verify inflates every\n"
    "member and checks sizes and zlib checksums (exit status 1 naming the member\n"
    "at fault). split writes the archive as a multi-volume set onto the removable\n"
    "DRIVE, inserting disks as they are needed.\n";

struct Options {
  std::vector<std::string> positional;
  std::string prefix;
  std::optional<std::int64_t> offset;
  std::string image;
  std::string level = "max";
  std::int32_t id = 0;
  std::string as;
  std::string overwrite = "owAlways";
  std::string base;
  bool full_names = false;
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
    } else if (a == "--base") {
      o.base = value();
    } else if (a == "--full-names") {
      o.full_names = true;
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

// `path` made absolute against the current directory, with "." and ".."
// steps resolved by name and no '/' at the end.
std::string HostAbsolute(const std::string& path) {
  std::string joined = path;
  if (!path.starts_with('/')) {
    host::Result<std::string> cwd = host::Env::Default().CurrentDirectory();
    if (!cwd) throw EBrwlCompress("cannot read the current directory");
    joined = host::JoinPath(*cwd, path);
  }
  std::vector<std::string> steps;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string step = joined.substr(start, end - start);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& step : steps) out += "/" + step;
  return out.empty() ? "/" : out;
}

// A host path given on the command line made absolute; a Windows path
// stays as it is.
std::string CommandPath(const std::string& path) { return HasDriveLetter(path) ? path : HostAbsolute(path); }

// Every file below the host directory `dir`, in name order, depth first.
void AddFilesBelow(const std::string& dir, std::vector<std::string>& files) {
  host::Env& env = host::Env::Default();
  host::Result<std::vector<std::string>> names = env.ListDirectory(dir);
  if (!names) throw EBrwlCompress(Format(kCannotOpenTheFile, {dir}));
  std::sort(names->begin(), names->end());
  for (const std::string& name : *names) {
    const std::string path = host::JoinPath(dir, name);
    if (env.DirectoryExists(path)) {
      AddFilesBelow(path, files);
    } else {
      files.push_back(path);
    }
  }
}

// The longest directory holding every path of `paths` (host paths).
std::string CommonParent(const std::vector<std::string>& paths) {
  std::string common = host::ParentDirectory(paths.front());
  for (const std::string& p : paths) {
    while (common != "/" && !(p.starts_with(common) && p.size() > common.size() && p[common.size()] == '/')) {
      common = host::ParentDirectory(common);
    }
  }
  return common;
}

int Create(const Options& o, bool append) {
  if (o.positional.size() < 3) {
    throw EBrwlCompress(append ? "add takes ARCHIVE PATH..." : "create takes ARCHIVE PATH...");
  }
  // Host paths: directories are replaced by the files below them, and each
  // member is named relative to the base directory.
  std::vector<std::string> given;
  std::vector<std::string> host_paths;
  for (auto it = o.positional.begin() + 2; it != o.positional.end(); ++it) {
    const std::string path = CommandPath(*it);
    given.push_back(path);
    if (!HasDriveLetter(path)) host_paths.push_back(path);
  }
  std::string base;
  if (!host_paths.empty()) base = o.base.empty() ? CommonParent(host_paths) : HostAbsolute(o.base);
  const std::string base_slash = base == "/" ? base : base + "/";
  std::vector<std::string> sources;
  for (const std::string& path : given) {
    if (HasDriveLetter(path)) {
      sources.push_back(path);
      continue;
    }
    if (!path.starts_with(base_slash)) throw EBrwlCompress(path + " is not below the base directory " + base);
    if (host::Env::Default().DirectoryExists(path)) {
      AddFilesBelow(path, sources);
    } else {
      sources.push_back(path);
    }
  }
  if (sources.empty()) throw EBrwlCompress("no files to add");

  Session s(o);
  TBrwlCompress& c = s.compress();
  Paths& paths = s.machine().GetPaths();
  c.SetCompressionLevel(ParseLevel(o.level));
  c.SetCompressedFile(paths.FullPath(CommandPath(o.positional[1])));
  std::vector<std::string> lines;
  std::map<std::string, std::string> names;  // full machine path -> member name
  for (const std::string& source : sources) {
    lines.push_back(paths.FullPath(source));
    if (!HasDriveLetter(source) && !o.full_names) {
      std::string name = source.substr(base_slash.size());
      std::replace(name.begin(), name.end(), '/', '\\');
      names[lines.back()] = name;
    }
  }
  c.StoredName = [&](const std::string& full) {
    auto found = names.find(full);
    return found != names.end() ? found->second : full;
  };
  c.SetFilesToProcessLines(lines);
  c.Compress(append, o.id);
  std::printf("%d members in %s\n", c.FileCount(), c.CompressedFile().c_str());
  return 0;
}

// The directory part of a member's relative name ("docs\\a.txt" gives
// "docs"); empty for a name without one, and for a full path or a name
// with an empty, "." or ".." step, which never leave the extraction
// directory.
std::string RelativeDirectory(const std::string& name) {
  const std::size_t slash = name.rfind('\\');
  if (slash == std::string::npos || name.starts_with('\\') || name.find(':') != std::string::npos) return {};
  const std::string dir = name.substr(0, slash);
  std::size_t start = 0;
  while (start <= dir.size()) {
    std::size_t end = dir.find('\\', start);
    if (end == std::string::npos) end = dir.size();
    const std::string step = dir.substr(start, end - start);
    if (step.empty() || step == "." || step == "..") return {};
    start = end + 1;
  }
  return dir;
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
  const std::string archive = s.machine().GetPaths().FullPath(CommandPath(o.positional[1]));
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
  for (std::string& m : members) std::replace(m.begin(), m.end(), '/', '\\');
  if (members.empty()) {
    for (int i = 0; i < c.FileCount(); ++i) members.push_back(c.GetFileHeaders(i).FileName);
  }
  if (!o.as.empty() && members.size() != 1) throw EBrwlCompress("--as needs exactly one MEMBER");
  // A member named by a relative path goes into that directory below DIR;
  // one named by a full path (or reaching above DIR) goes into DIR itself.
  const std::string dir = s.machine().GetPaths().FullPath(CommandPath(o.positional[2]));
  std::vector<std::pair<std::string, std::vector<std::string>>> groups;
  for (const std::string& m : members) {
    const int index = c.IndexOfFileName(m);
    std::string sub;
    if (index >= 0) sub = RelativeDirectory(c.GetFileHeaders(index).FileName);
    auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == sub; });
    if (group == groups.end()) group = groups.insert(groups.end(), {sub, {}});
    group->second.push_back(m);
  }
  for (const auto& [sub, names] : groups) {
    c.SetExtractDirectory(sub.empty() ? dir : dir + "\\" + sub);
    c.ExtractAs = o.as;
    c.SetFilesToProcessLines(names);
    c.Extract();
    if (c.Abort()) return 1;
  }
  std::printf("%zu members to %s\n", members.size(), dir.c_str());
  return 0;
}

int Split(const Options& o) {
  if (o.positional.size() != 3) throw EBrwlCompress("split takes ARCHIVE DRIVE");
  Session s(o);
  TBrwlCompress& c = s.compress();
  const std::string archive = s.machine().GetPaths().FullPath(CommandPath(o.positional[1]));
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
