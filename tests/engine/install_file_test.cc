// Installable files on a temporary prefix: the settings rule, a run that
// installs from a real files.1 (bytes, dates, uninstall log, run log), the
// overwrite rules, files in use replaced at the next boot on each Windows
// kind, shared-DLL counts, help files, self-registration and the failures
// that must end the run with the file and the archive named.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <random>

#include "archive/brwl_compress.h"
#include "engine/api_routines.h"
#include "engine/custom_install_file.h"
#include "engine/uninstall_record.h"
#include "framework/sha256.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/profile_strings.h"
#include "platform/startup_sequence.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;
constexpr char kRecord[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool";

class InstallFileTest : public EngineTest {
 protected:
  InstallFileTest() {
    src_ = HostDir("src");
    dist_ = HostDir("dist");
  }

  // A source file of the product.
  fs::path Source(const std::string& name, const std::string& text) {
    WriteHostFile(src_ / name, text);
    return src_ / name;
  }
  // files.1 in dist/ holding the sources under the given FileIDs.
  void BuildArchive(const std::vector<std::pair<std::string, int>>& members) {
    TBrwlCompress archive(nullptr);
    archive.SetServices(ctx_->MainArchive().Services());
    archive.SetCompressedFile((dist_ / "files.1").string());
    bool append = false;
    for (const auto& [name, id] : members) {
      archive.SetFilesToProcessLines({(src_ / name).string()});
      archive.Compress(append, id);
      append = true;
    }
  }
  // A project: the driver (Program Files\Tool), a group "Docs" (\Docs below
  // it) and the files given as JSON components.
  void LoadProduct(const std::string& files, const std::string& driver_properties = "") {
    Load(R"([{"class": "TInstall", "name": "Install1",
              "properties": {"DestDir": "\\Tool", "Information": {"ProductName": "Tool"})" +
         driver_properties + R"(}},
             {"class": "TInstallFileGroup", "name": "Docs",
              "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "DestDir": "\\Docs"}})" +
         files + "]");
    driver_ = Find<TInstall>("Install1");
  }
  std::string FileJson(const std::string& name, const std::string& file_name, const std::string& container,
                       const std::string& more = "") {
    return R"(, {"class": "TInstallFile", "name": ")" + name + R"(", "properties": {"Container": ")" + container +
           R"(", "DestDirType": "psContainerDestDir", "IncludeFromDir": ")" + src_.string() +
           R"(", "FileName": ")" + file_name + R"(", "DestName": ")" + file_name + "\"" + more + "}}";
  }
  void Run(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"-s" + dist_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    Start(args);
  }
  void Activate() { app_.Form()->Activate(); }

  std::string ProgramFiles() { return machine_->GetFileSystem().WindowsDirectory().substr(0, 2) + "\\Program Files"; }
  fs::path Host(const std::string& windows_path) { return machine_->GetPaths().ToHost(windows_path); }
  std::optional<std::string> Uninstall(const std::string& sub, const std::string& name) {
    return registry().ReadString(kHKLM, std::string(kRecord) + (sub.empty() ? "" : "\\" + sub), name);
  }
  // The latest error box (the application lives across engine starts).
  std::string FirstError() {
    const auto& boxes = app_.MessageBoxes();
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it) {
      if (it->icon == MessageBoxIcon::kError) return it->text;
    }
    return {};
  }

  fs::path src_;
  fs::path dist_;
  TInstall* driver_ = nullptr;
};

// --- The settings rule ------------------------------------------------------------

TEST_F(InstallFileTest, TheSettingsRuleFollowsTheFileName) {
  auto* driver = MakeDriver();
  auto* help = Make<TInstallFile>("Help");
  help->SetContainer(driver);
  help->SetFileName("help.hlp");
  EXPECT_EQ(help->DestName(), "help.hlp");
  EXPECT_TRUE(help->RegisterAsHelp());
  EXPECT_FALSE(help->ActiveX());
  help->SetFileName("help.cnt");
  EXPECT_TRUE(help->RegisterAsHelp());
  help->SetFileName("readme.txt");
  EXPECT_FALSE(help->RegisterAsHelp());
  // DestName written by itself stays.
  help->SetDestName("liesmich.txt");
  EXPECT_EQ(help->DestName(), "liesmich.txt");
  EXPECT_EQ(help->FileName(), "readme.txt");

  auto* control = Make<TInstallFile>("Control");
  control->SetContainer(driver);
  control->SetFileName("ctl.ocx");
  EXPECT_TRUE(control->ActiveX());
  EXPECT_EQ(control->FileType(), iftSystemWideDLL);
  EXPECT_EQ(control->DestDirType(), form_->FindComponent("psSystem"));
  EXPECT_EQ(control->OverwriteMode(), owVersionDate);
  EXPECT_TRUE(control->UpdateDLLCounter());
  EXPECT_EQ(control->InstalledPath(), SystemDirectory(*ctx_) + "\\ctl.ocx");
}

