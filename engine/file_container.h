// TFileContainer: a file-related container of installable files and further
// file containers (the file groups and the driver). While it installs its
// helpers it tracks the progress of the pass (TotalBytes, DoneBytes) and
// handles the information events its files send up, firing its own events
// and the component calls that the progress windows receive, before passing
// each event on to its own container.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/file_related.h"

namespace brimwell {

class TCustomInstallFile;
class TFileStatusParameter;
class TList;

// DoInformationEventControl's refusals of a wrong parameter object.
inline constexpr char kNilPO[] = "%s got a nil PO parameter";
inline constexpr char kPONotTList[] = "DoInformationEventControl--PO is not a TList object";
inline constexpr char kPONotEnoughItems[] = "DoInformationEventControl--Not engouh parameters for status event";
inline constexpr char kPOBadFirst[] = "DoInformationEventControl says bad first parameter";
inline constexpr char kPOBadSecond[] = "DoInformationEventControl says bad second parameter";
inline constexpr char kPONotInstallFile[] = "DoInformationEventControl parameter is not TInstallFile";
inline constexpr char kPOBadDiskItem[] = "DoInformationEventControl says bad %d parameter";
inline constexpr char kPONotDownloadStatus[] = "The PO object passed to %s is not a TDownloadStatusParameter object";

enum class RunState { kIdle = 0, kCompressing = 1, kInstalling = 2, kCopying = 3 };

// What RunByKind starts.
enum class RunKind { kCompress = 1, kProcess = 2, kCopyFiles = 3 };

// The option bits of Compress. The build passes coRelocate + coBuild +
// coForceNetFilesLocal + coCompressExcluded for a traditional distribution,
// coRelocate + coBuild + coCompressExcluded for a traditional one with net
// files and coRelocate + coBuild + coForceFilesNet + coCompressExcluded for
// a web distribution.
enum TCompressOption : unsigned {
  // Archives named by absolute paths move below the container's archive
  // directory.
  coRelocate = 2,
  // Marks a build; nothing in the walk depends on it.
  coBuild = 4,
  // No file goes to a net archive.
  coForceNetFilesLocal = 8,
  // Every file goes to a net archive.
  coForceFilesNet = 16,
  // Components left out are compressed too and counted in the total.
  coCompressExcluded = 32,
};

inline constexpr char kBothNetOptions[] = "Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress";
inline constexpr char kCannotDeleteArchive[] = "%s cannot delete the archive file %s";

// Files and bytes a run would install.
struct SelectionTotals {
  int files = 0;
  std::int64_t bytes = 0;
};

class TFileContainer : public TFileRelated {
  BRIMWELL_CLASS_INFO()

 public:
  using TInstallFileStatusEvent =
      std::function<void(TCustomInstallFile* file, int file_percent_done, int total_percent_done)>;
  using TInstallFileNewDiskEvent = std::function<void(TCustomInstallFile* file, int new_disk, std::string& path)>;
  using TInstallFileNotifyEvent = std::function<void(TCustomInstallFile* file)>;
  using TAfterInstallObjectsEvent = std::function<void(TInstallContainer* container, bool was_aborted)>;

  explicit TFileContainer(TComponent* owner);
  // Frees its installable files.
  ~TFileContainer() override;

  int ComponentType() const override;

  // Progress of the current pass, in bytes (64-bit, so large products do
  // not wrap).
  std::int64_t TotalBytes() const { return total_bytes_; }
  void SetTotalBytes(std::int64_t bytes) { total_bytes_ = bytes; }
  std::int64_t DoneBytes() const { return done_bytes_; }
  void SetDoneBytes(std::int64_t bytes) { done_bytes_ = bytes; }
  bool AllowChangeDir() const { return allow_change_dir_; }
  void SetAllowChangeDir(bool allow) { allow_change_dir_ = allow; }
  bool AllowChoice() const { return allow_choice_; }
  void SetAllowChoice(bool allow) { allow_choice_ = allow; }
  const std::vector<std::string>& Description() const { return description_; }
  void SetDescription(const std::vector<std::string>& lines) { description_ = lines; }
  const std::string& GroupName() const { return group_name_; }
  void SetGroupName(const std::string& name) { group_name_ = name; }
  brimwell::RunState GetRunState() const { return run_state_; }
  void SetRunState(brimwell::RunState state) { run_state_ = state; }

  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;
  TInstallFileNotifyEvent OnReplacing;
  TAfterInstallObjectsEvent OnAfterInstallObjects;
  TInstallContainerNotifyEvent OnBeforeInstallObjects;

