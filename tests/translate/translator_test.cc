// The translator: texts by wording and by number, memos, controls walked
// through the framework's control classes, fonts per language, the main
// translator of a site, and the tables a project stores.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/class_registry.h"
#include "framework/controls.h"
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

// Records what the user interface would be told.
class RecordingLabel : public TLabel {
 public:
  explicit RecordingLabel(TComponent* owner) : TLabel(owner) {}
  bool visible_when_text_changed = true;
  bool auto_size_when_text_changed = true;

 protected:
  void Changed(ControlChange change) override {
    if (change == ControlChange::kText) {
      visible_when_text_changed = Visible();
      auto_size_when_text_changed = AutoSize();
    }
  }
};

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
  TForm form(nullptr);
  auto* by_number = Create<TTranslateLabel>(&form);
  by_number->SetGLID(5);
  by_number->SetCaption("Annuler");  // would be 6 by its wording
  auto* minus_one = Create<TTranslateBitBtn>(&form);
  minus_one->SetGLID(-1);
  minus_one->SetCaption("Cancel");
  auto* by_wording = Create<TTranslateBitBtn>(&form);
  by_wording->SetCaption("Annuler");
  auto* plain = Create<TButton>(&form);
  plain->SetCaption("Suivant >");
  auto* blank = Create<TLabel>(&form);
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
  TForm form(nullptr);
  auto* memo = Create<TMemo>(&form);
  memo->SetLines({"line one", "line two"});
  auto* list = Create<TListBox>(&form);
  list->SetItems({"Cancel", "unknown", "Next >"});
  auto* radio = Create<TRadioGroup>(&form);
  radio->SetCaption("cancel");
  radio->SetItems({"< Previous"});
  auto* view = Create<TListView>(&form);
  view->AddColumn("");
  view->AddColumn("Next >");
  auto* combo = Create<TComboBox>(&form);
  combo->SetItems({"Cancel"});

  translator_->TranslateComponent(blEnglish, &form);
  EXPECT_THAT(memo->Lines(), ElementsAre("Zeile eins"));
  EXPECT_THAT(list->Items(), ElementsAre("Abbrechen", "unknown", "Weiter >"));
  EXPECT_EQ(radio->Caption(), "Abbrechen");
  EXPECT_THAT(radio->Items(), ElementsAre("< Zurück"));
  EXPECT_EQ(view->ColumnCaption(0), "");
  EXPECT_EQ(view->ColumnCaption(1), "Weiter >");
  EXPECT_THAT(combo->Items(), ElementsAre("Abbrechen"));
}

TEST_F(TranslatorTest, ControlsAreHiddenWhileTranslatedAndRestoredAfterwards) {
  TForm form(nullptr);
  auto* panel = Create<TPanel>(&form);
  panel->SetParent(&form);
  auto* label = Create<RecordingLabel>(panel);
  label->SetParent(panel);
  label->SetCaption("Cancel");
  auto* hidden = Create<TLabel>(panel);
  hidden->SetVisible(false);
  hidden->SetAutoSize(false);
  auto* image = Create<TImage>(&form);
  auto* inner_form = Create<TForm>(&form);  // owned forms are not walked
  inner_form->SetCaption("Cancel");

  translator_->TranslateComponent(blEnglish, &form);
  EXPECT_EQ(label->Caption(), "Abbrechen");
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
  TForm form(nullptr);
  auto* button = Create<TButton>(&form);
  button->SetCaption("Cancel");
  button->SetParent(&form);
  EXPECT_EQ(translator_->TranslateComponent(blEnglish, &form), blEnglish);
  EXPECT_EQ(button->Caption(), "Cancel");

  translator_->ApplyFonts(&form, false);
  EXPECT_EQ(button->Font().Name(), "Arial");
  EXPECT_EQ(button->Font().Charset(), 0);
  translator_->ApplyFonts(&form, true);  // kept empty: the Greek settings
  EXPECT_EQ(button->Font().Name(), "SGreek");
  // Into another target, for one call only.
  EXPECT_EQ(translator_->TranslateComponentInto(blEnglish, blGerman, &form), blGerman);
  EXPECT_EQ(button->Caption(), "Abbrechen");
  EXPECT_EQ(translator_->TranslateIntoLanguage(), blGreek);
}

TEST_F(TranslatorTest, FontsFollowTheLanguageAndOnlyGrow) {
  root_.lang_id = 0x0407;
  translator_->SetTranslateIntoLanguage(blUser);
  TForm form(nullptr);
  auto* small = Create<TLabel>(&form);
  small->SetParent(&form);
  TFont font;
  font.SetSize(6);
  small->SetFont(font);
  auto* big = Create<TButton>(&form);
  big->SetParent(&form);
  font.SetSize(12);
  font.SetStyle({TFontStyle::fsBold});
  big->SetFont(font);
  auto* nested = Create<TLabel>(big);
  nested->SetParent(big);

  translator_->ApplyFonts(&form, false);
  for (TControl* c : std::initializer_list<TControl*>{&form, small, big, nested}) {
    EXPECT_EQ(c->Font().Name(), "MS Sans Serif");
    EXPECT_EQ(c->Font().Charset(), 0);
  }
  EXPECT_EQ(small->Font().Size(), 8);
  EXPECT_EQ(big->Font().Size(), 12);
  EXPECT_TRUE(big->Font().Style().Contains(TFontStyle::fsBold));

  translator_->Table(blJapanese).SetStrings({"5;次へ >"});
  translator_->Table(blHebrew).SetStrings({"5;הבא >"});
  translator_->ApplyFontsInto(blJapanese, &form);
  EXPECT_EQ(small->Font().Size(), 9);
  EXPECT_EQ(small->Font().Charset(), 128);
  EXPECT_EQ(small->Font().Name(), "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");
  translator_->ApplyFontsInto(blHebrew, &form);
  EXPECT_EQ(small->Font().Charset(), 177);
  EXPECT_EQ(InstalledFace(small->Font().Name(), small->Font().Charset()), "Miriam CLM");

  German().SetFontOverride(true);
  TFont own;
  own.SetName("Liberation Serif");
  own.SetSize(11);
  German().SetFont(own);
  translator_->ApplyFonts(&form, false);
  EXPECT_EQ(small->Font(), own);
  EXPECT_EQ(big->Font(), own);  // the table's font as it is, size included

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
  EXPECT_EQ(saved.find("lgFrench"), std::string::npos);

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
