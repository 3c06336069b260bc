// The program folder page and the closing pages, offscreen: the folder
// name written into the main link group and reaching the shortcut files,
// the folders listed from the Programs folder or from Program Manager, the
// page alone when the link group makes its links; the reboot page's answer
// reaching the restart, the good page with the project's own words, the bad
// page after a failure with its reason (on screen and, unattended, on
// standard error), and the layout of each.
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "engine/shell_folders.h"
#include "engine/standard_path_specifiers.h"
#include "platform/dde.h"
#include "platform/file_system.h"
#include "platform/restart_wrapper.h"
#include "platform/shell_links.h"
#include "system/custom_install_shell_link.h"
#include "system/custom_shell_link_group.h"
#include "translate/translator.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/closing_pages.h"
#include "wizard/folder_page.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kPrograms[] = "C:\\WINDOWS\\Start Menu\\Programs";

class FolderPageTest : public WizardFixture {
 protected:
  // A driver, the before-install manager with the folder page, a main link
  // group (\Tools\Sub) with a sub-group and a shortcut to a file.
  void LoadFolders(const std::string& main_dir = "\\\\Tools\\\\Sub", const std::string& dialog_manager = "Before",
                   const std::string& more = "") {
    Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"DestDirType": "psProgramFiles",
               "DestDir": "\\Tool", "Information": {"ProductName": "Tool"}}},
             {"class": "TDialogManager", "name": "Before", "properties": {"Container": "Install1"}},
             {"class": "TTestFile", "name": "App", "properties": {"Container": "Install1",
               "DestDirType": "psContainerDestDir", "DestName": "tool.exe"}},
             {"class": "TMainLinkGroup", "name": "Main", "properties": {"Container": "Install1",
               "DestDir": ")" + main_dir + R"("}},
             {"class": "TSubLinkGroup", "name": "Help", "properties": {"Container": "Main", "DestDir": "\\Help"}},
             {"class": "TInstallSubLink", "name": "Link", "properties": {"Container": "Help",
               "LinkName": "Tool.LNK", "ObjectLink": "App", "ObjectLocationType": "psObjectLink"}},
             {"class": "TSelectFolderDlg", "name": "Folder", "properties": {"Container": "Main")" +
         (dialog_manager.empty() ? std::string() : R"(, "DialogManager": ")" + dialog_manager + "\"") + "}}" + more +
         "]");
    main_ = Find<TMainLinkGroup>("Main");
  }
  void MakeProgramFolders(std::initializer_list<const char*> names) {
    for (const char* name : names) machine_->GetFileSystem().ForceDirectories(std::string(kPrograms) + "\\" + name);
  }
  // Runs the before-install wizard with the page in `act`.
  void OnFolderPage(const std::function<void(TSelectFolderForm&)>& act) {
    OnWizards([&](TBaseFormContainer& w) {
      ASSERT_EQ(w.CurrentPage()->FormClass(), "TSelectFolderForm");
      act(dynamic_cast<TSelectFolderForm&>(*w.CurrentPage()));
      Click(w.CurrentPage()->ProceedBtn());
      EXPECT_TRUE(w.Finished());
    });
    ctx_->Driver()->BroadcastComponentCall(kCallBeforeInstallManager, nullptr);
  }

  TMainLinkGroup* main_ = nullptr;
};

TEST_F(FolderPageTest, TheFolderNameIsWrittenAtOnceAndReachesTheShortcuts) {
  LoadFolders();
  MakeProgramFolders({"Zeta", "Accessories"});
  std::vector<std::string> listed;
  OnFolderPage([&](TSelectFolderForm& page) {
    listed = page.FolderListBox->Items();
    // The last level of the group's folder, stored as shown.
    EXPECT_EQ(page.FolderEdit->Edit()->text().toStdString(), "Sub");
    EXPECT_EQ(main_->DestDir(), "\\Sub");
    EXPECT_FALSE(page.BackBtn()->Visible());
    // A click on an existing folder takes its name; typing writes each key.
    page.FolderListBox->List()->setCurrentRow(0);
    EXPECT_EQ(page.FolderEdit->Edit()->text().toStdString(), "Accessories");
    EXPECT_EQ(main_->DestDir(), "\\Accessories");
    page.FolderEdit->Edit()->setText("Acme Tool");
    EXPECT_EQ(main_->DestDir(), "\\Acme Tool");
    EXPECT_NE(dynamic_cast<TpsProgramMenu*>(main_->DestDirType()), nullptr);
  });
  EXPECT_THAT(listed, ElementsAre("Accessories", "Startup", "Zeta"));  // Startup comes with Windows
  auto* link = Find<TInstallSubLink>("Link");
  const std::string lnk = std::string(kPrograms) + "\\Acme Tool\\Help\\Tool.LNK";
  EXPECT_EQ(link->GetLinkFileName(), lnk);
  ctx_->Driver()->InstallObjects();
  EXPECT_TRUE(machine_->GetFileSystem().FileExists(lnk));
  EXPECT_TRUE(ShellLinksOf(*machine_).ReadLink(lnk).ok());
}

