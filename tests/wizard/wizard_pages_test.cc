// The wizard's real pages, offscreen: page order and navigation with
// skipped pages, pages shown alone, Cancel confirmed and refused (also
// through a whole run), keys, the install type choice and its effect on
// what a run installs, the destination directory, the folder browser, the
// designed layout in English and after translation, unattended runs.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QCheckBox>
#include <QTextEdit>
#include <QTreeWidget>

#include <cstdlib>

#include "engine/component_calls.h"
#include "archive/brwl_compress.h"
#include "engine/engine_errors.h"
#include "engine/parameter_objects.h"
#include "netloc/net_location_state.h"
#include "platform/file_system.h"
#include "translate/translator.h"
#include "tests/engine/engine_fixture.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/base_forms.h"
#include "wizard/folder_window.h"
#include "wizard/group_pages.h"
#include "wizard/open_folder_dialog.h"
#include "wizard/standard_pages.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

class WizardTest : public WizardFixture {
 protected:
  // The driver (install types `types`), the before-install manager and
  // the four pages, made in an order unlike their Order.
  void LoadWizard(const std::string& types = R"(["itFull", "itDefault", "itCompact", "itCustom"])",
                  const std::string& more = "") {
    Load(R"([{"class": "TInstall", "name": "Install1",
              "properties": {"UseLoadingProgram": false, "DestDirType": "psProgramFiles", "InstallTypes": )" +
         types + R"(}},
             {"class": "TDialogManager", "name": "Before", "properties": {"Container": "Install1"}},
             {"class": "TInstallTypeDlg", "name": "Types",
              "properties": {"Container": "Install1", "DialogManager": "Before"}},
             {"class": "TReadmeDlg", "name": "Readme",
              "properties": {"Container": "Install1", "DialogManager": "Before", "ReadmeText": ["news"]}},
             {"class": "TWelcomeDlg", "name": "Welcome",
              "properties": {"Container": "Install1", "DialogManager": "Before"}},
             {"class": "TLicenseDlg", "name": "License",
              "properties": {"Container": "Install1", "DialogManager": "Before", "LicenseAgreement": ["terms"]}})" +
         more + "]");
    driver_ = Find<TInstall>("Install1");
  }

  // Runs the before-install wizard; `act` drives it once it is shown.
  void RunWizard(const std::function<void(TBaseFormContainer&)>& act) {
    host_->OnWizardShown = act;
    driver_->BroadcastComponentCall(kCallBeforeInstallManager, nullptr);
  }

  // The same for a wizard that `act` ends with Cancel.
  void CancelledWizard(const std::function<void(TBaseFormContainer&)>& act) {
    EXPECT_THROW(RunWizard(act), EAIUserAbort);
  }

  TInstall* driver_ = nullptr;
};

TEST_F(WizardTest, PagesRunInOrderBackAndNextAndTheLastNextFinishes) {
  LoadWizard();
  std::vector<int> orders;
  std::vector<std::string> visited;
  bool finished = false;
  RunWizard([&](TBaseFormContainer& w) {
    for (int i = 0; i < w.PageCount(); ++i) orders.push_back(w.Page(i)->Order());
    auto page = [&] { return w.CurrentPage(); };
    visited.push_back(page()->FormClass());
    EXPECT_FALSE(page()->BackBtn()->Visible());  // the first page
    EXPECT_EQ(w.windowTitle().toStdString(), "Welcome");
    Click(page()->ProceedBtn());
    visited.push_back(page()->FormClass());
    EXPECT_TRUE(page()->BackBtn()->Visible());
    Click(page()->BackBtn());
    visited.push_back(page()->FormClass());
    for (int i = 0; i < 3; ++i) Click(page()->ProceedBtn());
    visited.push_back(page()->FormClass());
    EXPECT_TRUE(w.IsLastPage());
    EXPECT_EQ(w.windowTitle().toStdString(), "Setup type");
    Click(page()->ProceedBtn());
    finished = w.Finished();
  });
  EXPECT_THAT(orders, ElementsAre(10, 20, 30, 40));
  EXPECT_THAT(visited, ElementsAre("TWelcomeForm", "TLicenseForm", "TWelcomeForm", "TInstallTypeForm"));
  EXPECT_TRUE(finished);
}

TEST_F(WizardTest, SkippedPagesAreLeftOutEitherWay) {
  // Without install types the install type page skips itself; made the
  // first page, the wizard opens on the next one, which has no Previous.
  LoadWizard(R"(["itAlways"])");
  Find<TInstallTypeDlg>("Types")->SetOrder(5);
  Find<TReadmeDlg>("Readme")->SetDialogManager(nullptr);
  std::vector<std::string> visited;
  RunWizard([&](TBaseFormContainer& w) {
    EXPECT_EQ(w.Page(0)->FormClass(), "TInstallTypeForm");
    visited.push_back(w.CurrentPage()->FormClass());
    EXPECT_TRUE(w.IsFirstPage());
    EXPECT_FALSE(w.CurrentPage()->BackBtn()->Visible());
    // Previous on the first shown page stays there.
    w.PreviousPage();
    visited.push_back(w.CurrentPage()->FormClass());
    Click(w.CurrentPage()->ProceedBtn());
    visited.push_back(w.CurrentPage()->FormClass());
    Click(w.CurrentPage()->ProceedBtn());
    EXPECT_TRUE(w.Finished());
  });
  EXPECT_THAT(visited, ElementsAre("TWelcomeForm", "TWelcomeForm", "TLicenseForm"));
}

