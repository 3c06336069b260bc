// Link groups and shortcuts: where they land, the creation and containment
// rules, the coupling of LinkName, ObjectLink and ObjectLocation, the link
// files read back, the errors of the shell link object, Internet shortcuts,
// the Program Manager route and the uninstall record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/api_routines.h"
#include "engine/custom_install_file.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "platform/dde.h"
#include "platform/file_system.h"
#include "platform/profile_strings.h"
#include "platform/shell_links.h"
#include "system/custom_install_shell_link.h"
#include "system/custom_shell_link_group.h"
#include "system/program_manager.h"
#include "system/ps_object_link.h"
#include "system/system_errors.h"
#include "tests/system/system_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kPrograms[] = "C:\\WINDOWS\\Start Menu\\Programs";

// A product with an installed file, a main group \Vendor, a sub-group
// \Tool\Help and a link to the file.
constexpr char kLinkedProduct[] = R"(
    {"class": "TTestFile", "name": "App", "properties": {"Container": "Install1",
      "DestDirType": "psContainerDestDir", "DestDir": "\\bin", "DestName": "tool.exe"}},
    {"class": "TMainLinkGroup", "name": "Main", "properties": {"Container": "Install1", "DestDir": "\\Vendor"}},
    {"class": "TSubLinkGroup", "name": "Help", "properties": {"Container": "Main", "DestDir": "\\Tool\\Help"}},
    {"class": "TInstallSubLink", "name": "Readme", "properties": {"Container": "Help",
      "LinkName": "Readme.LNK", "ObjectLink": "App", "ObjectLocationType": "psObjectLink",
      "Parameters": "/view %i\\readme.txt", "HotKey": 1618}})";

class ShellLinkTest : public SystemTest {
 protected:
  TInstallSubLink* Link(const std::string& name = "Readme") { return Find<TInstallSubLink>(name); }
  FileSystem& files() { return machine_->GetFileSystem(); }
  ShellLinkData ReadLink(const std::string& path) {
    auto link = ShellLinksOf(*machine_).ReadLink(path);
    EXPECT_TRUE(link.ok()) << path;
    return link.ok() ? *link : ShellLinkData{};
  }
  // Processes the driver's helpers as a run would.
  void ProcessAll() { ctx_->Driver()->InstallObjects(); }
  // A seam that fails chosen shell link calls.
  ShellLinksWithFaults& Faults() {
    auto seam = std::make_unique<ShellLinksWithFaults>(NewShellLinks(*machine_));
    ShellLinksWithFaults& faults = *seam;
    machine_->Attach<ShellLinks>(std::move(seam));
    return faults;
  }
  RecordingDde& Recording() {
    auto recording = std::make_unique<RecordingDde>(NewDde(*machine_));
    RecordingDde& dde = *recording;
    machine_->Attach<Dde>(std::move(recording));
    return dde;
  }
};

TEST_F(ShellLinkTest, ALinkLandsInItsGroupsFolderAndReadsBack) {
  LoadWithDriver(kLinkedProduct);
  EXPECT_EQ(Link()->GetLinkFileName(), std::string(kPrograms) + "\\Vendor\\Tool\\Help\\Readme.LNK");
  EXPECT_EQ(Link()->GetObjectPath(), "C:\\Program Files\\Tool\\bin\\tool.exe");
  ProcessAll();

  ShellLinkData link = ReadLink(Link()->GetLinkFileName());
  EXPECT_EQ(link.Target(), "C:\\Program Files\\Tool\\bin\\tool.exe");
  EXPECT_EQ(link.arguments, "/view C:\\Program Files\\Tool\\readme.txt");
  EXPECT_EQ(link.working_directory, "C:\\Program Files\\Tool\\bin");
  EXPECT_EQ(link.hot_key, 1618);
  // The test file records nothing of its own: the link is the first entry.
  EXPECT_EQ(RecordString("Files", "File1"), Link()->GetLinkFileName());
  EXPECT_EQ(RecordString("Files", "Entries"), "1");
  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr("link\tfolder " + std::string(kPrograms) + "\\Vendor\n"));
  EXPECT_THAT(log, HasSubstr("link\tfolder " + std::string(kPrograms) + "\\Vendor\\Tool\\Help\n"));
  EXPECT_THAT(log, HasSubstr("link\tshortcut " + Link()->GetLinkFileName() +
                             " -> C:\\Program Files\\Tool\\bin\\tool.exe /view C:\\Program Files\\Tool\\readme.txt"));
}