TEST_F(FolderPageTest, AnEmptyNameTakesTheFirstFolderAndOldWindowsListProgramManagersGroups) {
  LoadFolders("");
  MakeProgramFolders({"Games", "Accessories"});
  OnFolderPage([&](TSelectFolderForm& page) {
    EXPECT_EQ(page.FolderEdit->Edit()->text().toStdString(), "Accessories");
    EXPECT_EQ(main_->DestDir(), "\\Accessories");
  });
  // Windows NT 3.51: the groups of Program Manager, not the folders.
  machine_->SetWindowsFamily(WindowsFamily::kNT351);
  {
    auto c = DdeOf(*machine_).NewConversation();
    ASSERT_TRUE(c->Connect("PROGMAN", "PROGMAN"));
    ASSERT_TRUE(c->Execute("[CreateGroup(Main)][CreateGroup(Acme Tools)]"));
  }
  OnFolderPage([&](TSelectFolderForm& page) {
    EXPECT_THAT(page.FolderListBox->Items(), ElementsAre("Acme Tools", "Main"));
    EXPECT_EQ(page.FolderEdit->Edit()->text().toStdString(), "Accessories");
  });
  // A Programs folder that cannot be read lists nothing, and the page
  // still takes a typed name.
  machine_->SetWindowsFamily(WindowsFamily::kNT4);
  ASSERT_TRUE(registry().CreateKey(RegistryHive::kCurrentUser, kShellFoldersKey).ok());
  ASSERT_TRUE(registry().WriteString(RegistryHive::kCurrentUser, kShellFoldersKey, "Programs", "Q:\\nowhere").ok());
  OnFolderPage([&](TSelectFolderForm& page) {
    EXPECT_TRUE(page.FolderListBox->Items().empty());
    page.FolderEdit->Edit()->setText("Typed");
  });
  EXPECT_EQ(main_->DestDir(), "\\Typed");
}

TEST_F(FolderPageTest, WithoutAManagerThePageShowsWhenTheGroupMakesItsLinks) {
  LoadFolders("\\\\Tool", "");
  int shown = 0;
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    ++shown;
    EXPECT_FALSE(page.BackBtn()->Visible());
    dynamic_cast<TSelectFolderForm&>(page).FolderEdit->Edit()->setText("Alone");
    Click(page.ProceedBtn());
  };
  ctx_->Driver()->BroadcastComponentCall(kCallBeforeInstallManager, nullptr);  // no page of its there
  EXPECT_EQ(shown, 0);
  ctx_->Driver()->InstallObjects();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(machine_->GetFileSystem().FileExists(std::string(kPrograms) + "\\Alone\\Help\\Tool.LNK"));

  // Its container must be a link group; alone, it needs one.
  auto* dialog = Find<TSelectFolderDlg>("Folder");
  dialog->SetContainer(ctx_->Driver());
  try {
    dialog->DoExecute();
    ADD_FAILURE() << "no error";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "The container for Folder must be a TCustomShellLinkGroup");
  }
  dialog->SetContainer(nullptr);
  EXPECT_THROW(dialog->DoExecute(), IException);
}

