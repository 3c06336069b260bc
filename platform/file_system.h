// Files and directories of the machine, addressed by Windows paths, with the
// Win32 behaviour the engine relies on: sharing and files in use, last-write
// times in local time, attributes, unique temporary names, delayed moves at
// the next start, free bytes per drive and removable disks.
//
// Every path argument is a Windows path as Paths::ToHost accepts it (a host
// absolute path "/..." reads as Z:\...); an unmappable path throws EPathError.
// Expected failures return a WinStatus/WinResult with the Win32 error code
// GetLastError would give.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/date_time.h"
#include "platform/paths.h"
#include "platform/win_error.h"

namespace brimwell {

// File attributes (FILE_ATTRIBUTE_*).
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;

enum class FileAccess { kRead, kWrite, kReadWrite };

// What other openers may do while this handle is open (FILE_SHARE_*).
enum FileShare : std::uint32_t {
  kShareNone = 0,
  kShareRead = 1,
  kShareWrite = 2,
  kShareDelete = 4,
  kShareReadWrite = kShareRead | kShareWrite,  // "sharing for all" of the engine
  kShareAll = kShareRead | kShareWrite | kShareDelete,
};

enum class FileDisposition {
  kCreateNew,         // fails with kErrorFileExists when the file exists
  kCreateAlways,      // creates or truncates
  kOpenExisting,      // fails with kErrorFileNotFound / kErrorPathNotFound
  kOpenAlways,        // opens, or creates when missing
  kTruncateExisting,  // opens and truncates an existing file
};

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// MoveFileEx flags.
enum MoveFlags : std::uint32_t {
  kMoveNone = 0,
  kMoveReplaceExisting = 0x1,
  kMoveCopyAllowed = 0x2,
  kMoveDelayUntilReboot = 0x4,
};

// An open file. Closing is destruction. A handle keeps the file "in use" for
// every other opener and deleter as its share mode says.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Reads up to `size` bytes at the current position. 0 bytes at the end.
  virtual IoResult Read(void* buffer, std::size_t size) = 0;
  // Writes at the current position. On a full disk (or beyond the capacity of
  // a removable disk) fewer bytes are written and the error is
  // kErrorDiskFull, as WriteFile reports it.
  virtual IoResult Write(const void* data, std::size_t size) = 0;
  // Moves the position; returns the new position from the start.
  virtual WinResult<std::uint64_t> Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual WinResult<std::uint64_t> Position() = 0;
  virtual WinResult<std::uint64_t> Size() = 0;
  // Makes the current position the end of the file (SetEndOfFile).
  virtual WinStatus SetEndOfFile() = 0;
  virtual WinStatus Flush() = 0;
  // Last-write time in local time (days since 1899-12-30). Setting it through
  // an open handle survives later writes through the same handle only when
  // set after them, as on Windows.
  virtual WinResult<TDateTime> LastWriteTime() = 0;
  virtual WinStatus SetLastWriteTime(TDateTime time) = 0;
  // The Windows path the file was opened under.
  virtual const std::string& Path() const = 0;
  // Locks the whole file for this handle (LockFileEx over every byte):
  // `exclusive`, or shared with other shared locks. While another handle
  // (of this process or another) holds a lock in the way, waits up to
  // `wait_ms` milliseconds, then fails with kErrorLockViolation. The lock
  // goes with the handle, or with the process however it ends. It is
  // advisory: reads and writes through handles without a lock still work.
  virtual WinStatus Lock(bool exclusive, int wait_ms) = 0;
};

// A file written under a temporary name (or none, where the file system
// allows) in the directory of the file it is to become, so that the file at
// that name is replaced whole or not at all: dropped without Commit, the
// temporary file is removed and what was at the final name stays as it was.
class NewFile : public File {
 public:
  // Gives the file its final name, replacing what is there: a file, or a
  // link, which is replaced and never written through. Fails with
  // kErrorAccessDenied when the entry there is a directory or a read-only
  // file, kErrorSharingViolation when that file is in use. `executable`
  // adds the execute bits where the read bits are (a program). Afterwards
  // the file is closed; only Path() may be used.
  virtual WinStatus Commit(bool executable) = 0;
};

