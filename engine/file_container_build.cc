// A file container's build-time and bookkeeping operations: Compress, which
// decides into which archive each file below goes; CopyFiles; reading the
// source files' information; the size totals the pages show; finding and
// dropping files.
//
// Compress walks the tree once. For each file-related helper it saves the
// helper's archive settings (AddToArchive, ArchiveFile, ArchiveFileType)
// and Include, points the helper at the archive its rules choose, lets it
// compress itself (a sub-container walks on with the same options), and
// restores the settings, also when an error ends the walk. An archive that
// the walk has already started is never rebuilt again by a later helper:
// two files naming the same archive both end up in it.
#include <functional>
#include <optional>
#include <unordered_set>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/install.h"
#include "engine/install_file_group.h"
#include "engine/net_location_access.h"
#include "engine/standard_path_specifiers.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/text_case.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {

struct TFileContainer::BuildWalk {
  // Upper-cased Windows paths of the archives written or emptied so far.
  std::unordered_set<std::string> started;
  // The sources are read once for the whole tree, by the container the
  // walk starts at.
  bool info_read = false;
  bool Started(const std::string& path) const { return started.contains(AsciiUpperCase(path)); }
  void Start(const std::string& path) { started.insert(AsciiUpperCase(path)); }
};

namespace {

// Sets RunState for the life of the guard and ends with the pass-done call,
// however the pass ends.
class PassScope {
 public:
  PassScope(TFileContainer& container, RunState state) : container_(container) { container_.SetRunState(state); }
  ~PassScope() {
    container_.SetRunState(RunState::kIdle);
    try {
      container_.BroadcastComponentCall(kCallPassDone, nullptr);
    } catch (...) {
      // A receiver's failure must not replace the error that ended the pass.
    }
  }

 private:
  TFileContainer& container_;
};

// A helper's archive settings and Include, put back when the guard ends.
class SavedSettings {
 public:
  explicit SavedSettings(TFileRelated& helper)
      : helper_(helper),
        add_(helper.AddToArchive()),
        file_(helper.ArchiveFile()),
        type_(helper.ArchiveFileType()),
        include_(helper.Include()) {}
  ~SavedSettings() {
    helper_.SetAddToArchive(add_);
    try {
      helper_.SetArchiveFileType(type_);
    } catch (const std::exception&) {
      // The value was accepted before the walk; it is still right.
    }
    helper_.SetArchiveFile(file_);
    helper_.SetInclude(include_);
  }

 private:
  TFileRelated& helper_;
  TlzhCommand add_;
  std::string file_;
  TCustomPathSpecifier* type_;
  bool include_;
};

bool IsBlank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

// The part of a Windows path after its drive ("C:\a\b.1" -> "\a\b.1").
std::string WithoutDrive(const std::string& path) {
  const std::size_t colon = path.find(':');
  return colon == std::string::npos ? path : path.substr(colon + 1);
}

}  // namespace

// --- Size totals and look-ups ---------------------------------------------------

std::int64_t TFileContainer::TotalSize(bool all, bool recursive) {
  std::int64_t total = 0;
  for (TInstallContainer* h : HelperList()) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) {
      if (all || file->IsSelected()) total += file->FileSize();
    } else if (auto* sub = dynamic_cast<TFileContainer*>(h); sub != nullptr && recursive && sub->IsSelected()) {
      total += sub->TotalSize(all, true);
    }
  }
  return total;
}

std::int64_t TFileContainer::ArchiveSizeTotal(bool all) {
  std::int64_t total = 0;
  for (TInstallContainer* h : HelperList()) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) {
      if (all || file->IsSelected()) total += file->CompressedSize();
    } else if (auto* sub = dynamic_cast<TFileContainer*>(h); sub != nullptr && sub->IsSelected()) {
      total += sub->ArchiveSizeTotal(all);
    }
  }
  return total;
}

