// The machine that a command which installs nothing (archive, version, ...)
// works on. Such a command never makes a prefix: one named by --prefix or
// BRIMWELL_PREFIX must exist, and the default prefix is used when it exists.
// When there is none and the command reads and writes host paths only, a
// scratch prefix in the temporary directory serves it and is removed again.
#pragma once

#include <memory>
#include <string>

#include "platform/machine.h"

namespace brimwell::cli {

class ToolMachine {
 public:
  // `prefix_option` is the --prefix value (empty: none given). With
  // `windows_paths` the command names files of the prefix itself, so a
  // prefix must exist. Throws EPrefixError ("There is no prefix in ...
  // (create one with 'brimwell prefix init')") when the prefix asked for
  // does not exist.
  ToolMachine(const std::string& prefix_option, bool windows_paths);
  ToolMachine(const ToolMachine&) = delete;
  ToolMachine& operator=(const ToolMachine&) = delete;
  ~ToolMachine();

  Machine& Get() { return *machine_; }
  // True when the machine is a scratch prefix that goes with this object.
  bool Scratch() const { return !scratch_dir_.empty(); }

 private:
  std::string scratch_dir_;  // declared first: removed after the machine is closed
  std::unique_ptr<Machine> machine_;
};

// True when `path` starts with a drive letter and a colon ("C:", "a:\x").
bool HasDriveLetter(const std::string& path);

}  // namespace brimwell::cli
