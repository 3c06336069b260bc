#include "translate/translator.h"

#include "framework/translatable_control.h"
#include "framework/exception.h"
#include "translate/language_lines.h"
#include "translate/standard_tables.h"
#include "translate/translate_controls.h"
#include "translate/translation_site.h"

namespace brimwell {
namespace {

// Restores what TranslateComponent changed on a control for the duration of
// its translation: the visibility and a label's automatic sizing; then lets
// a windowed control lay its children out again. Also when the translation
// fails half-way.
class ControlTranslation {
 public:
  explicit ControlTranslation(TComponent* component)
      : control_(dynamic_cast<TranslatableControl*>(component)) {
    if (control_ == nullptr) return;
    was_visible_ = control_->Visible();
    if (control_->Role() != ControlRole::kForm && control_->Role() != ControlRole::kImage) {
      control_->SetVisible(false);
    }
    is_label_ = control_->Role() == ControlRole::kLabel;
    if (is_label_) {
      was_auto_size_ = control_->AutoSize();
      control_->SetAutoSize(false);
    }
  }
  ~ControlTranslation() {
    if (control_ == nullptr) return;
    if (is_label_) control_->SetAutoSize(was_auto_size_);
    control_->SetVisible(was_visible_);
    if (control_->IsWindowed()) control_->Realign();
  }
  ControlTranslation(const ControlTranslation&) = delete;
  ControlTranslation& operator=(const ControlTranslation&) = delete;

 private:
  TranslatableControl* control_;
  bool is_label_ = false;
  bool was_visible_ = true;
  bool was_auto_size_ = false;
};

// Sets the translator's target for the duration of one operation.
class TargetOverride {
 public:
  TargetOverride(TTranslator& translator, TBrwlLanguage target)
      : translator_(translator), saved_(translator.TranslateIntoLanguage()) {
    translator_.SetTranslateIntoLanguage(target);
  }
  ~TargetOverride() { translator_.SetTranslateIntoLanguage(saved_); }
  TargetOverride(const TargetOverride&) = delete;
  TargetOverride& operator=(const TargetOverride&) = delete;

