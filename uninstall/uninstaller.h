// Undoing an installation from its uninstall record: the servers are
// unregistered while every file is still there, then the registry values,
// the INI values, the installed files and links (newest first), the
// self-registered files, the uninstall program, the folders left empty,
// the Program Manager groups left empty and last the record itself.
//
// Nothing is removed that the record does not prove: a path outside the
// prefix is refused, a shared file is deleted only when its count reaches
// zero, a file whose size or digest differs from the one recorded at
// install time is kept, a registry or INI value that no longer holds the
// text written is kept, a folder or INI file that still holds anything
// stays. A file in use is deleted at the next start. Whatever could not be
// done stays in the record, so that a second run finishes it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "uninstall/product_record.h"

namespace brimwell {

class Machine;

enum class StepOutcome {
  kRemoved,      // done
  kAlreadyGone,  // nothing was there to remove
  kShared,       // a shared file still used by others: its count went down
  kScheduled,    // in use: removed at the next start
  kKeptChanged,  // changed since the installation: kept
  kKeptInUse,    // a folder or file that still holds something of others: kept
  kRefused,      // outside the prefix or not provably the product's
  kFailed,       // could not be removed now
};

// The name of an outcome for reports ("removed", "kept (changed)", ...).
const char* OutcomeName(StepOutcome outcome);

struct UninstallStep {
  std::string what;  // "file C:\...", "registry value HKEY_...\key\name", ...
  StepOutcome outcome = StepOutcome::kRemoved;
  std::string detail;  // why, for everything but a plain removal
};

struct UninstallReport {
  std::vector<UninstallStep> steps;
  // Damage found in the record.
  std::vector<std::string> problems;
  bool record_removed = false;

  // Nothing failed or was refused and the record held no damage.
  bool Complete() const;
  // Some file was kept because it had changed.
  bool KeptChanged() const;
  // Some file waits for the next start.
  bool Scheduled() const;
};

class Uninstaller {
 public:
  // Called after each step with the number of steps done and planned.
  using Progress = std::function<void(const UninstallStep& step, int done, int total)>;

  // `machine` must outlive the uninstaller; `record` must exist.
  Uninstaller(Machine& machine, ProductRecord record);

  void SetProgress(Progress progress) { progress_ = std::move(progress); }
  // How many steps Run will report (about: folders are found on the way).
  int PlannedSteps() const;

  // Undoes the record. Throws only what the registry throws for an
  // unreadable store.
  UninstallReport Run();

 private:
  class Run_;
  Machine& machine_;
  ProductRecord record_;
  Progress progress_;
};

}  // namespace brimwell
