#include "platform/program_copy.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_env.h"
#include "platform/linux_file_system.h"

namespace brimwell {

WinResult<int> CopyExecutableToMemory() {
  auto image = host::Env::Default().OpenExecutable();
  if (!image) return WinResult<int>::Error(WinErrorFromErrno(image.error().value()));
  int memfd = ::memfd_create("brimwell-program", MFD_CLOEXEC);
  if (memfd < 0) return WinResult<int>::Error(WinErrorFromErrno(errno));
  std::vector<std::uint8_t> buffer(1 << 20);
  for (;;) {
    auto got = (*image)->Read(buffer);
    int error = 0;
    if (!got) {
      error = got.error().value();
    } else if (*got == 0) {
      return memfd;
    } else {
      std::size_t done = 0;
      while (done < *got && error == 0) {
        ssize_t n = ::write(memfd, buffer.data() + done, *got - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : ENOSPC;
        if (n > 0) done += static_cast<std::size_t>(n);
      }
    }
    if (error != 0) {
      ::close(memfd);
      return WinResult<int>::Error(WinErrorFromErrno(error));
    }
  }
}

bool RunningFromMemoryCopy(int argc, char** argv) {
  return argc >= 2 && std::string_view(argv[1]) == kRunningFromCopySwitch;
}

WinStatus RunOnFromMemoryCopy(int argc, char** argv) {
  WinResult<int> memfd = CopyExecutableToMemory();
  if (!memfd.ok()) return WinStatus::Error(memfd.error());
  // The kernel opens the program through the descriptor before exec closes
  // it (close-on-exec), so the copy holds the only reference afterwards.
  std::string program = "/proc/self/fd/" + std::to_string(*memfd);
  std::vector<char*> args{argv[0], const_cast<char*>(kRunningFromCopySwitch)};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  ::execv(program.c_str(), args.data());
  const int error = errno;
  ::close(*memfd);
  return WinStatus::Error(WinErrorFromErrno(error));
}

}  // namespace brimwell
