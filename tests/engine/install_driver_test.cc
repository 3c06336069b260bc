// The install driver: the command line, the install record, the run with
// every component call in order, its endings, and the run's exception
// handler.
#include <gtest/gtest.h>

#include "engine/command_line.h"
#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "platform/file_system.h"
#include "platform/restart_wrapper.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;

// --- Command line ---------------------------------------------------------------

TEST(CommandLineTest, SwitchesTakeTheRestOfTheArgument) {
  CommandLine line = ParseCommandLine(nullptr, {"-C", "-sfirst", "-Ssecond", "-eSetup.exe", "-d"});
  EXPECT_TRUE(line.Has(EngineSwitch::kCleanup));
  EXPECT_TRUE(line.Has(EngineSwitch::kDebug));
  EXPECT_FALSE(line.Has(EngineSwitch::kBuild));
  EXPECT_EQ(line.Argument(EngineSwitch::kSource), "second");  // a later one replaces an earlier one
  EXPECT_EQ(line.Argument(EngineSwitch::kSelfExtract), "Setup.exe");
  EXPECT_EQ(ParseCommandLine(nullptr, {"-bignored"}).Argument(EngineSwitch::kBuild), "ignored");
}

TEST(CommandLineTest, BadArgumentsAreNamedInTheMessage) {
  for (const char* bad : {"-x", "s", "-", "", "/b", "--"}) {
    try {
      ParseCommandLine(nullptr, {"-c", bad});
      FAIL() << bad;
    } catch (const IEInstall& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("Invalid parameter <") + bad +
                    ">. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to floppies), "
                    "-e (Called by self-extractor), -r (After reboot)");
    }
  }
}

class DriverTest : public EngineTest {
 protected:
  std::vector<std::string> Records() {
    auto keys = registry().SubKeys(kHKLM, kInstallRecordRoot);
    return keys.ok() ? *keys : std::vector<std::string>{};
  }
};

TEST_F(DriverTest, DebugRunsNeedABuildDirectory) {
  const std::string project = R"([{"class": "TInstall", "name": "Install1"}])";
  const std::string message =
      "You forgot to pass in the build directory. In Run | Parameters, follow this format: -d \"-sC:\\My Build\"";
  Start({"-d"});
  EXPECT_EQ(ErrorOfLoad(project), message);
  Start({"-d", "-S"});
  EXPECT_EQ(ErrorOfLoad(project), message);
  Start({"-S"});  // without -d an empty directory is accepted
  EXPECT_EQ(ErrorOfLoad(project), "(no error)");
  EXPECT_EQ(Find<TInstall>("Install1")->InstallSourceDir(), "");
  Start({"-q"});
  EXPECT_THAT(ErrorOfLoad(project), HasSubstr("Invalid parameter <-q>"));
}

TEST_F(DriverTest, MessagesPassTheTranslatorBeforeTheyAreFormatted) {
  Start({"-q"});
  EXPECT_EQ(ErrorOfLoad(R"([{"class": "TTranslator", "name": "Words",
                             "properties": {"TranslateIntoLanguage": "blGerman",
                                            "lgGerman": {"Strings": ["1025;Falscher Parameter <%s>"]}}},
                            {"class": "TInstall", "name": "Install1"}])"),
            "Falscher Parameter <-q>");
}

TEST_F(DriverTest, InstallSourceDirDefaultsToTheEnginesDirectoryAndReadsHostPaths) {
  MakeDriver();
  auto* driver = Find<TInstall>("Install1");
  EXPECT_EQ(driver->InstallSourceDir(), machine_->GetPaths().ToWindows(engine_exe_.parent_path()));
  Start({"-s" + HostDir("dist").string() + "/"});
  driver = MakeDriver();
  EXPECT_EQ(driver->InstallSourceDir(), machine_->GetPaths().ToWindows(HostDir("dist")));
}

TEST_F(DriverTest, OnlyOneDriverOnAForm) {
  MakeDriver();
  try {
    Make<TInstall>("Install2");
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_STREQ(e.what(),
                 "The TInstall component does not currently support the use of 2 TInstall components in the "
                 "same project");
  }
  TComponent loose(nullptr);
  EXPECT_THROW(Create<TInstall>(&loose), IEInstall);
}

