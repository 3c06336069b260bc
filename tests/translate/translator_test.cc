// The translator: texts by wording and by number, memos, controls walked
// through the framework's control classes, fonts per language, the main
// translator of a site, and the tables a project stores.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/class_registry.h"
#include "framework/translatable_control.h"
#include "framework/exception.h"
#include "framework/project_file.h"
#include "tests/translate/translate_fixture.h"
#include "translate/font_faces.h"
#include "translate/translate_classes.h"
#include "translate/translate_controls.h"
#include "translate/translator.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

// Records the state the control was in when its caption changed.
class RecordingLabel : public PlainControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit RecordingLabel(TComponent* owner) : PlainControl(owner, ControlRole::kLabel) {}
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& text) {
    visible_when_text_changed = Visible();
    auto_size_when_text_changed = AutoSize();
    hint_ = text;
  }
  std::string hint_;
  bool visible_when_text_changed = true;
  bool auto_size_when_text_changed = true;
};

const ClassInfo& RecordingLabel::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<RecordingLabel>("RecordingLabel", &PlainControl::StaticClassInfo())
                                    .Property("Hint", &RecordingLabel::Hint, &RecordingLabel::SetHint)
                                    .Build();
  return info;
}

// A plain control of a role, owned by `owner` and placed in `parent`.
PlainControl* Make(TComponent* owner, ControlRole role = ControlRole::kOther, bool windowed = false,
                   PlainControl* parent = nullptr) {
  auto* c = Create<PlainControl>(owner, role, windowed);
  if (parent != nullptr) c->SetParent(parent);
  return c;
}

class TranslatorTest : public ::testing::Test {
 protected:
  TranslatorTest() : translator_(Create<TTranslator>(&root_)) {
    for (TLanguage* table : translator_->Languages()) table->SetStrings({});
    English().SetStrings({"4;< Previous", "5;Next >", "6;Cancel", "7;Cancel ", "#20;", "line one", "line two", "#"});
    German().SetStrings({"4;< Zurück", "5;Weiter >", "6;Abbrechen", "#20;", "Zeile eins", "#"});
    French().SetStrings({"5;Suivant >", "6;Annuler"});
    translator_->SetTranslateIntoLanguage(blGerman);
  }
  TLanguage& English() { return translator_->Table(blEnglish); }
  TLanguage& German() { return translator_->Table(blGerman); }
  TLanguage& French() { return translator_->Table(blFrench); }

  SiteRoot root_;
  TTranslator* translator_;
};

TEST_F(TranslatorTest, TextsAreFoundByWordingWithoutCaseButWithTheirBlanks) {
  EXPECT_EQ(translator_->TranslateText(blEnglish, "next >"), "Weiter >");
  EXPECT_EQ(translator_->TranslateText(blEnglish, "Next > "), "Next > ");  // no entry has the blank
  EXPECT_EQ(translator_->TranslateText(blEnglish, "Finish"), "Finish");    // not in the source table
  EXPECT_EQ(translator_->TranslateText(blEnglish, "Cancel "), "Cancel ");  // 7 has no German text
  EXPECT_EQ(translator_->TranslateText(blFrench, "Annuler"), "Abbrechen");
  EXPECT_EQ(translator_->TranslateText(blItalian, "Next >"), "Next >");  // an empty source table
  EXPECT_EQ(translator_->TranslateByGLID(4, "x"), "< Zurück");
  EXPECT_EQ(translator_->TranslateByGLID(99, "x"), "x");
  EXPECT_THAT(translator_->TranslateStrings(blEnglish, {"line one", "line two"}), ElementsAre("Zeile eins"));
  EXPECT_THAT(translator_->TranslateStrings(blEnglish, {"line one"}), ElementsAre("line one"));
}

TEST_F(TranslatorTest, TheUserLanguageFollowsThePrimaryLanguageOfTheSite) {
  translator_->SetTranslateIntoLanguage(blUser);
  root_.lang_id = 0x0807;  // German (Switzerland)
  EXPECT_EQ(translator_->TargetLanguage(), &German());
  EXPECT_EQ(translator_->TranslateText(blEnglish, "Cancel"), "Abbrechen");
  root_.lang_id = 0x0416;  // Portuguese (Brazil)
  EXPECT_EQ(translator_->TargetLanguage()->LanguageIdent(), blPortugese);
  root_.lang_id = 0x0413;  // Dutch has no table: English
  EXPECT_EQ(translator_->TargetLanguage(), &English());
  EXPECT_EQ(translator_->LanguageByIdent(blUser), nullptr);
  // A source of blUser is the user language too.
  root_.lang_id = 0x040C;
  EXPECT_EQ(translator_->TranslateText(blUser, "Annuler"), "Annuler");  // French into French
}

