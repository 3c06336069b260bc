// How the system-changes components show values in the run log: one line per
// value written or vetoed, the value quoted so that line breaks, NUL and
// other control characters stay visible and the line stays one line.
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

// `text` in double quotes with backslash, quote, CR, LF, tab and NUL
// escaped (\\ \" \r \n \t \0) and other control bytes as \xHH; bytes from
// 0x80 up (UTF-8 text) pass unchanged.
std::string QuoteForLog(std::string_view text);

}  // namespace brimwell