TEST_F(WizardTest, ALicenceWithoutAManagerIsShownAloneWithoutPrevious) {
  LoadWizard();
  auto* license = Find<TLicenseDlg>("License");
  license->SetDialogManager(nullptr);
  int shown = 0;
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    ++shown;
    auto& form = dynamic_cast<TLicenseForm&>(page);
    EXPECT_FALSE(form.BackBtn()->Visible());
    EXPECT_THAT(form.Agreement->ListTexts(), ElementsAre("terms"));
    EXPECT_EQ(form.Agreement->Edit()->toPlainText().toStdString(), "terms");
    EXPECT_EQ(license->Form(), &form);
    Key(form.ProceedBtn()->Widget(), Qt::Key_Return);  // Enter presses Next
  };
  driver_->BroadcastComponentCall(kCallLicense, nullptr);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(license->Form(), nullptr);
  // An empty agreement shows an empty box, not the designed placeholder.
  license->SetLicenseAgreement({});
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    EXPECT_TRUE(dynamic_cast<TLicenseForm&>(page).Agreement->Edit()->toPlainText().isEmpty());
    Click(page.ProceedBtn());
  };
  driver_->BroadcastComponentCall(kCallLicense, nullptr);
  // The licence now has no page in the wizard.
  std::vector<std::string> pages;
  CancelledWizard([&](TBaseFormContainer& w) {
    for (int i = 0; i < w.PageCount(); ++i) pages.push_back(w.Page(i)->FormClass());
    w.CancelWizard();
  });
  EXPECT_THAT(pages, ElementsAre("TWelcomeForm", "TReadmeForm", "TInstallTypeForm"));
}

TEST_F(WizardTest, CancelAsksAndOnlyAYesEndsTheWizard) {
  LoadWizard();
  int asked = 0;
  bool answer = false;
  driver_->OnUserAbort = [&](TCustomInstall*, bool& quit) {
    ++asked;
    quit = answer;
  };
  try {
    RunWizard([&](TBaseFormContainer& w) {
      Click(w.CurrentPage()->ProceedBtn());
      Click(w.CurrentPage()->CancelBtn());  // refused: still on the licence
      EXPECT_EQ(w.CurrentPage()->FormClass(), "TLicenseForm");
      EXPECT_FALSE(w.Finished());
      answer = true;
      Key(&w, Qt::Key_Escape);  // Escape is Cancel
    });
    FAIL() << "the wizard was not cancelled";
  } catch (const EAIUserAbort& e) {
    EXPECT_STREQ(e.what(), "Installation aborted by the user");
  }
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(TBIFList::Of(*ctx_).CurrentManager(), nullptr);
  EXPECT_EQ(Find<TWelcomeDlg>("Welcome")->Form(), nullptr);
}

TEST_F(WizardTest, AnErrorInAButtonsWorkEndsTheWizardAndLeavesWithTheRun) {
  LoadWizard();
  driver_->OnUserAbort = [](TCustomInstall*, bool&) { throw IEInstall("the handler failed"); };
  try {
    RunWizard([&](TBaseFormContainer& w) { Click(w.CurrentPage()->CancelBtn()); });
    FAIL() << "no exception";
  } catch (const IEInstall& e) {
    EXPECT_STREQ(e.what(), "the handler failed");
  }
  // A page shown alone the same way.
  Find<TReadmeDlg>("Readme")->SetDialogManager(nullptr);
  host_->OnPageShown = [&](TBaseInstallForm& page) { Key(page.Widget(), Qt::Key_Escape); };
  EXPECT_THROW(driver_->BroadcastComponentCall(kCallReadme, nullptr), IEInstall);
}

TEST_F(WizardTest, ACancelledRunEndsAsAUserAbortAndLeavesNoRecord) {
  Start({"-c", "-s" + HostDir("dist").string()});
  RegisterWizardClasses(registry_);
  host_ = &AttachQtWizard(*ctx_);
  LoadWizard();
  driver_->OnBeforeCleanup = [](TCustomInstall*, bool& go) { go = false; };  // keep the test's engine
  app_.QueueAnswer(ModalResult::kYes);  // "Are you sure ...?"
  host_->OnWizardShown = [&](TBaseFormContainer& w) { Click(w.CurrentPage()->CancelBtn()); };
  app_.Form()->Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitUserAbort);
  auto records = registry().SubKeys(RegistryHive::kLocalMachine, kInstallRecordRoot);
  EXPECT_TRUE(!records.ok() || records->empty());
  EXPECT_NE(Log().find("EAIUserAbort: Installation aborted by the user"), std::string::npos) << Log();
}

TEST_F(WizardTest, TheInstallTypeChoiceDecidesWhatTheRunInstalls) {
  LoadWizard(R"(["itFull", "itDefault", "itCompact", "itCustom"])",
             R"(, {"class": "TInstallFileGroup", "name": "Core",
                   "properties": {"Container": "Install1", "InstallTypes": ["itFull", "itDefault", "itCompact"]}},
                 {"class": "TInstallFileGroup", "name": "Extras",
                   "properties": {"Container": "Install1", "InstallTypes": ["itFull"]}},
                 {"class": "TTestFile", "name": "ExtraFile", "properties": {"Container": "Extras"}})");
  auto* core = Find<TInstallFileGroup>("Core");
  auto* extras = Find<TInstallFileGroup>("Extras");
  RunWizard([&](TBaseFormContainer& w) {
    while (w.CurrentPage()->FormClass() != "TInstallTypeForm") Click(w.CurrentPage()->ProceedBtn());
    auto& page = dynamic_cast<TInstallTypeForm&>(*w.CurrentPage());
    // The driver starts on the first type it offers.
    EXPECT_EQ(page.PageControl->ActiveSheet(), page.TypicalTab);
    EXPECT_EQ(driver_->CurrentInstallType(), TInstallType::itDefault);
    page.PageControl->SetActiveSheet(page.CompactTab);
    EXPECT_EQ(driver_->CurrentInstallType(), TInstallType::itCompact);
    EXPECT_EQ(Find<TTestFile>("ExtraFile")->CurrentInstallType(), TInstallType::itCompact);
    EXPECT_TRUE(core->IsSelected());
    EXPECT_FALSE(extras->IsSelected());
    Click(page.BackBtn());
    Click(w.CurrentPage()->ProceedBtn());
    // Coming back shows the choice made; Full selects everything again.
    EXPECT_EQ(page.PageControl->ActiveSheet(), page.CompactTab);
    page.PageControl->SetActiveSheet(page.FullTab);
    Click(page.ProceedBtn());
  });
  EXPECT_EQ(driver_->CurrentInstallType(), TInstallType::itFull);
  EXPECT_EQ(extras->CurrentInstallType(), TInstallType::itFull);
  EXPECT_TRUE(extras->IsSelected());
}

