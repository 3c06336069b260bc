// A guard over the emulated current directory.
#pragma once

#include <string>

#include "platform/paths.h"

namespace brimwell {

// Makes `dir` the current directory for the life of the guard, as a program
// started or a library loaded from there expects.
class ScopedCurrentDirectory {
 public:
  ScopedCurrentDirectory(Paths& paths, const std::string& dir) : paths_(paths), saved_(paths.CurrentDirectory()) {
    paths_.SetCurrentDirectory(dir);
  }
  ~ScopedCurrentDirectory() { paths_.SetCurrentDirectory(saved_); }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  Paths& paths_;
  std::string saved_;
};

}  // namespace brimwell