TEST_F(DriverTest, PropertiesAndTheirWriteRules) {
  auto* driver = MakeDriver();
  EXPECT_EQ(driver->DestDir(), "\\MyApplication");
  EXPECT_EQ(driver->GroupName(), "Main");
  EXPECT_FALSE(driver->AllowChoice());
  EXPECT_EQ(driver->Information().ProductName(), "My product");
  EXPECT_EQ(driver->BuildInfo().BuildDirectory(), "c:\\build");
  driver->SetHideMainForm(true);
  EXPECT_FALSE(driver->AutoMaximizeWindow());
  driver->SetAutoMaximizeWindow(true);
  EXPECT_FALSE(driver->HideMainForm());
  driver->SetPresetupFiles({"a.dll", "  ", "", "b.dll"});
  EXPECT_THAT(driver->PresetupFiles(), ElementsAre("a.dll", "b.dll"));
  driver->AddPresetupFile("C:\\Other\\A.DLL");  // the name is listed already
  driver->AddPresetupFile("c.dll");
  EXPECT_THAT(driver->PresetupFiles(), ElementsAre("a.dll", "b.dll", "c.dll"));
  try {
    driver->SetDistributeType(TDistributeType::dtWeb);
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_STREQ(e.what(), "DistributeType can only be set at design-time");
  }
  driver->SetArchiveFileType(nullptr);
  driver->SetUseLoadingProgram(true);
  EXPECT_EQ(driver->ArchiveFileType(), form_->FindComponent("psMainArchiveFile"));
}

TEST_F(DriverTest, UnstatedReferencesKeepTheirDefaultsAndNullEmpties) {
  Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"InstallTypes": ["itFull", "itCompact"]}},
           {"class": "TInstallFileGroup", "name": "Group", "properties": {"Container": "Install1"}}])");
  auto* driver = Find<TInstall>("Install1");
  EXPECT_EQ(driver->DestDirType(), form_->FindComponent("psProgramFiles"));  // the constructor's default
  EXPECT_EQ(driver->GetDestPath(), "C:\\Program Files\\MyApplication");
  EXPECT_EQ(driver->ArchiveFileType(), form_->FindComponent("psMainArchiveFile"));
  EXPECT_EQ(Find<TInstallFileGroup>("Group")->DestDirType(), nullptr);  // loading sets no defaults
  EXPECT_EQ(driver->CurrentInstallType(), TInstallType::itCompact);
  EXPECT_EQ(Find<TInstallFileGroup>("Group")->CurrentInstallType(), TInstallType::itCompact);
  EXPECT_EQ(form_->FindComponent("psProgramFiles")->Name(), "psProgramFiles");
  Start({});
  // A default the project empties with null stays empty.
  Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"DestDirType": null}}])");
  EXPECT_EQ(Find<TInstall>("Install1")->DestDirType(), nullptr);
  EXPECT_EQ(Find<TInstall>("Install1")->GetDestPath(), "\\MyApplication");
}

// --- Install record -------------------------------------------------------------

