// A program that must delete its own executable (the uninstall program
// removes the copy a product installed) runs on from an in-memory copy of
// it: once the process image is replaced, no process executes the file any
// more, so it can be deleted like any other, and the copy vanishes with the
// process, leaving nothing behind. The process keeps its id, so whoever
// started the program still waits for it and gets its exit status.
#pragma once

#include "platform/win_error.h"

namespace brimwell {

// argv[1] of the copy, removed again by RunOnFromMemoryCopy's caller.
inline constexpr char kRunningFromCopySwitch[] = "--brimwell-running-from-copy";

// An anonymous in-memory file (close-on-exec) holding this process's
// executable as it was started, even when its path has been replaced since;
// the caller closes the descriptor.
WinResult<int> CopyExecutableToMemory();

// True when this process is the in-memory copy (argv[1] is the switch).
bool RunningFromMemoryCopy(int argc, char** argv);

// Replaces this process by the in-memory copy of its executable, with the
// arguments argv[0], kRunningFromCopySwitch, argv[1], ... Returns only when
// that failed, with the error.
WinStatus RunOnFromMemoryCopy(int argc, char** argv);

}  // namespace brimwell
