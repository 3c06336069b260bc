// The engine's access to its net install locations: the NetLocationAccess
// that every EngineContext starts with, over TCustomNetInstallLocation.
// It fetches a component's archive with the location's GetFile and reads
// the remote file list of a web or network distribution.
#pragma once

#include <memory>

namespace brimwell {

class EngineContext;
class NetLocationAccess;

inline constexpr char kCannotReadRemoteFileList[] = "Cannot read the remote list of files: %s";

// `ctx` must outlive the result.
std::unique_ptr<NetLocationAccess> MakeNetLocationAccess(EngineContext& ctx);

}  // namespace brimwell