TEST_F(WizardTest, OnlyTheOfferedTabsShowAndTheDestinationIsWrittenAsTyped) {
  LoadWizard(R"(["itFull", "itCustom"])");
  // itAlways (no choice made) opens the Custom tab.
  driver_->SetCurrentInstallType(TInstallType::itAlways);
  CancelledWizard([&](TBaseFormContainer& w) {
    ASSERT_TRUE(w.GoToPage(3, false));
    auto& page = dynamic_cast<TInstallTypeForm&>(*w.CurrentPage());
    QTabWidget* tabs = page.PageControl->Tabs();
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(page.TypicalTab->Widget())));
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(page.CompactTab->Widget())));
    EXPECT_TRUE(tabs->isTabVisible(tabs->indexOf(page.FullTab->Widget())));
    EXPECT_EQ(page.PageControl->ActiveSheet(), page.CustomTab);
    EXPECT_EQ(page.edDestDir->Edit()->text().toStdString(), "c:\\program files\\myapplication");
    EXPECT_TRUE(page.DirectoryGroupBox->Visible());
    page.edDestDir->Edit()->setText("D:\\Apps\\My Tool");
    w.CancelWizard();
  });
  EXPECT_EQ(driver_->DestDir(), "d:\\apps\\my tool");
  EXPECT_EQ(driver_->DestDirType(), nullptr);
  EXPECT_EQ(driver_->GetDestPath(), "d:\\apps\\my tool");
}

TEST_F(WizardTest, BrowsingFromANewDestinationLeavesNoEmptyDirectory) {
  LoadWizard();
  FileSystem& fs = ctx_->GetMachine().GetFileSystem();
  const std::string dest = driver_->GetDestPath();
  ASSERT_FALSE(fs.DirectoryExists(dest));
  std::string chosen;
  CancelledWizard([&](TBaseFormContainer& w) {
    ASSERT_TRUE(w.GoToPage(3, false));
    auto& page = dynamic_cast<TInstallTypeForm&>(*w.CurrentPage());
    page.OnBrowse = [&](TOpenFolderDialog& d) {
      d.OnShown = [&](FolderWindow& f) {
        // The browser opens on the destination, made for it.
        EXPECT_TRUE(SameText(f.CurrentPath(), dest)) << f.CurrentPath();
        f.CancelButton()->click();
      };
    };
    Click(page.BrowseBtn);
    EXPECT_FALSE(fs.DirectoryExists(dest));
    // Choosing a folder writes it, without its trailing backslash.
    fs.ForceDirectories("C:\\Apps\\Tool");
    page.OnBrowse = [&](TOpenFolderDialog& d) {
      d.OnShown = [&](FolderWindow& f) {
        f.PathEdit()->setText("C:\\Apps\\Tool\\");
        f.OkButton()->click();
      };
    };
    Click(page.BrowseBtn);
    chosen = page.edDestDir->Edit()->text().toStdString();
    w.CancelWizard();
  });
  EXPECT_EQ(driver_->DestDir(), "C:\\Apps\\Tool");
  EXPECT_EQ(chosen, "c:\\apps\\tool");
  EXPECT_FALSE(fs.DirectoryExists(dest));
}

TEST_F(WizardTest, TheFolderBrowserMakesFoldersAndAcceptsATypedPath) {
  LoadWizard();
  FileSystem& fs = ctx_->GetMachine().GetFileSystem();
  TOpenFolderDialog dialog(*ctx_);
  EXPECT_EQ(dialog.NearestExisting("C:"), "C:\\");
  EXPECT_EQ(dialog.NearestExisting("C:\\Program Files\\New\\Sub"), "C:\\Program Files");
  EXPECT_EQ(dialog.NearestExisting("   "), "");
  EXPECT_EQ(dialog.NearestExisting("Q:\\nowhere"), "");

  // A named folder under the selected one, selected afterwards.
  dialog.Path = "C:\\Program Files\\New\\Sub";
  dialog.OnShown = [&](FolderWindow& f) {
    EXPECT_EQ(f.CurrentPath(), "C:\\Program Files");
    const std::string name = "Made Here";
    f.PathEdit()->clear();
    f.CreateFolder(&name);
    EXPECT_EQ(f.SelectedPath(), "C:\\Program Files\\Made Here");
    f.OkButton()->click();
  };
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.Path, "C:\\Program Files\\Made Here");
  EXPECT_TRUE(fs.DirectoryExists("C:\\Program Files\\Made Here"));

  // A typed path that does not exist is made on OK; OnCreateFolder may veto
  // the button.
  bool vetoed = false;
  dialog.OnCreateFolder = [&](TOpenFolderDialog*, bool& allow) {
    vetoed = true;
    allow = false;
  };
  dialog.OnShown = [&](FolderWindow& f) {
    f.PathEdit()->setText("C:\\Typed\\Deep\\Path");
    f.CreateButton()->click();
    EXPECT_FALSE(fs.DirectoryExists("C:\\Typed"));
    f.OkButton()->click();
  };
  ASSERT_TRUE(dialog.Execute());
  EXPECT_TRUE(vetoed);
  EXPECT_EQ(dialog.Path, "C:\\Typed\\Deep\\Path");
  EXPECT_TRUE(fs.DirectoryExists("C:\\Typed\\Deep\\Path"));

  // Both options off: no extra controls, the selected item is the answer.
  TOpenFolderDialog plain(*ctx_);
  plain.ShowCreateButton = false;
  plain.ShowPathEdit = false;
  plain.Path = "C:\\WINDOWS";
  plain.OnShown = [&](FolderWindow& f) {
    EXPECT_EQ(f.PathEdit(), nullptr);
    EXPECT_EQ(f.CreateButton(), nullptr);
    f.OkButton()->click();
  };
  ASSERT_TRUE(plain.Execute());
  EXPECT_EQ(plain.Path, "C:\\WINDOWS");
  plain.OnShown = [&](FolderWindow& f) { f.CancelButton()->click(); };
  EXPECT_FALSE(plain.Execute());
}

