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
inline constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// UTF-16LE bytes to UTF-8; nullopt for an odd byte count. Unpaired
// surrogates become U+FFFD.
std::optional<std::string> Utf16LeToUtf8(std::string_view bytes);
// UTF-8 to UTF-16LE bytes; bytes that are not valid UTF-8 are taken as
// Latin-1 characters.
std::string Utf8ToUtf16Le(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);
// Text of a Windows code page (1250 ... 1258, 932, 936, 949, 950) to UTF-8;
// nullopt for an unknown code page or bytes the code page does not define.
std::optional<std::string> CodePageToUtf8(std::string_view bytes, int code_page);
// The bytes of a text file as UTF-8 text: a UTF-8 byte-order mark is
// dropped, UTF-16 with a byte-order mark (either order) is converted, UTF-8
// is kept, and anything else is read in `fallback_code_page` (0: none).
// nullopt when the bytes are none of these, or hold a NUL character.
std::optional<std::string> TextFileToUtf8(std::string_view bytes, int fallback_code_page);

}  // namespace brimwell