TEST_F(FolderPageTest, ThePageAsDesignedInEnglishAndGerman) {
  LoadFolders("\\\\Tools\\\\Sub", "Before", R"(, {"class": "TTranslator", "name": "MainTranslator",
                                                    "properties": {"TranslateIntoLanguage": "blEnglish"}})");
  auto* translator = Find<TTranslator>("MainTranslator");
  for (TBrwlLanguage language : {blEnglish, blGerman}) {
    translator->SetTranslateIntoLanguage(language);
    OnFolderPage([&](TSelectFolderForm& page) {
      const PageRect& content = page.Content()->Bounds();
      EXPECT_EQ(content.width, 334);
      EXPECT_EQ(page.TopDescriptionLabel->Bounds().top, 8);
      EXPECT_EQ(page.TopDescriptionLabel->Bounds().width, 318);
      EXPECT_EQ(page.Label1->Bounds().height, 18);
      EXPECT_EQ(page.Label2->Bounds().height, 7);
      EXPECT_EQ(page.Label3->Bounds().height, 8);
      EXPECT_EQ(page.Label4->Bounds().height, 8);
      EXPECT_EQ(page.ProgramFolders->Bounds().top, 8 + page.TopDescriptionLabel->Bounds().height + 18);
      EXPECT_GE(page.Panel5->Bounds().height, 21);
      // The list takes what is left, down to the content's border.
      const PageRect& list = page.FolderListBox->Bounds();
      EXPECT_EQ(list.top + list.height, content.height - 8);
      EXPECT_GT(list.height, 80);
      if (language == blGerman) {
        EXPECT_NE(page.Caption(), "Select folder in start menu");
        EXPECT_NE(page.ProgramFolders->Caption(), "&Program Folder");
      } else {
        EXPECT_EQ(page.Caption(), "Select folder in start menu");
        EXPECT_EQ(page.ExistingFolders->Caption(), "E&xisting Folders");
      }
    });
  }
}

// --- The closing pages -----------------------------------------------------------------

// Records restarts instead of arranging one.
class RecordingRestart final : public RestartWrapper {
 public:
  using RestartWrapper::RestartWrapper;
  WinStatus RestartWindows() override {
    ++restarts;
    return WinStatus::Ok();
  }
  int restarts = 0;
};

class ClosingPageTest : public WizardFixture {
 protected:
  // A run whose file asks for a restart (or fails with `failure`), with a
  // manager and a page for the reboot, the good and the bad end.
  void StartRun(const std::string& failure = "", const std::string& language = "blEnglish") {
    Restart({"-s" + HostDir("dist").string()});
    Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"DestDirType": "psProgramFiles",
               "DestDir": "\\Tool", "Information": {"ProductName": "Tool"}}},
             {"class": "TTestFile", "name": "File", "properties": {"Container": "Install1"}},
             {"class": "TDialogManager", "name": "RebootManager",
              "properties": {"Container": "Install1", "ManagerType": "dmReboot"}},
             {"class": "TDialogManager", "name": "GoodManager",
              "properties": {"Container": "Install1", "ManagerType": "dmAfterGoodInstall"}},
             {"class": "TDialogManager", "name": "BadManager",
              "properties": {"Container": "Install1", "ManagerType": "dmAfterBadInstall"}},
             {"class": "TRebootDlg", "name": "RebootPage",
              "properties": {"Container": "Install1", "DialogManager": "RebootManager"}},
             {"class": "TGoodInstallationDlg", "name": "GoodPage",
              "properties": {"Container": "Install1", "DialogManager": "GoodManager"}},
             {"class": "TBadInstallationDlg", "name": "BadPage",
              "properties": {"Container": "Install1", "DialogManager": "BadManager"}},
             {"class": "TTranslator", "name": "MainTranslator",
              "properties": {"TranslateIntoLanguage": ")" + language + R"("}}])");
    driver_ = Find<TInstall>("Install1");
    Find<TTestFile>("File")->OnAfterProcess = [this, failure](TInstallContainer*) {
      if (!failure.empty()) throw IEInstall(failure);
      driver_->AddUnfinished("File", 0);  // replaced at the next boot
      driver_->SetReboot(true);
    };
  }
  RecordingRestart& RecordRestarts() {
    auto restart = std::make_unique<RecordingRestart>(machine_->GetRestart());
    RecordingRestart& recorder = *restart;
    machine_->InterposeRestart(std::move(restart));
    return recorder;
  }

  TInstall* driver_ = nullptr;
};

