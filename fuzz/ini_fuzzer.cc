// Fuzz target for the INI reader and editor behind the profile strings:
// any bytes either parse or are refused as not text; a parsed document
// serializes back to bytes that parse to the same sections and keys, and
// edits keep it consistent.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto doc = brimwell::IniDocument::Parse(bytes);
  if (!doc) return 0;
  auto sections = doc->SectionNames();
  auto again = brimwell::IniDocument::Parse(doc->Serialize());
  if (!again || again->SectionNames() != sections) std::abort();
  for (const std::string& section : sections) {
    auto keys = doc->KeyNames(section);
    if (again->KeyNames(section) != keys) std::abort();
    for (const std::string& key : keys) {
      if (doc->Get(section, key) != again->Get(section, key)) std::abort();
    }
  }
  if (!sections.empty()) {
    doc->Set(sections.front(), "FuzzKey", "value");
    if (doc->Get(sections.front(), "fuzzkey") != "value") std::abort();
    doc->DeleteKey(sections.front(), "FUZZKEY");
    doc->DeleteSection(sections.back());
    if (!brimwell::IniDocument::Parse(doc->Serialize())) std::abort();
  }
  return 0;
}
