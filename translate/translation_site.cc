#include "translate/translation_site.h"

#include "framework/component.h"
#include "framework/translatable_control.h"
#include "translate/translator.h"

namespace brimwell {

TranslationSite* TranslationSiteOf(const TComponent* component) {
  for (const TComponent* c = component; c != nullptr; c = c->Owner()) {
    if (auto* site = dynamic_cast<TranslationSite*>(const_cast<TComponent*>(c))) return site;
  }
  return nullptr;
}

namespace {

TTranslator* MainOf(const TranslationSite* site) { return site != nullptr ? site->MainTranslator() : nullptr; }

}  // namespace

std::string TranslateMessage(const TranslationSite* site, std::string_view text) {
  TTranslator* main = MainOf(site);
  return main != nullptr ? main->TranslateText(blEnglish, text) : std::string(text);
}

TBrwlLanguage TranslateForm(const TranslationSite* site, TBrwlLanguage current, TComponent* form) {
  TTranslator* main = MainOf(site);
  return main != nullptr ? main->TranslateComponent(current, form) : current;
}

TBrwlLanguage TranslateFormInto(const TranslationSite* site, TBrwlLanguage current, TBrwlLanguage target,
                                TComponent* form) {
  TTranslator* main = MainOf(site);
  return main != nullptr ? main->TranslateComponentInto(current, target, form) : current;
}

void SetFormFonts(const TranslationSite* site, TranslatableControl* form) {
  if (TTranslator* main = MainOf(site)) main->ApplyFonts(form, false);
}

void SetFormFontsInto(const TranslationSite* site, TBrwlLanguage target, TranslatableControl* form) {
  if (TTranslator* main = MainOf(site)) main->ApplyFontsInto(target, form);
}

}  // namespace brimwell