TEST_F(ShellLinkTest, CreationAndContainmentRules) {
  EXPECT_EQ(ErrorOf<IEShellLinkGroup>([&] { Make<TSubLinkGroup>("Sub"); }), kNeedMainLinkGroup);
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { Make<TInstallSubLink>("L"); }), kNeedSubLinkGroup);
  auto* main = Make<TMainLinkGroup>("Main");
  EXPECT_EQ(main->DestDir(), "\\MainFolderName");  // no driver yet
  EXPECT_EQ(main->DestDirType()->Name(), "psProgramMenu");
  EXPECT_EQ(ErrorOf<IEShellLinkGroup>([&] { Make<TMainLinkGroup>("Main2"); }), kOnlyOneMainLinkGroup);
  EXPECT_EQ(form_->FindComponent("Main2"), nullptr);  // the refused one is gone
  auto* sub = Make<TSubLinkGroup>("Sub");
  EXPECT_EQ(sub->Container(), main);
  EXPECT_EQ(sub->DestDir(), "\\ASubGroup");
  auto* link = Make<TInstallSubLink>("L");
  EXPECT_EQ(link->Container(), sub);
  EXPECT_EQ(link->Method(), mtAutoDetect);
  EXPECT_NE(dynamic_cast<TpsObjectLink*>(form_->FindComponent("psObjectLink")), nullptr);

  auto* driver = MakeDriver();
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { sub->SetContainer(driver); }), kMainLinkGroupMustContain);
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { link->SetContainer(main); }), kSubLinkGroupMustContain);
  EXPECT_EQ(link->Container(), sub);
  // The folders' specifiers are fixed, and the main group keeps its folder
  // when it moves into the driver.
  link->SetDestDirType(StandardSpecifier<TpsWindow>(ctx_.get()));
  EXPECT_EQ(link->DestDirType()->Name(), "psContainerDestDir");
  main->SetDestDir("\\Vendor");
  main->SetContainer(driver);
  main->SetDestDirType(StandardSpecifier<TpsWindow>(ctx_.get()));
  EXPECT_EQ(main->DestDirType()->Name(), "psProgramMenu");
  EXPECT_EQ(main->GetDestPath(), std::string(kPrograms) + "\\Vendor");

  // A second sub-group; links go into the first. Destroying the first
  // takes its links with it.
  auto* sub2 = Make<TSubLinkGroup>("Sub2");
  delete sub;
  EXPECT_EQ(form_->FindComponent("L"), nullptr);
  EXPECT_EQ(Make<TInstallSubLink>("L2")->Container(), sub2);
  delete main;
  EXPECT_EQ(form_->FindComponent("Sub2"), nullptr);
  EXPECT_EQ(form_->FindComponent("L2"), nullptr);
  EXPECT_NO_THROW(Make<TMainLinkGroup>("Again"));
}

TEST_F(ShellLinkTest, TheMainGroupIsNamedAfterTheProduct) {
  LoadWithDriver(R"({"class": "TMainLinkGroup", "name": "Main", "properties": {"Container": "Install1"}})");
  EXPECT_EQ(Find<TMainLinkGroup>("Main")->DestDir(), "\\Tool");
}

