// Path specifiers, the shell folders behind them, meta-variable and %P
// expansion, and the small Windows helper routines.
#include <gtest/gtest.h>

#include "engine/api_routines.h"
#include "engine/engine_errors.h"
#include "engine/meta_variables.h"
#include "engine/shell_folders.h"
#include "platform/file_system.h"
#include "platform/win_path.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

constexpr RegistryHive kHKCU = RegistryHive::kCurrentUser;
constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;

class PathSpecifierTest : public EngineTest {
 protected:
  std::string PathOf(const std::string& specifier, TComponent* component = nullptr) {
    EnsureStandardPathSpecifiers(*form_);  // whether or not a component made them
    return Find<TCustomPathSpecifier>(specifier)->GetPath(component);
  }
};

TEST_F(PathSpecifierTest, TheFourteenStandardSpecifiersArePlacedInOrderAndNeverStored) {
  Make<TInstallFileGroup>("Group");
  std::vector<std::string> names;
  for (int i = 0; i < form_->ComponentCount(); ++i) names.push_back(form_->Components(i)->Name());
  EXPECT_THAT(names, ::testing::ElementsAre("Group", "psBDEDLL", "psCommonFiles", "psContainerArchiveFile",
                                            "psContainerDestDir", "psDesktopMenu", "psInstallSource",
                                            "psMainInstall", "psProgramFiles", "psProgramMenu", "psStartMenu",
                                            "psStartupMenu", "psSystem", "psMainArchiveFile", "psWindow"));
  Make<TInstallFileGroup>("Second");  // no second set
  EXPECT_EQ(form_->ComponentCount(), 16);
  EXPECT_EQ(ctx_->StandardPathSpecifiers().Count(), 14);
  std::string saved = SaveProject(*form_);
  EXPECT_EQ(saved.find("psSystem"), std::string::npos) << saved;
  EXPECT_EQ(Find<TCustomPathSpecifier>("psStartMenu")->GetDescription(), "Path of Start Menu");
}

TEST_F(PathSpecifierTest, ShellFoldersComeFromTheRegistryOrTheirDefaults) {
  EXPECT_EQ(PathOf("psProgramFiles"), "C:\\Program Files");
  EXPECT_EQ(PathOf("psStartMenu"), "C:\\WINDOWS\\Start Menu");
  EXPECT_EQ(PathOf("psSystem"), "C:\\WINDOWS\\SYSTEM32");
  EXPECT_EQ(PathOf("psWindow"), "C:\\WINDOWS");

  const char* folders = kShellFoldersKey;
  for (const char* value : {"Start Menu", "Programs", "Desktop", "Startup"}) {
    ASSERT_TRUE(registry().DeleteValue(kHKCU, folders, value).ok());
  }
  ASSERT_TRUE(registry().DeleteValue(kHKLM, kCurrentVersionKey, "CommonFilesDir").ok());
  EXPECT_EQ(PathOf("psStartMenu"), "C:\\WINDOWS\\Startmen");
  EXPECT_EQ(PathOf("psProgramMenu"), "C:\\WINDOWS\\Startmen\\Programs");
  EXPECT_EQ(PathOf("psDesktopMenu"), "C:\\WINDOWS\\Desktop");
  EXPECT_EQ(PathOf("psStartupMenu"), "C:\\WINDOWS\\Startup");
  EXPECT_EQ(PathOf("psCommonFiles"), "C:\\Program Files\\Common Files");

  ASSERT_TRUE(registry().WriteString(kHKLM, kCurrentVersionKey, "ProgramFilesDir", "D:\\Programs\\").ok());
  EXPECT_EQ(PathOf("psProgramFiles"), "D:\\Programs");
  ASSERT_TRUE(registry().WriteString(kHKCU, folders, "Start Menu", "").ok());
  EXPECT_EQ(PathOf("psStartMenu"), "");  // an existing empty value is an empty path
  EXPECT_EQ(PathOf("psProgramMenu"), "\\Programs");
  ASSERT_TRUE(registry().WriteDword(kHKCU, folders, "Desktop", 7).ok());
  EXPECT_EQ(PathOf("psDesktopMenu"), "C:\\WINDOWS\\Desktop");  // unreadable: the default
  ASSERT_TRUE(registry().DeleteTree(kHKLM, kCurrentVersionKey).ok());
  EXPECT_EQ(PathOf("psProgramFiles"), "C:\\Program Files");  // drive of the current directory
}