// A page of the project's own with no dialog component: it names its
// manager and Order itself.
class TestFreePage : public TBaseInstallForm {
 public:
  TestFreePage(EngineContext* ctx, QWidget* parent, TDialogManager* dm, int order)
      : TBaseInstallForm(ctx, "TTestFreePage", parent, 8) {
    SetCaption("Our own page");
    SetDM(dm);
    SetOrder(order);
  }
};

TEST_F(WizardTest, AFreePageJoinsTheWizardOfTheManagerItNames) {
  LoadWizard(R"(["itAlways"])", R"(, {"class": "TDialogManager", "name": "After",
                   "properties": {"Container": "Install1", "ManagerType": "dmAfterGoodInstall"}})");
  TDialogManager* target = Find<TDialogManager>("Before");
  host_->RegisterForm(
      "TTestFreePage",
      [&](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
        return std::make_unique<TestFreePage>(ctx, parent, target, 25);
      },
      true);
  std::vector<std::string> captions;
  auto record = [&](TBaseFormContainer& w) {
    for (int i = 0; i < w.PageCount(); ++i) captions.push_back(w.Page(i)->Caption());
    w.CancelWizard();
  };
  CancelledWizard(record);
  EXPECT_THAT(captions, ElementsAre("Welcome", "Software license agreement", "Our own page", "Readme information",
                                    "Setup type"));
  // The after-install wizard has none of these pages: it returns at once.
  captions.clear();
  host_->OnWizardShown = record;
  EXPECT_NO_THROW(driver_->BroadcastComponentCall(kCallGoodInstallManager, nullptr));
  EXPECT_TRUE(captions.empty());
}

TEST_F(WizardTest, ADialogsOwnLanguageAndThemePicture) {
  LoadWizard(R"(["itAlways"])", R"(, {"class": "TTranslator", "name": "MainTranslator",
                   "properties": {"TranslateIntoLanguage": "blEnglish"}})");
  auto* license = Find<TLicenseDlg>("License");
  license->SetDialogManager(nullptr);
  license->SetOverrideMainTranslator(true);
  license->SetTranslateIntoLanguage(blJapanese);
  // A picture that cannot be drawn gives way to the built-in one.
  TPicture damaged;
  std::vector<std::uint8_t> bytes(54, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  bytes[14] = 40;   // an information header with a size ...
  bytes[18] = 50;   // 50 x 50
  bytes[22] = 50;
  bytes[28] = 77;   // ... 77 bits a pixel, and no pixels
  damaged.LoadFromBytes(bytes);
  license->SetThemeBitmap(damaged);
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    EXPECT_EQ(page.ProceedBtn()->Caption(), "次へ >");
    EXPECT_EQ(page.ProceedBtn()->Widget()->font().family().toStdString(), "Noto Sans CJK JP");
    EXPECT_EQ(page.CurrentLanguage(), blJapanese);
    EXPECT_TRUE(page.ThemeBitmap()->HasPicture());
    EXPECT_EQ(page.ThemeBitmap()->Label()->pixmap().width(), 117);
    Click(page.ProceedBtn());
  };
  driver_->BroadcastComponentCall(kCallLicense, nullptr);
  // The welcome page keeps its designed font, translated or not, unless its
  // dialog says otherwise; the main translator's language holds for it.
  RunWizard([&](TBaseFormContainer& w) {
    EXPECT_EQ(w.CurrentPage()->ProceedBtn()->Caption(), "Next >");
    Click(w.CurrentPage()->ProceedBtn());
    Click(w.CurrentPage()->ProceedBtn());
  });
}

TEST_F(WizardTest, TheInstallTypePageAloneNeedsAContainer) {
  LoadWizard();
  auto* types = Find<TInstallTypeDlg>("Types");
  types->SetDialogManager(nullptr);
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    EXPECT_FALSE(page.BackBtn()->Visible());
    auto& form = dynamic_cast<TInstallTypeForm&>(page);
    form.PageControl->SetActiveSheet(form.FullTab);
    Click(page.ProceedBtn());
  };
  // The call of the driver's own processing, just before its selection.
  driver_->BroadcastComponentCall(kCallInstallTypeDialog, nullptr);
  EXPECT_EQ(driver_->CurrentInstallType(), TInstallType::itFull);
  types->SetContainer(nullptr);
  try {
    types->DoExecute();
    FAIL() << "no exception";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "Cannot run this dialog Types with a blank Container property");
  }
}

// A progress window of the project's own, on the copy manager.
class TestCopyForm : public TBaseDuringCopyForm {
 public:
  TestCopyForm(EngineContext* ctx, TDialogManager* dm) : TBaseDuringCopyForm(ctx, "TTestCopyForm") { SetDM(dm); }
  void UpdateProgress(TFileStatusParameter* file, TDownloadStatusParameter*) override {
    if (file != nullptr) percents.push_back(file->TotalPercent);
  }
  std::vector<int> percents;
};