TEST_F(ClosingPageTest, TheRebootAnswerDecidesWhetherWindowsRestarts) {
  RecordingRestart& restarts = RecordRestarts();
  for (int answer : {1, 0}) {
    StartRun();
    std::vector<std::string> pages;
    OnWizards([&](TBaseFormContainer& w) {
      auto& page = dynamic_cast<TClosingForm&>(*w.CurrentPage());
      pages.push_back(page.FormClass());
      if (page.FormClass() != "TRebootForm") return Click(page.FinishBtn());
      auto& reboot = dynamic_cast<TRebootForm&>(page);
      // The only page: Finish, no Previous, no Cancel, the reboot chosen.
      EXPECT_FALSE(reboot.BackBtn()->Visible());
      EXPECT_FALSE(reboot.ProceedBtn()->Visible());
      EXPECT_FALSE(reboot.CancelBtn()->Visible());
      EXPECT_TRUE(reboot.FinishBtn()->Visible());
      EXPECT_EQ(reboot.FinishBtn()->Bounds().left, 368);
      EXPECT_EQ(reboot.Answer(), 0);
      EXPECT_EQ(w.windowTitle().toStdString(), "Reboot windows");
      // Escape does not cancel a run that is over.
      Key(&w, Qt::Key_Escape);
      EXPECT_FALSE(w.Finished());
      if (answer == 1) reboot.No->click();
      EXPECT_EQ(driver_->Reboot(), answer == 0);
      Click(reboot.FinishBtn());
    });
    app_.Form()->Activate();
    ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << Log();
    EXPECT_THAT(pages, ElementsAre("TRebootForm"));
    // Either way the next start continues the installation.
    auto command = registry().ReadString(RegistryHive::kLocalMachine, kRunOnceKey, "BrimwellUnfinished");
    ASSERT_TRUE(command.has_value());
    EXPECT_THAT(*command, HasSubstr(" -r"));
    ASSERT_TRUE(registry().DeleteTree(RegistryHive::kLocalMachine, kRunOnceKey).ok());
    if (answer == 1) {
      EXPECT_EQ(restarts.restarts, 0);
      EXPECT_THAT(Log(), HasSubstr("step\t14 end without reboot"));
    } else {
      EXPECT_EQ(restarts.restarts, 1);  // the boot runs brimwell boot on the prefix
      EXPECT_THAT(Log(), HasSubstr("step\t13 reboot"));
    }
  }
}

TEST_F(ClosingPageTest, AFailedRunShowsTheBadPageWithItsReason) {
  StartRun("the disk caught fire");
  std::string reason;
  std::vector<std::string> pages;
  OnWizards([&](TBaseFormContainer& w) {
    auto& page = dynamic_cast<TClosingForm&>(*w.CurrentPage());
    pages.push_back(page.FormClass());
    if (auto* bad = dynamic_cast<TBadInstallForm*>(&page)) {
      EXPECT_EQ(w.windowTitle().toStdString(), "Setup incomplete");
      EXPECT_TRUE(bad->ErrorLabel->Visible());
      reason = bad->ErrorLabel->Caption();
      EXPECT_EQ(bad->ErrorLabel->Bounds().top, bad->Label1->Bounds().top + bad->Label1->Bounds().height);
    }
    Click(page.FinishBtn());
  });
  app_.Form()->Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  EXPECT_THAT(pages, ElementsAre("TBadInstallForm"));
  EXPECT_EQ(reason, "the disk caught fire");

  // Unattended: no window, the reason on standard error.
  StartRun("the disk caught fire again");
  ::testing::internal::CaptureStderr();
  {
    Unattended unattended;
    app_.Form()->Activate();
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, HasSubstr("Setup incomplete: the disk caught fire again\n"));
  EXPECT_THAT(Log(), HasSubstr("unattended: Next on Setup incomplete"));
}