TEST_F(ShellLinkTest, LinkNameObjectLinkAndObjectLocationFollowEachOther) {
  LoadWithDriver(kLinkedProduct);
  TInstallSubLink* link = Link();
  struct Case {
    const char* previous;
    const char* written;
    const char* stored;
  };
  for (const Case& c : {Case{"Readme.LNK", "Tool.exe", "Tool.LNK"}, Case{"Readme.lnk", "Tool", "Tool.lnk"},
                        Case{"", "Tool", "Tool.LNK"}, Case{"Readme.url", "Tool", "Tool.url"},
                        Case{"Readme.LNK", "Tool.lnk", "Tool.lnk"}, Case{"Readme.LNK", "  ", "  "}}) {
    link->SetLinkName(c.previous);
    link->SetLinkName(c.written);
    EXPECT_EQ(link->LinkName(), c.stored) << c.previous << " then " << c.written;
  }

  // ObjectLink sets the specifier, clears the location, names the link.
  link->SetObjectLink(Find<TTestFile>("App"));
  EXPECT_EQ(link->LinkName(), "tool.lnk");
  EXPECT_EQ(link->ObjectLocationType()->Name(), "psObjectLink");
  link->SetObjectLocation("\\x");
  EXPECT_EQ(link->ObjectLocation(), "");  // under psObjectLink
  link->SetObjectLink(Find<TSubLinkGroup>("Help"));
  EXPECT_EQ(link->LinkName(), "Help.lnk");
  link->SetObjectLink(ctx_->Driver());
  EXPECT_EQ(link->LinkName(), "Main.lnk");  // a file container: its GroupName

  // A ".URL" name drops the object link and its specifier.
  link->SetLinkName("Web Site.url");
  EXPECT_EQ(link->ObjectLink(), nullptr);
  EXPECT_EQ(link->ObjectLocationType(), nullptr);
  EXPECT_TRUE(link->IsInternetShortcut());

  // A location names a nameless link.
  for (const auto& [location, name] : std::vector<std::pair<std::string, std::string>>{
           {"hTTp://example.org/page", "example.org/page.URL"},
           {"see ftp://files.example.org", "files.example.org.URL"},
           {"C:\\Tools\\bin\\viewer.exe", "viewer.LNK"}}) {
    link->SetLinkName("");
    link->SetObjectLocation(location);
    EXPECT_EQ(link->LinkName(), name) << location;
    EXPECT_EQ(link->ObjectLocation(), location);
  }
  link->SetLinkName("Kept.LNK");
  link->SetObjectLocation("C:\\other.exe");
  EXPECT_EQ(link->LinkName(), "Kept.LNK");

  // psObjectLink serves only a link with an ObjectLink.
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { link->SetObjectLocationType(EnsureObjectLinkSpecifier(link)); }),
            "Cannot use ddObjectLink for Readme unless you assign a value to ObjectLink");
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { EnsureObjectLinkSpecifier(link)->GetPath(ctx_->Driver()); }),
            "Install1 must be a TCustomInstallShellLink to use the psObjectLink path specifier");
  EXPECT_EQ(EnsureObjectLinkSpecifier(link)->GetDescription(), kObjectLinkDescription);
}

// The link to the folder of a group processed after the link's own group
// still gets made: the folder is created for it.
TEST_F(ShellLinkTest, LinksToGroupsFoldersAndPlainPaths) {
  LoadWithDriver(R"(
    {"class": "TMainLinkGroup", "name": "Main", "properties": {"Container": "Install1", "DestDir": "\\Vendor\\"}},
    {"class": "TSubLinkGroup", "name": "Sub", "properties": {"Container": "Main", "DestDir": "\\Tool"}},
    {"class": "TSubLinkGroup", "name": "Other", "properties": {"Container": "Main", "DestDir": "\\Other"}},
    {"class": "TInstallSubLink", "name": "ToFolder", "properties": {"Container": "Sub",
      "LinkName": "Other.lnk", "ObjectLink": "Other", "ObjectLocationType": "psObjectLink"}},
    {"class": "TInstallSubLink", "name": "ToPath", "properties": {"Container": "Sub", "DestDir": "\\More\\",
      "LinkName": "Notepad.lnk", "ObjectLocationType": "psWindow", "ObjectLocation": "\\notepad.exe",
      "Method": "mtShellLinkInterface"}},
    {"class": "TInstallSubLink", "name": "Web", "properties": {"Container": "Sub",
      "LinkName": "Web Site.url", "ObjectLocationType": "psWindow", "ObjectLocation": "http://example.org/%p"}})");
  ProcessAll();
  const std::string sub = std::string(kPrograms) + "\\Vendor\\Tool";
  EXPECT_EQ(ReadLink(sub + "\\Other.lnk").Target(), std::string(kPrograms) + "\\Vendor\\Other");
  EXPECT_TRUE(files().DirectoryExists(std::string(kPrograms) + "\\Vendor\\Other"));
  ShellLinkData notepad = ReadLink(sub + "\\More\\Notepad.lnk");
  EXPECT_EQ(notepad.Target(), "C:\\WINDOWS\\notepad.exe");
  EXPECT_EQ(notepad.working_directory, "C:\\WINDOWS");
  EXPECT_FALSE(notepad.arguments);
  // The URL goes in raw: no specifier, no expansion.
  EXPECT_EQ(machine_->GetProfileStrings().GetString(sub + "\\Web Site.url", "InternetShortcut", "URL", ""),
            "http://example.org/%p");
  EXPECT_THAT(Log(), HasSubstr("link\tinternet shortcut " + sub + "\\Web Site.url -> http://example.org/%p"));
}

