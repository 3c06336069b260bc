// Installing a file: the overwrite decision, the replacement of a file in
// use, extraction from the archive, the after-install steps (help
// registration, shared-DLL count, unfinished work, self-registration) and
// the file's part of the uninstall record.
#include "engine/install.h"

#include <cmath>
#include <cstdio>

#include "archive/archive_names.h"
#include "archive/version_resource.h"
#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/install_file_callbacks.h"
#include "engine/parameter_objects.h"
#include "engine/uninstall_record.h"
#include "framework/application.h"
#include "framework/date_time.h"
#include "framework/text_case.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/processes.h"
#include "platform/profile_strings.h"
#include "platform/registry.h"
#include "platform/scoped_current_directory.h"
#include "platform/startup_sequence.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr RegistryHive kHive = RegistryHive::kLocalMachine;
constexpr char kWininitRenameSection[] = "Rename";

bool IsBlankText(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

std::string DateText(TDateTime date) {
  DateTimeParts p = DecodeDateTime(date);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return text;
}

const char* AnswerName(NewerFileAnswer answer) {
  switch (answer) {
    case NewerFileAnswer::kCannotTell:
      return "cannot tell";
    case NewerFileAnswer::kSame:
      return "same";
    case NewerFileAnswer::kReplace:
      return "replace";
    case NewerFileAnswer::kKeep:
      return "keep";
  }
  return "?";
}

// Self-registration works on the installed file in its destination: both
// must be there.
void CheckRegistrationTarget(EngineContext* ctx, const std::string& dir, const std::string& path,
                             const std::string& display_name) {
  if (IsBlankText(dir) || !ctx->GetMachine().GetFileSystem().FileExists(path)) {
    Raise<IECustomInstallFile>(ctx, kBlankDestination, {display_name});
  }
}

}  // namespace

// --- Callbacks of the archive component ----------------------------------------------

TCustomInstallFile::ArchiveCallbacks::ArchiveCallbacks(TCustomInstallFile& file, TBrwlCompress& archive,
                                                       int progress_event)
    : archive_(archive) {
  archive.OnStatus = [&file, progress_event](TBrwlCompress& from, const TlzhFileStats& stats) {
    TFileStatusParameter status;
    status.Status = stats;
    if (file.OnStatus) file.OnStatus(&file, stats.FilePercent, stats.TotalPercent);
    file.BroadcastComponentCall(kCallProgress, &status);
    TList list{&file, &status};
    file.Notify(progress_event, &list);
    // A cancel confirmed in the copy window stops the archive at its next
    // block, whichever archive this file comes from.
    EngineContext* ctx = file.Context();
    if (ctx != nullptr && ctx->UserAbortRequested()) from.SetAbort(true);
  };
  archive.OnNewDisk = [&file](TBrwlCompress& from, int disk, std::string& path) {
    EngineContext* ctx = file.Context();
    TDiskParameter request;
    request.DiskNumber = disk;
    request.Path = path;
    request.FileName = std::string(FileNamePart(DiskFileName(from.CompressedFile(), disk)));
    if (file.OnNewDisk) {
      file.OnNewDisk(&file, disk, request.Path);
      request.Handled = true;
    }
    TList list{&file, &request};
    file.BroadcastComponentCall(kCallNewDisk, &list);
    file.Notify(kEventNewDisk, &list);
    if (!request.Handled && ctx != nullptr) {
      MessageBoxRequest box;
      box.text = EngineText(ctx, kPleaseInsertDisk, {disk});
      box.icon = MessageBoxIcon::kInformation;
      box.buttons = MessageBoxButtons::kOKCancel;
      if (ctx->App().MessageBox(box) != ModalResult::kOK) file.RaiseUserAbort();
    }
    path = StripTrailingBackslash(request.Path);
  };
  archive.OnAborted = [&file](TComponent&) { file.RaiseUserAbort(); };
}

TCustomInstallFile::ArchiveCallbacks::~ArchiveCallbacks() {
  archive_.OnStatus = nullptr;
  archive_.OnNewDisk = nullptr;
  archive_.OnAborted = nullptr;
}

void TCustomInstallFile::RaiseUserAbort() { Raise<EAIUserAbort>(Context(), kInstallationAbortedByUser); }

void TCustomInstallFile::Notify(int code, TPersistent* po) {
  if (Container() != nullptr) Container()->DoInformationEventControl(this, code, po);
}

void TCustomInstallFile::LogFile(const std::string& what) {
  EngineContext* ctx = Context();
  if (ctx != nullptr && ctx->Log().Enabled()) ctx->Log().Write("file", DisplayName() + ": " + what);
}

