// TranslationSite: what a translator needs of the process it runs in. The
// root of a component tree (the engine's project form, a test's root)
// implements it: it keeps the main translator, which every process-wide
// routine below uses, and answers the Windows user default language. A
// translator whose owners lead to no site is never the main translator and
// knows no user language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "translate/brwl_language.h"

namespace brimwell {

class TComponent;
class TranslatableControl;
class TTranslator;

class TranslationSite {
 public:
  virtual ~TranslationSite() = default;
  // The main translator, or nullptr.
  virtual TTranslator* MainTranslator() const = 0;
  virtual void SetMainTranslator(TTranslator* translator) = 0;
  // GetUserDefaultLangID of the Windows the process runs on.
  virtual std::uint16_t UserDefaultLangId() const = 0;
};

// The site of the first owner of `component` (itself included) that is
// one, or nullptr.
TranslationSite* TranslationSiteOf(const TComponent* component);

// The process-wide routines; each uses the site's main translator and does
// nothing (or returns its input) when there is none.
//
// An English message of the toolkit in the target language, before it is
// formatted (so it keeps its placeholders).
std::string TranslateMessage(const TranslationSite* site, std::string_view text);
// Translates a form's texts from `current`; returns the form's new language.
TBrwlLanguage TranslateForm(const TranslationSite* site, TBrwlLanguage current, TComponent* form);
TBrwlLanguage TranslateFormInto(const TranslationSite* site, TBrwlLanguage current, TBrwlLanguage target,
                                TComponent* form);
// Sets a form's fonts for the target language (an empty target table uses
// the English settings).
void SetFormFonts(const TranslationSite* site, TranslatableControl* form);
void SetFormFontsInto(const TranslationSite* site, TBrwlLanguage target, TranslatableControl* form);

}  // namespace brimwell