TEST_F(ShellLinkTest, ALinkToAFileNotInstalledMakesNothingButIsRecorded) {
  LoadWithDriver(kLinkedProduct);
  Find<TTestFile>("App")->SetInclude(false);
  ProcessAll();
  EXPECT_FALSE(files().FileExists(Link()->GetLinkFileName()));
  EXPECT_TRUE(files().DirectoryExists(std::string(kPrograms) + "\\Vendor\\Tool\\Help"));
  EXPECT_EQ(RecordString("Files", "File1"), Link()->GetLinkFileName());
  EXPECT_THAT(Log(), HasSubstr("link\tskipped Readme: App was not installed"));
}

TEST_F(ShellLinkTest, BadNamesAndTargetsGiveMessagesAndNoLinkFile) {
  LoadWithDriver(kLinkedProduct);
  const std::string folder = std::string(kPrograms) + "\\Vendor\\Tool\\Help";
  ASSERT_TRUE(files().ForceDirectories(folder));
  TInstallSubLink* link = Link();
  Find<TTestFile>("App")->SetProcessed(true);

  link->SetLinkName(" ");
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { link->InstallObjects(); }),
            "The LinkName is blank for Readme and therefore could not be installed");
  link->SetLinkName("What?.lnk");
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { link->InstallObjects(); }),
            "The TCustomInstallShellLink Readme name could not be installed. The following error was reported "
            "The filename, directory name, or volume label syntax is incorrect.. Error code -2147024773");
  link->SetLinkName("Readme.lnk");
  Find<TTestFile>("App")->SetDestName(std::string(280, 'x') + ".exe");
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { link->InstallObjects(); }),
            "The TCustomInstallShellLink Readme name could not be installed. The following error was reported "
            "Indicates one or more arguments are invalid. Error code -2147024809");
  Find<TTestFile>("App")->SetDestName("tool.exe");
  link->SetLinkName(std::string(250, 'n') + ".lnk");
  EXPECT_THAT(ErrorOf<IEInstallShellLink>([&] { link->InstallObjects(); }),
              HasSubstr("The following error was reported The link's file name is longer than 259 characters: "));
  link->SetLinkName("Bad|.url");
  EXPECT_THAT(ErrorOf<IEInstallShellLink>([&] { link->InstallObjects(); }),
              HasSubstr("The TCustomInstallShellLink Readme name could not be installed. The following error "
                        "was reported "));
  auto listing = files().FindFiles(folder + "\\*.*");
  ASSERT_TRUE(listing.ok());
  EXPECT_TRUE(listing->empty());
}