TEST_F(InstallFileTest, FileTypesPlaceLibrariesAndDestinationTypesTypeThem) {
  auto* driver = MakeDriver();
  auto* shared = Make<TInstallFile>("Shared");
  shared->SetContainer(driver);
  shared->SetFileName("vendor.dll");
  shared->SetFileType(iftVendorSharedDLL);
  EXPECT_EQ(shared->DestDirType(), form_->FindComponent("psCommonFiles"));
  EXPECT_EQ(shared->DestDir(), "\\System");
  EXPECT_EQ(shared->GetDestPath(), ProgramFiles() + "\\Common Files\\System");
  EXPECT_TRUE(shared->UpdateDLLCounter());
  EXPECT_EQ(shared->OverwriteMode(), owVersionDate);

  auto* own = Make<TInstallFile>("Own");
  own->SetContainer(driver);
  own->SetFileName("own.dll");
  own->SetFileType(iftApplicationSpecificDLL);
  EXPECT_EQ(own->GetDestPath(), ProgramFiles() + "\\MyApplication\\System");
  EXPECT_FALSE(own->UpdateDLLCounter());

  // A program placed in the Windows directory is replaced only by a newer one.
  auto* tool = Make<TInstallFile>("Tool");
  tool->SetContainer(driver);
  tool->SetFileName("tool.exe");
  tool->SetDestDirType(Find<TCustomPathSpecifier>("psWindow"));
  EXPECT_EQ(tool->OverwriteMode(), owVersionDate);
  EXPECT_EQ(tool->FileType(), iftNormal);
  tool->SetDestDirType(Find<TCustomPathSpecifier>("psSystem"));
  EXPECT_EQ(tool->FileType(), iftSystemWideDLL);
  EXPECT_TRUE(tool->UpdateDLLCounter());
}

TEST_F(InstallFileTest, OneSourcePathOncePerContainer) {
  auto* driver = MakeDriver();
  auto* group = Make<TInstallFileGroup>("Group");
  group->SetContainer(driver);
  auto* a = Make<TInstallFile>("A");
  a->SetContainer(group);
  a->SetIncludeFromDir("C:\\Src");
  a->SetFileName("app.exe");
  auto* b = Make<TInstallFile>("B");
  b->SetContainer(group);  // no name yet: no source to collide
  b->SetIncludeFromDir("c:\\src\\");
  try {
    b->SetFileName("APP.EXE");
    FAIL() << "a second file of the same source was accepted";
  } catch (const IECustomInstallFile& e) {
    EXPECT_EQ(e.Message(), "There is already a file with the name :c:\\src\\APP.EXE");
  }
  EXPECT_EQ(b->FileName(), "");
  // The same source in another container is another file.
  b->SetContainer(driver);
  b->SetFileName("app.exe");
  EXPECT_EQ(b->FileName(), "app.exe");
  EXPECT_THROW(b->SetContainer(group), IECustomInstallFile);
  EXPECT_EQ(b->Container(), driver);
  // Files live in file containers only.
  auto* grab = Make<TGrabCall>("Grab");
  EXPECT_THROW(b->SetContainer(grab), IECustomInstallFile);
}

