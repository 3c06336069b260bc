// An installable file's other actions: compressing it into its archive
// (build mode), copying it uncompressed, and reading its size, date and
// version from the source file or from its archive header.
#include "archive/archive_format.h"
#include "archive/version_resource.h"
#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_container.h"
#include "engine/install.h"
#include "engine/install_file_callbacks.h"
#include "framework/exception.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

bool IsBlankText(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// Sets a state for the life of the guard; ifsNone afterwards, however the
// action ends.
class StateScope {
 public:
  StateScope(TInstallFileState& state, TInstallFileState value) : state_(state) { state_ = value; }
  ~StateScope() { state_ = ifsNone; }

 private:
  TInstallFileState& state_;
};

}  // namespace

void TCustomInstallFile::Compress() {
  EngineContext* ctx = Context();
  if (OnBeforeCompress) OnBeforeCompress(this);
  Notify(kEventCompressStarting, this);
  const std::string archive_path = TFileRelated::GetArchivePath();
  if (IsBlankText(archive_path)) Raise<IECustomInstallFile>(ctx, kBlankArchivePath, {file_name_});
  {
    StateScope state(state_, ifsCompress);
    std::unique_ptr<TBrwlCompress> own;
    TBrwlCompress& archive = ArchiveFor(archive_path, own);
    ArchiveCallbacks callbacks(*this, archive, kEventCompressProgress);
    archive.SetCompressedFile(archive_path);
    archive.SetFilesToProcessLines({SourcePath()});
    archive.Compress(AddToArchive() == lzcOnlyAdd, unique_id_);
    // The member's header gives the size, date and version that the
    // remote file list records.
    ReadHeaderOf(archive, SourcePath());
  }
  compressed_in_build_ = true;
  if (OnAfterCompress) OnAfterCompress(this);
  Notify(kEventCompressed, this);
}

void TCustomInstallFile::Copy() {
  EngineContext* ctx = Context();
  if (OnBeforeCopy) OnBeforeCopy(this);
  Notify(kEventCopyStarting, this);
  if (!Include()) throw EAbort();
  const std::string dest = GetDestPath();
  if (IsBlankText(dest)) Raise<IECustomInstallFile>(ctx, kBlankDestination, {DisplayName()});
  {
    StateScope state(state_, ifsCopying);
    ctx->GetMachine().GetFileSystem().ForceDirectories(dest);
    // A component of its own: copying resets the offset that the shared one
    // keeps for a self-extracting archive.
    TBrwlCompress archive(nullptr);
    archive.SetServices(ctx->MainArchive().Services());
    ArchiveCallbacks callbacks(*this, archive, kEventCopyProgress);
    archive.SetOverwrite(overwrite_mode_);
    archive.CopyFile(SourcePath(), InstalledPath());
    if (OnAfterCopy) OnAfterCopy(this);
    Notify(kEventCopied, this);
  }
  BroadcastComponentCall(kCallPassDone, nullptr);
}

void TCustomInstallFile::ReadSourceInfo() {
  EngineContext* ctx = Context();
  const std::string source = SourcePath();
  FileSystem& fs = ctx->GetMachine().GetFileSystem();
  WinResult<std::unique_ptr<File>> file = WinResult<std::unique_ptr<File>>::Error(kErrorFileNotFound);
  try {
    file = fs.Open(source, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
  } catch (const EPlatformError&) {
    // A path the machine cannot map opens nothing.
  }
  if (!file.ok()) Raise<IECustomInstallFile>(ctx, kCannotReadSource, {source});
  auto size = (*file)->Size();
  auto date = (*file)->LastWriteTime();
  if (!size.ok() || !date.ok()) Raise<IECustomInstallFile>(ctx, kCannotReadSource, {source});
  file_size_ = static_cast<std::int64_t>(*size);
  file_date_ = *date;
  ctx->Versions().SetFileName(source);
  version_ = ctx->Versions().VersionInfo().FileVersion().substr(0, kMaxFileVersionLength);
}

void TCustomInstallFile::ReadInfoFromArchive() {
  EngineContext* ctx = Context();
  TCustomInstall* driver = ctx->Driver();
  if (driver != nullptr && driver->Running() && ArchiveInfoRead()) return;
  auto* container = dynamic_cast<TFileContainer*>(Container());
  if (container == nullptr) Raise<IECustomInstallFile>(ctx, kReadInfoNeedsFileContainer, {DisplayName()});

  const TDistributeType distribution = driver != nullptr ? driver->DistributeType() : TDistributeType::dtTraditional;
  std::string archive_path;
  if (distribution == TDistributeType::dtTraditional || (distribution == TDistributeType::dtTraditionalNet && !Net())) {
    archive_path = TFileRelated::GetArchivePath();
  } else if (DownloadsByItself() && ArchiveAvailable()) {
    archive_path = LocalArchivePath();
  } else if (container->ArchiveAvailable()) {
    archive_path = container->LocalArchivePath();
  } else {
    return;  // the archive is fetched later, when the file installs
  }
  if (IsBlankText(archive_path)) return;

  std::unique_ptr<TBrwlCompress> own;
  TBrwlCompress& archive = ArchiveFor(archive_path, own);
  archive.SetCompressedFile(archive_path);
  const std::string source = SourcePath();
  try {
    ReadHeaderOf(archive, source);
  } catch (const EBrwlCompress& e) {
    // A missing or damaged archive: say which file of the product needed it.
    throw IECustomInstallFile(
        EngineText(ctx, kCannotInstallFromArchive, {source, archive_path, std::string(e.what())}));
  }
  SetArchiveInfoRead(true);
}

void TCustomInstallFile::ReadHeaderOf(TBrwlCompress& archive, const std::string& source) {
  int index = archive.IndexOfFileID(unique_id_);
  // The number alone can mislead: numbers repeat once the 2000 of the
  // table are taken, and an archive built from another project carries
  // other numbers. The member with this file's source path is the one the
  // file will be extracted from.
  if (index < 0 || !WinNamesEqual(archive.GetFileHeaders(index).FileName, source)) {
    int by_name = archive.IndexOfFileName(source);
    if (by_name >= 0) index = by_name;
  }
  if (index >= 0) {
    const TFileHeader& h = archive.GetFileHeaders(index);
    compressed_size_ = h.CompressedSize;
    file_date_ = h.FileDate;
    file_size_ = h.FileSize;
    version_ = h.FileVersion;
  }
}

}  // namespace brimwell
