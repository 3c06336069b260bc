// The engine and its translator: the driver adds "MainTranslator" to a
// project without one, the prefix's user language chooses the table, the
// engine's messages pass through it with their placeholders, and the target
// language outlives a restart of Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/restart_wrapper.h"
#include "tests/engine/engine_fixture.h"
#include "translate/translator.h"

namespace brimwell::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;

class NoRestart final : public RestartWrapper {
 public:
  using RestartWrapper::RestartWrapper;
  WinStatus RestartWindows() override { return WinStatus::Ok(); }
};

using EngineTranslationTest = EngineTest;

TEST_F(EngineTranslationTest, TheDriverAddsAMainTranslatorThatIsNotStored) {
  Load(R"([{"class": "TGrabCall", "name": "MainTranslator"}, {"class": "TInstall", "name": "Install1"}])");
  TTranslator* translator = ctx_->MainTranslator();
  ASSERT_NE(translator, nullptr);
  EXPECT_EQ(translator->Name(), "MainTranslator1");  // the first free name
  EXPECT_TRUE(translator->AddedAutomatically());
  EXPECT_EQ(translator->Owner(), form_.get());
  EXPECT_THAT(SaveProject(*form_), Not(HasSubstr("TTranslator")));
  // It holds the standard tables.
  EXPECT_NE(translator->Table(blGerman).FindString(72), nullptr);
}

TEST_F(EngineTranslationTest, AProjectsOwnTranslatorIsTheMainOne) {
  Load(R"([{"class": "TInstall", "name": "Install1"},
           {"class": "TTranslator", "name": "Words", "properties": {"TranslateIntoLanguage": "blFrench"}}])");
  ASSERT_NE(ctx_->MainTranslator(), nullptr);
  EXPECT_EQ(ctx_->MainTranslator()->Name(), "Words");
  EXPECT_EQ(form_->FindComponent("MainTranslator"), nullptr);
  EXPECT_EQ(ctx_->Translate("Cancel"), "Annuler");
  EXPECT_THAT(SaveProject(*form_), HasSubstr("\"Words\""));
  form_.reset();  // freeing the project leaves the context without a translator
  EXPECT_EQ(ctx_->MainTranslator(), nullptr);
  EXPECT_EQ(ctx_->Translate("Cancel"), "Cancel");
}

TEST_F(EngineTranslationTest, TheUserLanguageOfThePrefixTranslatesMessagesWithTheirPlaceholders) {
  machine_->SetUserDefaultLangId(0x0407);
  Start({"-q"});
  EXPECT_EQ(ErrorOfLoad(R"([{"class": "TInstall", "name": "Install1"}])"),
            "Ungültiger Parameter <-q>. Gültige Parameter sind: -b (Erstellen), -d (Debuggen), -f (Auf Disketten "
            "übertragen), -e (Vom Selbstentpacker aufgerufen), -r (Nach Neustart)");
  machine_->SetUserDefaultLangId(0x040D);
  Start({});
  Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"RunAutomatic": false}}])");
  EXPECT_EQ(EngineText(ctx_.get(), "Please insert disk number %d", {3}), "אנא הכנס את תקליטון מספר 3");
}

TEST_F(EngineTranslationTest, TheTargetLanguageIsKeptAcrossARestart) {
  machine_->InterposeRestart(std::make_unique<NoRestart>(machine_->GetRestart()));
  Start({"-s" + HostDir("dist").string()});
  Load(R"([{"class": "TInstall", "name": "Install1"},
           {"class": "TTranslator", "name": "Words", "properties": {"TranslateIntoLanguage": "blPolish"}},
           {"class": "TTestFile", "name": "File", "properties": {"Container": "Install1", "Size": 1}}])");
  Find<TTestFile>("File")->OnAfterProcess = [&](TInstallContainer*) {
    Find<TInstall>("Install1")->AddUnfinished("File", 0);
    Find<TInstall>("Install1")->SetReboot(true);
  };
  app_.Form()->Activate();
  const std::string record = std::string(kInstallRecordRoot) + "\\Install0";
  EXPECT_EQ(registry().ReadDword(kHKLM, record, "Language"), static_cast<std::uint32_t>(blPolish));

  // The resumed run's project has no translator: the one the driver adds
  // takes the saved language.
  Start({"-r", "-s" + HostDir("dist").string()});
  Load(R"([{"class": "TInstall", "name": "Install1"},
           {"class": "TTestEntry", "name": "File", "properties": {"Container": "Install1"}}])");
  ASSERT_NE(ctx_->MainTranslator(), nullptr);
  EXPECT_EQ(ctx_->MainTranslator()->TranslateIntoLanguage(), blPolish);
  EXPECT_EQ(ctx_->Translate("Finish"), "Zakończ");
}

TEST_F(EngineTranslationTest, ASavedValueThatNamesNoLanguageIsIgnored) {
  auto* driver = MakeDriver();
  ctx_->SetInstallRecordKey(driver->FindInstallRecord(true));
  ASSERT_TRUE(registry().WriteDword(kHKLM, ctx_->InstallRecordKey(), "Language", 99).ok());
  Start({"-r", "-s" + HostDir("dist").string()});
  Load(R"([{"class": "TInstall", "name": "Install1"}])");
  EXPECT_EQ(ctx_->MainTranslator()->TranslateIntoLanguage(), blUser);
}

}  // namespace
}  // namespace brimwell::testing