TEST_F(DriverTest, RecordsAreFoundByTheEnginesDateAndSize) {
  auto* driver = MakeDriver();
  const std::string key0 = driver->FindInstallRecord(true);
  EXPECT_EQ(key0, "\\SOFTWARE\\Brimwell\\Install\\Install0");
  const std::string exe = ctx_->ExecutablePath();
  EXPECT_EQ(registry().ReadString(kHKLM, key0, "Path"), exe);
  EXPECT_EQ(registry().ReadDword(kHKLM, key0, "Size"), 17u);
  EXPECT_EQ(registry().ReadBinary(kHKLM, key0, "CreationDate")->size(), 8u);
  EXPECT_FALSE(registry().ValueExists(kHKLM, key0, "SelfExtract"));

  // The same engine copied elsewhere (same date and size): the record is reused.
  auto copy = tmp_.path() / "other" / "setupengine";
  std::filesystem::create_directories(copy.parent_path());
  std::filesystem::copy_file(engine_exe_, copy);
  std::filesystem::last_write_time(copy, std::filesystem::last_write_time(engine_exe_));
  ASSERT_TRUE(registry().WriteString(kHKLM, key0, "LastRunDate", "x").ok());
  Start({"-eSetup.exe"}, copy);
  driver = MakeDriver();
  EXPECT_EQ(ctx_->InstallRecordKey(), key0);  // found at Loaded already
  EXPECT_EQ(driver->FindInstallRecord(true), key0);
  EXPECT_EQ(registry().ReadString(kHKLM, key0, "Path"), ctx_->ExecutablePath());
  EXPECT_EQ(registry().ReadBinary(kHKLM, key0, "LastRunDate")->size(), 8u);

  // Another setup program gets the next number.
  auto other = tmp_.path() / "third" / "setupengine";
  WriteHostFile(other, "a different engine");
  Start({"-eSetup.exe", "-sC:\\Dist"}, other);
  driver = MakeDriver();
  EXPECT_EQ(ctx_->InstallRecordKey(), "");
  EXPECT_EQ(driver->FindInstallRecord(false), "");
  const std::string key1 = driver->FindInstallRecord(true);
  EXPECT_EQ(key1, "\\SOFTWARE\\Brimwell\\Install\\Install1");
  EXPECT_EQ(registry().ReadString(kHKLM, key1, "SelfExtract"), "C:\\Dist\\Setup.exe");
  EXPECT_THAT(Records(), ElementsAre("Install0", "Install1"));
}

TEST_F(DriverTest, DamagedRecordsAreSkipped) {
  const std::string damaged = std::string(kInstallRecordRoot) + "\\Install0";
  ASSERT_TRUE(registry().WriteString(kHKLM, damaged, "Path", "x").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, damaged, "CreationDate", "not a date").ok());
  ASSERT_TRUE(registry().WriteDword(kHKLM, damaged, "Size", 17).ok());
  auto* driver = MakeDriver();
  EXPECT_EQ(driver->FindInstallRecord(true), std::string(kInstallRecordRoot) + "\\Install1");
}

TEST_F(DriverTest, RemovingTheRecordDeletesDownloadedCopiesAndEmptyParents) {
  auto* driver = MakeDriver();
  ctx_->SetInstallRecordKey(driver->FindInstallRecord(true));
  const std::string key = ctx_->InstallRecordKey();
  auto copy = HostDir("downloads") / "Group.1";
  WriteHostFile(copy, "archive");
  ASSERT_TRUE(registry().WriteString(kHKLM, key + "\\Group", "LocalFile", copy.string()).ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, key + "\\Gone", "LocalFile", "C:\\nothing\\here.1").ok());
  driver->AddUnfinished("File1", 0);
  driver->RemoveInstallRecord();
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_FALSE(registry().KeyExists(kHKLM, kInstallRecordRoot));
  EXPECT_FALSE(registry().KeyExists(kHKLM, kBrimwellKey));
  EXPECT_EQ(ctx_->InstallRecordKey(), "");

  // Another product's record keeps the shared keys.
  ASSERT_TRUE(registry().CreateKey(kHKLM, std::string(kInstallRecordRoot) + "\\Install7").ok());
  ctx_->SetInstallRecordKey(driver->FindInstallRecord(true));
  driver->RemoveInstallRecord();
  EXPECT_THAT(Records(), ElementsAre("Install7"));
}

// --- The run --------------------------------------------------------------------