TEST_F(InstallFileTest, UniqueIdsAreHandedOutFreedAndRebuiltFromTheProject) {
  auto* a = Make<TInstallFile>("A");
  auto* b = Make<TInstallFile>("B");
  EXPECT_EQ(a->UniqueID(), 0);
  EXPECT_EQ(b->UniqueID(), 1);
  delete a;
  EXPECT_EQ(Make<TInstallFile>("C")->UniqueID(), 0);

  Start({});
  Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"RunAutomatic": false}},
           {"class": "TInstallFile", "name": "X", "properties": {"Container": "Install1", "UniqueID": 7}},
           {"class": "TInstallFile", "name": "Y", "properties": {"Container": "Install1", "UniqueID": 0}}])");
  EXPECT_EQ(Find<TInstallFile>("X")->UniqueID(), 7);
  EXPECT_TRUE(ctx_->UniqueIds().Used(7));
  EXPECT_TRUE(ctx_->UniqueIds().Used(0));
  EXPECT_FALSE(ctx_->UniqueIds().Used(1));  // given at construction, then replaced by the stored number
  EXPECT_EQ(Make<TInstallFile>("Z")->UniqueID(), 1);
}

// --- A run --------------------------------------------------------------------------

TEST_F(InstallFileTest, ARunInstallsFromTheArchiveWithDatesAndWritesTheUninstallLog) {
  Source("app.exe", "#!/bin/sh\necho app\n");
  Source("readme.txt", std::string(70000, 'r'));  // more than one block of progress
  Source("empty.txt", "");
  BuildArchive({{"app.exe", 0}, {"readme.txt", 1}, {"empty.txt", 2}});
  Run();
  LoadProduct(FileJson("App", "app.exe", "Install1", R"(, "UniqueID": 0)") +
              FileJson("Readme", "readme.txt", "Docs", R"(, "UniqueID": 1)") +
              FileJson("Empty", "empty.txt", "Docs", R"(, "UniqueID": 2)"));
  std::vector<int> percents;
  driver_->OnStatus = [&](TCustomInstallFile*, int, int total) { percents.push_back(total); };
  const std::string dir = ProgramFiles() + "\\Tool";
  // A file changed after it was written, before its record is written.
  Find<TInstallFile>("Empty")->OnAfterInstall = [&](TCustomInstallFile*) {
    WriteHostFile(Host(dir + "\\Docs\\empty.txt"), "filled");
  };
  Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << FirstError();

  EXPECT_EQ(ReadHostFile(Host(dir + "\\app.exe")), "#!/bin/sh\necho app\n");
  EXPECT_EQ(ReadHostFile(Host(dir + "\\Docs\\readme.txt")), std::string(70000, 'r'));
  EXPECT_TRUE(fs::exists(Host(dir + "\\Docs\\empty.txt")));
  auto source_date = machine_->GetFileSystem().LastWriteTime(machine_->GetPaths().ToWindows(src_ / "readme.txt"));
  auto installed_date = machine_->GetFileSystem().LastWriteTime(dir + "\\Docs\\readme.txt");
  ASSERT_TRUE(source_date.ok() && installed_date.ok());
  EXPECT_NEAR(*installed_date, *source_date, 2.0 / 86400);  // DOS dates have 2-second steps
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);

  EXPECT_EQ(Uninstall("Files", "Entries"), "3");
  // Groups first (1000 before 2000): the group's files, then the driver's.
  EXPECT_EQ(Uninstall("Files", "File1"), dir + "\\Docs\\readme.txt");
  EXPECT_EQ(Uninstall("Files", "File3"), dir + "\\app.exe");
  EXPECT_THAT(Log(), HasSubstr("\tfile\tApp: installed " + dir + "\\app.exe (19 bytes) from "));
  // Each file's size and digest as it lies there after the run.
  EXPECT_EQ(Uninstall("FileDigests", dir + "\\app.exe"),
            "19;" + Sha256Hex("#!/bin/sh\necho app\n"));
  EXPECT_EQ(Uninstall("FileDigests", dir + "\\Docs\\readme.txt"),
            "70000;" + Sha256Hex(std::string(70000, 'r')));
  EXPECT_EQ(Uninstall("FileDigests", dir + "\\Docs\\empty.txt"), "6;" + Sha256Hex("filled"));
}