TEST_F(PathSpecifierTest, DestinationPathsJoinWithoutASeparator) {
  auto* driver = MakeDriver();
  auto* file = Make<TTestFile>("File");
  file->SetContainer(driver);
  file->SetDestDir("\\Bin");
  EXPECT_EQ(driver->GetDestPath(), "C:\\Program Files\\MyApplication");
  EXPECT_EQ(file->GetDestPath(), "C:\\Program Files\\MyApplication\\Bin");
  driver->SetDestDir("App");
  EXPECT_EQ(driver->GetDestPath(), "C:\\Program FilesApp");
  driver->SetDestDir("\\App\\");
  EXPECT_EQ(driver->GetDestPath(), "C:\\Program Files\\App");  // trailing backslash removed
  driver->SetDestDirType(nullptr);
  EXPECT_EQ(driver->GetDestPath(), "\\App");
  driver->SetDestDir("C:\\");
  file->SetDestDir("\\x");
  EXPECT_EQ(file->GetDestPath(), "C:\\x");
}

TEST_F(PathSpecifierTest, DriverSpecifiersNeedADriverAndAreNotForTheDriverItself) {
  auto* file = Make<TTestFile>("File");
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { PathOf("psMainInstall", file); }),
            "There is no TInstall component so the path specifier could not be expanded for File");
  auto* driver = MakeDriver();
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { driver->SetDestDirType(Find<TCustomPathSpecifier>("psMainInstall")); }),
            "Cannot use the ddMainInstallDir path specifier for a TInstall component");
  file->SetDestDirType(Find<TCustomPathSpecifier>("psMainInstall"));
  file->SetDestDir("\\Help");
  EXPECT_EQ(file->GetDestPath(), "C:\\Program Files\\MyApplication\\Help");
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { PathOf("psContainerArchiveFile", form_.get()); }),
            " must be a TInstallObject to use the psContainerArchiveFile path specifier");
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { PathOf("psContainerArchiveFile", file); }),
            "Cannot use ddContainerArchiveFile for File unless you assign a Container");
  auto* dest = Find<TCustomPathSpecifier>("psContainerDestDir");
  EXPECT_EQ(dest->GetDescriptionFor(file), "Path of the group (container)");
  file->SetContainer(driver);
  EXPECT_EQ(dest->GetDescriptionFor(file), "Path of the <Main> group");
}

TEST_F(PathSpecifierTest, TheMainArchiveFollowsTheSelfExtractSwitch) {
  Start({"-sC:\\My Build"});
  auto* driver = MakeDriver();
  EXPECT_EQ(driver->InstallSourceDir(), "C:\\My Build");
  EXPECT_EQ(driver->GetArchivePath(), "C:\\My Build\\files.1");
  EXPECT_EQ(PathOf("psInstallSource"), "C:\\My Build");

  Start({"-c", "-eSetup.exe", "-sC:\\Dist\\"});
  driver = MakeDriver();
  EXPECT_EQ(driver->GetArchivePath(), "C:\\Dist\\Setup.exe");

  Start({"-e", "-sC:\\Dist"});
  driver = MakeDriver();
  EXPECT_EQ(ErrorOf<IEPathSpecifier>([&] { driver->GetArchivePath(); }),
            "You forgot to pass in the name of the self-extracting executable. Usage example: \"-eSetup.exe\"");
}

TEST_F(PathSpecifierTest, DatabaseEngineDirectoryIsConfiguredInTheProject) {
  Load(R"([{"class": "TpsBDEDLL", "name": "psBDEDLL",
            "properties": {"DatabaseEngineKey": "\\SOFTWARE\\Acme\\DataEngine", "DatabaseEngineDirectory": "Acme\\Data"}},
           {"class": "TInstallFileGroup", "name": "Group"}])");
  EXPECT_EQ(form_->ComponentCount(), 15);  // the listed one was not made twice
  EXPECT_EQ(PathOf("psBDEDLL"), "C:\\Program Files\\Acme\\Data");
  ASSERT_TRUE(registry().WriteString(kHKLM, "\\SOFTWARE\\Acme\\DataEngine", "DLLPath", "C:\\DATA\\;D:\\OTHER").ok());
  EXPECT_EQ(PathOf("psBDEDLL"), "C:\\DATA\\");  // this one keeps its backslash
}