TEST_F(TranslatorTest, ControlsAreTranslatedByNumberOrByWordingNeverBoth) {
  PlainControl form(nullptr, ControlRole::kForm, true);
  auto* by_number = Create<TTranslateLabel>(&form);
  by_number->SetGLID(5);
  by_number->SetCaption("Annuler");  // would be 6 by its wording
  auto* minus_one = Create<TTranslateBitBtn>(&form);
  minus_one->SetGLID(-1);
  minus_one->SetCaption("Cancel");
  auto* by_wording = Create<TTranslateBitBtn>(&form);
  by_wording->SetCaption("Annuler");
  auto* plain = Make(&form);
  plain->SetCaption("Suivant >");
  auto* blank = Make(&form, ControlRole::kLabel);
  blank->SetCaption("   ");
  form.SetCaption("Annuler");

  EXPECT_EQ(translator_->TranslateComponent(blFrench, &form), blGerman);
  EXPECT_EQ(by_number->Caption(), "Weiter >");
  EXPECT_EQ(minus_one->Caption(), "Cancel");
  EXPECT_EQ(by_wording->Caption(), "Abbrechen");
  EXPECT_EQ(plain->Caption(), "Weiter >");
  EXPECT_EQ(blank->Caption(), "   ");
  EXPECT_EQ(form.Caption(), "Abbrechen");
}

TEST_F(TranslatorTest, MemosListsAndColumnsAreTranslated) {
  PlainControl form(nullptr, ControlRole::kForm, true);
  auto* memo = Make(&form, ControlRole::kMemo, true);
  memo->SetListTexts({"line one", "line two"});
  auto* unknown_memo = Make(&form, ControlRole::kMemo, true);
  unknown_memo->SetListTexts({"line one"});
  auto* list = Make(&form, ControlRole::kItemList, true);
  list->SetListTexts({"Cancel", "unknown", "Next >"});
  auto* radio = Make(&form, ControlRole::kItemList, true);
  radio->SetCaption("cancel");
  radio->SetListTexts({"< Previous"});
  auto* view = Make(&form, ControlRole::kListView, true);
  view->SetListTexts({"", "Next >"});

  translator_->TranslateComponent(blEnglish, &form);
  EXPECT_THAT(memo->ListTexts(), ElementsAre("Zeile eins"));
  EXPECT_THAT(unknown_memo->ListTexts(), ElementsAre("line one"));  // a memo is matched whole
  EXPECT_THAT(list->ListTexts(), ElementsAre("Abbrechen", "unknown", "Weiter >"));
  EXPECT_EQ(radio->Caption(), "Abbrechen");
  EXPECT_THAT(radio->ListTexts(), ElementsAre("< Zurück"));
  EXPECT_THAT(view->ListTexts(), ElementsAre("", "Weiter >"));
}

TEST_F(TranslatorTest, ControlsAreHiddenWhileTranslatedAndRestoredAfterwards) {
  PlainControl form(nullptr, ControlRole::kForm, true);
  auto* panel = Make(&form, ControlRole::kOther, true, &form);
  auto* label = Create<RecordingLabel>(panel);
  label->SetParent(panel);
  label->SetCaption("Cancel");
  label->SetHint("Next >");
  label->visible_when_text_changed = label->auto_size_when_text_changed = true;
  auto* hidden = Make(panel, ControlRole::kLabel);
  hidden->SetVisible(false);
  hidden->SetAutoSize(false);
  auto* image = Make(&form, ControlRole::kImage);
  auto* inner_form = Make(&form, ControlRole::kForm, true);  // owned forms are not walked
  inner_form->SetCaption("Cancel");

  translator_->TranslateComponent(blEnglish, &form);
  EXPECT_EQ(label->Caption(), "Abbrechen");
  EXPECT_EQ(label->Hint(), "Weiter >");
  EXPECT_FALSE(label->visible_when_text_changed);
  EXPECT_FALSE(label->auto_size_when_text_changed);
  EXPECT_TRUE(label->Visible());
  EXPECT_TRUE(label->AutoSize());
  EXPECT_FALSE(hidden->Visible());
  EXPECT_FALSE(hidden->AutoSize());
  EXPECT_TRUE(form.Visible());
  EXPECT_TRUE(image->Visible());
  EXPECT_EQ(inner_form->Caption(), "Cancel");
  EXPECT_EQ(panel->RealignCount(), 1);
  EXPECT_EQ(form.RealignCount(), 1);
}

