// NetLocationAccess: what the engine needs of a net install location (the
// TCustomNetInstallLocation components of the network subsystem) to fetch a
// component's archive and the remote file list. The network subsystem
// attaches an implementation to the EngineContext; without one, no
// component can fetch anything and the engine says so with its own messages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brimwell {

class TComponent;
class TCustomInstall;

// Progress of a download: the remote file name, the bytes of this block,
// the bytes received so far, the file's size and the block's bytes.
using DataReceivedHook = std::function<void(const std::string& file_name, std::int32_t bytes,
                                            std::int32_t total_bytes, std::int32_t file_size,
                                            const std::uint8_t* buffer)>;

class NetLocationAccess {
 public:
  NetLocationAccess() = default;
  NetLocationAccess(const NetLocationAccess&) = delete;
  NetLocationAccess& operator=(const NetLocationAccess&) = delete;
  virtual ~NetLocationAccess() = default;

  // True when `location` has its login information filled in.
  virtual bool LoginInformationFilledIn(TComponent& location) = 0;
  // Fetches `remote_name` from `location` into the Windows path
  // `local_path`, calling `progress` after every block. Throws the
  // location's exceptions (ENIL family) on failure; returns normally when
  // the user cancelled (the caller tests DownloadCancelled).
  virtual void Download(TComponent& location, const std::string& remote_name,
                        const std::string& local_path, const DataReceivedHook& progress) = 0;
  // The download-cancel flag: set by the user's cancel, never cleared.
  virtual bool DownloadCancelled() = 0;
  // Reads the remote file list of a web or network distribution and gives
  // its sizes, dates and versions to the files of the driver's tree.
  virtual void ReadRemoteFileList(TCustomInstall& driver) = 0;
  // The relative directory that stands for `location` in a build's server
  // layout; the component's name unless the location says otherwise.
  virtual std::string RelativeMirrorPath(TComponent& location);
};

}  // namespace brimwell