SelectionTotals TFileContainer::OwnFilesFor(TInstallType type) const {
  SelectionTotals totals;
  // Left out here or above: nothing below is installed.
  std::unordered_set<const TInstallContainer*> seen;
  for (const TInstallContainer* c = this; c != nullptr && seen.insert(c).second;) {
    if (!SelectedFor(c->Include(), c->InstallTypes(), type)) return totals;
    auto* object = dynamic_cast<const TInstallObject*>(c);
    c = object != nullptr ? object->Container() : nullptr;
  }
  for (TInstallContainer* h : HelperList()) {
    auto* file = dynamic_cast<TCustomInstallFile*>(h);
    if (file == nullptr || !SelectedFor(file->Include(), file->InstallTypes(), type)) continue;
    ++totals.files;
    totals.bytes += file->FileSize();
  }
  return totals;
}

std::vector<std::string> InstallTypeReport(TFileContainer& root, TInstallTypeSet offered) {
  const std::vector<TInstallType> types = OfferedInstallTypes(offered);
  std::vector<std::string> lines;
  std::unordered_set<const TFileContainer*> seen;
  std::function<void(TFileContainer&)> walk = [&](TFileContainer& c) {
    if (!seen.insert(&c).second) return;
    std::string line;
    if (dynamic_cast<TCustomInstall*>(&c) != nullptr || c.GroupName().empty()) {
      line = c.DisplayName() + " (own files)";
    } else {
      // A group the developer never named is known by its component name.
      const bool unnamed = c.GroupName() == TInstallFileGroup::kUnnamedGroup || c.GroupName() == c.Name();
      line = unnamed ? c.DisplayName() : c.GroupName() + " (" + c.DisplayName() + ")";
    }
    line += ":";
    for (std::size_t i = 0; i < types.size(); ++i) {
      const SelectionTotals t = c.OwnFilesFor(types[i]);
      line += (i == 0 ? " " : "; ") + InstallTypeName(types[i]) + " " + std::to_string(t.files) +
              (t.files == 1 ? " file, " : " files, ") + std::to_string(t.bytes) + " bytes";
    }
    lines.push_back(std::move(line));
    for (TInstallContainer* h : c.HelperList()) {
      if (auto* sub = dynamic_cast<TFileContainer*>(h)) walk(*sub);
    }
  };
  walk(root);
  return lines;
}

TCustomInstallFile* TFileContainer::FindFile(const std::string& source_path) {
  for (TInstallContainer* h : HelperList()) {
    auto* file = dynamic_cast<TCustomInstallFile*>(h);
    if (file != nullptr && SameText(file->SourcePath(), source_path)) return file;
  }
  return nullptr;
}

std::string TFileContainer::LocalArchive() { return ArchiveAvailable() ? LocalArchivePath() : GetArchivePath(); }

void TFileContainer::RemoveMissingFiles() {
  EngineContext* ctx = Context();
  if (ctx == nullptr) return;
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  const std::vector<TInstallContainer*> helpers = HelperList();
  for (auto it = helpers.rbegin(); it != helpers.rend(); ++it) {
    auto* file = dynamic_cast<TCustomInstallFile*>(*it);
    if (file == nullptr) continue;
    bool exists = false;
    try {
      exists = fs.FileExists(file->SourcePath());
    } catch (const EPlatformError&) {
      // A path the machine cannot map names no file.
    }
    if (!exists) delete file;  // it leaves the helper list itself
  }
}

void TFileContainer::ReadFileInfo() {
  EngineContext* ctx = Context();
  std::optional<ScopedCursor> cursor;
  if (ctx != nullptr) cursor.emplace(ctx->App(), Cursor::kHourGlass);
  for (TInstallContainer* h : std::vector<TInstallContainer*>(HelperList())) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) file->ReadSourceInfo();
  }
  for (TInstallContainer* h : std::vector<TInstallContainer*>(HelperList())) {
    if (auto* sub = dynamic_cast<TFileContainer*>(h)) sub->ReadFileInfo();
  }
}

// --- Passes -----------------------------------------------------------------------