 private:
  TTranslator& translator_;
  TBrwlLanguage saved_;
};

}  // namespace

const ClassInfo& TTranslator::StaticClassInfo() {
  static const ClassInfo info = [] {
    ClassInfo i = ClassBuilder<TTranslator>("TTranslator", &TComponent::StaticClassInfo())
                      .Creatable()
                      .Enum("TranslateIntoLanguage", kBrwlLanguageInfo, &TTranslator::TranslateIntoLanguage,
                            &TTranslator::SetTranslateIntoLanguage, blUser)
                      .Build();
    std::vector<PropertyInfo> tables;
    for (const LanguageTraits& t : AllLanguages()) {
      PropertyInfo p;
      p.name = std::string(t.property);
      p.kind = PropertyKind::kObject;
      const TBrwlLanguage language = t.language;
      p.object = [language](TPersistent& o) -> TPersistent* {
        return static_cast<TTranslator&>(o).LanguageByIdent(language);
      };
      tables.push_back(std::move(p));
    }
    i.properties.insert(i.properties.begin(), tables.begin(), tables.end());
    return i;
  }();
  return info;
}

TTranslator::TTranslator(TComponent* owner) : TComponent(owner), site_(TranslationSiteOf(owner)) {
  if (site_ != nullptr) {
    TTranslator* main = site_->MainTranslator();
    if (main != nullptr && main->AddedAutomatically()) delete main;  // clears the site's slot
  }
  for (const LanguageTraits& t : AllLanguages()) {
    auto table = std::make_unique<TLanguage>(this, t.language);
    table->SetStrings(StandardTableLines(t.language));
    languages_.push_back(table.get());
    tables_.push_back(std::move(table));
  }
  if (site_ != nullptr && site_->MainTranslator() == nullptr) site_->SetMainTranslator(this);
}

TTranslator::~TTranslator() {
  if (site_ != nullptr && site_->MainTranslator() == this) site_->SetMainTranslator(nullptr);
}

TLanguage* TTranslator::LanguageByIdent(TBrwlLanguage language) const {
  for (TLanguage* table : languages_) {
    if (table->LanguageIdent() == language) return table;
  }
  return nullptr;
}

TLanguage* TTranslator::UserLanguage() const {
  if (site_ == nullptr) return nullptr;
  return LanguageByIdent(LanguageOfLangId(site_->UserDefaultLangId()));
}

TLanguage* TTranslator::TargetLanguage() const {
  return translate_into_ == blUser ? UserLanguage() : LanguageByIdent(translate_into_);
}

TLanguage* TTranslator::SourceTable(TBrwlLanguage source) const {
  return source == blUser ? UserLanguage() : LanguageByIdent(source);
}

std::string TTranslator::TranslateText(TBrwlLanguage source, std::string_view text) const {
  const TLanguage* from = SourceTable(source);
  if (from == nullptr) return std::string(text);
  const TLanguageString* entry = from->FindStringByText(text);
  if (entry == nullptr) return std::string(text);
  const TLanguage* to = TargetLanguage();
  if (to == nullptr) return std::string(text);
  const TLanguageString* translated = to->FindString(entry->GLID());
  return translated != nullptr ? translated->Text() : std::string(text);
}

std::string TTranslator::TranslateByGLID(std::int32_t glid, std::string_view default_text) const {
  if (const TLanguage* to = TargetLanguage()) {
    if (const TLanguageString* s = to->FindString(glid)) return s->Text();
  }
  return std::string(default_text);
}

std::vector<std::string> TTranslator::TranslateStrings(TBrwlLanguage source,
                                                       const std::vector<std::string>& lines) const {
  const TLanguage* from = SourceTable(source);
  const TLanguageMemo* memo = from != nullptr ? from->FindMemoByLines(lines) : nullptr;
  const TLanguage* to = memo != nullptr ? TargetLanguage() : nullptr;
  const TLanguageMemo* translated = to != nullptr ? to->FindMemo(memo->GLID()) : nullptr;
  return translated != nullptr ? translated->Lines() : lines;
}

void TTranslator::TranslateTexts(TBrwlLanguage current, TComponent* component) {
  auto translate = [&](const std::string& text) { return TranslateText(current, text); };
  for (const PropertyInfo* p : component->ClassType().AllProperties()) {
    if (p->kind != PropertyKind::kString || !p->get || !p->set || SameText(p->name, "NAME")) continue;
    const std::string value = std::get<std::string>(p->get(*component));
    if (TrimBlanks(value).empty()) continue;
    std::string translated = translate(value);
    if (translated != value) p->set(*component, PropertyValue(std::move(translated)));
  }
  auto* control = dynamic_cast<TranslatableControl*>(component);
  if (control == nullptr) return;
  switch (control->Role()) {
    case ControlRole::kMemo: {
      std::vector<std::string> lines = control->ListTexts();
      std::vector<std::string> translated = TranslateStrings(current, lines);
      if (translated != lines) control->SetListTexts(std::move(translated));
      break;
    }
    case ControlRole::kItemList:
    case ControlRole::kListView: {
      // Items and column titles one by one.
      std::vector<std::string> texts = control->ListTexts();
      std::vector<std::string> translated = texts;
      for (std::string& text : translated) text = translate(text);
      if (translated != texts) control->SetListTexts(std::move(translated));
      break;
    }
    default:
      break;
  }
}

TBrwlLanguage TTranslator::TranslateComponent(TBrwlLanguage current, TComponent* component) {
  if (component == nullptr) return current;
  {
    ControlTranslation guard(component);
    std::int32_t own_glid = 0;
    if (auto* label = dynamic_cast<TTranslateLabel*>(component)) {
      own_glid = label->GLID();
      if (own_glid > 0) label->SetCaption(TranslateByGLID(own_glid, label->Caption()));
    } else if (auto* button = dynamic_cast<TTranslateBitBtn*>(component)) {
      own_glid = button->GLID();
      if (own_glid > 0) button->SetCaption(TranslateByGLID(own_glid, button->Caption()));
    }
    // A control with a number of its own is never looked up by its wording.
    if (own_glid == 0) TranslateTexts(current, component);
    for (int i = 0; i < component->ComponentCount(); ++i) {
      TComponent* owned = component->Components(i);
      auto* control = dynamic_cast<TranslatableControl*>(owned);
      if (control == nullptr || control->Role() != ControlRole::kForm) TranslateComponent(current, owned);
    }
  }
  const TLanguage* target = TargetLanguage();
  return target == nullptr || target->Lines().empty() ? current : translate_into_;
}

TBrwlLanguage TTranslator::TranslateComponentInto(TBrwlLanguage current, TBrwlLanguage target,
                                                  TComponent* component) {
  TargetOverride override_target(*this, target);
  return TranslateComponent(current, component);
}

void TTranslator::ApplyLanguageFont(TranslatableControl* control, const TLanguage& table) {
  if (control == nullptr) return;
  if (table.FontOverride()) {
    control->SetControlFont(table.Font());
  } else {
    const LanguageTraits* traits = TraitsOf(table.LanguageIdent());
    if (traits == nullptr) throw Exception(kUnrecognizedLanguage);
    TFont font;
    font.Assign(control->ControlFont());
    font.SetCharset(traits->charset);
    font.SetName(std::string(traits->face));
    if (font.Size() < traits->min_size) font.SetSize(traits->min_size);
    control->SetControlFont(font);
  }
  if (control->IsWindowed()) {
    for (TranslatableControl* child : control->ChildControls()) ApplyLanguageFont(child, table);
  }
}

void TTranslator::ApplyFonts(TranslatableControl* control, bool keep_empty) {
  const TLanguage* table = TargetLanguage();
  if (table == nullptr) return;
  if (table->Lines().empty() && !keep_empty) table = LanguageByIdent(blEnglish);
  ApplyLanguageFont(control, *table);
}

void TTranslator::ApplyFontsInto(TBrwlLanguage target, TranslatableControl* control) {
  TargetOverride override_target(*this, target);
  ApplyFonts(control, false);
}

std::string TranslateMessageFor(const TComponent* component, std::string_view text) {
  return TranslateMessage(TranslationSiteOf(component), text);
}

}  // namespace brimwell