TEST_F(ShellLinkTest, FailuresOfTheShellLinkObjectAreReportedWithTheirCodes) {
  LoadWithDriver(kLinkedProduct);
  Find<TTestFile>("App")->SetProcessed(true);
  ShellLinksWithFaults& faults = Faults();
  using Call = ShellLinksWithFaults::Call;
  struct Case {
    Call call;
    HResult code;
    std::string text;
  };
  for (const Case& c : {Case{Call::kSetPath, kEInvalidArg, "Indicates one or more arguments are invalid"},
                        Case{Call::kSetHotkey, kEUnexpected, "Indicates an unexpected error occurred"},
                        Case{Call::kSetArguments, kEOutOfMemory, "Out of memory"},
                        Case{Call::kSetWorkingDirectory, kClassENoAggregation,
                             "Indicates this class cannot be created as part of an aggregate"},
                        Case{Call::kSave, kRegdbEClassNotReg,
                             "Indicates that a specified class is not registered in the registration database"},
                        Case{Call::kSave, kEFail, "Unspecified error"}}) {
    faults.Fail(c.call, c.code);
    EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { Link()->InstallObjects(); }),
              "The TCustomInstallShellLink Readme name could not be installed. The following error was reported " +
                  c.text + ". Error code " + std::to_string(c.code));
    faults.Heal(c.call);
  }
  // Creating the object fails with COM's own error, unconverted.
  faults.Fail(Call::kCreate, kRegdbEClassNotReg);
  try {
    Link()->InstallObjects();
    ADD_FAILURE() << "no error";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), kRegdbEClassNotReg);
  }
  faults.Heal(Call::kCreate);
  faults.Fail(Call::kCoInitialize, kEOutOfMemory);
  auto* fresh = Make<TInstallSubLink>("Fresh");
  fresh->SetObjectLink(Find<TTestFile>("App"));
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { fresh->InstallObjects(); }),
            "Could not initialize IShellLink with following error code returned: -2147024882");
  faults.Heal(Call::kCoInitialize);
  EXPECT_NO_THROW(Link()->InstallObjects());
  EXPECT_EQ(ReadLink(Link()->GetLinkFileName()).Target(), "C:\\Program Files\\Tool\\bin\\tool.exe");
}

TEST_F(ShellLinkTest, ALinkToTheUninstallProgramNeedsADriver) {
  Make<TMainLinkGroup>("Main");
  Make<TSubLinkGroup>("Sub");
  auto* link = Make<TInstallSubLink>("Remove");
  auto* uninstall = Make<TUninstallEXE>("Uninstaller");
  uninstall->SetDestName("uninstall.exe");
  link->SetObjectLink(uninstall);
  uninstall->SetProcessed(true);
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { link->InstallObjects(); }),
            "Remove cannot perform operation because there is no TInstall component");
}

TEST_F(ShellLinkTest, MessagesPassTheTranslator) {
  LoadWithDriver(kLinkedProduct);
  ctx_->SetTranslator({[](std::string_view text) { return "<" + std::string(text) + ">"; }, {}, {}});
  Link()->SetLinkName("");
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { Link()->InstallObjects(); }),
            "<The LinkName is blank for Readme and therefore could not be installed>");
  Link()->SetLinkName("Readme.lnk");
  Find<TTestFile>("App")->SetProcessed(true);
  Faults().Fail(ShellLinksWithFaults::Call::kSetPath, kEInvalidArg);
  EXPECT_EQ(ErrorOf<IEInstallShellLink>([&] { Link()->InstallObjects(); }),
            "<The TCustomInstallShellLink Readme name could not be installed. The following error was reported "
            "<Indicates one or more arguments are invalid>. Error code -2147024809>");
}