TEST_F(WizardTest, CopyWindowsOpenAtTheFirstUpdateAndCancelStopsTheCopy) {
  LoadWizard("[\"itAlways\"]", R"(, {"class": "TDialogManager", "name": "Copy",
                   "properties": {"Container": "Install1", "ManagerType": "dmDuringCopyFiles"}},
                 {"class": "TDialogManager", "name": "Disk",
                   "properties": {"Container": "Install1", "ManagerType": "dmChangeDisk"}},
                 {"class": "TTestFile", "name": "File", "properties": {"Container": "Install1"}})");
  auto* copy = Find<TDialogManager>("Copy");
  auto* disk_manager = Find<TDialogManager>("Disk");
  int made = 0;
  host_->RegisterDuringCopyForm("TTestCopyForm", [&](EngineContext* ctx) -> std::unique_ptr<TBaseDuringCopyForm> {
    ++made;
    return std::make_unique<TestCopyForm>(ctx, copy);
  });
  // A form of another manager is made and dropped.
  host_->RegisterDuringCopyForm("TOtherCopyForm", [&](EngineContext* ctx) -> std::unique_ptr<TBaseDuringCopyForm> {
    return std::make_unique<TestCopyForm>(ctx, disk_manager);
  });
  TFileStatusParameter status;
  for (int percent : {10, 60}) {
    status.TotalPercent = percent;
    driver_->BroadcastComponentCall(kCallProgress, &status);
  }
  std::vector<TBaseDuringCopyForm*> open = host_->OpenDuringCopyForms(*copy);
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(made, 1);
  EXPECT_THAT(dynamic_cast<TestCopyForm*>(open[0])->percents, ElementsAre(10, 60));
  // Cancel, confirmed: the copy loop's flags; the window stays.
  driver_->OnUserAbort = [](TCustomInstall*, bool& quit) { quit = true; };
  open[0]->CancelCopy();
  EXPECT_TRUE(ctx_->MainArchive().Abort());
  EXPECT_TRUE(ctx_->NetLocations().DownloadCancelled());
  driver_->BroadcastComponentCall(kCallPassDone, nullptr);
  EXPECT_TRUE(host_->OpenDuringCopyForms(*copy).empty());
  driver_->BroadcastComponentCall(kCallProgress, &status);
  EXPECT_EQ(made, 2);  // the next pass opens fresh windows

  // A next-disk prompt of the project's own: Cancel ends the run.
  struct DiskForm : TBaseChangeDiskForm {
    DiskForm(EngineContext* ctx, TDialogManager* dm) : TBaseChangeDiskForm(ctx, "TTestDiskForm") { SetDM(dm); }
  };
  host_->RegisterChangeDiskForm("TTestDiskForm", [&](EngineContext* ctx) -> std::unique_ptr<TBaseChangeDiskForm> {
    return std::make_unique<DiskForm>(ctx, disk_manager);
  });
  TDiskParameter disk;
  disk.DiskNumber = 3;
  TList request{Find<TTestFile>("File"), &disk};
  host_->OnChangeDiskShown = [&](TBaseChangeDiskForm& form) {
    EXPECT_EQ(form.DiskParameter(), &disk);
    form.DiskParameter()->Path = "B:\\";
    form.Window()->done(static_cast<int>(ModalResult::kOK));
  };
  driver_->BroadcastComponentCall(kCallNewDisk, &request);
  EXPECT_TRUE(disk.Handled);
  EXPECT_EQ(disk.Path, "B:\\");
  host_->OnChangeDiskShown = [&](TBaseChangeDiskForm& form) { form.CancelDisk(); };
  EXPECT_THROW(driver_->BroadcastComponentCall(kCallNewDisk, &request), EAIUserAbort);
}

// --- Layout -------------------------------------------------------------------------------

struct Expected {
  int left, top, width, height;
};

void ExpectBounds(ControlLayout* control, Expected e, const char* what) {
  const PageRect& b = control->Bounds();
  EXPECT_EQ(b.left, e.left) << what;
  EXPECT_EQ(b.top, e.top) << what;
  EXPECT_EQ(b.width, e.width) << what;
  EXPECT_EQ(b.height, e.height) << what;
}

// Every label of the content is as high as its text needs, and the labels
// stacked from the top end above those stacked from the bottom.
void ExpectLabelsFit(TBaseInstallForm& page) {
  for (ControlLayout* c : page.Content()->LayoutChildren()) {
    auto* label = dynamic_cast<WizLabel*>(c);
    if (label == nullptr || label->Caption().empty() || !label->Visible()) continue;
    EXPECT_EQ(label->Bounds().height, label->WantedHeight(label->Bounds().width)) << label->Name();
    EXPECT_LE(label->Bounds().top + label->Bounds().height, page.Content()->Bounds().height) << label->Name();
  }
}