TEST_F(InstallFileTest, OverwriteRulesSkipWhatTheyMustAndStillCountAndRegister) {
  Source("old.txt", "new text");
  Source("lib.dll", "new library");
  Source("guide.hlp", "new help");
  BuildArchive({{"old.txt", 0}, {"lib.dll", 1}, {"guide.hlp", 2}});
  const std::string dir = ProgramFiles() + "\\Tool";
  for (const char* name : {"old.txt", "lib.dll", "guide.hlp"}) WriteHostFile(Host(dir + "\\" + name), "kept");
  // The installed copies are newer than the archive's.
  Run();
  LoadProduct(FileJson("Old", "old.txt", "Install1", R"(, "UniqueID": 0, "OverwriteMode": "owDate")") +
              FileJson("Lib", "lib.dll", "Install1",
                       R"(, "UniqueID": 1, "OverwriteMode": "owNever", "UpdateDLLCounter": true)") +
              FileJson("Guide", "guide.hlp", "Install1",
                       R"(, "UniqueID": 2, "OverwriteMode": "owNever", "RegisterAsHelp": true)"));
  ASSERT_TRUE(registry().WriteDword(kHKLM, kSharedDllsKey, dir + "\\lib.dll", 4).ok());
  Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << FirstError();
  for (const char* name : {"old.txt", "lib.dll", "guide.hlp"}) {
    EXPECT_EQ(ReadHostFile(Host(dir + "\\" + name)), "kept") << name;
  }
  EXPECT_EQ(registry().ReadDword(kHKLM, kSharedDllsKey, dir + "\\lib.dll"), 5u);
  EXPECT_EQ(registry().ReadString(kHKLM, kHelpKey, "GUIDE.HLP"), dir);
  EXPECT_THAT(Log(), HasSubstr("Old: skipped " + dir + "\\old.txt: owDate answers "));
  // Skipped files are listed too: the uninstall program removes what the
  // product owns, whoever wrote it; their digests are those of the kept files.
  EXPECT_EQ(Uninstall("Files", "Entries"), "3");
  EXPECT_EQ(Uninstall("FileDigests", dir + "\\old.txt"), "4;" + Sha256Hex("kept"));
}

TEST_F(InstallFileTest, AnOnBeforeInstallAbortLeavesTheFileAloneAndCountsItDone) {
  Source("a.txt", "a");
  BuildArchive({{"a.txt", 0}});
  Run();
  LoadProduct(FileJson("A", "a.txt", "Install1", R"(, "UniqueID": 0)"));
  Find<TInstallFile>("A")->OnBeforeInstall = [](TCustomInstallFile*) { throw EAbort(); };
  std::vector<int> percents;
  driver_->OnStatus = [&](TCustomInstallFile*, int, int total) { percents.push_back(total); };
  Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitOk);
  EXPECT_FALSE(fs::exists(Host(ProgramFiles() + "\\Tool\\a.txt")));
  EXPECT_THAT(percents, ElementsAre(100));
}

// --- Files in use ----------------------------------------------------------------------

// Keeps a file in use (a handle without delete sharing) while it lives.
class InUse {
 public:
  InUse(FileSystem& fs, const std::string& path) {
    auto file = fs.Open(path, FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting);
    EXPECT_TRUE(file.ok());
    if (file.ok()) file_ = std::move(*file);
  }

 private:
  std::unique_ptr<File> file_;
};

