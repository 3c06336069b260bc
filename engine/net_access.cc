#include "engine/net_access.h"

#include <string>

#include "engine/api_routines.h"
#include "engine/custom_install_file.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "engine/net_location_access.h"
#include "engine/remote_file_list.h"
#include "netloc/net_install_location.h"
#include "netloc/net_location_state.h"
#include "platform/file_system.h"
#include "platform/machine.h"

namespace brimwell {

std::string NetLocationAccess::RelativeMirrorPath(TComponent& location) { return location.Name(); }

namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

class LocationAccess final : public NetLocationAccess {
 public:
  explicit LocationAccess(EngineContext& ctx) : ctx_(ctx) {}

  bool LoginInformationFilledIn(TComponent& location) override {
    auto* l = dynamic_cast<TCustomNetInstallLocation*>(&location);
    return l != nullptr && TCustomNetInstallLocation::IsFilledIn(l->LoginInformation());
  }

  void Download(TComponent& location, const std::string& remote_name, const std::string& local_path,
                const DataReceivedHook& progress) override {
    TCustomNetInstallLocation& l = AsLocation(location);
    // The item's hook is set for its own download only.
    struct HookScope {
      TCustomNetInstallLocation& l;
      ~HookScope() { l.SetDataHook(nullptr); }
    } scope{l};
    l.SetDataHook([&progress](TComponent*, const std::string& file_name, std::int32_t bytes, std::int32_t total,
                              std::int32_t size, const std::uint8_t* buffer) {
      if (progress) progress(file_name, bytes, total, size, buffer);
    });
    l.GetFile(remote_name, local_path);
  }

  bool DownloadCancelled() override { return ctx_.NetLocations().DownloadCancelled(); }

  std::string RelativeMirrorPath(TComponent& location) override {
    auto* l = dynamic_cast<TCustomNetInstallLocation*>(&location);
    return l != nullptr ? l->RelativeMirrorPath() : NetLocationAccess::RelativeMirrorPath(location);
  }

  void ReadRemoteFileList(TCustomInstall& driver) override {
    TComponent* location = driver.NetLocation();
    if (location == nullptr) Raise<IEInstall>(&ctx_, kNoNetLocationFor, {driver.DisplayName()});
    FileSystem& files = ctx_.GetMachine().GetFileSystem();
    const std::string temp = MakeTempFileName(ctx_, false);
    struct RemoveTemp {
      FileSystem& files;
      const std::string& path;
      ~RemoveTemp() { files.DeleteFile(path).IgnoreError(); }  // a missing file is fine
    } remove{files, temp};
    AsLocation(*location).GetFile(kRemoteFileListName, temp);
    if (DownloadCancelled()) Raise<EAIUserAbort>(&ctx_, kInstallationAbortedByUser);

    std::string bytes;
    if (auto file = files.Open(temp, FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting); file.ok()) {
      char buffer[65536];
      for (;;) {
        IoResult r = (*file)->Read(buffer, sizeof buffer);
        if (!r.ok() || r.bytes == 0) break;
        bytes.append(buffer, r.bytes);
      }
    }
    auto records = DecodeFileList(bytes);
    if (!records) Raise<IEInstall>(&ctx_, kCannotReadRemoteFileList, {temp});
    for (const RemoteFileRecord& record : *records) {
      for (TCustomInstallFile* file : ctx_.Files()) {
        if (SameNameNoCase(file->Name(), record.name)) {
          // The version text has no place on the file yet; size and date
          // are what the pages and the overwrite rules read.
          file->SetFileSize(record.size);
          file->SetFileDate(record.date);
          break;
        }
      }
    }
  }

 private:
  TCustomNetInstallLocation& AsLocation(TComponent& location) {
    auto* l = dynamic_cast<TCustomNetInstallLocation*>(&location);
    if (l == nullptr) Raise<IEInstallContainer>(&ctx_, kNoNetLocationFor, {location.Name()});
    return *l;
  }

  EngineContext& ctx_;
};

}  // namespace

std::unique_ptr<NetLocationAccess> MakeNetLocationAccess(EngineContext& ctx) {
  return std::make_unique<LocationAccess>(ctx);
}

}  // namespace brimwell