TEST_F(TranslatorTest, AnEmptyTargetTableKeepsTheLanguageAndTakesEnglishFonts) {
  translator_->SetTranslateIntoLanguage(blGreek);
  PlainControl form(nullptr, ControlRole::kForm, true);
  auto* button = Make(&form, ControlRole::kOther, true, &form);
  button->SetCaption("Cancel");
  EXPECT_EQ(translator_->TranslateComponent(blEnglish, &form), blEnglish);
  EXPECT_EQ(button->Caption(), "Cancel");

  button->Font().SetName("Courier New");
  translator_->ApplyFonts(&form, false);
  EXPECT_EQ(button->ControlFont().Name(), "Arial");
  EXPECT_EQ(button->ControlFont().Charset(), 0);
  translator_->ApplyFonts(&form, true);  // kept empty: the Greek settings
  EXPECT_EQ(button->ControlFont().Name(), "SGreek");
  // Into another target, for one call only.
  EXPECT_EQ(translator_->TranslateComponentInto(blEnglish, blGerman, &form), blGerman);
  EXPECT_EQ(button->Caption(), "Abbrechen");
  EXPECT_EQ(translator_->TranslateIntoLanguage(), blGreek);
}

TEST_F(TranslatorTest, FontsFollowTheLanguageAndOnlyGrow) {
  root_.lang_id = 0x0407;
  translator_->SetTranslateIntoLanguage(blUser);
  PlainControl form(nullptr, ControlRole::kForm, true);
  auto* small = Make(&form, ControlRole::kLabel, false, &form);
  small->Font().SetSize(6);
  auto* big = Make(&form, ControlRole::kOther, true, &form);
  big->Font().SetSize(12);
  big->Font().SetStyle({TFontStyle::fsBold});
  auto* nested = Make(big, ControlRole::kLabel, false, big);
  auto* loose = Make(&form, ControlRole::kLabel);  // owned but no child: untouched
  loose->Font().SetName("Courier New");

  translator_->ApplyFonts(&form, false);
  for (PlainControl* c : {&form, small, big, nested}) {
    EXPECT_EQ(c->ControlFont().Name(), "MS Sans Serif");
    EXPECT_EQ(c->ControlFont().Charset(), 0);
  }
  EXPECT_EQ(loose->ControlFont().Name(), "Courier New");
  EXPECT_EQ(small->ControlFont().Size(), 8);
  EXPECT_EQ(big->ControlFont().Size(), 12);
  EXPECT_TRUE(big->ControlFont().Style().Contains(TFontStyle::fsBold));

  translator_->Table(blJapanese).SetStrings({"5;次へ >"});
  translator_->Table(blHebrew).SetStrings({"5;הבא >"});
  translator_->ApplyFontsInto(blJapanese, &form);
  EXPECT_EQ(small->ControlFont().Size(), 9);
  EXPECT_EQ(small->ControlFont().Charset(), 128);
  EXPECT_EQ(small->ControlFont().Name(), "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");
  translator_->ApplyFontsInto(blHebrew, &form);
  EXPECT_EQ(small->ControlFont().Charset(), 177);
  EXPECT_EQ(InstalledFace(small->ControlFont().Name(), small->ControlFont().Charset()), "Miriam CLM");

  German().SetFontOverride(true);
  TFont own;
  own.SetName("Liberation Serif");
  own.SetSize(11);
  German().SetFont(own);
  translator_->ApplyFonts(&form, false);
  EXPECT_TRUE(small->ControlFont().SameAs(own));
  EXPECT_TRUE(big->ControlFont().SameAs(own));  // the table's font as it is, size included

  TLanguage user(nullptr, blUser);
  try {
    TTranslator::ApplyLanguageFont(small, user);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unrecognized language");
  }
}

TEST(InstalledFaceTest, StoredFacesMapToInstalledOnes) {
  EXPECT_EQ(InstalledFace("Arial", 0), "Liberation Sans");
  EXPECT_EQ(InstalledFace("MS Sans Serif", 0), "Liberation Sans");
  EXPECT_EQ(InstalledFace("SGreek", 0), "Liberation Sans");
  EXPECT_EQ(InstalledFace("Arial", 238), "Liberation Sans");
  EXPECT_EQ(InstalledFace("\xB7\x73\xB2\xD3\xA9\xFA\xC5", 134), "Noto Sans CJK SC");
  EXPECT_EQ(InstalledFace("\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E", 128), "Noto Sans CJK JP");
  EXPECT_EQ(InstalledFace("\xB9\xD9\xC5\xC1", 129), "Noto Serif CJK KR");
  EXPECT_EQ(InstalledFace("Arial", 177), "Miriam CLM");
  EXPECT_EQ(InstalledFace("Courier New", 0), "Courier New");
}