TEST_F(InstallFileTest, TwoFilesInUseAreWrittenBesideAndReplacedAtTheNextBoot) {
  Source("app.dll", "new app");
  Source("ctl.dat", "new data");
  BuildArchive({{"app.dll", 0}, {"ctl.dat", 1}});
  const std::string dir = ProgramFiles() + "\\Tool";
  WriteHostFile(Host(dir + "\\app.dll"), "old app");
  WriteHostFile(Host(dir + "\\app.1"), "someone else's");
  WriteHostFile(Host(dir + "\\ctl.dat"), "old data");
  Run({"-c"});
  LoadProduct(FileJson("App", "app.dll", "Install1", R"(, "UniqueID": 0)") +
              FileJson("Ctl", "ctl.dat", "Install1", R"(, "UniqueID": 1)"));
  {
    InUse app(machine_->GetFileSystem(), dir + "\\app.dll");
    InUse ctl(machine_->GetFileSystem(), dir + "\\ctl.dat");
    Activate();
  }
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << FirstError();
  EXPECT_EQ(ReadHostFile(Host(dir + "\\app.2")), "new app");
  EXPECT_EQ(ReadHostFile(Host(dir + "\\ctl.1")), "new data");
  EXPECT_EQ(ReadHostFile(Host(dir + "\\app.dll")), "old app");
  // No good-install pages: the run ends and waits for the boot.
  EXPECT_TRUE(app_.Terminated());
  EXPECT_THAT(Log(), Not(HasSubstr("step\t15 good installation")));
  const std::string unfinished = ctx_->InstallRecordKey() + "\\Unfinished";
  auto values = registry().Values(kHKLM, unfinished);
  ASSERT_TRUE(values.ok());
  ASSERT_EQ(values->size(), 2u);
  EXPECT_EQ((*values)[0].name, "App");
  EXPECT_EQ((*values)[1].name, "Ctl");
  EXPECT_TRUE(registry().ValueExists(kHKLM, kRunOnceKey, "BrimwellUnfinished"));
  EXPECT_FALSE(registry().ValueExists(kHKLM, kRunOnceKey, "BrimwellUnfinished1"));
  // The record names the real target, not the file written beside it.
  EXPECT_EQ(Uninstall("Files", "File1"), dir + "\\app.dll");

  // The boot moves the new files into place.
  ASSERT_TRUE(registry().DeleteTree(kHKLM, kRunOnceKey).ok());  // the test engine is no program
  StartupReport report = RunStartupSequence(*machine_);
  EXPECT_EQ(report.failures, 0) << ::testing::PrintToString(report.lines);
  EXPECT_EQ(ReadHostFile(Host(dir + "\\app.dll")), "new app");
  EXPECT_EQ(ReadHostFile(Host(dir + "\\ctl.dat")), "new data");
  EXPECT_EQ(ReadHostFile(Host(dir + "\\app.1")), "someone else's");
}

TEST_F(InstallFileTest, OnWindows95AFileInUseIsRenamedThroughWininit) {
  machine_->SetWindowsFamily(WindowsFamily::kWindows95);
  Source("app.dll", "new app");
  BuildArchive({{"app.dll", 0}});
  const std::string dir = ProgramFiles() + "\\Tool";
  WriteHostFile(Host(dir + "\\app.dll"), "old app");
  Run();
  LoadProduct(FileJson("App", "app.dll", "Install1", R"(, "UniqueID": 0)"));
  {
    InUse app(machine_->GetFileSystem(), dir + "\\app.dll");
    driver_->OnBeforeReboot = [](TCustomInstall*, bool& go) { go = false; };
    Activate();
  }
  const std::string wininit = WindowsDirectory(*ctx_) + "\\WININIT.INI";
  EXPECT_EQ(machine_->GetProfileStrings().GetString(wininit, "Rename", dir + "\\app.dll", ""), dir + "\\app.1");
  EXPECT_TRUE(driver_->Reboot() == false);  // refused by the handler, but it was asked for
  EXPECT_TRUE(registry().ValueExists(kHKLM, kRunOnceKey, "BrimwellUnfinished"));
}

TEST_F(InstallFileTest, WithoutDelayedMovesABatchMovesTheFileAtTheNextStart) {
  machine_->SetWindowsFamily(WindowsFamily::kWin32s);
  Source("app.dll", "new app");
  BuildArchive({{"app.dll", 0}});
  const std::string dir = ProgramFiles() + "\\Tool";
  WriteHostFile(Host(dir + "\\app.dll"), "old app");
  ASSERT_TRUE(registry().WriteString(kHKLM, kRunOnceKey, "BrimwellBatFile", "another setup's").ok());
  Run();
  LoadProduct(FileJson("App", "app.dll", "Install1", R"(, "UniqueID": 0)"));
  {
    InUse app(machine_->GetFileSystem(), dir + "\\app.dll");
    Activate();
  }
  auto batch = registry().ReadString(kHKLM, kRunOnceKey, "BrimwellBatFile1");
  ASSERT_TRUE(batch);
  EXPECT_EQ(ReadHostFile(Host(*batch)),
            "erase " + dir + "\\app.dll\r\nmove " + dir + "\\app.1 " + dir + "\\app.dll\r\n");
  // The batch is deleted after the reboot (kind 1), the file finished (kind 0).
  auto unfinished = registry().ReadString(kHKLM, ctx_->InstallRecordKey() + "\\Unfinished", *batch);
  EXPECT_EQ(unfinished, "1");
}

// --- Registration and counting -------------------------------------------------------

