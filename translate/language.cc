#include "translate/language.h"


#include "framework/exception.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "platform/text_encoding.h"
#include "translate/language_lines.h"
#include "translate/standard_tables.h"

namespace brimwell {
namespace {

// The Windows code page that a language's text files were written in
// before Unicode; a file that is not UTF-8 is read in it.
int CodePageOf(TBrwlLanguage language) {
  switch (language) {
    case blChineseSimplified: return 936;
    case blCzech:
    case blPolish: return 1250;
    case blRussian: return 1251;
    case blGreek: return 1253;
    case blHebrew: return 1255;
    case blJapanese: return 932;
    case blKorean: return 949;
    case blVietnamese: return 1258;
    default: return 1252;
  }
}

// Switches a table's re-parse flag off for a bulk change and back on when
// the change ends, by error too.
class ReparseSuspended {
 public:
  explicit ReparseSuspended(TLanguage& language) : language_(language), was_on_(language.AutoReparse()) {
    language_.SetAutoReparse(false);
  }
  ~ReparseSuspended() { language_.SetAutoReparse(was_on_); }
  ReparseSuspended(const ReparseSuspended&) = delete;
  ReparseSuspended& operator=(const ReparseSuspended&) = delete;

 private:
  TLanguage& language_;
  bool was_on_;
};

}  // namespace

TLanguageString::TLanguageString(std::int32_t glid, TLanguage* language, std::string text)
    : TLanguageElement(glid, language), text_(CutToCharacters(text, kMaxLanguageStringLength)) {}

// --- TLangFormatStrings -----------------------------------------------------------

void TLangFormatStrings::Reparse() { language_.ParseLanguage(); }

int TLangFormatStrings::Add(std::string line) {
  int index = TStringList::Add(std::move(line));
  Reparse();
  return index;
}

void TLangFormatStrings::AddStrings(const TStringList& other) {
  TStringList::AddStrings(other);
  Reparse();
}

void TLangFormatStrings::Insert(int index, std::string line) {
  TStringList::Insert(index, std::move(line));
  Reparse();
}

void TLangFormatStrings::Move(int cur_index, int new_index) {
  TStringList::Move(cur_index, new_index);
  Reparse();
}

void TLangFormatStrings::Clear() {
  TStringList::Clear();
  Reparse();
}

void TLangFormatStrings::SetText(std::string_view text) {
  TStringList::SetText(text);
  Reparse();
}

void TLangFormatStrings::Assign(const TStringList& other) {
  {
    ReparseSuspended suspended(language_);
    TStringList::Assign(other);
  }
  Reparse();
}

void TLangFormatStrings::LoadFromFile(const std::string& path) {
  host::Result<std::string> bytes = host::Env::Default().ReadFile(path);
  if (!bytes) throw EStreamError(Format(kCannotOpenFile, {path, bytes.error().message()}));
  std::optional<std::string> text = TextFileToUtf8(*bytes, CodePageOf(language_.LanguageIdent()));
  if (!text) {
    const LanguageTraits* traits = TraitsOf(language_.LanguageIdent());
    throw EConvertError(
        Format(kLanguageFileEncoding, {path, traits != nullptr ? traits->name : std::string_view("?")}));
  }
  {
    ReparseSuspended suspended(language_);
    TStringList::SetText(*text);
  }
  Reparse();
}

// --- TLanguage -----------------------------------------------------------------------

const ClassInfo& TLanguage::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TLanguage>("TLanguage", nullptr)
          .Object("Font", &TLanguage::MutableFont)
          .Property("FontOverride", &TLanguage::FontOverride, &TLanguage::SetFontOverride, false)
          .Property("Strings", &TLanguage::Lines, &TLanguage::SetStrings)
          // A table keeps the standard lines of its language unless the
          // project states others.
          .StoredWhen([](const TLanguage& l) { return l.LinesDifferFromStandard(); })
          .Build();
  return info;
}

TLanguage::TLanguage(TTranslator* translator, TBrwlLanguage language)
    : translator_(translator), ident_(language), strings_(*this) {}

TLanguage::~TLanguage() = default;

std::string_view TLanguage::TextFileName() const {
  const LanguageTraits* t = TraitsOf(ident_);
  return t != nullptr ? t->text_file : std::string_view();
}

std::string_view TLanguage::BitmapResourceName() const {
  const LanguageTraits* t = TraitsOf(ident_);
  return t != nullptr ? t->bitmap : std::string_view();
}

void TLanguage::SetStrings(const std::vector<std::string>& lines) { strings_.Assign(TStringList(lines)); }

void TLanguage::ParseLanguage() {
  if (!auto_reparse_) return;
  strings_entries_.clear();
  memo_entries_.clear();
  ParsedLanguageLines parsed;
  try {
    parsed = ParseLanguageLines(strings_.Lines());
  } catch (const Exception& e) {
    const LanguageTraits* t = TraitsOf(ident_);
    throw Exception(Format(kLanguageParseError, {t != nullptr ? t->name : std::string_view("?"), e.Message()}));
  }
  strings_entries_.reserve(parsed.strings.size());
  for (LanguageStringEntry& s : parsed.strings) {
    strings_entries_.push_back(std::make_unique<TLanguageString>(s.glid, this, std::move(s.text)));
  }
  memo_entries_.reserve(parsed.memos.size());
  for (LanguageMemoEntry& m : parsed.memos) {
    memo_entries_.push_back(std::make_unique<TLanguageMemo>(m.glid, this, std::move(m.lines)));
  }
}

const TLanguageString* TLanguage::FindString(std::int32_t glid) const {
  for (const auto& s : strings_entries_) {
    if (s->GLID() == glid) return s.get();
  }
  return nullptr;
}

const TLanguageMemo* TLanguage::FindMemo(std::int32_t glid) const {
  for (const auto& m : memo_entries_) {
    if (m->GLID() == glid) return m.get();
  }
  return nullptr;
}

const TLanguageString* TLanguage::FindStringByText(std::string_view text) const {
  for (const auto& s : strings_entries_) {
    if (SameTextIgnoringCase(s->Text(), text)) return s.get();
  }
  return nullptr;
}

const TLanguageMemo* TLanguage::FindMemoByLines(const std::vector<std::string>& lines) const {
  for (const auto& m : memo_entries_) {
    if (m->Lines() == lines) return m.get();
  }
  return nullptr;
}

void TLanguage::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TLanguage*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  font_.Assign(other->font_);
  font_override_ = other->font_override_;
  strings_.Assign(other->strings_);
}

bool TLanguage::LinesDifferFromStandard() const { return strings_.Lines() != StandardTableLines(ident_); }

}  // namespace brimwell
