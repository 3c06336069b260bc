// Work that must wait until this process has ended: the clean-up batch that
// deletes the engine's own files, and the start-up sequence that a restart
// runs once every program has ended.
#pragma once

#include <functional>

#include "platform/win_error.h"

namespace brimwell {

// Runs `work` in a detached process (its own session, standard streams on
// /dev/null, no descriptor of this process kept open, since an inherited one
// would keep this process's files in use) once this process has ended.
// `work` runs in a forked copy of this process: it must not touch state
// shared with this process, such as an open registry. Returns when the
// detached process exists; the error of a failed fork otherwise.
WinStatus RunAfterThisProcessExits(const std::function<void()>& work);

}  // namespace brimwell