TEST_F(InstallFileTest, SharedDllCountsStartAtOneAndPreferTheShortName) {
  Source("one.dll", "1");
  BuildArchive({{"one.dll", 0}});
  Run();
  LoadProduct(FileJson("One", "one.dll", "Install1", R"(, "UniqueID": 0, "UpdateDLLCounter": true)"));
  Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << FirstError();
  const std::string path = ProgramFiles() + "\\Tool\\one.dll";
  EXPECT_EQ(registry().ReadDword(kHKLM, kSharedDllsKey, path), 1u);
  // A count of another type is not silently replaced.
  ASSERT_TRUE(registry().WriteString(kHKLM, kSharedDllsKey, path, "many").ok());
  EXPECT_THROW(Find<TInstallFile>("One")->UpdateSharedDllCount(), IECustomInstallFile);
}

TEST_F(InstallFileTest, LibrariesRegisterThroughDllRegisterServerAndProgramsFailWithTheirCode) {
  fs::copy_file(BRIMWELL_PLATFORM_TEST_LIBRARY, src_ / "ctl.ocx");
  Source("server.exe", "MZ not a program of this machine");
  Source("pe.dll", std::string("MZ") + std::string(200, '\0'));
  BuildArchive({{"ctl.ocx", 0}, {"server.exe", 1}, {"pe.dll", 2}});
  Run();
  LoadProduct(FileJson("Ctl", "ctl.ocx", "Install1", R"(, "UniqueID": 0, "ActiveX": true)") +
              FileJson("Server", "server.exe", "Install1", R"(, "UniqueID": 1, "ActiveX": true)") +
              FileJson("Pe", "pe.dll", "Install1", R"(, "UniqueID": 2, "ActiveX": true)"));
  Activate();
  // The program and the PE library fail now and again at the end of the run.
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  EXPECT_THAT(Log(), HasSubstr("Ctl: registered: DllRegisterServer of "));
  EXPECT_THAT(Log(), HasSubstr("Server: registration deferred: Could not register the ActiveX component, "));
  const std::string dir = ProgramFiles() + "\\Tool";
  EXPECT_EQ(FirstError(), "Could not register the ActiveX component, " + dir +
                              "\\server.exe, because the WinExec(" + dir +
                              "\\server.exe /REGSERVER,SW_HIDE) function returned a value < 32. The file component is "
                              "Server. The following value is the value of the GetLastError function: 11");
  EXPECT_EQ(Uninstall("ActiveX", "File1"), dir + "\\ctl.ocx;0");
  EXPECT_EQ(Uninstall("ActiveX", "File2"), dir + "\\server.exe;1");
}

TEST_F(InstallFileTest, APeLibraryFailsWithItsLoadLibraryMessage) {
  Source("pe.dll", std::string("MZ") + std::string(200, '\0'));
  BuildArchive({{"pe.dll", 0}});
  Run();
  LoadProduct(FileJson("Pe", "pe.dll", "Install1", R"(, "UniqueID": 0, "ActiveX": true)"));
  Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  const std::string path = ProgramFiles() + "\\Tool\\pe.dll";
  EXPECT_EQ(FirstError(), "Could not register the ActiveX component, " + path + ", because the LoadLibrary(" + path +
                              ") procedure returned a value of 0. The file component is Pe. The following value is "
                              "the value of the GetLastError function: 193");
}

// --- Copying, compressing, disks ------------------------------------------------------

TEST_F(InstallFileTest, CopyWritesTheSourceUncompressedWithItsEventsAndLeavesNoState) {
  Source("tool.cfg", std::string(70000, 'c'));
  Run();
  LoadProduct(FileJson("Cfg", "tool.cfg", "Docs"));
  auto* file = Find<TInstallFile>("Cfg");
  std::vector<std::string> seen;
  file->OnBeforeCopy = [&](TCustomInstallFile* f) { seen.push_back("before " + std::to_string(f->State())); };
  file->OnAfterCopy = [&](TCustomInstallFile* f) { seen.push_back("after " + std::to_string(f->State())); };
  int statuses = 0;
  file->OnStatus = [&](TCustomInstallFile*, int, int) { ++statuses; };
  file->SetState(ifsCopying);
  EXPECT_EQ(ReadHostFile(Host(ProgramFiles() + "\\Tool\\Docs\\tool.cfg")), std::string(70000, 'c'));
  EXPECT_EQ(file->State(), ifsNone);
  // The state says copying only while the copy runs.
  EXPECT_THAT(seen, ElementsAre("before 0", "after 3"));
  EXPECT_GT(statuses, 0);
  const std::string log = Log();
  for (const char* event : {"event\t1006 sender=Cfg container=Docs", "event\t1010 sender=Cfg container=Docs",
                            "event\t1007 sender=Cfg container=Docs"}) {
    EXPECT_THAT(log, HasSubstr(event));
  }

  // A file that is not included is left alone, silently.
  fs::remove(Host(ProgramFiles() + "\\Tool\\Docs\\tool.cfg"));
  file->SetInclude(false);
  EXPECT_THROW(file->SetState(ifsCopying), EAbort);
  EXPECT_FALSE(fs::exists(Host(ProgramFiles() + "\\Tool\\Docs\\tool.cfg")));
  EXPECT_EQ(file->State(), ifsNone);
}