  // A file needs the next disk: OnNewDisk may change the path (the request
  // then counts as handled); component call -993 with `disk_request`
  // ([file, TDiskParameter]).
  virtual void NewDisk(TCustomInstallFile* file, TList& disk_request);
  // A file is about to replace its target: OnReplacing, component call -997.
  virtual void Replacing(TCustomInstallFile* file);
  // File progress: OnStatus, component call -998.
  virtual void Status(TCustomInstallFile* file, TFileStatusParameter& status);
  // Bytes of the selected files (every file when `all`) and, when
  // `recursive`, of the selected sub-containers, walked the same way. A
  // sub-container that is not selected never counts: nothing below it is
  // installed.
  virtual std::int64_t TotalSize(bool all, bool recursive);
  // Runs Compress (with `options`), Process or CopyFiles.
  virtual void RunByKind(RunKind kind, unsigned options = 0);
  // Copies the source files uncompressed to their destinations, with
  // progress: the own files, then each sub-container. A container left out
  // copies nothing.
  virtual void CopyFiles();
  // Frees every installable file among the helpers.
  virtual void FreeFileHelpers();
  // Build time: compresses every file below into the archive the options
  // and the archive rules choose (see file_container_build.cc). Throws
  // kBothNetOptions before anything is written, kCannotDeleteArchive, and
  // the files' errors; every helper's archive settings and Include are
  // restored however the walk ends.
  virtual void Compress(unsigned options);
  // The installable file whose source path is `source_path` (ignoring
  // case), among the own files; nullptr when none.
  virtual TCustomInstallFile* FindFile(const std::string& source_path);
  // Compressed bytes, walked like TotalSize(all, true).
  virtual std::int64_t ArchiveSizeTotal(bool all);
  // The archive the container's files are read from in this run: its
  // downloaded copy when there is one, else its archive path.
  virtual std::string LocalArchive();
  std::int64_t OwnFilesSize() { return TotalSize(false, false); }
  std::int64_t AllFilesSize(bool all) { return TotalSize(all, true); }
  // Reads the archive information of each file, then of each sub-container.
  virtual void ReadArchiveInfo();
  // Reads size, date and version of every own source file, then of every
  // sub-container's (build time).
  virtual void ReadFileInfo();
  // True when the driver's distribution is not traditional (or there is no
  // driver) and an included file is Net without a location of its own.
  virtual bool HasNetFiles();
  // Removes and frees, from last to first, every own file whose source
  // does not exist; the others keep their order.
  void RemoveMissingFiles();

  // What a run of type `type` would install of the own files: nothing when
  // this container or one above it is left out for that type.
  SelectionTotals OwnFilesFor(TInstallType type) const;

  // Installs the helpers (see the run of the driver) with progress totals.
  void InstallObjects() override;
  void DoInformationEventControl(TInstallContainer* sender, int code, TPersistent* po) override;

 protected:
  // Archives this build walk has started: rebuilding one of them again
  // would drop what earlier helpers put there.
  struct BuildWalk;
  void CompressWalk(unsigned options, BuildWalk& walk);

 private:
  void CompressHelper(TFileRelated& helper, unsigned options, const std::string& net_archive, BuildWalk& walk);

  std::int64_t total_bytes_ = 0;
  std::int64_t done_bytes_ = 0;
  bool allow_change_dir_ = true;
  bool allow_choice_ = true;
  std::vector<std::string> description_;
  std::string group_name_;
  brimwell::RunState run_state_ = brimwell::RunState::kIdle;
};

// What a run of each install type the driver offers would install, one
// line per file container from `root` down (depth first, in helper order):
// "Documentation (Docs): itFull 2 files, 1234 bytes; itCompact 0 files, 0 bytes".
// The sizes are the files' FileSize as known now.
std::vector<std::string> InstallTypeReport(TFileContainer& root, TInstallTypeSet offered);

}  // namespace brimwell
