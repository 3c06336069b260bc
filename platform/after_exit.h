// Work that must wait until this process has ended: the clean-up batch that
// deletes the engine's own files, and the start-up sequence that a restart
// runs once every program has ended.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/win_error.h"

namespace brimwell {

// Runs `work` in a detached process (its own session, standard streams on
// /dev/null, no descriptor of this process kept open, since an inherited one
// would keep this process's files in use) once this process has ended.
// `work` runs in a forked copy of this process: it must not touch state
// shared with this process, such as an open registry. Returns when the
// detached process exists; the error of a failed fork otherwise.
WinStatus RunAfterThisProcessExits(const std::function<void()>& work);

// --- A batch run by a program that is not this process's executable --------
//
// The clean-up batch deletes the engine's own executable, which cannot be
// deleted while any process runs it, a forked copy of the engine included.
// The batch therefore runs in a new program image: an in-memory copy of
// this executable (no file of the engine stays in use), started with
// kBatchAfterExitSwitch, which waits until this process has ended and then
// runs the batch through the platform's interpreter.

inline constexpr char kBatchAfterExitSwitch[] = "--brimwell-batch-after-exit";

// Called first in the main of a program that may start batches after its
// exit (the engine). When the program was started to run such a batch
// (argv: program, kBatchAfterExitSwitch, the pid to wait for, the prefix
// directory, the batch's Windows path), runs it and returns the exit
// status: 0, or 1 when a command failed or the prefix cannot be opened.
// Otherwise returns nullopt and lets StartBatchAfterExit use the copy.
std::optional<int> RunBatchAfterExitIfAsked(int argc, char** argv);
// True once RunBatchAfterExitIfAsked has been called in this process.
bool CanStartBatchProgram();
// Starts the in-memory copy described above for `batch_path` (a Windows
// path) of the prefix `prefix`. Returns once the copy runs; the error of a
// failed start otherwise.
WinStatus StartBatchProgramAfterExit(const std::filesystem::path& prefix, const std::string& batch_path);

}  // namespace brimwell
