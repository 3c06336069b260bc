#include "engine/file_container.h"

#include <cmath>
#include <optional>

#include "engine/component_calls.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/parameter_objects.h"
#include "archive/brwl_compress.h"
#include "framework/application.h"

namespace brimwell {
namespace {

// Total percentage of a pass, rounded; 0 when it cannot be computed.
int TotalPercent(std::int64_t running_total, std::int64_t total_bytes) {
  if (total_bytes <= 0) return 0;
  return static_cast<int>(std::llround(static_cast<double>(running_total) * 100.0 / static_cast<double>(total_bytes)));
}

}  // namespace

const ClassInfo& TFileContainer::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TFileContainer>("TFileContainer", &TFileRelated::StaticClassInfo()).Build();
  return info;
}

TFileContainer::TFileContainer(TComponent* owner) : TFileRelated(owner) {}

TFileContainer::~TFileContainer() { FreeFileHelpers(); }

int TFileContainer::ComponentType() const { return kTypeFileContainer; }

void TFileContainer::FreeFileHelpers() {
  std::vector<TCustomInstallFile*> files;
  for (TInstallContainer* h : HelperList()) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) files.push_back(file);
  }
  for (TCustomInstallFile* file : files) delete file;  // each leaves the helper list itself
}

void TFileContainer::NewDisk(TCustomInstallFile* file, TList& disk_request) {
  auto* disk = dynamic_cast<TDiskParameter*>(disk_request.Items.at(1));
  if (OnNewDisk && disk != nullptr) {
    OnNewDisk(file, disk->DiskNumber, disk->Path);
    disk->Handled = true;
  }
  BroadcastComponentCall(kCallNewDisk, &disk_request);
}

void TFileContainer::Replacing(TCustomInstallFile* file) {
  if (OnReplacing) OnReplacing(file);
  BroadcastComponentCall(kCallReplacing, file);
}

void TFileContainer::Status(TCustomInstallFile* file, TFileStatusParameter& status) {
  if (OnStatus) OnStatus(file, status.Status.FilePercent, status.TotalPercent);
  BroadcastComponentCall(kCallProgress, &status);
}

void TFileContainer::ReadArchiveInfo() {
  if (ArchiveInfoRead()) return;  // read once per run
  for (TInstallContainer* h : HelperList()) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(h)) file->ReadInfoFromArchive();
  }
  for (TInstallContainer* h : HelperList()) {
    if (auto* sub = dynamic_cast<TFileContainer*>(h)) sub->ReadArchiveInfo();
  }
  SetArchiveInfoRead(true);
}

bool TFileContainer::HasNetFiles() {
  EngineContext* ctx = Context();
  InstallDriver* driver = ctx != nullptr ? ctx->DriverView() : nullptr;
  if (driver != nullptr && driver->DriverDistributesTraditionally()) return false;
  for (TInstallContainer* h : HelperList()) {
    auto* file = dynamic_cast<TCustomInstallFile*>(h);
    if (file != nullptr && file->Net() && file->Include() && file->NetLocation() == nullptr) return true;
  }
  return false;
}

void TFileContainer::InstallObjects() {
  EngineContext* ctx = Context();
  run_state_ = brimwell::RunState::kInstalling;
  // An error ends the run, but never leaves the container looking busy.
  struct IdleOnError {
    TFileContainer* self;
    bool done = false;
    ~IdleOnError() {
      if (!done) self->run_state_ = brimwell::RunState::kIdle;
    }
  } idle_on_error{this};
  {
    std::optional<ScopedCursor> cursor;
    if (ctx != nullptr) cursor.emplace(ctx->App(), Cursor::kHourGlass);
    if (auto local = LookupLocalFile()) SetLocalArchivePath(*local);
    ReadArchiveInfo();
    BroadcastComponentCall(kCallBeforeInstallObjects, nullptr);
    if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventContainerStarting, this);
    total_bytes_ = TotalSize(false, true);
    done_bytes_ = 0;
    if (OnBeforeInstallObjects) OnBeforeInstallObjects(this);
    TInstallContainer::InstallObjects();
    if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventContainerEnding, this);
  }
  const bool was_aborted = ctx != nullptr && ctx->MainArchive().Abort();
  run_state_ = brimwell::RunState::kIdle;
  idle_on_error.done = true;
  BroadcastComponentCall(kCallPassDone, nullptr);
  if (OnAfterInstallObjects) OnAfterInstallObjects(this, was_aborted);
}

