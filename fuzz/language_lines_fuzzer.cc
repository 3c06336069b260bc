// Fuzz target for the language-line parser: any bytes, split into lines as
// a language text file is, either parse or are refused with an Exception;
// a table that parses has only texts of at most 255 characters without a
// ";", and parsing the same lines again gives the same entries. The bytes
// also go through the text-file decoding a language file takes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/exception.h"
#include "framework/string_list.h"
#include "platform/text_encoding.h"
#include "translate/language_lines.h"

namespace {

std::size_t Characters(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> text = brimwell::TextFileToUtf8(bytes, 1252);
  brimwell::TStringList lines;
  lines.SetText(text ? std::string_view(*text) : bytes);
  brimwell::ParsedLanguageLines parsed;
  try {
    parsed = brimwell::ParseLanguageLines(lines.Lines());
  } catch (const brimwell::Exception&) {
    return 0;
  }
  for (const auto& s : parsed.strings) {
    if (s.text.find(';') != std::string::npos) std::abort();
    if (Characters(s.text) > brimwell::kMaxLanguageStringLength) std::abort();
  }
  brimwell::ParsedLanguageLines again = brimwell::ParseLanguageLines(lines.Lines());
  if (again.strings.size() != parsed.strings.size() || again.memos.size() != parsed.memos.size()) std::abort();
  return 0;
}
