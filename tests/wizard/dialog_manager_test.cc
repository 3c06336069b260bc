// The wizard's components without a window system: window placement, the
// page list kept by the dialogs, the managers' reaction to the calls of
// their stage, inconsistent projects, and the cancel question.
#include "wizard/dialog_manager.h"

#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

TEST(PlaceWindowTest, EveryPositionOfTheTable) {
  const ScreenSize screen{1024, 768};
  auto at = [&](TBrimwellDialogPosition p, int l = 0, int t = 0) {
    WindowBounds b = PlaceWindow(p, l, t, screen, 19, 478, 395);
    return std::make_pair(b.left, b.top);
  };
  using P = TBrimwellDialogPosition;
  // (1024 - 478) / 2 = 273; (768 - 395) / 2 = 186.5 goes to the even 186.
  EXPECT_EQ(at(P::bdpCenter), std::make_pair(273, 186));
  EXPECT_EQ(at(P::bdpCenter, 5, 7), std::make_pair(278, 193));
  EXPECT_EQ(at(P::bdpCenterLeft, 5, 7), std::make_pair(5, 193));
  EXPECT_EQ(at(P::bdpCenterRight, 5, 7), std::make_pair(1024 - 478 - 5, 193));
  EXPECT_EQ(at(P::bdpBottomRight), std::make_pair(1024 - 478, 768 - 19 - 395));
  EXPECT_EQ(at(P::bdpBottomLeft, 3, 30), std::make_pair(3, 768 - 19 - 395 - 30));
  EXPECT_EQ(at(P::bdpBottomCenter), std::make_pair(273, 768 - 19 - 395));
  EXPECT_EQ(at(P::bdpTopLeft, 4, 6), std::make_pair(4, 6));
  EXPECT_EQ(at(P::bdpTopCenter, 4, 6), std::make_pair(277, 6));
  EXPECT_EQ(at(P::bdpTopRight, 4, 6), std::make_pair(1024 - 478 - 4, 6));
  // 187.5 also goes to the even neighbour, upwards this time.
  EXPECT_EQ(PlaceWindow(P::bdpCenter, 0, 0, {1024, 768}, 19, 478, 393).top, 188);
}

class DialogManagerTest : public EngineTest {
 protected:
  DialogManagerTest() { RegisterWizardClasses(registry_); }

  void LoadPages(const std::string& more = "") {
    Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"UseLoadingProgram": false}},
             {"class": "TDialogManager", "name": "Before", "properties": {"Container": "Install1"}},
             {"class": "TDialogManager", "name": "After",
              "properties": {"Container": "Install1", "ManagerType": "dmAfterGoodInstall"}},
             {"class": "TWelcomeDlg", "name": "Welcome",
              "properties": {"Container": "Install1", "DialogManager": "Before"}},
             {"class": "TLicenseDlg", "name": "License",
              "properties": {"Container": "Install1", "LicenseAgreement": ["one", "two"]}})" +
         more + "]");
  }
};

TEST_F(DialogManagerTest, DefaultsAndTheStoredProject) {
  LoadPages();
  auto* before = Find<TDialogManager>("Before");
  EXPECT_EQ(before->Width(), 478);
  EXPECT_EQ(before->Height(), 395);
  EXPECT_EQ(before->Position(), TBrimwellDialogPosition::bdpCenter);
  EXPECT_EQ(before->ComponentType(), kTypeCallReceiver);
  EXPECT_THAT(before->Dialogs(), ElementsAre(Find<TCustomBaseInstallDlg>("Welcome")));
  EXPECT_EQ(Find<TWelcomeDlg>("Welcome")->Order(), 10);
  EXPECT_EQ(Find<TLicenseDlg>("License")->Order(), 20);
  EXPECT_THAT(Find<TLicenseDlg>("License")->LicenseAgreement(), ElementsAre("one", "two"));
  EXPECT_EQ(Find<TLicenseDlg>("License")->DialogManager(), nullptr);  // unstated: runs alone
  EXPECT_EQ(FindDialogManager(ctx_.get(), TManagerType::dmAfterGoodInstall), Find<TDialogManager>("After"));
  EXPECT_EQ(FindDialogManager(ctx_.get(), TManagerType::dmReboot), nullptr);
  // A project saves back what it stated.
  const std::string saved = SaveProject(*form_);
  EXPECT_NE(saved.find(R"("DialogManager": "Before")"), std::string::npos) << saved;
  EXPECT_EQ(saved.find(R"("Order")"), std::string::npos) << saved;
}