class RunTest : public DriverTest {
 protected:
  // A driver with a group holding a file, and call receivers on the driver
  // and in the group.
  void LoadTree(const std::string& driver_properties = "") {
    Load(R"([{"class": "TInstall", "name": "Install1",
              "properties": {"DestDirType": "psProgramFiles")" + driver_properties + R"(}},
             {"class": "TGrabCall", "name": "Grab", "properties": {"Container": "Install1"}},
             {"class": "TInstallFileGroup", "name": "Group",
              "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir"}},
             {"class": "TTestFile", "name": "File",
              "properties": {"Container": "Group", "DestDirType": "psContainerDestDir", "Size": 100}},
             {"class": "TGrabCall", "name": "GroupGrab", "properties": {"Container": "Group"}}])");
    driver_ = Find<TInstall>("Install1");
    rec_.Attach(Find<TGrabCall>("Grab"));
    group_rec_.Attach(Find<TGrabCall>("GroupGrab"));
  }
  void Activate() { app_.Form()->Activate(); }

  TInstall* driver_ = nullptr;
  CallRecorder rec_;
  CallRecorder group_rec_;
};

TEST_F(RunTest, AGoodRunSendsEveryCallInOrderAndLeavesNoRecord) {
  Start({"-c", "-s" + HostDir("dist").string()});
  LoadTree();
  std::vector<std::string> events;
  driver_->OnBeforeReadArchiveInfo = [&](TCustomInstall*) { events.push_back("before read"); };
  driver_->OnAfterReadArchiveInfo = [&](TCustomInstall*) { events.push_back("after read"); };
  driver_->OnAfterInitialized = [&](TCustomInstall*) {
    events.push_back("initialized");
    // The record exists while the run goes on.
    EXPECT_THAT(Records(), ElementsAre("Install0"));
  };
  driver_->OnBeforeInstallObjects = [&](TInstallContainer*) { events.push_back("before install"); };
  driver_->OnAfterInstallObjects = [&](TInstallContainer*, bool aborted) {
    events.push_back(aborted ? "after install (aborted)" : "after install");
  };
  driver_->OnBeforeNotifyGoodInstall = [&](TCustomInstall*) { events.push_back("before good"); };
  driver_->OnAfterNotifyGoodInstall = [&](TCustomInstall*) { events.push_back("after good"); };
  driver_->OnBeforeCleanup = [&](TCustomInstall*, bool& go) {
    events.push_back("cleanup");
    go = false;  // keep the test's engine file
  };
  driver_->OnBeforeShutdown = [&](TCustomInstall*, bool&) { events.push_back("shutdown"); };
  auto* file = Find<TTestFile>("File");

  Activate();

  EXPECT_THAT(rec_.calls,
              ElementsAreArray({kCallBeforeReadArchiveInfo, kCallShowStatus, kCallHideStatus,
                                kCallAfterReadArchiveInfo, kCallRunStart1, kCallRunStart2, kCallRunStart3,
                                kCallWelcome, kCallLicense, kCallReadme, kCallBeforeInstallManager,
                                kCallBeforeProcess, kCallInstallTypeDialog, kCallBeforeInstallObjects,
                                kCallPassDone, kCallAfterProcess, kCallGoodInstall, kCallGoodInstallManager}));
  EXPECT_THAT(group_rec_.calls, ElementsAre(kCallBeforeProcess, kCallInstallTypeDialog, kCallBeforeInstallObjects,
                                            kCallPassDone, kCallAfterProcess));
  EXPECT_THAT(events, ElementsAre("before read", "after read", "initialized", "before install", "after install",
                                  "before good", "after good", "cleanup", "shutdown"));
  EXPECT_TRUE(file->Processed());
  EXPECT_EQ(file->read_info_calls, 1);  // the archive information is read once per run
  EXPECT_TRUE(app_.Terminated());
  EXPECT_FALSE(driver_->Running());
  EXPECT_EQ(ctx_->ExitStatus(), kExitOk);
  EXPECT_TRUE(Records().empty());
  EXPECT_FALSE(registry().KeyExists(kHKLM, kBrimwellKey));
  EXPECT_TRUE(app_.Form()->Maximized());

  std::string log = Log();
  for (const char* line : {"step\t1 start", "step\t3 install record \\SOFTWARE\\Brimwell\\Install\\Install0",
                           "step\t9 process the component tree", "step\t15 good installation",
                           "call\t-990 sender=Install1 receivers=1", "call\t-990 sender=Group receivers=1",
                           "call\t-974 sender=Install1 receivers=1 po=TMessageParameter",
                           "event\t1012 sender=Group container=Install1"}) {
    EXPECT_THAT(log, HasSubstr(line));
  }
}

