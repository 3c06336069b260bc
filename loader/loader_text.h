// Small text helpers of the loader, which links no formatting library: the
// messages need only "%s" and "%d" filled in order.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace brimwell {

// Replaces each "%s" or "%d" of `format` by the next of `args` (already
// converted to text) and "%%" by "%". A specifier without an argument left
// is kept as it is.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// `text` without leading and trailing blanks and control characters.
std::string TrimBlanks(std::string_view text);

}  // namespace brimwell
