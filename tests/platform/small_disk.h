// A small disk made by a test: a tmpfs of a chosen size mounted over a
// temporary directory inside a private mount namespace of a child process,
// so nothing outside the child ever sees it and it goes when the child
// ends. Where the host allows no such mount (no user namespaces, no
// privilege), the test is skipped.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/testutil/run.h"

namespace brimwell::testing {

// The exit status of a child that could not make its disk.
inline constexpr int kNoSmallDisk = 77;

namespace small_disk_detail {

inline bool WriteProcFile(const char* path, const std::string& text) {
  int fd = ::open(path, O_WRONLY);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// Enters a mount namespace of its own (with a user namespace when not
// privileged) whose mounts never reach the parent's.
inline bool EnterPrivateMounts() {
  uid_t uid = ::geteuid();
  gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWNS) != 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    WriteProcFile("/proc/self/setgroups", "deny");
    if (!WriteProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1\n")) return false;
    if (!WriteProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1\n")) return false;
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

}  // namespace small_disk_detail

// Runs `body` in a child process with a tmpfs of `bytes` bytes mounted on
// `dir` (an existing, empty directory). Returns the child's exit status,
// kNoSmallDisk when the disk could not be made, -1 when the child did not
// exit normally. An exception in `body` exits with 99.
inline int OnSmallDisk(const std::filesystem::path& dir, long bytes, const std::function<int()>& body) {
  return InChild([&] {
    if (!small_disk_detail::EnterPrivateMounts()) return kNoSmallDisk;
    std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) return kNoSmallDisk;
    return body();
  });
}

// Fills the file system holding `dir` by writing `name` in it until the
// disk refuses more; returns the bytes written.
inline long FillDisk(const std::filesystem::path& dir, const char* name = "filler") {
  int fd = ::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return -1;
  static const char block[4096] = {};
  long total = 0;
  for (;;) {
    ssize_t n = ::write(fd, block, sizeof block);
    if (n <= 0) break;
    total += n;
  }
  ::close(fd);
  return total;
}

}  // namespace brimwell::testing
