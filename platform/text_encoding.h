// Conversions between the UTF-8 text the platform keeps and the UTF-16LE
// text some Windows files hold (Unicode INI files, registry editor files,
// hex(1) registry data).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brimwell {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

// UTF-16LE bytes to UTF-8; nullopt for an odd byte count. Unpaired
// surrogates become U+FFFD.
std::optional<std::string> Utf16LeToUtf8(std::string_view bytes);
// UTF-8 to UTF-16LE bytes; bytes that are not valid UTF-8 are taken as
// Latin-1 characters.
std::string Utf8ToUtf16Le(std::string_view text);

}  // namespace brimwell
