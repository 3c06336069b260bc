// The wizard's components without a window system: window placement, the
// page list kept by the dialogs, the managers' reaction to the calls of
// their stage, inconsistent projects, and the cancel question.
#include "wizard/dialog_manager.h"

#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "engine/parameter_objects.h"
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

// A user interface that records what the managers ask of it.
struct RecordingHost : WizardHost {
  bool RunWizard(TDialogManager&) override { return true; }
  bool RunAlone(TCustomBaseInstallDlg&) override { return true; }
  void UpdateDuringCopy(TDialogManager& m, TFileStatusParameter* f, TDownloadStatusParameter* d) override {
    log.push_back(m.Name() + (f != nullptr ? " file" : "") + (d != nullptr ? " download" : ""));
  }
  void CloseDuringCopy(TDialogManager& m) override { log.push_back(m.Name() + " close"); }
  bool HasChangeDiskForm(TDialogManager&) override { return has_disk_form; }
  bool RunChangeDisk(TDialogManager& m, TDiskParameter& disk) override {
    log.push_back(m.Name() + " disk " + std::to_string(disk.DiskNumber));
    return answer;
  }
  std::vector<std::string> log;
  bool has_disk_form = true;
  bool answer = true;
};

class CopyManagerTest : public DialogManagerTest {
 protected:
  CopyManagerTest() {
    LoadPages(R"(, {"class": "TDialogManager", "name": "Copy",
                   "properties": {"Container": "Install1", "ManagerType": "dmDuringCopyFiles"}},
                 {"class": "TDialogManager", "name": "Disk",
                   "properties": {"Container": "Install1", "ManagerType": "dmChangeDisk"}},
                 {"class": "TTestFile", "name": "File", "properties": {"Container": "Install1"}})");
    auto host = std::make_unique<RecordingHost>();
    host_ = host.get();
    AttachWizardHost(*ctx_, std::move(host));
    driver_ = Find<TInstall>("Install1");
  }
  // The message of the exception a call raises ("" for none).
  std::string Raised(int call, TPersistent* po) {
    try {
      driver_->BroadcastComponentCall(call, po);
    } catch (const Exception& e) {
      return e.what();
    }
    return "";
  }
  RecordingHost* host_;
  TInstall* driver_;
};

TEST_F(CopyManagerTest, ProgressReachesTheCopyManagerOnlyWithTheRightParameter) {
  TFileStatusParameter status;
  TDownloadStatusParameter download;
  TMessageParameter message("x");
  EXPECT_EQ(Raised(kCallProgress, &status), "");
  EXPECT_EQ(Raised(kCallDownloadProgress, &download), "");
  EXPECT_EQ(Raised(kCallPassDone, nullptr), "");
  EXPECT_THAT(host_->log, ElementsAre("Copy file", "Copy download", "Copy close"));
  EXPECT_EQ(Raised(kCallProgress, nullptr), "Copy got a nil PO parameter");
  EXPECT_EQ(Raised(kCallProgress, &download), "The PO object passed to Copy is not a TFileStatusParameter object");
  EXPECT_EQ(Raised(kCallDownloadProgress, &status),
            "The PO object passed to Copy is not a TDownloadStatusParameter object");
}

TEST_F(CopyManagerTest, ADiskRequestIsCheckedMarkedHandledAndMayBeCancelled) {
  auto* file = Find<TTestFile>("File");
  TDiskParameter disk;
  disk.DiskNumber = 2;
  TMessageParameter other("x");
  TList good{file, &disk};
  TList short_list{file};
  TList bad_first{&other, &disk};
  TList bad_second{file, &other};
  EXPECT_EQ(Raised(kCallNewDisk, nullptr),
            "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form");
  EXPECT_EQ(Raised(kCallNewDisk, &disk), "TChangeDiskDlg--PO is not a TList object");
  EXPECT_EQ(Raised(kCallNewDisk, &short_list), "TChangeDiskDlg--Not engouh parameters for status event");
  EXPECT_EQ(Raised(kCallNewDisk, &bad_first), "TChangeDiskDlg says bad first parameter");
  EXPECT_EQ(Raised(kCallNewDisk, &bad_second), "TChangeDiskDlg says bad second parameter");
  EXPECT_TRUE(host_->log.empty());  // no form shown for a refused request
  EXPECT_FALSE(disk.Handled);
  EXPECT_EQ(Raised(kCallNewDisk, &good), "");
  EXPECT_TRUE(disk.Handled);
  host_->answer = false;
  EXPECT_EQ(Raised(kCallNewDisk, &good), "Installation aborted by the user");
  EXPECT_THAT(host_->log, ElementsAre("Disk disk 2", "Disk disk 2"));
  EXPECT_EQ(TBIFList::Of(*ctx_).CurrentManager(), nullptr);
  // Without a next-disk form nothing is checked or shown.
  host_->has_disk_form = false;
  EXPECT_EQ(Raised(kCallNewDisk, nullptr), "");
}

}  // namespace
}  // namespace brimwell::testing