TEST_F(DialogManagerTest, ThePageListFollowsTheDialogs) {
  LoadPages();
  TBIFList& list = TBIFList::Of(*ctx_);
  ASSERT_EQ(list.Entries().size(), 2u);
  EXPECT_EQ(list.Entries()[0].form_class, "TWelcomeForm");
  EXPECT_EQ(list.Entries()[1].form_class, "TLicenseForm");
  EXPECT_EQ(list.Entries()[1].spare, 0);
  delete Find<TWelcomeDlg>("Welcome");
  ASSERT_EQ(list.Entries().size(), 1u);
  EXPECT_EQ(list.Entries()[0].form_class, "TLicenseForm");
  EXPECT_TRUE(Find<TDialogManager>("Before")->Dialogs().empty());
  // A manager that goes leaves no dialog pointing at it.
  auto* license = Find<TLicenseDlg>("License");
  license->SetDialogManager(Find<TDialogManager>("After"));
  delete Find<TDialogManager>("After");
  EXPECT_EQ(license->DialogManager(), nullptr);
}

TEST_F(DialogManagerTest, ANilDialogIsRefusedByName) {
  LoadPages();
  try {
    Find<TDialogManager>("Before")->AddDialog(nullptr);
    FAIL() << "no exception";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "Cannot add a NIL Dialog to the Dialog Manager Before");
  }
  auto* welcome = Find<TWelcomeDlg>("Welcome");
  try {
    welcome->AssignDialogProperties();
    FAIL() << "no exception";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "Cannot AssignDialogProperties for Welcome because the Dialog is Nil");
  }
}

TEST_F(DialogManagerTest, WithoutAWindowSystemEveryStageReturnsAtOnce) {
  // Two managers of one type, a dialog naming a manager of another type:
  // the project loads and each call returns without pages to show.
  LoadPages(R"(, {"class": "TDialogManager", "name": "Before2", "properties": {"Container": "Install1"}},
              {"class": "TReadmeDlg", "name": "Readme",
               "properties": {"Container": "Install1", "DialogManager": "After", "Order": 30}},
              {"class": "TInstallTypeDlg", "name": "Types", "properties": {"Order": 30}})");
  auto* driver = Find<TInstall>("Install1");
  for (int call : {kCallWelcome, kCallLicense, kCallReadme, kCallBeforeInstallManager, kCallGoodInstallManager,
                   kCallInstallTypeDialog, kCallRebootNeeded}) {
    EXPECT_NO_THROW(driver->BroadcastComponentCall(call, nullptr)) << call;
  }
  EXPECT_EQ(TBIFList::Of(*ctx_).CurrentManager(), nullptr);
}

TEST_F(DialogManagerTest, TheCancelQuestion) {
  LoadPages();
  auto* driver = Find<TInstall>("Install1");
  // Without a handler the user is asked; No is the default answer.
  app_.QueueAnswer(ModalResult::kNo);
  EXPECT_FALSE(ConfirmUserAbort(ctx_.get()));
  app_.QueueAnswer(ModalResult::kYes);
  EXPECT_TRUE(ConfirmUserAbort(ctx_.get()));
  ASSERT_EQ(app_.MessageBoxes().size(), 2u);
  EXPECT_EQ(app_.MessageBoxes()[0].text, "Are you sure you want to cancel the installation?");
  EXPECT_EQ(app_.MessageBoxes()[0].buttons, MessageBoxButtons::kYesNo);
  // The project's handler answers instead, QuitOut preset to true.
  bool preset = false;
  driver->OnUserAbort = [&](TCustomInstall*, bool& quit) {
    preset = quit;
    quit = false;
  };
  EXPECT_FALSE(ConfirmUserAbort(ctx_.get()));
  EXPECT_TRUE(preset);
}

}  // namespace
}  // namespace brimwell::testing