TBrwlCompress& TCustomInstallFile::ArchiveFor(const std::string& archive_path, std::unique_ptr<TBrwlCompress>& own) {
  EngineContext* ctx = Context();
  TCustomInstall* driver = ctx->Driver();
  // The shared component carries the self-extracting offset of the main
  // archive; any other archive is read by a component of its own.
  if (driver != nullptr && WinNamesEqual(archive_path, driver->GetArchivePath())) return ctx->MainArchive();
  own = std::make_unique<TBrwlCompress>(nullptr);
  own->SetServices(ctx->MainArchive().Services());
  own->SetLookahead(ctx->MainArchive().Lookahead());
  return *own;
}

bool TCustomInstallFile::ReadsMainArchive() {
  TCustomInstall* driver = Context()->Driver();
  return driver != nullptr && !FromNetLocation() && WinNamesEqual(GetArchivePath(), driver->GetArchivePath());
}

bool TCustomInstallFile::DownloadsByItself() const {
  return NetLocation() != nullptr || overwrite_mode_ == owVersion || overwrite_mode_ == owDate ||
         overwrite_mode_ == owVersionDate;
}

bool TCustomInstallFile::FromNetLocation() const {
  EngineContext* ctx = Context();
  TCustomInstall* driver = ctx != nullptr ? ctx->Driver() : nullptr;
  if (driver == nullptr) return false;
  return driver->DistributeType() == TDistributeType::dtWeb ||
         (driver->DistributeType() != TDistributeType::dtTraditional && Net());
}

std::string TCustomInstallFile::GetArchivePath() {
  if (state_ == ifsInstall && FromNetLocation()) {
    if (DownloadsByItself() && ArchiveAvailable()) return LocalArchivePath();
    auto* container = dynamic_cast<TFileContainer*>(Container());
    if (container != nullptr && container->ArchiveAvailable()) return container->LocalArchivePath();
  }
  return TFileRelated::GetArchivePath();
}

// --- Installing -------------------------------------------------------------------------

void TCustomInstallFile::InstallObjects() {
  EngineContext* ctx = Context();
  if (ctx != nullptr) ctx->CheckCancelRequest();
  in_use_ = false;
  skip_reason_.clear();
  Notify(kEventInstallStarting, this);
  if (OnBeforeInstall) {
    try {
      OnBeforeInstall(this);
    } catch (const EAbort&) {
      // The handler keeps this file from being installed; it counts as done.
      Notify(kEventInstallCancelled, this);
      LogFile("not installed: OnBeforeInstall aborted");
      return;
    }
  }
  const std::string dest = GetDestPath();
  if (IsBlankText(dest)) Raise<IECustomInstallFile>(ctx, kBlankDestination, {DisplayName()});
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  const std::string target = dest + "\\" + dest_name_;  // InstalledPath()
  target_existed_ = fs.FileExists(target);

  install_decision_ = true;
  if (target_existed_ && overwrite_mode_ != owAlways) {
    NewerFileAnswer answer = ctx->Versions().IsFileNewer(version_, target, overwrite_mode_, file_date_);
    install_decision_ = answer == NewerFileAnswer::kReplace || answer == NewerFileAnswer::kCannotTell;
    if (!install_decision_ && ctx->Log().Enabled()) {
      ctx->Versions().SetFileName(target);
      std::string old_version = ctx->Versions().VersionInfo().FileVersion();
      auto old_date = fs.LastWriteTime(target);
      skip_reason_ = std::string(kOverwriteTypeInfo.names[overwrite_mode_]) + " answers " + AnswerName(answer) +
                     ": archive version \"" + version_ + "\" of " + DateText(file_date_) + ", installed version \"" +
                     old_version + "\" of " + (old_date.ok() ? DateText(*old_date) : std::string("unknown date"));
    }
  }
  // Replacing may write the new file under a numbered name beside a target
  // in use; the file's installed path stays the target.
  target_name_ = dest_name_;
  if (install_decision_ && target_existed_) {
    try {
      Replacing();
    } catch (const EAbort&) {
      install_decision_ = false;  // the replacement was called off for this file
      skip_reason_ = "the replacement was aborted";
    }
  }
  if (install_decision_) {
    struct RestoreName {
      std::string& name;
      const std::string saved;
      ~RestoreName() { name = saved; }
    } restore{dest_name_, target_name_};
    InstallFile();
  } else {
    Notify(kEventSkippedByOverwriteRule, this);
    LogFile("skipped " + target + (skip_reason_.empty() ? std::string() : ": " + skip_reason_));
    AfterInstallSteps();
    if (OnAfterInstall) OnAfterInstall(this);
    Notify(kEventInstalled, this);
    TFileRelated::InstallObjects();
  }
}