TEST_F(WizardTest, TheCommonFrameAndEachPageAsDesignedInEnglishAndGerman) {
  LoadWizard(R"(["itFull", "itDefault"])",
             R"(, {"class": "TTranslator", "name": "MainTranslator",
                   "properties": {"TranslateIntoLanguage": "blEnglish"}})");
  auto* translator = Find<TTranslator>("MainTranslator");
  for (TBrwlLanguage language : {blEnglish, blGerman}) {
    translator->SetTranslateIntoLanguage(language);
    CancelledWizard([&](TBaseFormContainer& w) {
      EXPECT_EQ(w.width(), 470);
      EXPECT_EQ(w.height(), 368);
      for (int i = 0; i < w.PageCount(); ++i) {
        TBaseInstallForm& page = *w.Page(i);
        ExpectBounds(&page, {0, 0, 470, 368}, "page");
        ExpectBounds(page.ButtonPanel(), {0, 316, 470, 52}, "button panel");
        ExpectBounds(page.ThemePanel(), {0, 0, 136, 316}, "theme panel");
        ExpectBounds(page.BackBtn(), {208, 15, 75, 33}, "BackBtn");
        ExpectBounds(page.ProceedBtn(), {288, 15, 75, 33}, "ProceedBtn");
        ExpectBounds(page.CancelBtn(), {368, 15, 89, 33}, "CancelBtn");
        ExpectBounds(page.Content(), {136, 0, 334, 316}, "content");
        EXPECT_TRUE(page.ThemeBitmap()->HasPicture());
        EXPECT_EQ(page.ProceedBtn()->Widget()->font().family().toStdString(), "Liberation Sans");
        EXPECT_EQ(page.ProceedBtn()->Widget()->font().pixelSize(), 11);
        ExpectLabelsFit(page);
      }
      auto& welcome = dynamic_cast<TWelcomeForm&>(*w.Page(0));
      auto& license = dynamic_cast<TLicenseForm&>(*w.Page(1));
      auto& types = dynamic_cast<TInstallTypeForm&>(*w.Page(3));
      ExpectBounds(welcome.Label7, {8, 8 + welcome.Label1->Bounds().height, 318, 14}, "Label7");
      ExpectBounds(types.DirectoryGroupBox, {5, 316 - 5 - 41, 324, 41}, "DirectoryGroupBox");
      EXPECT_EQ(types.edDestDir->Bounds().width, 209);
      EXPECT_EQ(types.BrowseBtn->Bounds().width, 89);
      EXPECT_EQ(types.BrowseBtn->Bounds().height, 25);
      EXPECT_EQ(license.Label8->Bounds().height, 14);
      if (language == blEnglish) {
        EXPECT_EQ(welcome.Caption(), "Welcome");
        EXPECT_EQ(welcome.ProceedBtn()->Caption(), "Next >");
        EXPECT_EQ(welcome.Label3->Caption(), "Click Next to continue with the installation.");
        EXPECT_EQ(license.Caption(), "Software license agreement");
        EXPECT_EQ(types.TypicalTab->Caption(), "Typical");
        EXPECT_EQ(types.BrowseBtn->Caption(), "&Browse");
        EXPECT_EQ(types.DirectoryGroupBox->Caption(), "Destination Directory");
      } else {
        EXPECT_EQ(welcome.Caption(), "Willkommen");
        EXPECT_EQ(welcome.ProceedBtn()->Caption(), "Weiter >");
        EXPECT_EQ(welcome.CancelBtn()->Button()->text().toStdString(), "Abbrechen");
        EXPECT_EQ(types.TypicalTab->Caption(), "Standard");
        EXPECT_EQ(w.windowTitle().toStdString(), "Willkommen");
        EXPECT_EQ(license.TranslateLabel1->Caption().rfind("Wenn Sie nicht allen Bedingungen zustimmen", 0), 0u);
      }
      // The licence's closing lines keep their own texts.
      EXPECT_NE(license.Label2->Caption(), license.TranslateLabel1->Caption());
      w.CancelWizard();
    });
  }
}

// --- The file group page ---------------------------------------------------------------

class GroupPageTest : public WizardTest {
 protected:
  // The driver on C:, "System" (1000 bytes, and "Extras" below it, 250
  // bytes, with no choice) on C:, "Docs" (500 bytes) on D:, which the
  // prefix does not map; C: has 5,000,000 bytes free.
  void LoadGroups(const std::string& types = R"(["itAlways"])", const std::string& more = "") {
    LoadWizard(types, R"(, {"class": "TInstallFileGroupsDlg", "name": "Groups",
                   "properties": {"Container": "Install1", "DialogManager": "Before"}},
                 {"class": "TInstallFileGroup", "name": "System",
                   "properties": {"Container": "Install1", "GroupName": "System", "DestDir": "C:\\Sys"}},
                 {"class": "TTestFile", "name": "SysFile", "properties": {"Container": "System", "Size": 1000}},
                 {"class": "TInstallFileGroup", "name": "Extras",
                   "properties": {"Container": "System", "GroupName": "Extras", "DestDir": "C:\\Sys\\Extras",
                                  "AllowChoice": false}},
                 {"class": "TTestFile", "name": "ExtraFile", "properties": {"Container": "Extras", "Size": 250}},
                 {"class": "TInstallFileGroup", "name": "Docs",
                   "properties": {"Container": "Install1", "GroupName": "Docs", "DestDir": "D:\\Docs",
                                  "Description": ["The manuals."], "AllowChangeDir": false}},
                 {"class": "TTestFile", "name": "DocFile", "properties": {"Container": "Docs", "Size": 500}})" +
                   more);
    PrefixConfig config = machine_->Config();
    config.free_bytes['C'] = 5000000;
    machine_->UpdateConfig(config);
  }

  // Runs the wizard up to the group page and hands it to `act`.
  void OnGroupPage(const std::function<void(TFileGroupSelectForm&, TBaseFormContainer&)>& act) {
    CancelledWizard([&](TBaseFormContainer& w) {
      while (w.CurrentPage()->FormClass() != "TFileGroupSelectForm" && !w.IsLastPage()) {
        Click(w.CurrentPage()->ProceedBtn());
      }
      ASSERT_EQ(w.CurrentPage()->FormClass(), "TFileGroupSelectForm");
      act(dynamic_cast<TFileGroupSelectForm&>(*w.CurrentPage()), w);
      w.CancelWizard();
    });
  }

  static TIncludeCheckBox* BoxOf(TFileGroupSelectForm& page, const TFileContainer* group) {
    for (TIncludeCheckBox* box : page.IncludeList) {
      if (box->Visible() && box->Group() == group) return box;
    }
    return nullptr;
  }
  static std::string SizeOf(TFileGroupSelectForm& page, const TFileContainer* group) {
    for (std::size_t i = 0; i < page.IncludeList.size(); ++i) {
      if (page.IncludeList[i]->Visible() && page.IncludeList[i]->Group() == group) return page.SizeList[i]->Caption();
    }
    return "(no row)";
  }
};

