// A directory resolved once for writing many files into it, as an
// extraction does: its path is translated when it is opened, and each name
// is looked up and each file created relative to it. Names are single path
// components, matched without case as everywhere on the machine.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/win_error.h"

namespace brimwell {

class TargetDirectory {
 public:
  TargetDirectory() = default;
  TargetDirectory(const TargetDirectory&) = delete;
  TargetDirectory& operator=(const TargetDirectory&) = delete;
  virtual ~TargetDirectory() = default;

  // The full Windows path of the directory, without trailing backslash
  // (a drive root keeps its backslash).
  virtual const std::string& Path() const = 0;
  // True for an existing file (not a directory) of that name in it.
  virtual bool FileExists(std::string_view name) = 0;
  // As FileSystem::CreateReplacement for the file `name` in the directory.
  virtual WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view name) = 0;
  // True when Path() still names the directory held, so that it may serve
  // again later: false once the directory was removed, renamed, made anew
  // or its drive mapped elsewhere.
  virtual bool StillAtPath() = 0;

  // A new file without a name, to be written and dated ahead of the
  // decision whether and under which name it is wanted, on any thread; the
  // directory shows it only once Adopt has named it, and nothing is left if
  // it is dropped. nullptr where this directory makes no such files (then
  // CreateReplacement serves). Safe to call from another thread while this
  // object serves its own.
  virtual std::unique_ptr<File> CreateUnnamed() { return nullptr; }
  // `file`, made by CreateUnnamed of this directory or another one on the
  // same file system, as the new version of the file `name` here: what
  // CreateReplacement gives, with the contents and date already written.
  // An error (and `file` dropped) when it cannot be named here.
  virtual WinResult<std::unique_ptr<NewFile>> Adopt(std::unique_ptr<File> file, std::string_view name);
};

// The existing directory `path` of `files` for writing many files;
// kErrorPathNotFound when it is missing. A directory removed afterwards makes
// its creations fail. The machine's own file system resolves the directory
// once; any other (a wrapper standing in for it) is asked through its
// FileExists and CreateReplacement with each full path, so that what it
// overrides applies.
WinResult<std::unique_ptr<TargetDirectory>> OpenTargetDirectory(FileSystem& files,
                                                                std::string_view path);

// True when `path` still names the very file that `file` (opened by
// `files`) has open, unchanged since: the same file, size and last-write
// time. Lets a caller keep a file open over many uses instead of opening
// its path again each time. False whenever it cannot tell, as for any file
// system other than the machine's own (a wrapper standing in for it).
bool IsSameFile(FileSystem& files, File& file, std::string_view path);

}  // namespace brimwell
