#include "engine/file_related.h"

#include <unordered_set>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/net_location_access.h"
#include "engine/parameter_objects.h"
#include "archive/brwl_compress.h"
#include "engine/standard_path_specifiers.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

bool IsFileYieldingSpecifier(const TCustomPathSpecifier* s) {
  return dynamic_cast<const TpsContainerArchiveFile*>(s) != nullptr ||
         dynamic_cast<const TpsMainArchiveFile*>(s) != nullptr;
}

}  // namespace

const ClassInfo& TFileRelated::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TFileRelated>("TFileRelated", &TInstallObject::StaticClassInfo()).Build();
  return info;
}

TFileRelated::TFileRelated(TComponent* owner) : TInstallObject(owner) { SetProcessable(true); }

void TFileRelated::SetArchiveFile(const std::string& file) {
  if (!Loading() && IsFileYieldingSpecifier(archive_file_type_)) {
    archive_file_.clear();
  } else {
    archive_file_ = file;
  }
}

void TFileRelated::StoreArchiveFileType(TCustomPathSpecifier* specifier) {
  // Earlier registrations stay: a notification about a component no longer
  // referenced changes nothing, and another reference may share it.
  archive_file_type_ = specifier;
  if (specifier != nullptr) FreeNotification(specifier);
}

void TFileRelated::SetArchiveFileType(TCustomPathSpecifier* specifier) {
  if (!Loading() && specifier != nullptr) specifier->Validate(this);
  archive_file_type_assigned_ = true;
  StoreArchiveFileType(specifier);
  if (IsFileYieldingSpecifier(specifier)) archive_file_.clear();
}

void TFileRelated::SetNetLocation(TComponent* location) {
  net_location_ = location;
  if (location != nullptr) FreeNotification(location);
}

void TFileRelated::SetContainer(TInstallContainer* container) {
  TInstallContainer* before = Container();
  TInstallObject::SetContainer(container);
  if (Loading() || Container() == before || Container() != container) return;
  if (dynamic_cast<TFileRelated*>(container) != nullptr) {
    TFileRelated::SetArchiveFileType(StandardSpecifier<TpsContainerArchiveFile>(Context()));
    archive_file_.clear();
  } else if (dynamic_cast<TpsContainerArchiveFile*>(archive_file_type_) != nullptr) {
    TFileRelated::SetArchiveFileType(nullptr);
  }
}

void TFileRelated::SetOrder(std::int32_t order) {
  if (Loading()) {
    TInstallObject::SetOrder(order);
    return;
  }
  TInstallContainer* container = Container();
  if (container == nullptr || order == Order()) return;
  container->RemoveHelper(this);
  TInstallObject::SetOrder(order);
  container->AddHelper(this);
}

std::string TFileRelated::GetArchivePath() {
  std::string path =
      archive_file_type_ != nullptr ? archive_file_type_->GetPath(this) + archive_file_ : archive_file_;
  return StripTrailingBackslash(std::move(path));
}

bool TFileRelated::ArchiveAvailable() {
  if (local_archive_path_.empty() || Context() == nullptr) return false;
  return Context()->GetMachine().GetFileSystem().FileExists(local_archive_path_);
}

std::optional<std::string> TFileRelated::LookupLocalFile() const {
  EngineContext* ctx = Context();
  if (ctx == nullptr || Name().empty() || ctx->InstallRecordKey().empty()) return std::nullopt;
  Machine& machine = ctx->GetMachine();
  // A value of another type names no file.
  std::optional<std::string> value = machine.GetRegistry().FindString(
      RegistryHive::kLocalMachine, ctx->InstallRecordKey() + "\\" + Name(), kLocalFileValue);
  if (!value || value->find_first_not_of(' ') == std::string::npos) return std::nullopt;
  try {
    if (!machine.GetFileSystem().FileExists(*value)) return std::nullopt;
  } catch (const EPathError&) {
    return std::nullopt;  // a damaged value is no copy
  }
  return value;
}

void TFileRelated::RecordLocalFile() {
  EngineContext* ctx = Context();
  if (ctx == nullptr || Designing() || Name().empty() || ctx->InstallRecordKey().empty()) return;
  ctx->GetMachine()
      .GetRegistry()
      .WriteString(RegistryHive::kLocalMachine, ctx->InstallRecordKey() + "\\" + Name(), kLocalFileValue,
                   local_archive_path_)
      .IgnoreError();  // the copy is only an optimisation for a resumed run
}