TEST_F(GroupPageTest, TicksSizesAndDrivesFollowTheSelection) {
  LoadGroups();
  auto* system = Find<TInstallFileGroup>("System");
  auto* docs = Find<TInstallFileGroup>("Docs");
  auto* extras = Find<TInstallFileGroup>("Extras");
  OnGroupPage([&](TFileGroupSelectForm& page, TBaseFormContainer&) {
    QTreeWidget* tree = page.GroupTree->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0).toStdString(), "Main");
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0).toStdString(), "System");
    EXPECT_EQ(root->child(1)->text(0).toStdString(), "Docs");
    EXPECT_FALSE(root->child(0)->isExpanded());
    // Rows of the open levels only: the root and its two groups.
    EXPECT_EQ(SizeOf(page, driver_), "1,750 Bytes");
    EXPECT_EQ(SizeOf(page, system), "1,250 Bytes");
    EXPECT_EQ(SizeOf(page, extras), "(no row)");
    root->child(0)->setExpanded(true);
    ASSERT_NE(BoxOf(page, extras), nullptr);
    EXPECT_TRUE(BoxOf(page, extras)->Box()->isChecked());
    EXPECT_FALSE(BoxOf(page, extras)->Box()->isEnabled());
    EXPECT_EQ(SizeOf(page, extras), "250 Bytes");

    // Per drive: C: 1,250 of 5,000,000; D: 500 and unreadable, so short.
    ASSERT_EQ(page.DriveList->RowCount(), 2);
    EXPECT_EQ(page.DriveList->RowText(0, 0), "C:");
    EXPECT_EQ(page.DriveList->RowText(0, 1), "1,250 Bytes");
    EXPECT_EQ(page.DriveList->RowText(0, 2), "5,000,000 Bytes");
    EXPECT_FALSE(page.DriveList->RowShort(0));
    EXPECT_EQ(page.DriveList->RowText(1, 0), "D:");
    EXPECT_EQ(page.DriveList->RowText(1, 2), "-1 Bytes");
    EXPECT_TRUE(page.DriveList->RowShort(1));

    // Unticking Docs: its files leave the run, the sizes and the drive
    // list at once, and its drive stays listed with nothing required.
    BoxOf(page, docs)->Box()->click();
    EXPECT_FALSE(docs->Include());
    EXPECT_FALSE(docs->IsSelected());
    EXPECT_EQ(SizeOf(page, driver_), "1,250 Bytes");
    ASSERT_EQ(page.DriveList->RowCount(), 2);
    EXPECT_EQ(page.DriveList->RowText(1, 1), "0 Bytes");
    // Unticking System leaves out Extras too, though Extras stays ticked.
    BoxOf(page, system)->Box()->click();
    EXPECT_EQ(page.DriveList->RowText(0, 1), "0 Bytes");
    EXPECT_TRUE(extras->Include());
    EXPECT_EQ(SizeOf(page, driver_), "0 Bytes");
    BoxOf(page, system)->Box()->click();
    EXPECT_EQ(page.DriveList->RowText(0, 1), "1,250 Bytes");
  });
  // Back and Next again keep the ticks: the page reads them from the groups.
  OnGroupPage([&](TFileGroupSelectForm& page, TBaseFormContainer&) {
    EXPECT_FALSE(BoxOf(page, docs)->Box()->isChecked());
    EXPECT_TRUE(BoxOf(page, system)->Box()->isChecked());
  });
}

TEST_F(GroupPageTest, TheSelectedGroupsDirectoryAndDescription) {
  LoadGroups();
  auto* docs = Find<TInstallFileGroup>("Docs");
  auto* system = Find<TInstallFileGroup>("System");
  OnGroupPage([&](TFileGroupSelectForm& page, TBaseFormContainer&) {
    QTreeWidget* tree = page.GroupTree->Tree();
    EXPECT_EQ(page.GroupTree->SelectedGroup(), driver_);
    EXPECT_EQ(page.DirectoryLabel->Edit()->text().toStdString(), "c:\\program files\\myapplication");
    EXPECT_FALSE(page.DescriptionMemo->Visible());
    tree->setCurrentItem(page.GroupTree->NodeOf(docs));
    EXPECT_EQ(page.DirectoryLabel->Edit()->text().toStdString(), "d:\\docs");
    EXPECT_FALSE(page.BrowseBtn->Widget()->isEnabled());
    EXPECT_TRUE(page.DescriptionMemo->Visible());
    EXPECT_TRUE(page.GroupDescLabel->Visible());
    EXPECT_EQ(page.DescriptionMemo->Edit()->toPlainText().toStdString(), "The manuals.");
    // Typing moves the selected group, in lower case, and only it.
    page.DirectoryLabel->Edit()->setText("E:\\Manuals");
    EXPECT_EQ(docs->DestDir(), "e:\\manuals");
    EXPECT_EQ(docs->DestDirType(), nullptr);
    EXPECT_EQ(system->DestDir(), "C:\\Sys");
    ASSERT_EQ(page.DriveList->RowCount(), 2);
    page.PreparePage();
    EXPECT_EQ(page.DriveList->RowText(1, 0), "E:");

    // Browse on System: the chosen folder becomes its destination.
    tree->setCurrentItem(page.GroupTree->NodeOf(system));
    EXPECT_TRUE(page.BrowseBtn->Widget()->isEnabled());
    page.OnBrowse = [](TOpenFolderDialog& dialog) {
      dialog.OnShown = [](FolderWindow& window) {
        window.PathEdit()->setText("C:\\Elsewhere\\");
        window.OkButton()->click();
      };
    };
    Click(page.BrowseBtn);
    EXPECT_EQ(system->DestDir(), "C:\\Elsewhere");
    EXPECT_EQ(page.DirectoryLabel->Edit()->text().toStdString(), "c:\\elsewhere");
  });
}

