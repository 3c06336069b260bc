// TTranslator: the component holding the sixteen language tables and
// translating texts, controls and fonts into its target language
// (TranslateIntoLanguage; blUser follows the Windows user default
// language).
//
// Two routes lead to a translation. A control that carries a GLID
// (TTranslateLabel, TTranslateBitBtn) gets the target table's text of that
// number. Every other text is looked up by its wording in the table of the
// language it is in now; the number found there selects the target text.
// English messages of the toolkit take the second route from English.
//
// The first translator made under a TranslationSite becomes the site's main
// translator. A new translator's tables hold the standard lines of their
// languages (standard_tables.h) until a project or a caller replaces them.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/component.h"
#include "translate/brwl_language.h"
#include "translate/language.h"

namespace brimwell {

class TranslatableControl;
class TranslationSite;

// Raised by ApplyFonts for a language outside the list of tables.
inline constexpr char kUnrecognizedLanguage[] = "Unrecognized language";

class TTranslator : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  // Frees a translator that the install driver added by itself, makes the
  // sixteen tables and becomes the main translator when its site has none.
  explicit TTranslator(TComponent* owner);
  ~TTranslator() override;

  TBrwlLanguage TranslateIntoLanguage() const { return translate_into_; }
  void SetTranslateIntoLanguage(TBrwlLanguage language) { translate_into_ = language; }

  // The tables in table order (ordinals 0 to 14, then 16).
  const std::vector<TLanguage*>& Languages() const { return languages_; }
  // --- Operations --------------------------------------------------------------
  // The table of that language; nullptr for blUser or a value without one.
  TLanguage* LanguageByIdent(TBrwlLanguage language) const;
  // The table of the Windows user default language; nullptr without a site.
  TLanguage* UserLanguage() const;
  // UserLanguage() for blUser, else LanguageByIdent(TranslateIntoLanguage()).
  TLanguage* TargetLanguage() const;
  // `text` (in `source`) in the target language; `text` itself when the
  // source table lacks it or the target table lacks its number.
  std::string TranslateText(TBrwlLanguage source, std::string_view text) const;
  // The target table's text for `glid`, else `default_text`.
  std::string TranslateByGLID(std::int32_t glid, std::string_view default_text) const;
  // The target table's memo for the source memo equal to `lines`, else a
  // copy of `lines`.
  std::vector<std::string> TranslateStrings(TBrwlLanguage source, const std::vector<std::string>& lines) const;
  // Translates `component` and everything it owns from `current`; returns
  // the language the component is in afterwards.
  TBrwlLanguage TranslateComponent(TBrwlLanguage current, TComponent* component);
  TBrwlLanguage TranslateComponentInto(TBrwlLanguage current, TBrwlLanguage target, TComponent* component);
  // Sets the font of `control` and of its child controls for the target
  // language. An empty target table stands for English unless `keep_empty`.
  // Throws Exception kUnrecognizedLanguage for a table of no known language.
  void ApplyFonts(TranslatableControl* control, bool keep_empty);
  void ApplyFontsInto(TBrwlLanguage target, TranslatableControl* control);
  // The font settings of `table` applied to one control and its children.
  static void ApplyLanguageFont(TranslatableControl* control, const TLanguage& table);

  // --- Bookkeeping --------------------------------------------------------------
  // A translator the install driver adds to a project without one is not
  // stored in the project and gives way to the first translator made after it.
  bool AddedAutomatically() const { return added_automatically_; }
  void SetAddedAutomatically(bool value) { added_automatically_ = value; }
  bool StoredInProject() const override { return !added_automatically_; }

  // The published tables.
  TLanguage& Table(TBrwlLanguage language) const { return *LanguageByIdent(language); }

 private:
  TLanguage* SourceTable(TBrwlLanguage source) const;
  void TranslateTexts(TBrwlLanguage current, TComponent* component);

  TranslationSite* site_ = nullptr;
  TBrwlLanguage translate_into_ = blUser;
  std::vector<std::unique_ptr<TLanguage>> tables_;
  std::vector<TLanguage*> languages_;
  bool added_automatically_ = false;
};

// A message of the toolkit (English) in the main translator's language of
// `component`'s site; `text` itself without one.
std::string TranslateMessageFor(const TComponent* component, std::string_view text);

}  // namespace brimwell