// The size and last-write time (local time) of a file.
struct FileSizeAndTime {
  std::uint64_t size = 0;
  TDateTime last_write_time = 0;
};

// One entry of a directory listing.
struct FindData {
  std::string name;  // as stored on disk
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  TDateTime last_write_time = 0;
};

class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  // --- Opening --------------------------------------------------------------

  // Opens or creates a file (CreateFile). Fails with kErrorSharingViolation
  // when an open handle's share mode (of this or another process) refuses
  // the access, kErrorAccessDenied for a directory or a read-only file opened
  // for writing, kErrorPathNotFound when the directory is missing.
  virtual WinResult<std::unique_ptr<File>> Open(std::string_view path, FileAccess access,
                                                std::uint32_t share,
                                                FileDisposition disposition) = 0;

  // Starts writing a new version of the file `path` (see NewFile), in the
  // directory of `path`, which must exist (kErrorPathNotFound otherwise).
  // Path() of the result is the full form of `path`.
  virtual WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view path) = 0;

  // --- Files ----------------------------------------------------------------

  // True for an existing file (not a directory).
  virtual bool FileExists(std::string_view path) = 0;
  // True for an existing directory (a drive root is one).
  virtual bool DirectoryExists(std::string_view path) = 0;
  // Deletes a file. Fails with kErrorSharingViolation when the file is in
  // use (another process holds a lock on it or executes it, or a handle
  // without kShareDelete is open), kErrorAccessDenied for a read-only file
  // or a directory, kErrorFileNotFound.
  virtual WinStatus DeleteFile(std::string_view path) = 0;
  // Copies a file with its last-write time and attributes (CopyFile).
  // `fail_if_exists` refuses an existing target with kErrorFileExists. A
  // target on a full (or removable) disk fails with kErrorDiskFull and is
  // removed.
  virtual WinStatus CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) = 0;
  // Renames or moves a file or directory (MoveFile): fails with
  // kErrorAlreadyExists when the target exists.
  virtual WinStatus MoveFile(std::string_view from, std::string_view to) = 0;
  // MoveFileEx. kMoveReplaceExisting replaces a target file; kMoveCopyAllowed
  // lets a move to another drive copy and delete. kMoveDelayUntilReboot
  // records the move (an empty `to` records a deletion) for the next start,
  // kept as Windows keeps it: the PendingFileRenameOperations value under
  // HKLM\SYSTEM\CurrentControlSet\Control\Session Manager. Delayed moves are
  // an NT facility: on the Windows 95 family and Win32s they fail with
  // kErrorCallNotImplemented (the engine uses WININIT.INI there).
  virtual WinStatus MoveFileEx(std::string_view from, std::string_view to, std::uint32_t flags) = 0;
  // True when deleting the file now would fail because it is in use.
  virtual bool IsFileInUse(std::string_view path) = 0;

  virtual WinResult<std::uint64_t> FileSize(std::string_view path) = 0;
  // Last-write time in local time.
  virtual WinResult<TDateTime> LastWriteTime(std::string_view path) = 0;
  // FileSize and LastWriteTime from one look at the file, with FileSize's
  // errors (a directory has no size).
  virtual WinResult<FileSizeAndTime> SizeAndTime(std::string_view path) {
    WinResult<std::uint64_t> size = FileSize(path);
    if (!size) return WinResult<FileSizeAndTime>::Error(size.error());
    WinResult<TDateTime> time = LastWriteTime(path);
    if (!time) return WinResult<FileSizeAndTime>::Error(time.error());
    return FileSizeAndTime{*size, *time};
  }
  virtual WinStatus SetLastWriteTime(std::string_view path, TDateTime time) = 0;
  // kFileAttribute* bits. Read-only is the host's write permission;
  // hidden, system and archive are kept beside the file where the host file
  // system allows it.
  virtual WinResult<std::uint32_t> GetAttributes(std::string_view path) = 0;
  virtual WinStatus SetAttributes(std::string_view path, std::uint32_t attributes) = 0;

  // --- Directories ----------------------------------------------------------

  // Creates one directory; kErrorAlreadyExists when it exists,
  // kErrorPathNotFound when its parent is missing.
  virtual WinStatus CreateDirectory(std::string_view path) = 0;
  // Creates a directory with all missing levels (ForceDirectories). True when
  // it exists afterwards.
  virtual bool ForceDirectories(std::string_view path) = 0;
  // Removes an empty directory; kErrorDirNotEmpty otherwise.
  virtual WinStatus RemoveDirectory(std::string_view path) = 0;
  // The entries of a directory matching a mask (FindFirstFile):
  // "C:\DIR\*.*". "." and ".." are not listed. Sorted by name without case.
  // kErrorPathNotFound when the directory is missing; an empty list when
  // nothing matches.
  virtual WinResult<std::vector<FindData>> FindFiles(std::string_view pattern) = 0;

  // --- Machine directories and names ----------------------------------------

  // "C:\WINDOWS" (no trailing backslash).
  virtual std::string WindowsDirectory() = 0;
  // "C:\WINDOWS\SYSTEM32" on NT, "C:\WINDOWS\SYSTEM" on the Windows 95
  // family and Win32s.
  virtual std::string SystemDirectory() = 0;
  // The temporary directory with its trailing backslash, as GetTempPath
  // answers ("C:\WINDOWS\TEMP\"). It exists.
  virtual std::string TempPath() = 0;
  // GetTempFileName: `dir` + "\" + the first three characters of `prefix` +
  // four upper-case hex digits + ".tmp". With `unique` 0 a number is chosen
  // for which no file exists and the file is created (empty) — the name is
  // unique among concurrent callers; with another `unique` the name is made
  // from it and nothing is created. kErrorPathNotFound for a missing `dir`.
  virtual WinResult<std::string> GetTempFileName(std::string_view dir, std::string_view prefix,
                                                 unsigned unique) = 0;
  // The short form of an existing path. The prefix's volumes have no 8.3
  // names, so it is the path as given (its full form); kErrorFileNotFound or
  // kErrorPathNotFound when it does not exist.
  virtual WinResult<std::string> GetShortPathName(std::string_view path) = 0;
  // The long form of an existing path, each component as stored on disk.
  virtual WinResult<std::string> GetLongPathName(std::string_view path) = 0;

  // --- Drives ---------------------------------------------------------------

  // Free bytes for the caller on drive `drive` (0 the current drive, 1 A:,
  // 2 B:, 3 C:, ...), as DiskFree answers; -1 when the drive cannot be read
  // (unmapped, no disk in the removable drive). A removable drive answers
  // its disk's remaining capacity.
  virtual std::int64_t DiskFree(int drive) = 0;
  virtual std::int64_t DiskSize(int drive) = 0;
  virtual DriveType GetDriveType(char letter) = 0;

  // Removable drives: each disk is a numbered folder of the prefix
  // (<prefix>/disks/<letter>/<n>) holding at most the drive's capacity
  // (1,457,664 bytes unless configured). InsertDisk makes the drive show disk
  // `disk` (1 and up; the folder is created empty when new); the change is
  // seen by every process using the prefix. kErrorInvalidDrive for a letter
  // that is not removable.
  virtual WinStatus InsertDisk(char letter, int disk) = 0;
  // Takes the disk out: the drive then answers kErrorNotReady.
  virtual WinStatus EjectDisk(char letter) = 0;
  // The disk in the drive; nullopt when empty or not removable.
  virtual std::optional<int> InsertedDisk(char letter) = 0;
  // The capacity of each disk of the drive in bytes; 0 when not removable.
  virtual std::int64_t DiskCapacity(char letter) = 0;
};

}  // namespace brimwell