TEST_F(InstallFileTest, CompressAddsTheSourceUnderItsUniqueIdAndTheArchiveGivesItsSize) {
  Source("a.txt", "first");
  Source("b.txt", std::string(5000, 'b'));
  Run();
  LoadProduct(FileJson("A", "a.txt", "Install1", R"(, "UniqueID": 7)") +
              FileJson("B", "b.txt", "Install1", R"(, "UniqueID": 9, "AddToArchive": "lzcOnlyAdd")"));
  std::vector<std::string> seen;
  for (const char* name : {"A", "B"}) {
    auto* file = Find<TInstallFile>(name);
    file->OnBeforeCompress = [&](TCustomInstallFile* f) { seen.push_back(f->Name() + " before"); };
    file->OnAfterCompress = [&](TCustomInstallFile* f) { seen.push_back(f->Name() + " after"); };
    file->SetState(ifsCompress);
    EXPECT_EQ(file->State(), ifsNone);
  }
  EXPECT_THAT(seen, ElementsAre("A before", "A after", "B before", "B after"));
  EXPECT_THAT(Log(), HasSubstr("event\t1004 sender=A container=Install1"));
  EXPECT_THAT(Log(), HasSubstr("event\t1005 sender=B container=Install1"));

  // The archive holds both, found by number and by source path; reading
  // the archive's information gives the installing file its size.
  TBrwlCompress archive(nullptr);
  archive.SetServices(ctx_->MainArchive().Services());
  archive.SetCompressedFile((dist_ / "files.1").string());
  const int a = archive.IndexOfFileID(7);
  const int b = archive.IndexOfFileID(9);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(archive.GetFileHeaders(b).FileSize, 5000);
  EXPECT_EQ(archive.IndexOfFileName(machine_->GetPaths().ToWindows(src_ / "b.txt")), b);
  auto* installing = Find<TInstallFile>("B");
  installing->SetFileSize(0);
  installing->ReadInfoFromArchive();
  EXPECT_EQ(installing->FileSize(), 5000);
}