void TCustomInstallFile::InstallFile() {
  // A file whose archive lies at a net location fetches it first: its own
  // when it downloads by itself, else its container's. Only such a file
  // reads from a copy kept by an earlier run.
  const bool from_net = FromNetLocation();
  if (from_net) {
    if (auto local = LookupLocalFile()) SetLocalArchivePath(*local);
    if (DownloadsByItself()) {
      if (!ArchiveAvailable()) DownloadArchive();
    } else if (auto* container = dynamic_cast<TFileContainer*>(Container())) {
      if (!container->ArchiveAvailable()) container->DownloadArchive();
    }
  }
  struct StateGuard {
    TInstallFileState& state;
    ~StateGuard() { state = ifsNone; }
  } state_guard{state_};
  state_ = ifsInstall;
  const std::string archive_path = GetArchivePath();
  ExtractNow(archive_path);
  BroadcastComponentCall(kCallPassDone, nullptr);
}

void TCustomInstallFile::ExtractNow(const std::string& archive_path) {
  EngineContext* ctx = Context();
  const std::string dest = GetDestPath();
  // The archive makes the destination directory with all missing parents
  // as it writes the file (once for a run of files into one directory).
  if (IsBlankText(archive_path)) Raise<IECustomInstallFile>(ctx, kBlankArchivePath, {file_name_});

  std::unique_ptr<TBrwlCompress> own;
  TBrwlCompress* chosen = nullptr;
  if (FromNetLocation()) {
    // A downloaded copy is read by a component of its own.
    own = std::make_unique<TBrwlCompress>(nullptr);
    own->SetServices(ctx->MainArchive().Services());
    chosen = own.get();
  } else {
    chosen = &ArchiveFor(archive_path, own);
  }
  TBrwlCompress& archive = *chosen;
  {
    ArchiveCallbacks callbacks(*this, archive, kEventInstallProgress);
    archive.SetCompressedFile(archive_path);
    archive.SetExtractDirectory(dest);
    archive.ExtractAs = dest_name_;
    archive.SetOverwrite(overwrite_mode_);
    archive.SetFilesToProcessLines({SourcePath()});
    archive.SetDigestWritten(true);
    written_.reset();
    try {
      archive.Extract();
    } catch (const EBrwlCompress& e) {
      // The archive's reason alone does not say which file of the product
      // could not be installed.
      throw IECustomInstallFile(
          EngineText(ctx, kCannotInstallFromArchive, {SourcePath(), archive_path, std::string(e.what())}));
    }
    // The new file of a file in use was written beside the target under a
    // numbered name; the file's installed path stays the target, which the
    // new file replaces at the next boot.
    const std::string written = dest + "\\" + dest_name_;
    if (!in_use_ && archive.LastWritten() && SameText(archive.LastWritten()->path, written)) {
      written_ = archive.LastWritten();
    }
    dest_name_ = target_name_;
    LogFile((in_use_ ? "written beside the target in use, as " + written : "installed " + written) + " (" +
            std::to_string(file_size_) + " bytes) from " + archive_path);
    AfterInstallSteps();
    if (OnAfterInstall) OnAfterInstall(this);
    Notify(kEventInstalled, this);
    TFileRelated::InstallObjects();
  }
  if (&archive != &ctx->MainArchive()) ctx->MainArchive().SetAbort(archive.Abort());
}

// --- Replacing --------------------------------------------------------------------------