TEST_F(ShellLinkTest, OnNT351LinksBecomeProgramManagerItems) {
  machine_->SetWindowsFamily(WindowsFamily::kNT351);
  RecordingDde& dde = Recording();
  LoadWithDriver(kLinkedProduct);
  // An item of that name is there from an earlier installation.
  {
    auto c = DdeOf(*machine_).NewConversation();
    ASSERT_TRUE(c->Connect("PROGMAN", "PROGMAN"));
    ASSERT_TRUE(c->Execute("[CreateGroup(Help)][AddItem(old.exe,Readme)][AddItem(other.exe,Other)]"));
  }
  dde.ClearTranscript();
  ProcessAll();
  EXPECT_FALSE(files().FileExists(Link()->GetLinkFileName()));
  const std::string add =
      "[AddItem(\"C:\\Program Files\\Tool\\bin\\tool.exe\" /view C:\\Program Files\\Tool\\readme.txt,Readme,,0,,,"
      "\"C:\\Program Files\\Tool\\bin\",)]";
  EXPECT_THAT(dde.Transcript(),
              ElementsAre("connect PROGMAN PROGMAN", "execute [CreateGroup(\"Help\")]", "request Help",
                          "execute [ShowGroup(Help,8)]", "execute [ReplaceItem(\"Readme\")]", "request Help",
                          "execute [ShowGroup(Help,8)]", "execute " + add, "request Help"));
  TProgramManager& progman = ProgramManagerOf(*ctx_);
  EXPECT_EQ(progman.CurrentGroup(), "Help");
  EXPECT_EQ(progman.ItemCount(), 2);
  EXPECT_EQ(progman.FindItem("Readme"), 1);  // in the old item's place
  EXPECT_EQ(progman.GetItemField(1, 2),
            "\"C:\\Program Files\\Tool\\bin\\tool.exe\" /view C:\\Program Files\\Tool\\readme.txt");
  EXPECT_EQ(RecordString("Files", "File1"), Link()->GetLinkFileName());
  EXPECT_THAT(Log(), HasSubstr("progman\titem Help\\Readme = \"C:\\Program Files\\Tool\\bin\\tool.exe\" /view"));
}

TEST_F(ShellLinkTest, TheMethodChoosesTheRouteWhateverTheWindows) {
  LoadWithDriver(kLinkedProduct);
  Find<TTestFile>("App")->SetProcessed(true);
  RecordingDde& dde = Recording();
  Link()->SetMethod(mtProgramManager);  // on NT 4
  Link()->InstallObjects();
  EXPECT_FALSE(files().FileExists(Link()->GetLinkFileName()));
  EXPECT_EQ(dde.Transcript().size(), 6u);
  for (auto family : {WindowsFamily::kWin32s, WindowsFamily::kNT351}) {
    machine_->SetWindowsFamily(family);
    Link()->SetMethod(mtShellLinkInterface);
    Link()->InstallObjects();
    EXPECT_TRUE(files().FileExists(Link()->GetLinkFileName()));
    ASSERT_TRUE(files().DeleteFile(Link()->GetLinkFileName()));
  }
  machine_->SetWindowsFamily(WindowsFamily::kWindows95);
  Link()->SetMethod(mtAutoDetect);
  Link()->InstallObjects();
  EXPECT_TRUE(files().FileExists(Link()->GetLinkFileName()));
}

// --- The Program Manager client --------------------------------------------

class ProgramManagerClientTest : public ShellLinkTest {
 protected:
  ProgramManagerClientTest() : dde_(Recording()), progman_(*ctx_) {}
  RecordingDde& dde_;
  TProgramManager progman_;
};

TEST_F(ProgramManagerClientTest, ItemListsAreReadAsProgramManagerGivesThem) {
  progman_.CreateGroup("Tools");
  EXPECT_EQ(progman_.ItemCount(), 0);  // only the group's own line
  EXPECT_EQ(progman_.FindItem("Notepad"), -1);
  progman_.AddItem("notepad.exe", "Notepad", "", 0, "C:\\WINDOWS", "");
  EXPECT_EQ(progman_.FindItem("Notepad"), 1);
  EXPECT_EQ(progman_.FindItem("notepad"), -1);  // exact
  EXPECT_EQ(progman_.GetItemField(1, 1), "Notepad");
  EXPECT_EQ(progman_.GetItemField(1, 3), "C:\\WINDOWS");
  EXPECT_EQ(progman_.GetItemField(1, 9), "0");
  EXPECT_EQ(progman_.GetItemField(1, 10), "");
  EXPECT_EQ(progman_.GetItemField(0, 1), "");
  EXPECT_EQ(progman_.GetItemField(2, 1), "");
  std::vector<std::string> groups;
  progman_.GetGroups(groups);
  EXPECT_THAT(groups, ElementsAre("Tools"));

  // A group that does not answer leaves no current group; AddItem then
  // sends nothing and raises nothing.
  progman_.SelectGroup("Missing");
  EXPECT_EQ(progman_.CurrentGroup(), "");
  dde_.ClearTranscript();
  progman_.AddItem("a.exe", "A", "", 0, "", "");
  progman_.ReplaceItem("A");
  EXPECT_TRUE(dde_.Transcript().empty());
  progman_.CreateGroup("");
  EXPECT_TRUE(dde_.Transcript().empty());
}

