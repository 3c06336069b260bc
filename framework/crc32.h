// CRC-32 (the reflected polynomial 0xEDB88320 with initial value and final
// XOR 0xFFFFFFFF): the checksum that guards data appended to executables.
// The same function as the common zlib/PNG/Ethernet CRC, so any tool can
// check our values; kept here because the framework does not link zlib.
#pragma once

#include <cstdint>
#include <string_view>

namespace brimwell {

// CRC-32 of data. To checksum data in pieces, pass the previous result as
// crc: Crc32(b, Crc32(a)) == Crc32(a + b). Crc32("123456789") is 0xCBF43926.
std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

}  // namespace brimwell
