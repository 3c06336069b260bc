// Small text helpers of the loader.
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

// `text` without leading and trailing blanks and control characters.
std::string TrimBlanks(std::string_view text);

}  // namespace brimwell