TEST_F(ClosingPageTest, TheGoodPageWithTheProjectsOwnWordsAloneOffersNextAndFinish) {
  StartRun();
  auto* good = Find<TGoodInstallationDlg>("GoodPage");
  good->SetDialogManager(nullptr);
  good->SetCompletionText({"Tool is ready.", "Find it in the Start menu.", "Thanks.", "One more.", "And the last."});
  int shown = 0;
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    ++shown;
    auto& form = dynamic_cast<TGoodInstallForm&>(page);
    EXPECT_TRUE(form.ProceedBtn()->Visible());
    EXPECT_TRUE(form.FinishBtn()->Visible());
    EXPECT_FALSE(form.BackBtn()->Visible());
    EXPECT_EQ(form.ProceedBtn()->Bounds().left, 288);
    EXPECT_EQ(form.FinishBtn()->Bounds().left, 368);
    EXPECT_EQ(form.TranslateLabel1->Caption(), "Tool is ready.\n");
    EXPECT_EQ(form.Label1->Caption(), "One more.\nAnd the last.");
    EXPECT_EQ(form.TranslateLabel1->GLID(), 0);
    Click(form.FinishBtn());
  };
  driver_->BroadcastComponentCall(kCallGoodInstall, nullptr);
  EXPECT_EQ(shown, 1);
  // The standard sentence otherwise, translated.
  good->SetCompletionText({});
  Find<TTranslator>("MainTranslator")->SetTranslateIntoLanguage(blGerman);
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    auto& form = dynamic_cast<TGoodInstallForm&>(page);
    EXPECT_THAT(form.TranslateLabel1->Caption(), HasSubstr("installiert"));
    EXPECT_FALSE(form.TranslateLabel2->Visible());
    Click(form.ProceedBtn());
  };
  driver_->BroadcastComponentCall(kCallGoodInstall, nullptr);
}

// A closing page of the project's own, after the standard ones.
class ThanksPage : public TClosingForm {
 public:
  ThanksPage(EngineContext* ctx, QWidget* parent, TDialogManager* dm) : TClosingForm(ctx, "TThanksPage", parent) {
    SetCaption("Thanks");
    SetDM(dm);
    SetOrder(20);
  }
};

TEST_F(ClosingPageTest, APageAfterTheGoodPageTakesFinishAndTheRebootPageAloneOffersNext) {
  StartRun();
  auto* good_manager = Find<TDialogManager>("GoodManager");
  host_->RegisterForm(
      "TThanksPage",
      [&](EngineContext* ctx, QWidget* parent) -> std::unique_ptr<TBaseInstallForm> {
        return std::make_unique<ThanksPage>(ctx, parent, good_manager);
      },
      true);
  std::vector<std::string> seen;
  OnWizards([&](TBaseFormContainer& w) {
    auto* page = dynamic_cast<TClosingForm*>(w.CurrentPage());
    seen.push_back(page->Caption() + (page->ProceedBtn()->Visible() ? " Next" : "") +
                   (page->FinishBtn()->Visible() ? " Finish" : "") + (page->BackBtn()->Visible() ? " Back" : ""));
    Click(page->ProceedBtn());
    page = dynamic_cast<TClosingForm*>(w.CurrentPage());
    seen.push_back(page->Caption() + (page->ProceedBtn()->Visible() ? " Next" : "") +
                   (page->FinishBtn()->Visible() ? " Finish" : "") + (page->BackBtn()->Visible() ? " Back" : ""));
    Click(page->FinishBtn());
    EXPECT_TRUE(w.Finished());
  });
  driver_->BroadcastComponentCall(kCallGoodInstallManager, nullptr);
  EXPECT_THAT(seen, ElementsAre("Setup complete Next", "Thanks Finish Back"));

  // The reboot page alone: Next only, the answer written as chosen.
  Find<TRebootDlg>("RebootPage")->SetDialogManager(nullptr);
  driver_->SetReboot(true);
  int shown = 0;
  host_->OnPageShown = [&](TBaseInstallForm& page) {
    ++shown;
    auto& reboot = dynamic_cast<TRebootForm&>(page);
    EXPECT_TRUE(reboot.ProceedBtn()->Visible());
    EXPECT_FALSE(reboot.FinishBtn()->Visible());
    EXPECT_FALSE(reboot.BackBtn()->Visible());
    EXPECT_EQ(reboot.Answer(), 0);
    reboot.No->click();
    Click(reboot.ProceedBtn());
  };
  driver_->BroadcastComponentCall(kCallRebootNeeded, nullptr);
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(driver_->Reboot());
}

}  // namespace
}  // namespace brimwell::testing