TEST_F(RunTest, TheRunStartsOnceOnTheFirstActivationAfterTheKeptHandler) {
  Start({"-s" + HostDir("dist").string()});
  int kept_calls = 0;
  app_.Form()->OnActivate = [&] { ++kept_calls; };
  LoadTree(R"(, "UseLoadingProgram": false)");
  Activate();
  EXPECT_EQ(kept_calls, 1);
  EXPECT_FALSE(rec_.calls.empty());
  rec_.calls.clear();
  Activate();  // the kept handler is back; no second run
  EXPECT_EQ(kept_calls, 2);
  EXPECT_TRUE(rec_.calls.empty());
}

TEST_F(RunTest, WithoutRunAutomaticTheFormIsMaximizedButNothingInstalled) {
  Start({});
  LoadTree(R"(, "RunAutomatic": false, "HideMainForm": true, "AutoMaximizeWindow": true)");
  // Written while loading, both stay as stated.
  EXPECT_TRUE(driver_->HideMainForm());
  EXPECT_EQ(app_.Form()->Bounds().left, -2 * 640);
  EXPECT_EQ(app_.Form()->Bounds().top, -2 * 480);
  Activate();
  EXPECT_TRUE(app_.Form()->Maximized());
  EXPECT_TRUE(rec_.calls.empty());
  EXPECT_FALSE(app_.Terminated());
}

TEST_F(RunTest, TheLoadingProgramMustPassTheSourceDirectory) {
  Start({"-c"});
  LoadTree();
  Activate();
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_THAT(app_.MessageBoxes()[0].text, HasSubstr("The path of the loading program was not passed correctly."));
  EXPECT_THAT(rec_.calls, ElementsAre(kCallBadInstall, kCallBadInstallManager));
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  EXPECT_TRUE(app_.Terminated());
}

TEST_F(RunTest, AUserAbortCleansUpAndRemovesTheRecord) {
  Start({"-c", "-s" + HostDir("dist").string()});
  LoadTree();
  bool cleanup_asked = false;
  driver_->OnBeforeCleanup = [&](TCustomInstall*, bool& go) {
    cleanup_asked = true;
    go = false;
  };
  Find<TGrabCall>("Grab")->OnCall = [&](TInstallContainer*, int call, TPersistent*) {
    rec_.calls.push_back(call);
    if (call == kCallLicense) throw EAIUserAbort(kInstallationAbortedByUser);
  };
  Activate();
  EXPECT_THAT(rec_.calls, ::testing::Contains(kCallBadInstall));
  EXPECT_EQ(rec_.calls.back(), kCallBadInstallManager);
  EXPECT_TRUE(cleanup_asked);
  EXPECT_TRUE(Records().empty());
  EXPECT_TRUE(app_.MessageBoxes().empty());  // a cancel is not an error to show
  EXPECT_TRUE(app_.Terminated());
  EXPECT_EQ(ctx_->ExitStatus(), kExitUserAbort);
  EXPECT_FALSE(Find<TTestFile>("File")->Processed());
}

TEST_F(RunTest, AnotherErrorIsShownAndKeepsTheRecord) {
  Start({"-c", "-s" + HostDir("dist").string()});
  LoadTree(R"(, "RunAutomatic": false)");
  bool cleanup_asked = false;
  driver_->OnBeforeCleanup = [&](TCustomInstall*, bool&) { cleanup_asked = true; };
  Find<TTestFile>("File")->OnBeforeProcess = [](TInstallContainer*) { throw IException("The disk is on fire"); };
  try {
    driver_->Process();  // a project that starts the run itself
    FAIL() << "the error was lost";
  } catch (const std::exception& e) {
    // The exception reaches the application's handler, as from the message loop.
    EXPECT_FALSE(app_.Terminated());
    EXPECT_TRUE(driver_->Running());
    app_.HandleException(e);
  }
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_EQ(app_.MessageBoxes()[0].text, "The disk is on fire");
  EXPECT_EQ(app_.MessageBoxes()[0].icon, MessageBoxIcon::kError);
  EXPECT_THAT(Records(), ElementsAre("Install0"));
  EXPECT_FALSE(cleanup_asked);
  EXPECT_TRUE(app_.Terminated());  // whatever RunAutomatic says
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  EXPECT_FALSE(driver_->Running());
  EXPECT_THAT(Log(), HasSubstr("error\tIException: The disk is on fire (during the run)"));
}

