// The text of an INI file as a list of lines, read and edited the way the
// private profile functions of Win32 read and edit it: only the lines that a
// change touches are rewritten; every other line stays byte for byte.
//
// A line whose first non-blank character is '[' and that holds a ']' opens a
// section named by the text between them. Inside a section, "key=value"
// defines a key (key and value trimmed of blanks); a line without '=' is a
// key without value; lines starting with ';' are comments. Lines before the
// first section belong to no section and are never looked up. Sections and
// keys compare without case; the first of duplicates is the one found.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brimwell {

class IniDocument {
 public:
  enum class Encoding { kAnsi, kUtf8Bom, kUtf16Le };

  IniDocument() = default;

  // Parses file bytes. Returns nullopt when they are not text: NUL bytes
  // outside a UTF-16LE file that starts with its byte-order mark.
  static std::optional<IniDocument> Parse(std::string_view bytes);
  // The file bytes, in the encoding and with the line ends read (CRLF for a
  // new document).
  std::string Serialize() const;

  // The raw value of [section] key (trimmed, quotes kept); nullopt when the
  // section or key is missing. A key without '=' has the value "".
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::vector<std::string> SectionNames() const;
  // Keys of the first section of that name (comment lines left out).
  std::vector<std::string> KeyNames(std::string_view section) const;
  bool HasSection(std::string_view section) const;
  // Every key=value line of every section of that name, in file order,
  // duplicates included (WININIT.INI lists "NUL=" several times).
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

  // Sets a value: replaces the line of an existing key in place (keeping the
  // key's spelling), or adds "key=value" after the last non-blank line of the
  // section, or adds the section at the end of the document.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of that key in the first section of that name. False
  // when there was none.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name with all its lines. False when none.
  bool DeleteSection(std::string_view section);

 private:
  enum class Kind { kOther, kSection, kKey, kComment, kBlank };
  struct Line {
    std::string text;  // without line end
    Kind kind = Kind::kOther;
    std::string name;   // section or key name (trimmed)
    std::string value;  // key value (trimmed)
    bool has_equals = false;
  };

  static Line Classify(std::string text);
  // Index range [begin, end) of the body of the first section named
  // `section` (the lines after its header); nullopt when missing.
  std::optional<std::pair<std::size_t, std::size_t>> FindSection(std::string_view section) const;
  std::size_t SectionEnd(std::size_t header) const;

  std::vector<Line> lines_;
  Encoding encoding_ = Encoding::kAnsi;
  std::string line_end_ = "\r\n";
  bool final_line_end_ = true;  // the last line ended with a line end
};

}  // namespace brimwell