void TCustomInstallFile::Replacing() {
  EngineContext* ctx = Context();
  if (OnReplacing) OnReplacing(this);
  BroadcastComponentCall(kCallReplacing, this);
  Notify(kEventReplacing, this);

  Machine& machine = ctx->GetMachine();
  FileSystem& fs = machine.GetFileSystem();
  const std::string target = InstalledPath();
  // A target that can be deleted now is simply overwritten; the archive
  // writes the new file under a temporary name and renames it into place.
  if (!fs.FileExists(target) || !fs.IsFileInUse(target)) return;

  in_use_ = true;
  const std::string dir = GetDestPath();
  std::string name;
  for (int n = 1;; ++n) {
    name = ChangeFileExt(dest_name_, "." + std::to_string(n));
    if (!fs.FileExists(dir + "\\" + name)) break;
  }
  dest_name_ = name;
  const std::string new_file = dir + "\\" + name;
  TCustomInstall* driver = ctx->Driver();

  if (WindowsKind(*ctx) == kWindows95) {
    const std::string wininit = WindowsDirectory(*ctx) + "\\" + kWininitFile;
    const std::string key = ShortPathName(*ctx, target);
    const std::string value = ShortPathName(*ctx, dir) + "\\" + name;
    if (!machine.GetProfileStrings().WriteString(wininit, kWininitRenameSection, key, value).ok()) {
      Raise<IECustomInstallFile>(ctx, kCannotWriteUninstallValue, {wininit, key, value});
    }
    if (driver != nullptr) driver->SetReboot(true);
    LogFile("in use: " + wininit + " [Rename] " + key + "=" + value);
    return;
  }
  if (driver != nullptr) driver->SetReboot(true);
  if (fs.MoveFileEx(new_file, target, kMoveDelayUntilReboot | kMoveReplaceExisting).ok()) {
    LogFile("in use: " + new_file + " replaces " + target + " at the next boot");
    return;
  }
  if (driver == nullptr) return;
  // Without delayed moves a batch run at the next start moves the file.
  const std::string batch = ChangeFileExt(MakeTempFileName(*ctx, false), ".bat");
  const std::string short_target = ShortPathName(*ctx, target);
  const std::string text = "erase " + short_target + "\r\n" + "move " + new_file + " " + short_target + "\r\n";
  bool written = false;
  {
    auto file = fs.Open(batch, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
    written = file.ok() && (*file)->Write(text.data(), text.size()).bytes == text.size();
  }
  driver->AddUnfinished(batch, 1);
  if (!written || !driver->WriteRunOnce(kRunOnceBatFile, batch)) {
    Raise<IECustomInstallFile>(ctx, kCannotRegisterMoveBatch, {DisplayName()});
  }
  LogFile("in use: the move batch " + batch + " replaces " + target + " at the next boot");
}

// --- After the install ---------------------------------------------------------------------

void TCustomInstallFile::AfterInstallSteps() {
  EngineContext* ctx = Context();
  if (register_as_help_) RegisterHelp();
  if (update_dll_counter_) UpdateSharedDllCount();
  TCustomInstall* driver = ctx->Driver();
  if (in_use_) {
    if (driver != nullptr) driver->AddUnfinished(Name(), 0);
    return;
  }
  if (!active_x_) return;
  if (driver != nullptr && driver->Running()) {
    try {
      SelfRegister();
    } catch (const IECustomInstallFile& e) {
      // Another file installed later may be what this one needs; the run
      // tries again at its end.
      if (!ctx->DeferredRegistrations().Contains(this)) ctx->DeferredRegistrations().Add(this);
      LogFile(std::string("registration deferred: ") + e.what());
    }
  } else {
    SelfRegister();
  }
}

void TCustomInstallFile::RegisterHelp() {
  EngineContext* ctx = Context();
  const std::string name = WinUpperCase(dest_name_);
  const std::string dir = GetDestPath();
  if (!ctx->GetMachine().GetRegistry().WriteString(kHive, kHelpKey, name, dir).ok()) {
    throw EIRCannotWriteValue(EngineText(ctx, kCannotWriteUninstallValue, {std::string(kHelpKey), name, dir}));
  }
  LogFile("help registered: " + name + " in " + dir);
}

void TCustomInstallFile::UpdateSharedDllCount() {
  EngineContext* ctx = Context();
  Registry& reg = ctx->GetMachine().GetRegistry();
  WinStatus opened = reg.CreateKey(kHive, kSharedDllsKey);
  if (!opened.ok()) {
    Raise<IECustomInstallFile>(ctx, kCannotOpenSharedDlls, {DisplayName(), static_cast<int>(opened.error())});
  }
  const std::string path = InstalledPath();
  const std::string short_path = ShortPathName(*ctx, path);
  auto read = [&](const std::string& name) -> std::optional<std::uint32_t> {
    try {
      return reg.ReadDword(kHive, kSharedDllsKey, name);
    } catch (const ERegistryException&) {
      return std::nullopt;  // a value of another type is no count
    }
  };
  std::string name = short_path;
  std::optional<std::uint32_t> count = read(short_path);
  if (!count) {
    name = path;
    count = read(path);
    // A long-name value of another type cannot be counted on.
    if (!count && reg.ValueExists(kHive, kSharedDllsKey, path)) {
      Raise<IECustomInstallFile>(ctx, kCannotUpdateDllCount, {file_name_});
    }
  }
  const std::uint32_t next = count.value_or(0) + 1;
  if (!reg.WriteDword(kHive, kSharedDllsKey, name, next).ok()) {
    Raise<IECustomInstallFile>(ctx, kCannotUpdateDllCount, {file_name_});
  }
  LogFile("shared-DLL count of " + name + " is " + std::to_string(next));
}

// --- Self-registration -------------------------------------------------------------------

void TCustomInstallFile::SelfRegister() {
  if (WinUpperCase(ExtractFileExt(dest_name_)) == ".EXE") {
    RegisterExecutable();
  } else {
    RegisterLibrary();
  }
}

void TCustomInstallFile::RegisterExecutable() {
  EngineContext* ctx = Context();
  Machine& machine = ctx->GetMachine();
  const std::string path = InstalledPath();
  CheckRegistrationTarget(ctx, GetDestPath(), path, DisplayName());
  ScopedCurrentDirectory cwd(machine.GetPaths(), GetDestPath());
  const std::string command = path + " /REGSERVER";
  std::uint32_t result = machine.GetProcesses().WinExec(command, ShowState::kHide);
  if (result < 32) {
    Raise<IECustomInstallFile>(ctx, kWinExecFailed, {path, command, DisplayName(), static_cast<int>(result)});
  }
  LogFile("registered: started " + command);
}

void TCustomInstallFile::RegisterLibrary() {
  EngineContext* ctx = Context();
  Machine& machine = ctx->GetMachine();
  const std::string path = InstalledPath();
  CheckRegistrationTarget(ctx, GetDestPath(), path, DisplayName());
  ScopedCurrentDirectory cwd(machine.GetPaths(), GetDestPath());
  auto library = machine.GetProcesses().LoadLibrary(path);
  if (!library.ok()) {
    Raise<IECustomInstallFile>(ctx, kLoadLibraryFailed, {path, path, DisplayName(), static_cast<int>(library.error())});
  }
  using DllRegisterServerFunction = std::int32_t (*)();
  void* entry = (*library)->GetProcAddress("DllRegisterServer");
  if (entry == nullptr)
    Raise<IECustomInstallFile>(ctx, kNoDllRegisterServer, {path, DisplayName(), static_cast<int>(kErrorProcNotFound)});
  const std::int32_t result = reinterpret_cast<DllRegisterServerFunction>(entry)();
  if (result != 0) Raise<IECustomInstallFile>(ctx, kDllRegisterServerFailed, {path, result, DisplayName()});
  LogFile("registered: DllRegisterServer of " + path);
}

void TCustomInstallFile::FinishAfterReboot() {
  if (active_x_) SelfRegister();
}

void TCustomInstallFile::RegisterDeferred() { SelfRegister(); }

// --- The uninstall record --------------------------------------------------------------

void TCustomInstallFile::WriteUninstallInfo(const std::string& key) {
  UninstallRecord record(*Context(), key);
  const std::string path = InstalledPath();
  if (active_x_) {
    const bool server = WinUpperCase(ExtractFileExt(dest_name_)) == ".EXE";
    record.Append(kActiveXList, path + ";" + (server ? "1" : "0"));
  } else {
    record.AppendInstalledFile(path);
  }
  // The file as installed, so that the uninstall program can tell a file
  // the user changed since. A file in use is replaced only at the next
  // boot, so what lies at its path now is not what this run installed.
  if (in_use_) return;
  FileSystem& fs = Context()->GetMachine().GetFileSystem();
  // The digest taken while the file was written serves while the file is
  // still as written (same size and date: nothing installed since, such
  // as values of an INI file, changed it); else the file is read back.
  std::optional<std::string> digest;
  if (written_ && SameText(written_->path, path)) {
    WinResult<FileSizeAndTime> now = fs.SizeAndTime(path);
    constexpr TDateTime kHalfMillisecond = 0.0005 / 86400;
    if (now && static_cast<std::int64_t>(now->size) == written_->size &&
        std::abs(now->last_write_time - written_->date) < kHalfMillisecond) {
      digest = std::to_string(written_->size) + ";" + written_->sha256;
    }
  }
  if (!digest) digest = FileDigestOf(fs, path);
  if (digest) record.WriteString(record.SubKey(kFileDigestsList), path, *digest);
}

void TUninstallEXE::WriteUninstallInfo(const std::string& key) {
  EngineContext* ctx = Context();
  TCustomInstall* driver = ctx != nullptr ? ctx->Driver() : nullptr;
  if (driver == nullptr) Raise<IECustomInstallFile>(ctx, kUninstallNeedsDriver, {DisplayName()});
  UninstallRecord record(*ctx, key);
  const std::string& product = driver->Information().ProductName();
  record.WriteString(key, "DisplayName", product);
  record.WriteString(key, "UninstallString", InstalledPath() + " " + product);
  const std::string& version = driver->Information().Version();
  if (!version.empty()) record.WriteString(key, kDisplayVersionValue, version);
}

}  // namespace brimwell