TEST_F(RunTest, ErrorsOutsideARunAreOnlyShown) {
  Start({});
  LoadTree(R"(, "RunAutomatic": false)");
  app_.HandleException(Exception("not now"));
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_FALSE(app_.Terminated());
  EXPECT_EQ(ctx_->ExitStatus(), kExitOk);
}

TEST_F(RunTest, ARefusedRebootEndsWithoutGoodPagesAndResumesThroughRunOnce) {
  Start({"-c", "-s" + HostDir("dist").string()});
  LoadTree();
  Find<TTestFile>("File")->OnAfterProcess = [&](TInstallContainer*) {
    driver_->AddUnfinished("File", 0);
    driver_->SetReboot(true);
  };
  bool asked = false;
  driver_->OnBeforeReboot = [&](TCustomInstall*, bool& go) {
    asked = go;
    go = false;
  };
  Activate();
  EXPECT_TRUE(asked);
  EXPECT_THAT(rec_.calls, ::testing::Contains(kCallRebootNeeded));
  EXPECT_THAT(rec_.calls, ::testing::Not(::testing::Contains(kCallGoodInstall)));
  EXPECT_TRUE(app_.Terminated());
  EXPECT_EQ(ctx_->ExitStatus(), kExitOk);
  const std::string key = std::string(kInstallRecordRoot) + "\\Install0";
  EXPECT_EQ(registry().ReadString(kHKLM, key + "\\Unfinished", "File"), "0");
  auto command = registry().ReadString(kHKLM, kRunOnceKey, "BrimwellUnfinished");
  ASSERT_TRUE(command);
  EXPECT_EQ(*command, "\"" + ctx_->ExecutablePath() + "\" -r \"-s" + driver_->InstallSourceDir() + "\" -c");

  // The next start with -r finishes the component and ends normally.
  Start({"-r", "-s" + HostDir("dist").string()});
  Load(R"([{"class": "TInstall", "name": "Install1"},
           {"class": "TTestEntry", "name": "File", "properties": {"Container": "Install1"}}])");
  EXPECT_EQ(Find<TTestEntry>("File")->finished, 1);
  EXPECT_TRUE(Records().empty());
  EXPECT_THAT(Log(), HasSubstr("unfinished\tFile;0"));
}

// Records restarts instead of arranging one.
class RecordingRestart final : public RestartWrapper {
 public:
  using RestartWrapper::RestartWrapper;
  WinStatus EnableShutdownPrivilege() override {
    ++privileges;
    return target().EnableShutdownPrivilege();
  }
  WinStatus RestartWindows() override {
    ++restarts;
    return WinStatus::Ok();
  }
  int privileges = 0;
  int restarts = 0;
};

TEST_F(RunTest, AFileInUseRestartsWindowsWhereItCan) {
  auto restart = std::make_unique<RecordingRestart>(machine_->GetRestart());
  RecordingRestart* recorder = restart.get();
  machine_->InterposeRestart(std::move(restart));
  for (WindowsFamily family : {WindowsFamily::kNT4, WindowsFamily::kWindows95, WindowsFamily::kNT351}) {
    machine_->SetWindowsFamily(family);
    Start({"-s" + HostDir("dist").string()});
    LoadTree();
    Find<TTestFile>("File")->OnAfterProcess = [&](TInstallContainer*) {
      driver_->AddUnfinished("File", 0);  // replaced at the next boot
      driver_->SetReboot(true);
    };
    Activate();
    EXPECT_THAT(rec_.calls, ::testing::Not(::testing::Contains(kCallGoodInstall)));
    EXPECT_THAT(Records(), ElementsAre("Install0"));
  }
  EXPECT_EQ(recorder->privileges, 1);  // NT asks for the shutdown privilege first
  EXPECT_EQ(recorder->restarts, 2);    // NT 3.51 is never restarted by the engine
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_EQ(app_.MessageBoxes()[0].text, "Could not reboot windows. Please manually reboot windows.");
  // Each run registered itself once; the three runs shared one record.
  EXPECT_TRUE(registry().ValueExists(kHKLM, kRunOnceKey, "BrimwellUnfinished2"));
  EXPECT_FALSE(registry().ValueExists(kHKLM, kRunOnceKey, "BrimwellUnfinished3"));
}