void TFileContainer::RunByKind(RunKind kind, unsigned options) {
  switch (kind) {
    case RunKind::kCompress:
      Compress(options);
      break;
    case RunKind::kProcess:
      Process();
      break;
    case RunKind::kCopyFiles:
      CopyFiles();
      break;
  }
}

void TFileContainer::CopyFiles() {
  PassScope pass(*this, RunState::kCopying);
  if (OnBeforeProcess) OnBeforeProcess(this);
  if (!Include()) return;
  if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventContainerStarting, this);
  ReadFileInfo();
  SetTotalBytes(TotalSize(false, true));
  SetDoneBytes(0);
  for (TInstallContainer* h : std::vector<TInstallContainer*>(HelperList())) {
    auto* file = dynamic_cast<TCustomInstallFile*>(h);
    if (file == nullptr) continue;
    try {
      file->Copy();
    } catch (const EAbort&) {
      // A file left out stops its own copy quietly.
    }
  }
  for (TInstallContainer* h : std::vector<TInstallContainer*>(HelperList())) {
    if (auto* sub = dynamic_cast<TFileContainer*>(h)) sub->CopyFiles();
  }
  if (OnAfterProcess) OnAfterProcess(this);
  if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventContainerEnding, this);
}

void TFileContainer::Compress(unsigned options) {
  BuildWalk walk;
  CompressWalk(options, walk);
}

void TFileContainer::CompressWalk(unsigned options, BuildWalk& walk) {
  EngineContext* ctx = Context();
  if ((options & coForceNetFilesLocal) != 0 && (options & coForceFilesNet) != 0) {
    Raise<IEInstallContainer>(ctx, kBothNetOptions);
  }
  PassScope pass(*this, RunState::kCompressing);
  if (OnBeforeProcess) OnBeforeProcess(this);
  if (!Include()) return;
  if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventContainerStarting, this);
  if (!walk.info_read) {
    ReadFileInfo();
    walk.info_read = true;
  }
  const bool everything = (options & coCompressExcluded) != 0;
  // With the excluded components compressed too, every file below counts.
  std::function<std::int64_t(TFileContainer&)> all_below = [&](TFileContainer& c) {
    std::int64_t total = 0;
    for (TInstallContainer* h : c.HelperList()) {
      if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) total += file->FileSize();
      if (auto* sub = dynamic_cast<TFileContainer*>(h)) total += all_below(*sub);
    }
    return total;
  };
  SetTotalBytes(everything ? all_below(*this) : TotalSize(false, true));
  SetDoneBytes(0);

  // The container's own net archive, below its archive directory in the
  // location's mirror directory.
  const std::string archive_path = GetArchivePath();
  const std::string archive_dir = ExtractFileDir(archive_path);
  std::string net_archive;
  TComponent* location = FindNetLocation();
  NetLocationAccess* access = ctx != nullptr ? ctx->NetAccess() : nullptr;
  if (location != nullptr && access != nullptr) {
    net_archive = archive_dir + "\\" + access->RelativeMirrorPath(*location) + "\\" + Name() + ".1";
  } else if ((options & coForceNetFilesLocal) == 0) {
    Raise<IEInstallContainer>(ctx, kNoNetLocationFor, {DisplayName()});
  }

  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  auto delete_archive = [&](const std::string& path) {
    // An archive an earlier helper of this walk wrote into stays.
    if (IsBlank(path) || walk.Started(path)) return;
    bool exists = false;
    try {
      exists = fs.FileExists(path);
    } catch (const EPlatformError&) {
      Raise<IEInstallContainer>(ctx, kCannotDeleteArchive, {DisplayName(), path});
    }
    if (exists && !fs.DeleteFile(path).ok()) Raise<IEInstallContainer>(ctx, kCannotDeleteArchive, {DisplayName(), path});
    walk.Start(path);
  };
  bool has_files = false;
  for (TInstallContainer* h : HelperList()) has_files = has_files || dynamic_cast<TCustomInstallFile*>(h) != nullptr;
  const bool net_files = (options & coForceNetFilesLocal) == 0 &&
                         (HasNetFiles() || ((options & coForceFilesNet) != 0 && has_files));
  // The archive the own files are written into is the one emptied: the
  // archive path itself, whatever its extension.
  if (AddToArchive() == lzcOverwrite) delete_archive(archive_path);
  if (net_files) delete_archive(net_archive);

  for (TInstallContainer* h : std::vector<TInstallContainer*>(HelperList())) {
    auto* helper = dynamic_cast<TFileRelated*>(h);
    if (helper == nullptr) continue;
    if (dynamic_cast<TCustomInstallFile*>(h) == nullptr && dynamic_cast<TFileContainer*>(h) == nullptr) continue;
    CompressHelper(*helper, options, net_archive, walk);
  }

  if (OnAfterProcess) OnAfterProcess(this);
  if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventContainerEnding, this);
}