// Bytes that deflate cannot shrink, so that an archive spans disks.
std::string Noise(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

class DiskSetTest : public InstallFileTest {
 protected:
  // files.1 and files.2 on two disks of drive A:, the second file's data on
  // the second disk; disk 1 in the drive.
  void MakeDiskSet() {
    Source("one.bin", Noise(30000, 1));
    Source("two.bin", Noise(30000, 2));
    BuildArchive({{"one.bin", 0}, {"two.bin", 1}});
    PrefixConfig c = machine_->Config();
    c.removable['A'] = 40000;
    machine_->UpdateConfig(c);
    ASSERT_TRUE(machine_->GetFileSystem().InsertDisk('A', 1).ok());
    TBrwlCompress splitter(nullptr);
    splitter.SetServices(ctx_->MainArchive().Services());
    splitter.SetCompressedFile((dist_ / "files.1").string());
    splitter.OnNewDisk = [&](TBrwlCompress&, int disk, std::string&) {
      ASSERT_TRUE(machine_->GetFileSystem().InsertDisk('A', disk).ok());
    };
    splitter.SplitToDisks("A:\\", "files.1");
    ASSERT_TRUE(machine_->GetFileSystem().InsertDisk('A', 1).ok());
    Start({"-sA:\\"});
    LoadProduct(FileJson("One", "one.bin", "Install1", R"(, "UniqueID": 0)") +
                FileJson("Two", "two.bin", "Install1", R"(, "UniqueID": 1)"));
  }
};

TEST_F(DiskSetTest, TheFileAsksForTheNextDiskThroughItsHandler) {
  MakeDiskSet();
  std::vector<std::string> requests;
  Find<TInstallFile>("Two")->OnNewDisk = [&](TCustomInstallFile* f, int disk, std::string& path) {
    requests.push_back(f->Name() + " " + std::to_string(disk) + " " + path);
    ASSERT_TRUE(machine_->GetFileSystem().InsertDisk('A', disk).ok());
    path += "\\";  // given back without its trailing backslash
  };
  Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << FirstError();
  EXPECT_THAT(requests, ElementsAre("Two 2 A:"));
  EXPECT_EQ(ReadHostFile(Host(ProgramFiles() + "\\Tool\\one.bin")), Noise(30000, 1));
  EXPECT_EQ(ReadHostFile(Host(ProgramFiles() + "\\Tool\\two.bin")), Noise(30000, 2));
  EXPECT_THAT(Log(), HasSubstr("event\t1011 sender=Two container=Install1"));
  EXPECT_TRUE(app_.MessageBoxes().empty());
}

TEST_F(DiskSetTest, WithoutAHandlerTheUserIsAskedAndCancelStopsTheRun) {
  MakeDiskSet();
  app_.QueueAnswer(ModalResult::kCancel);
  Activate();
  EXPECT_NE(ctx_->ExitStatus(), kExitOk);
  ASSERT_FALSE(app_.MessageBoxes().empty());
  EXPECT_EQ(app_.MessageBoxes().front().text, "Please insert disk #2");
  EXPECT_EQ(app_.MessageBoxes().front().buttons, MessageBoxButtons::kOKCancel);
  EXPECT_TRUE(fs::exists(Host(ProgramFiles() + "\\Tool\\one.bin")));
  EXPECT_FALSE(fs::exists(Host(ProgramFiles() + "\\Tool\\two.bin")));
  EXPECT_THAT(Log(), Not(HasSubstr("step\t15 good installation")));
}

// --- Failures ----------------------------------------------------------------------------

TEST_F(InstallFileTest, AFileThatCannotBeReadFromTheArchiveEndsTheRunNamingFileAndArchive) {
  Source("a.txt", "a");
  Source("b.txt", "b");
  BuildArchive({{"a.txt", 0}});
  Run({"-c"});
  LoadProduct(FileJson("B", "b.txt", "Install1", R"(, "UniqueID": 5)"));
  Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  const std::string archive = machine_->GetPaths().ToWindows(dist_ / "files.1");
  const std::string source = machine_->GetPaths().ToWindows(src_ / "b.txt");
  EXPECT_EQ(FirstError(), "Cannot install the file " + source + " from the archive " + archive + ": The file <" +
                              source + "> was not found in the archive <" + archive + ">");
  EXPECT_THAT(Log(), Not(HasSubstr("good installation")));

  // No archive at all: the archive information cannot be read.
  fs::remove(dist_ / "files.1");
  Run();
  LoadProduct(FileJson("B", "b.txt", "Install1", R"(, "UniqueID": 5)"));
  Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  EXPECT_THAT(FirstError(), HasSubstr("Cannot install the file " + source + " from the archive " + archive +
                                      ": Cannot open the compressed file " + archive));
}

TEST_F(InstallFileTest, TheUninstallProgramWritesTheRecordsNames) {
  Source("uninstall.exe", "#!/bin/sh\n");
  BuildArchive({{"uninstall.exe", 0}});
  Run();
  Load(R"([{"class": "TInstall", "name": "Install1",
            "properties": {"DestDir": "\\Tool", "Information": {"ProductName": "Tool"}}},
           {"class": "TUninstallEXE", "name": "Uninstaller",
            "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "Net": false,
                           "IncludeFromDir": ")" +
       src_.string() + R"(", "FileName": "uninstall.exe", "DestName": "uninstall.exe", "UniqueID": 0}}])");
  Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << FirstError();
  EXPECT_EQ(Uninstall("", "DisplayName"), "Tool");
  EXPECT_EQ(Uninstall("", "UninstallString"), ProgramFiles() + "\\Tool\\uninstall.exe Tool");
  EXPECT_FALSE(Uninstall("Files", "Entries"));
}

}  // namespace
}  // namespace brimwell::testing