TEST(InstalledFaceTest, TheFacesAreInstalled) {
  FILE* pipe = ::popen("fc-list : family 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::string families;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) families.append(buffer, n);
  ::pclose(pipe);
  if (families.empty()) GTEST_SKIP() << "fontconfig lists no fonts here";
  for (const char* face : {"Liberation Sans", "Noto Sans CJK SC", "Noto Sans CJK JP", "Noto Serif CJK KR",
                           "Miriam CLM"}) {
    EXPECT_NE(families.find(face), std::string::npos) << face << " is not installed";
  }
}

TEST(MainTranslatorTest, TheFirstTranslatorIsMainAndAnAddedOneGivesWay) {
  SiteRoot root;
  auto* added = Create<TTranslator>(&root);
  added->SetAddedAutomatically(true);
  EXPECT_EQ(root.MainTranslator(), added);
  EXPECT_FALSE(added->StoredInProject());
  auto* first = Create<TTranslator>(&root);  // frees the added one
  EXPECT_EQ(root.ComponentCount(), 1);
  EXPECT_EQ(root.MainTranslator(), first);
  auto* second = Create<TTranslator>(&root);
  EXPECT_EQ(root.MainTranslator(), first);
  delete first;
  EXPECT_EQ(root.MainTranslator(), nullptr);
  EXPECT_EQ(TranslateMessage(&root, "Cancel"), "Cancel");
  delete second;

  // Without a site a translator translates but is nobody's main translator.
  TTranslator loose(nullptr);
  EXPECT_EQ(loose.UserLanguage(), nullptr);
  EXPECT_EQ(TranslateMessage(nullptr, "Cancel"), "Cancel");
}

TEST(MainTranslatorTest, MessagesKeepTheirPlaceholders) {
  SiteRoot root;
  root.lang_id = 0x0407;
  auto* translator = Create<TTranslator>(&root);
  translator->Table(blEnglish).Strings().Add("3000;Cannot create a TINIEntries component with a Nil Owner");
  translator->Table(blGerman).Strings().Add("3000;Eine TINIEntries-Komponente ohne Besitzer ist nicht möglich");
  EXPECT_EQ(TranslateMessage(&root, "Cannot create a TINIEntries component with a Nil Owner"),
            "Eine TINIEntries-Komponente ohne Besitzer ist nicht möglich");
  EXPECT_EQ(TranslateMessage(&root, "Please insert disk number %d"), "Bitte legen Sie Diskette Nummer %d ein");
}

TEST(TranslatorProjectTest, ProjectsKeepTheirOwnLinesAndStoreOnlyThose) {
  ClassRegistry registry;
  RegisterTranslateClasses(registry);
  SiteRoot root;
  LoadProject(R"({"format": "brimwell-project/1", "components": [
      {"class": "TTranslator", "name": "Translator1",
       "properties": {"TranslateIntoLanguage": "blGerman",
                      "lgGerman": {"Strings": ["5;Vorwärts", "6;Abbrechen"], "FontOverride": true}}}]})",
              registry, root);
  auto* translator = dynamic_cast<TTranslator*>(root.FindComponent("Translator1"));
  ASSERT_NE(translator, nullptr);
  EXPECT_EQ(root.MainTranslator(), translator);
  EXPECT_EQ(translator->TranslateText(blEnglish, "Next >"), "Vorwärts");
  EXPECT_EQ(translator->Table(blGerman).Lines().size(), 2u);
  EXPECT_EQ(translator->TranslateByGLID(72, "Finish"), "Finish");  // the project's table has no 72
  // The other tables hold the standard lines, which the project does not repeat.
  EXPECT_NE(translator->Table(blFrench).FindString(72), nullptr);
  std::string saved = SaveProject(root);
  EXPECT_NE(saved.find("Vorwärts"), std::string::npos);
  EXPECT_EQ(saved.find("Suivant >"), std::string::npos);  // the French standard lines

  SiteRoot again;
  LoadProject(saved, registry, again);
  auto* reloaded = dynamic_cast<TTranslator*>(again.FindComponent("Translator1"));
  EXPECT_EQ(reloaded->Table(blGerman).Lines(), translator->Table(blGerman).Lines());
  EXPECT_TRUE(reloaded->Table(blGerman).FontOverride());
  EXPECT_EQ(reloaded->TranslateIntoLanguage(), blGerman);
  EXPECT_THAT(FindDefaultMismatches(registry), ::testing::IsEmpty());
}

TEST(TranslatorProjectTest, ABadTableRefusesTheProjectNamingTheLanguage) {
  ClassRegistry registry;
  RegisterTranslateClasses(registry);
  SiteRoot root;
  try {
    LoadProject(R"({"format": "brimwell-project/1", "components": [
        {"class": "TTranslator", "name": "T", "properties": {"lgHebrew": {"Strings": ["5;x", "#"]}}}]})",
                registry, root);
    FAIL() << "loaded";
  } catch (const EProjectError& e) {
    EXPECT_NE(std::string(e.what()).find("Hebrew language table: Found the end of memo marker # at line 1"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(root.ComponentCount(), 0);
  EXPECT_EQ(root.MainTranslator(), nullptr);
}

}  // namespace
}  // namespace brimwell::testing
