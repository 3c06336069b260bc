// TLanguage: the table of one language of a translator. Its lines
// (Strings, a TLangFormatStrings) are parsed into string entries (a GLID and
// a text) and memo entries (a GLID and lines); see language_lines.h for the
// line format. A table also carries the font its language asks for when
// FontOverride is set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/font.h"
#include "framework/string_list.h"
#include "translate/brwl_language.h"

namespace brimwell {

class TLanguage;
class TTranslator;

// An entry of a table: its number and the table it belongs to.
class TLanguageElement {
 public:
  TLanguageElement(std::int32_t glid, TLanguage* language) : glid_(glid), language_(language) {}
  virtual ~TLanguageElement() = default;
  std::int32_t GLID() const { return glid_; }
  TLanguage* Language() const { return language_; }

 private:
  std::int32_t glid_;
  TLanguage* language_;
};

// One text of at most 255 characters.
class TLanguageString : public TLanguageElement {
 public:
  TLanguageString(std::int32_t glid, TLanguage* language, std::string text);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// A block of lines.
class TLanguageMemo : public TLanguageElement {
 public:
  TLanguageMemo(std::int32_t glid, TLanguage* language, std::vector<std::string> lines)
      : TLanguageElement(glid, language), lines_(std::move(lines)) {}
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// Raised for a language text file that is neither UTF-8 nor UTF-16 with a
// byte-order mark nor text of its language's Windows code page; %s is the
// file, the second %s the language.
inline constexpr char kLanguageFileEncoding[] =
    "The language file %s is not text of the %s language: it is neither UTF-8, UTF-16 with a byte order mark, "
    "nor text of the language's Windows code page";
// A parse error of a table's lines, with the language named: the first %s
// is the language, the second the parser's message.
inline constexpr char kLanguageParseError[] = "%s language table: %s";

// The raw lines of one table. Adding, inserting, moving, clearing and
// setting the text re-parse the table (while its re-parse flag is on);
// assigning and loading a file parse once at the end; deleting, exchanging
// and changing a line do not re-parse.
class TLangFormatStrings : public TStringList {
 public:
  explicit TLangFormatStrings(TLanguage& language) : language_(language) {}
  TLangFormatStrings(const TLangFormatStrings&) = delete;
  TLangFormatStrings& operator=(const TLangFormatStrings&) = delete;

  int Add(std::string line) override;
  void AddStrings(const TStringList& other) override;
  void Insert(int index, std::string line) override;
  void Move(int cur_index, int new_index) override;
  void Clear() override;
  void SetText(std::string_view text) override;
  void Assign(const TStringList& other) override;
  // Reads a language text file: UTF-8 (a byte-order mark is dropped),
  // UTF-16 with a byte-order mark, or text in the Windows code page of the
  // table's language. Throws EStreamError (kCannotOpenFile) when it cannot
  // be read and EConvertError (kLanguageFileEncoding) for other bytes; the
  // lines are unchanged then. A parse error leaves the new lines and a
  // table without entries.
  void LoadFromFile(const std::string& path) override;

 private:
  void Reparse();
  TLanguage& language_;
};

class TLanguage : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  // A table of `language` with no lines, the default font and FontOverride
  // off. `translator` may be nullptr.
  TLanguage(TTranslator* translator, TBrwlLanguage language);
  ~TLanguage() override;

  TBrwlLanguage LanguageIdent() const { return ident_; }
  TTranslator* Translator() const { return translator_; }
  // "brwiGerman.txt" and "BM_LANG_GERMAN".
  std::string_view TextFileName() const;
  std::string_view BitmapResourceName() const;

  const TFont& Font() const { return font_; }
  TFont& MutableFont() { return font_; }
  void SetFont(const TFont& font) { font_.Assign(font); }
  bool FontOverride() const { return font_override_; }
  void SetFontOverride(bool value) { font_override_ = value; }
  TLangFormatStrings& Strings() { return strings_; }
  const TLangFormatStrings& Strings() const { return strings_; }
  // Replaces the lines (assignment by copy) and parses them once.
  void SetStrings(const std::vector<std::string>& lines);
  const std::vector<std::string>& Lines() const { return strings_.Lines(); }

  // Rebuilds every entry from the lines while the re-parse flag is on.
  // Throws Exception (the parser's message, with the language named) and
  // leaves the table without entries when a line is at fault.
  void ParseLanguage();
  bool AutoReparse() const { return auto_reparse_; }
  void SetAutoReparse(bool on) { auto_reparse_ = on; }

  const std::vector<std::unique_ptr<TLanguageString>>& StringEntries() const { return strings_entries_; }
  const std::vector<std::unique_ptr<TLanguageMemo>>& MemoEntries() const { return memo_entries_; }

  // The first string (memo) entry with that number, or nullptr.
  const TLanguageString* FindString(std::int32_t glid) const;
  const TLanguageMemo* FindMemo(std::int32_t glid) const;
  // The first string entry whose text equals `text` without regard to
  // letter case, or nullptr.
  const TLanguageString* FindStringByText(std::string_view text) const;
  // The first memo whose lines equal `lines` exactly, or nullptr.
  const TLanguageMemo* FindMemoByLines(const std::vector<std::string>& lines) const;

  // Copies font, override and lines of another table.
  void Assign(const TPersistent& source) override;

  // Whether the lines differ from the standard table of this language (a
  // project stores only such lines).
  bool LinesDifferFromStandard() const;

 private:
  TTranslator* translator_;
  TBrwlLanguage ident_;
  TFont font_;
  bool font_override_ = false;
  TLangFormatStrings strings_;
  bool auto_reparse_ = true;
  std::vector<std::unique_ptr<TLanguageString>> strings_entries_;
  std::vector<std::unique_ptr<TLanguageMemo>> memo_entries_;
};

}  // namespace brimwell
