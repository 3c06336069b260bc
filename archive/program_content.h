// The archive format stores no permissions. A file written from an archive is
// made executable when its content shows it is a program for the host: it
// starts with the ELF magic or with "#!".
#pragma once

#include <cstdint>
#include <span>

namespace brimwell {

inline constexpr std::size_t kProgramMagicBytes = 4;  // enough bytes to decide

// True when `head` (the first bytes of a file) starts like a host program.
inline bool LooksLikeProgram(std::span<const std::uint8_t> head) {
  if (head.size() >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
    return true;
  }
  return head.size() >= 2 && head[0] == '#' && head[1] == '!';
}

}  // namespace brimwell