void TFileContainer::CompressHelper(TFileRelated& helper, unsigned options, const std::string& net_archive,
                                    BuildWalk& walk) {
  EngineContext* ctx = Context();
  auto* file = dynamic_cast<TCustomInstallFile*>(&helper);
  auto* sub = dynamic_cast<TFileContainer*>(&helper);
  // Without coCompressExcluded a component left out stays out of the build.
  if ((options & coCompressExcluded) == 0 && !helper.Include()) return;
  SavedSettings saved(helper);
  if ((options & coCompressExcluded) != 0) helper.SetInclude(true);

  // Points the helper at `path`; a rebuild of an archive this walk has
  // already started adds to it instead.
  auto redirect = [&](const std::string& path, TlzhCommand command) {
    helper.SetArchiveFileType(nullptr);
    helper.SetArchiveFile(path);
    helper.SetAddToArchive(command == lzcOverwrite && walk.Started(path) ? lzcOnlyAdd : command);
  };
  auto mirror_of = [&](TComponent* location) {
    NetLocationAccess* access = ctx->NetAccess();
    if (location == nullptr || access == nullptr) Raise<IEInstallContainer>(ctx, kNoNetLocationFor, {helper.DisplayName()});
    return access->RelativeMirrorPath(*location);
  };
  const bool to_net = file != nullptr && (options & coForceNetFilesLocal) == 0 &&
                      (file->Net() || (options & coForceFilesNet) != 0);
  TCustomPathSpecifier* type = helper.ArchiveFileType();
  if (to_net && file->NetLocation() != nullptr) {
    const std::string dir = ExtractFileDir(file->GetArchivePath());
    redirect(dir + "\\" + mirror_of(file->NetLocation()) + "\\" + file->Name() + ".1", lzcOverwrite);
  } else if (to_net && file->DownloadsByItself()) {
    // A file that is fetched by itself before the rest (its overwrite rule
    // needs its header) has an archive of its own.
    const std::string dir = ExtractFileDir(file->GetArchivePath());
    redirect(dir + "\\" + mirror_of(file->FindNetLocation()) + "\\" + file->Name() + ".1", lzcOverwrite);
  } else if (to_net) {
    redirect(net_archive, lzcOnlyAdd);
  } else if (dynamic_cast<TpsContainerArchiveFile*>(type) != nullptr) {
    helper.SetAddToArchive(lzcOnlyAdd);
  } else if (dynamic_cast<TpsInstallSource*>(type) != nullptr) {
    TCustomInstall* driver = ctx->Driver();
    const std::string driver_dir = driver != nullptr ? ExtractFileDir(driver->GetArchivePath()) : std::string();
    redirect(driver_dir + helper.ArchiveFile(), lzcOverwrite);
  } else if ((options & coRelocate) != 0) {
    redirect(ExtractFileDir(GetArchivePath()) + WithoutDrive(helper.GetArchivePath()), lzcOverwrite);
  }

  if (sub != nullptr) {
    sub->CompressWalk(options, walk);
  } else if (file != nullptr) {
    const std::string path = file->GetArchivePath();
    file->Compress();
    walk.Start(path);
  }
}

}  // namespace brimwell