void TFileRelated::DataReceived(const std::string& file_name, std::int32_t bytes, std::int32_t total_bytes,
                                std::int32_t file_size, const std::uint8_t* buffer) {
  if (OnDataReceived) OnDataReceived(this, file_name, bytes, total_bytes, file_size, buffer);
  TDownloadStatusParameter po;
  po.FileName = file_name;
  po.Bytes = bytes;
  po.TotalBytes = total_bytes;
  po.FileSize = file_size;
  po.Buffer = buffer;
  po.Percent = file_size > 0 ? static_cast<int>(static_cast<std::int64_t>(total_bytes) * 100 / file_size) : 0;
  BroadcastComponentCall(kCallDownloadProgress, &po);
  if (Container() != nullptr) Container()->DoInformationEventControl(this, kEventDownloadProgress, &po);
}

TComponent* TFileRelated::FindNetLocation() {
  if (net_location_ != nullptr) return net_location_;
  // A group's server serves everything below it. The walk stops at a
  // repeat, so a damaged tree cannot make it loop.
  std::unordered_set<const TInstallContainer*> seen{this};
  for (TInstallContainer* c = Container(); c != nullptr && seen.insert(c).second;) {
    auto* related = dynamic_cast<TFileRelated*>(c);
    if (related == nullptr) break;
    if (related->net_location_ != nullptr) return related->net_location_;
    c = related->Container();
  }
  EngineContext* ctx = Context();
  if (ctx == nullptr) return nullptr;
  InstallDriver* driver = ctx->DriverView();
  if (driver != nullptr && driver->DriverNetLocation() != nullptr) return driver->DriverNetLocation();
  return ctx->DefaultNetLocation();
}

void TFileRelated::DownloadArchive() {
  EngineContext* ctx = Context();
  if (auto local = LookupLocalFile()) {
    local_archive_path_ = *local;
    return;
  }
  TComponent* location = FindNetLocation();
  NetLocationAccess* access = ctx != nullptr ? ctx->NetAccess() : nullptr;
  if (location == nullptr || access == nullptr) Raise<IEInstallContainer>(ctx, kNoNetLocationFor, {DisplayName()});
  if (!access->LoginInformationFilledIn(*location)) {
    // The driver's login is named as such; any other location (this
    // component's or a group's above it) by its NetLocation property.
    InstallDriver* driver = ctx->DriverView();
    const bool drivers = driver != nullptr && location == driver->DriverNetLocation() && net_location_ == nullptr;
    Raise<IEInstallContainer>(ctx, drivers ? kDriverLoginNotFilled : kOwnNetLocationNotFilled, {DisplayName()});
  }
  local_archive_path_ = ChangeFileExt(MakeTempFileName(*ctx, false), ".1");
  // A download that fails leaves no copy behind and no path to one.
  struct ForgetUnlessKept {
    TFileRelated& self;
    FileSystem& files;
    bool keep = false;
    ~ForgetUnlessKept() {
      if (keep) return;
      files.DeleteFile(self.local_archive_path_).IgnoreError();  // may never have been written
      self.local_archive_path_.clear();
    }
  } forget{*this, ctx->GetMachine().GetFileSystem()};
  access->Download(*location, Name() + ".1", local_archive_path_,
                   [this](const std::string& file_name, std::int32_t bytes, std::int32_t total,
                          std::int32_t size, const std::uint8_t* buffer) {
                     DataReceived(file_name, bytes, total, size, buffer);
                   });
  if (access->DownloadCancelled() || ctx->MainArchive().Abort()) Raise<EAIUserAbort>(ctx, kInstallationAbortedByUser);
  forget.keep = true;
  RecordLocalFile();
}

void TFileRelated::Loaded() {
  const bool was_loading = Loading();
  TInstallObject::Loaded();
  if (was_loading && archive_file_type_defaulted_ && !archive_file_type_assigned_) StoreArchiveFileType(nullptr);
  if (auto local = LookupLocalFile()) local_archive_path_ = *local;
}

void TFileRelated::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component != nullptr) {
    if (component == archive_file_type_) archive_file_type_ = nullptr;
    if (component == net_location_) net_location_ = nullptr;
  }
  TInstallObject::Notification(component, operation);
}

}  // namespace brimwell
