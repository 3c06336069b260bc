// Windows sharing modes over open-file-description locks: each handle marks
// the access it holds and the sharing it denies as read locks on bytes past
// any real data (platform/linux_file_system.h numbers them), so that other
// handles, in this process or another, can test for conflicts.
#include "platform/share_locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux_file_system.h"

namespace brimwell {

// True when a lock of another open file description (of any process)
// conflicts with a write lock on [start, start + length); length 0 means to
// the end of all offsets.
bool LockedByOthers(int fd, std::int64_t start, std::int64_t length) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = length;
  fl.l_pid = 0;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

void MarkShared(int fd, std::int64_t offset) {
  struct flock fl {};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = 1;
  fl.l_pid = 0;
  // A failure means a lock covering every byte is held by another process;
  // Windows opens such a file all the same.
  (void)::fcntl(fd, F_OFD_SETLK, &fl);
}

// A handle of the file is open without delete sharing, or some process holds
// a lock on its bytes.
bool HeldOpen(const std::filesystem::path& host) {
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  bool held = LockedByOthers(fd, 0, kShareLockBase) || LockedByOthers(fd, kLockDenyDelete, 1);
  if (!held) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      held = errno == EWOULDBLOCK;
    } else {
      ::flock(fd, LOCK_UN);
    }
  }
  ::close(fd);
  return held;
}

// Some process runs the file as its program.
bool BeingExecuted(const std::filesystem::path& host) {
  int fd = ::open(host.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd >= 0) {
    ::close(fd);
    return false;
  }
  return errno == ETXTBSY;
}

bool FileInUse(const std::filesystem::path& host) { return HeldOpen(host) || BeingExecuted(host); }

}  // namespace brimwell
