// The callbacks an installable file gives the archive component for the
// length of one action: progress (OnStatus, component call -998 and the
// action's information event), disk requests and the user's abort. Shared
// by the files' action sources only.
#pragma once

#include "archive/brwl_compress.h"
#include "engine/custom_install_file.h"

namespace brimwell {

class TCustomInstallFile::ArchiveCallbacks {
 public:
  // Wires `archive` to `file`; `progress_event` is 1008 (installing), 1009
  // (compressing) or 1010 (copying). Both must outlive the object.
  ArchiveCallbacks(TCustomInstallFile& file, TBrwlCompress& archive, int progress_event);
  // Detaches the callbacks, however the action ended.
  ~ArchiveCallbacks();
  ArchiveCallbacks(const ArchiveCallbacks&) = delete;
  ArchiveCallbacks& operator=(const ArchiveCallbacks&) = delete;

 private:
  TBrwlCompress& archive_;
};

}  // namespace brimwell
