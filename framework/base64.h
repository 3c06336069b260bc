// Base64 (RFC 4648, with padding), for pictures stored inline in projects
// and for the MIME encoders.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

std::string Base64Encode(const std::vector<std::uint8_t>& data);
// nullopt for text that is not Base64 (white space is skipped).
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

}  // namespace brimwell