TEST_F(PathSpecifierTest, AProjectSpecifierAsksItsHandler) {
  auto* own = Make<TPathSpecifier>("Own");
  EXPECT_EQ(own->GetDescription(), "My cool new path specifier");
  EXPECT_EQ(own->GetPath(nullptr), "");
  own->OnGetPath = [](TComponent* c, std::string& path) { path = "X:\\" + (c ? c->Name() : std::string("?")); };
  auto* group = Make<TInstallFileGroup>("Group");
  group->SetDestDirType(own);
  group->SetDestDir("\\Sub");
  EXPECT_EQ(group->GetDestPath(), "X:\\Group\\Sub");
}

TEST_F(PathSpecifierTest, MetaVariablesExpandOnceLeftToRight) {
  auto* driver = MakeDriver();
  auto* link = Make<TTestEntry>("Link");
  link->SetContainer(driver);
  link->SetDestDir("\\Links");
  struct Case {
    const char* text;
    std::string expanded;
  } cases[] = {
      {"%w\\x%%y%q", "C:\\WINDOWS\\x%y"},
      {"%A|%c|%I", "C:\\Program Files\\MyApplication\\Links|C:\\Program Files\\MyApplication|"
                   "C:\\Program Files\\MyApplication"},
      {"%s;%p;%f;%m;%b;%d", "C:\\WINDOWS\\SYSTEM32;C:\\Program Files;C:\\Program Files\\Common Files;"
                            "C:\\WINDOWS\\Start Menu;C:\\WINDOWS\\Start Menu\\Programs;C:\\WINDOWS\\Desktop"},
      {"100%", "100"},
      {"%%w", "%w"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandMetaVariables(*ctx_, c.text, link), c.expanded) << c.text;

  EXPECT_EQ(ErrorOf<EAI>([&] { ExpandMetaVariables(*ctx_, "%a", nullptr); }),
            "Cannot expand the %a meta variable because the component is Nil");
  EXPECT_EQ(ErrorOf<EAICannotExpandContainerDirMV>([&] { ExpandMetaVariables(*ctx_, "%c", nullptr); }),
            "Cannot expand the %c meta variable because the component is Nil");
  link->SetContainer(nullptr);
  EXPECT_EQ(ErrorOf<EAICannotExpandContainerDirMV>([&] { ExpandMetaVariables(*ctx_, "x%C", link); }),
            "Cannot expand the %c meta variable because the Container property is Nil");
  delete driver;
  EXPECT_EQ(ErrorOf<EAICannotExpandInstallDirMV>([&] { ExpandMetaVariables(*ctx_, "%i", link); }),
            "Cannot expand the %i meta variable because there is no TInstall component");
}

TEST(PathVariableTest, PercentPIsThePathAndOtherPairsYieldTheirCharacter) {
  EXPECT_EQ(ExpandPathVariable("%p;%x%", "C:\\A"), "C:\\A;x");
  EXPECT_EQ(ExpandPathVariable("%P\\bin %% 50%", "D:"), "D:\\bin % 50");
  EXPECT_EQ(ExpandPathVariable("none", "D:"), "none");
}

TEST_F(PathSpecifierTest, WindowsKindFollowsTheMachine) {
  struct Case {
    WindowsFamily family;
    int kind;
  } cases[] = {{WindowsFamily::kWin32s, 0}, {WindowsFamily::kWindows95, 1}, {WindowsFamily::kNT4, 2},
               {WindowsFamily::kNT351, 3}};
  for (const Case& c : cases) {
    machine_->SetWindowsFamily(c.family);
    EXPECT_EQ(WindowsKind(*ctx_), c.kind);
  }
}

TEST_F(PathSpecifierTest, TemporaryNamesAreFreeUnlessKept) {
  FileSystem& fs = machine_->GetFileSystem();
  std::string free_name = MakeTempFileName(*ctx_, false);
  std::string kept = MakeTempFileName(*ctx_, true);
  EXPECT_NE(free_name, kept);
  EXPECT_FALSE(fs.FileExists(free_name));
  EXPECT_TRUE(fs.FileExists(kept));
  EXPECT_EQ(ExtractFileName(kept).substr(0, 3), "bat");
  EXPECT_EQ(ShortPathName(*ctx_, kept), kept);
  EXPECT_EQ(ShortPathName(*ctx_, "C:\\missing\\x"), "C:\\missing\\x");
}

}  // namespace
}  // namespace brimwell::testing
