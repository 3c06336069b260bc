// Helpers of the translation tests: a root that is a translation site with
// a settable user language, and a temporary directory.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "framework/component.h"
#include "translate/translation_site.h"
#include "translate/translator.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

class SiteRoot : public TComponent, public TranslationSite {
 public:
  SiteRoot() : TComponent(nullptr) {}
  // Frees the components while the site can still answer them.
  ~SiteRoot() override {
    while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
  }
  TTranslator* MainTranslator() const override { return main_; }
  void SetMainTranslator(TTranslator* translator) override { main_ = translator; }
  std::uint16_t UserDefaultLangId() const override { return lang_id; }

  std::uint16_t lang_id = 0x0409;

 private:
  TTranslator* main_ = nullptr;
};

}  // namespace brimwell::testing
