// What a prefix does when "Windows starts": the work Windows leaves for its
// next start, done in Windows' order.
//
//  1. Delayed moves: the pairs of the PendingFileRenameOperations value under
//     HKLM\SYSTEM\CurrentControlSet\Control\Session Manager ("\??\" paths;
//     an empty target deletes the source, a target beginning with "!"
//     replaces an existing file), in order; then the value is deleted.
//  2. WININIT.INI in the Windows directory: each line of its [Rename] section
//     "target=source" moves source onto target ("NUL=source" deletes
//     source), in file order; the file is then renamed WININIT.BAK.
//  3. RunOnce: every value of HKLM\...\CurrentVersion\RunOnce, then of
//     HKCU\...\CurrentVersion\RunOnce, in the order the registry lists them:
//     the value is deleted, then its command runs and is waited for (a name
//     beginning with "!" is deleted only after its command ran).
//
// A step that fails is reported and the sequence goes on, as Windows does.
#pragma once

#include <string>
#include <vector>

namespace brimwell {

class Machine;

struct StartupReport {
  // One line per action, in order: "move C:\a -> C:\b", "delete C:\a",
  // "run BrimwellUnfinished: "C:\x\setupengine" -r ...", with
  // ": <error text>" appended for a failure.
  std::vector<std::string> lines;
  int failures = 0;
};

StartupReport RunStartupSequence(Machine& machine);

// The registry places of the sequence.
inline constexpr char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";
inline constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char kWininitFile[] = "WININIT.INI";

}  // namespace brimwell