void TFileContainer::DoInformationEventControl(TInstallContainer* sender, int code, TPersistent* po) {
  LogInformationEvent(sender, code, po);
  if (run_state_ == brimwell::RunState::kIdle) return;
  EngineContext* ctx = Context();
  if (po == nullptr) Raise<IEInstallContainer>(ctx, kNilPO, {DisplayName()});

  auto as_file = [](TPersistent* p) { return dynamic_cast<TCustomInstallFile*>(p); };
  switch (code) {
    case kEventReplacing: {
      TCustomInstallFile* file = as_file(po);
      if (file == nullptr) Raise<IEInstallContainer>(ctx, kPONotInstallFile);
      Replacing(file);
      break;
    }
    case kEventInstallProgress:
    case kEventCompressProgress:
    case kEventCopyProgress: {
      auto* list = dynamic_cast<TList*>(po);
      if (list == nullptr) Raise<IEInstallContainer>(ctx, kPONotTList);
      if (list->Count() < 2) Raise<IEInstallContainer>(ctx, kPONotEnoughItems);
      TCustomInstallFile* file = as_file(list->Items[0]);
      if (file == nullptr) Raise<IEInstallContainer>(ctx, kPOBadFirst);
      auto* status = dynamic_cast<TFileStatusParameter*>(list->Items[1]);
      if (status == nullptr) Raise<IEInstallContainer>(ctx, kPOBadSecond);
      status->RunningTotal = done_bytes_ + status->Status.BytesDone;
      status->TotalPercent = TotalPercent(status->RunningTotal, total_bytes_);
      status->TotalBytes = total_bytes_;
      Status(file, *status);
      if (status->Status.FileDone) done_bytes_ += status->Status.FileSize;
      break;
    }
    case kEventNewDisk: {
      auto* list = dynamic_cast<TList*>(po);
      if (list == nullptr) Raise<IEInstallContainer>(ctx, kPONotTList);
      TCustomInstallFile* file = list->Count() > 0 ? as_file(list->Items[0]) : nullptr;
      if (file == nullptr) Raise<IEInstallContainer>(ctx, kPOBadDiskItem, {1});
      if (list->Count() < 2 || dynamic_cast<TDiskParameter*>(list->Items[1]) == nullptr) {
        Raise<IEInstallContainer>(ctx, kPOBadDiskItem, {2});
      }
      NewDisk(file, *list);
      break;
    }
    case kEventDownloadProgress: {
      auto* download = dynamic_cast<TDownloadStatusParameter*>(po);
      if (download == nullptr) Raise<IEInstallContainer>(ctx, kPONotDownloadStatus, {DisplayName()});
      if (OnDataReceived) {
        OnDataReceived(sender, download->FileName, download->Bytes, download->TotalBytes, download->FileSize,
                       download->Buffer);
      }
      BroadcastComponentCall(kCallDownloadProgress, download);
      break;
    }
    case kEventInstallCancelled:
    case kEventSkippedByOverwriteRule: {
      TCustomInstallFile* file = as_file(po);
      if (file == nullptr) Raise<IEInstallContainer>(ctx, kPONotInstallFile);
      TFileStatusParameter status;
      status.Status.FileName = file->Name();
      status.Status.FileSize = file->FileSize();
      status.Status.BytesDone = file->FileSize();
      status.Status.FilePercent = 100;
      status.Status.FileDone = true;
      status.RunningTotal = done_bytes_ + file->FileSize();
      status.TotalPercent = TotalPercent(status.RunningTotal, total_bytes_);
      status.TotalBytes = total_bytes_;
      Status(file, status);
      done_bytes_ += file->FileSize();
      break;
    }
    default:
      break;  // the start, end and done events are passed on only
  }
  if (Container() != nullptr) Container()->DoInformationEventControl(sender, code, po);
}

}  // namespace brimwell
