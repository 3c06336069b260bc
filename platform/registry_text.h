// The registry editor's text format, for `brimwell reg export` and `import`:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Acme]
//   @="default value"
//   "Name"="text with \"quotes\" and \\backslashes"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//   "List"=hex(7):41,00,00,00,00
//
// Keys in enumeration order, each followed by its values in creation order
// and a blank line. Long hex data continues on the next line after ",\".
// Strings holding line breaks or NUL cannot be quoted and are written as
// hex(1): (UTF-16LE with its terminating NUL). Export writes UTF-8 text with
// LF line ends; import also reads UTF-16LE text (with its BOM), CRLF line
// ends, the "REGEDIT4" header, "[-KEY]" key deletions and "name"=- value
// deletions.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace brimwell {

inline constexpr char kRegistryTextHeader[] = "Windows Registry Editor Version 5.00";

// Writes `key` of `hive` and everything below it. Returns false when the key
// does not exist (nothing is written). Throws ERegistryTextError for a key
// name holding a control character or a value name holding a line break,
// which the text cannot carry; what was written before is then incomplete.
bool ExportRegistryText(Registry& registry, RegistryHive hive, std::string_view key,
                        std::ostream& out);
// Writes every hive (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and
// HKEY_CURRENT_CONFIG are views of other keys and are not repeated).
void ExportAllRegistryText(Registry& registry, std::ostream& out);

struct RegistryImportResult {
  int keys = 0;    // keys created or opened
  int values = 0;  // values written or deleted
};

// Applies a registry text file, all or nothing (one Registry update).
// Throws ERegistryTextError with the line number ("line %d: ...") for a
// malformed line, a missing header, a key of no hive or a write that fails,
// and ERegistryStoreError when the store cannot commit; either way nothing
// of the file is applied.
RegistryImportResult ImportRegistryText(Registry& registry, std::string_view text);

}  // namespace brimwell
