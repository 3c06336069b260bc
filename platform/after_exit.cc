#include "platform/after_exit.h"

#include "host/host_env.h"
#include "platform/linux_file_system.h"

namespace brimwell {

WinStatus RunAfterThisProcessExits(const std::function<void()>& work) {
  std::error_code error = host::Env::Default().RunDetached(work, host::DetachedStart::kAfterThisProcessExits);
  if (error) return WinStatus::Error(WinErrorFromErrno(error.value()));
  return WinStatus::Ok();
}

}  // namespace brimwell