TEST_F(GroupPageTest, ThePageLeavesItselfOutForAChosenTypeAndNeedsAFileContainer) {
  LoadGroups(R"(["itDefault", "itCustom"])");
  TFileGroupSelectForm page(ctx_.get(), nullptr);
  EXPECT_EQ(page.Container(), driver_);
  driver_->SetCurrentInstallType(TInstallType::itDefault);
  EXPECT_TRUE(page.SkipPage());
  driver_->SetCurrentInstallType(TInstallType::itCustom);
  EXPECT_FALSE(page.SkipPage());
  page.SetContainer(nullptr);
  EXPECT_TRUE(page.SkipPage());
  EXPECT_THROW(page.BuildTree(), IException);
  page.SetContainer(Find<TDialogManager>("Before"));
  try {
    page.RefreshDrives();
    ADD_FAILURE() << "no error";
  } catch (const IException& e) {
    EXPECT_EQ(std::string(e.what()), "Container is not a TFileContainer for Before");
  }
  // Alone, the dialog needs a container.
  auto* dialog = Find<TInstallFileGroupsDlg>("Groups");
  dialog->SetDialogManager(nullptr);
  dialog->SetContainer(nullptr);
  EXPECT_THROW(dialog->HandleComponentCall(driver_, kCallBeforeInstallObjects, nullptr), IException);
}

TEST_F(GroupPageTest, ADeepTreeOfEmptyGroupsAndAFullDrive) {
  LoadGroups();
  // Thirty levels of groups without files below System, on a full C:.
  TInstallContainer* parent = Find<TInstallFileGroup>("System");
  for (int level = 0; level < 30; ++level) {
    auto* group = Make<TInstallFileGroup>("Deep" + std::to_string(level));
    group->SetContainer(parent);
    group->SetGroupName("Level " + std::to_string(level));
    parent = group;
  }
  PrefixConfig config = machine_->Config();
  config.free_bytes['C'] = 0;
  machine_->UpdateConfig(config);
  OnGroupPage([&](TFileGroupSelectForm& page, TBaseFormContainer&) {
    page.GroupTree->Tree()->expandAll();
    const int height = page.GroupTree->Tree()->viewport()->height();
    int shown = 0;
    for (std::size_t i = 0; i < page.IncludeList.size(); ++i) {
      if (!page.IncludeList[i]->Visible()) continue;
      ++shown;
      EXPECT_LE(page.IncludeList[i]->Bounds().top, height);
    }
    EXPECT_GT(shown, 3);
    EXPECT_LT(shown, 12);  // the rows the tree shows, not all 34
    // Scrolled to the deepest level: its rows, with nothing to install.
    QTreeWidgetItem* deepest = page.GroupTree->NodeOf(Find<TInstallFileGroup>("Deep29"));
    ASSERT_NE(deepest, nullptr);
    page.GroupTree->Tree()->scrollToItem(deepest);
    EXPECT_EQ(SizeOf(page, Find<TInstallFileGroup>("Deep29")), "0 Bytes");
    // A full drive is short even of 0 bytes more.
    ASSERT_GE(page.DriveList->RowCount(), 1);
    EXPECT_EQ(page.DriveList->RowText(0, 2), "0 Bytes");
    EXPECT_TRUE(page.DriveList->RowShort(0));
  });
}

TEST_F(GroupPageTest, TheGroupPageAsDesignedInEnglishAndGerman) {
  LoadGroups(R"(["itAlways"])", R"(, {"class": "TTranslator", "name": "MainTranslator",
                                      "properties": {"TranslateIntoLanguage": "blGerman"}})");
  OnGroupPage([&](TFileGroupSelectForm& page, TBaseFormContainer&) {
    const int top = 5 + page.TopDescriptionLabel->Bounds().height;
    ExpectBounds(page.Label5, {5, top, 324, 7}, "Label5");
    ExpectBounds(page.pnlGroups, {5, top + 7, 324, 107}, "pnlGroups");
    ExpectBounds(page.pnlInclude, {1, 1, 20, 105}, "pnlInclude");
    ExpectBounds(page.pnlSize, {324 - 1 - 93, 1, 93, 105}, "pnlSize");
    ExpectBounds(page.DirectoryGroupBox, {5, 316 - 5 - 42, 324, 42}, "DirectoryGroupBox");
    ExpectBounds(page.pnlDriveSpace, {5, 316 - 5 - 42 - 61, 324, 61}, "pnlDriveSpace");
    EXPECT_EQ(page.DirectoryLabel->Bounds().width, 209);
    EXPECT_TRUE(page.pnlIncludeSpacer->Visible());
    // The tick and size columns stay level with the tree's rows.
    QTreeWidget* tree = page.GroupTree->Tree();
    EXPECT_EQ(page.IncludeList[1]->Bounds().top, tree->visualItemRect(tree->topLevelItem(0)->child(0)).top());
    EXPECT_EQ(page.Caption(), "Zu installierende Komponenten wählen");
    EXPECT_NE(page.SizeList[0]->Caption().find("Bytes"), std::string::npos);
    ExpectLabelsFit(page);
  });
}

TEST_F(WizardTest, UnattendedRunsPressNextOnEveryPageWithoutShowingThem) {
  LoadWizard();
  int shown = 0;
  host_->OnPageShown = [&](TBaseInstallForm&) { ++shown; };
  Find<TReadmeDlg>("Readme")->SetDialogManager(nullptr);
  const TInstallType before = driver_->CurrentInstallType();
  ::setenv("BRIMWELL_UNATTENDED", "1", 1);
  RunWizard([&](TBaseFormContainer&) { ++shown; });
  driver_->BroadcastComponentCall(kCallReadme, nullptr);
  ::unsetenv("BRIMWELL_UNATTENDED");
  EXPECT_EQ(shown, 0);
  // The current values stay: nothing chose an install type.
  EXPECT_EQ(driver_->CurrentInstallType(), before);
  const std::string log = Log();
  for (const char* line : {"unattended: Next on Welcome", "unattended: Next on Setup type",
                           "unattended: OK on Readme shown alone"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

}  // namespace
}  // namespace brimwell::testing