TEST_F(ProgramManagerClientTest, FailuresRaiseTheirClassesWithTheirMessages) {
  dde_.RefuseConnect(true);
  EXPECT_EQ(ErrorOf<EAIPMCannotOpen>([&] { progman_.CreateGroup("Tools"); }), kPMCannotOpen);
  dde_.RefuseConnect(false);
  dde_.RefuseExecuteContaining("CreateGroup");
  try {
    progman_.CreateGroup("Tools");
    ADD_FAILURE();
  } catch (const EAIPMCannotCreateGroup& e) {
    EXPECT_EQ(e.Message(), "The TProgramManager object was unable to create the following program group: Tools");
    EXPECT_EQ(e.GroupName(), "Tools");
  }
  std::unique_ptr<Dde> direct = NewDde(*machine_);
  auto conversation = direct->NewConversation();
  ASSERT_TRUE(conversation->Connect("PROGMAN", "PROGMAN"));
  ASSERT_TRUE(conversation->Execute("[CreateGroup(Tools)][AddItem(a.exe,100%)]"));
  progman_.SelectGroup("Tools");
  dde_.RefuseExecuteContaining("AddItem");
  try {
    progman_.AddItem("\"C:\\a.exe\" ", "50% off", "", 0, "\"C:\\\"", "");
    ADD_FAILURE();
  } catch (const EAIPMCannotAddItem& e) {
    EXPECT_EQ(e.Message(),
              "The TProgramManager object was unable to add the following program item: 50% off to the following "
              "group: Tools. The arguments passed to  Program Manager were: [AddItem(\"C:\\a.exe\" ,50% off,,0,,,"
              "\"C:\\\",)]");
    EXPECT_EQ(e.ItemName(), "50% off");
  }
  dde_.RefuseExecuteContaining("ReplaceItem");
  EXPECT_EQ(ErrorOf<EAIPMCannotReplaceItem>([&] { progman_.ReplaceItem("100%"); }),
            "The TProgramManager object was unable to replace the following program item: 100% to the following "
            "group: Tools");
  dde_.RefuseExecuteContaining("ShowGroup");
  EXPECT_EQ(ErrorOf<EAIPMCannotOpenGroup>([&] { progman_.ReplaceItem("100%"); }),
            "The TProgramManager object was unable to open the following program group: Tools");
  EXPECT_EQ(progman_.CurrentGroup(), "Tools");  // kept after a failure
}

TEST_F(ProgramManagerClientTest, AMacroTooLongIsNotSentAndFailsAsAFailedExecute) {
  progman_.CreateGroup("Tools");
  dde_.ClearTranscript();
  const std::string long_command = "\"C:\\" + std::string(240, 'x') + ".exe\"";
  EXPECT_THROW(progman_.AddItem(long_command, "Long", "", 0, "", ""), EAIPMCannotAddItem);
  EXPECT_THAT(dde_.Transcript(), ElementsAre("execute [ShowGroup(Tools,8)]"));
  EXPECT_EQ(progman_.FindItem("Long"), -1);
  // One that just fits goes.
  const std::string macro_head = TProgramManager::AddItemMacro("", "A", "", 0, "", "");
  progman_.AddItem(std::string(kMaxMacroLength - macro_head.size(), 'c'), "A", "", 0, "", "");
  EXPECT_EQ(progman_.FindItem("A"), 1);
  EXPECT_THROW(progman_.CreateGroup(std::string(250, 'g')), EAIPMCannotCreateGroup);
}

}  // namespace
}  // namespace brimwell::testing