TEST_F(RunTest, AnInvalidUnfinishedEntryStopsTheResumedRun) {
  auto* driver = MakeDriver();
  ctx_->SetInstallRecordKey(driver->FindInstallRecord(true));
  ASSERT_TRUE(registry().WriteString(kHKLM, ctx_->InstallRecordKey() + "\\Unfinished", "Thing", "x").ok());
  Start({"-r", "-s" + HostDir("dist").string()});
  Load(R"([{"class": "TInstall", "name": "Install1"}])");
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_EQ(app_.MessageBoxes()[0].text, "There is an invalid entry for the unfinished install list Thing;x");
  EXPECT_EQ(ctx_->ExitStatus(), kExitRunFailed);
  EXPECT_FALSE(Records().empty());
}

TEST_F(RunTest, ASecondRunOnceEntryGetsTheNextName) {
  ASSERT_TRUE(registry().WriteString(kHKLM, kRunOnceKey, "BrimwellUnfinished", "other setup").ok());
  Start({"-eSetup.exe", "-s" + HostDir("dist").string()});
  auto* driver = MakeDriver();
  driver->SetRunAutomatic(false);
  driver->RegisterRunOnce();
  auto command = registry().ReadString(kHKLM, kRunOnceKey, "BrimwellUnfinished1");
  ASSERT_TRUE(command);
  EXPECT_EQ(*command, "\"" + ctx_->ExecutablePath() + "\" -r \"-eSetup.exe\" \"-s" + driver->InstallSourceDir() + "\"");
}

TEST_F(RunTest, FilesMarkedToRunAreOfferedToTheProject) {
  Start({"-s" + HostDir("dist").string()});
  LoadTree(R"(, "UseLoadingProgram": false)");
  auto* file = Find<TTestFile>("File");
  file->SetRunAfterInstall(true);
  file->SetDestName("tool.exe");
  std::vector<std::string> offered;
  driver_->OnBeforeRunFile = [&](TCustomInstall*, const std::string& path, bool& run) {
    offered.push_back(path);
    run = false;
  };
  Activate();
  EXPECT_THAT(offered, ElementsAre("C:\\Program Files\\MyApplication\\tool.exe"));
}

TEST_F(RunTest, SelfExtractingRunsReadTheTrailerOffset) {
  auto dist = HostDir("dist");
  std::string image(100, 'x');
  TrailerBytes trailer = EncodeTrailer({10, 49, 50, 99});
  image.append(reinterpret_cast<const char*>(trailer.data()), trailer.size());
  WriteHostFile(dist / "setup.exe", image);
  Start({"-eSetup.exe", "-s" + dist.string()});
  LoadTree();
  Activate();
  EXPECT_EQ(ctx_->MainArchive().Offset(), 50);
  EXPECT_TRUE(app_.MessageBoxes().empty());

  // A program without a trailer cannot tell where its archive starts.
  WriteHostFile(dist / "plain.exe", std::string(200, 'y'));
  Start({"-eplain.exe", "-s" + dist.string()});
  LoadTree();
  Activate();
  ASSERT_EQ(app_.MessageBoxes().size(), 1u);
  EXPECT_THAT(app_.MessageBoxes()[0].text,
              HasSubstr("Could not read the extraction info from the archive file "));
  EXPECT_THAT(Records(), ElementsAre("Install0"));  // the failed run's record stays
}

}  // namespace
}  // namespace brimwell::testing
