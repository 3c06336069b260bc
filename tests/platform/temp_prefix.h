// A fresh prefix in a temporary directory for each test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/testutil/run.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

// Waits (without a deadline that a test asserts on) until `done` holds or a
// generous limit passes; returns `done()`.
inline bool Eventually(const std::function<bool()>& done) {
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class PrefixTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = OpenMachine(prefix_dir()); }
  void TearDown() override { machine_.reset(); }

  std::filesystem::path prefix_dir() const { return dir_.path() / "prefix"; }
  Machine& machine() { return *machine_; }
  FileSystem& files() { return machine_->GetFileSystem(); }
  Registry& registry() { return machine_->GetRegistry(); }
  Paths& paths() { return machine_->GetPaths(); }
  std::filesystem::path drive_c() const { return prefix_dir() / "drive_c"; }
  // Closes and opens the machine again (a second run of the engine).
  void Reopen() {
    machine_.reset();
    machine_ = OpenMachine(prefix_dir());
  }

  TempDir dir_;
  std::unique_ptr<Machine> machine_;
};

}  // namespace brimwell::testing
