// The real setupengine, with a project bound to it by `brimwell bind`, run
// offscreen and unattended on a temporary prefix: exit status, the registry
// it leaves and its run log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/install.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/engine/engine_fixture.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;

constexpr char kProject[] = R"({"format": "brimwell-project/1",
 "components": [
  {"class": "TInstall", "name": "Install1",
   "properties": {"DestDirType": "psProgramFiles", "Information": {"ProductName": "Tool"}}},
  {"class": "TInstallFileGroup", "name": "Docs",
   "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir"}},
  {"class": "TGrabCall", "name": "Grab", "properties": {"Container": "Install1"}}]})";

class SetupEngineTest : public ::testing::Test, protected ProgramRunner {
 protected:
  using ProgramRunner::Run;

  void SetUp() override {
    dist_ = tmp_.path() / "dist";
    fs::create_directories(dist_);
    WriteHostFile(tmp_.path() / "project.json", kProject);
  }

  std::string Source() const { return "-s" + dist_.string(); }

  fs::path dist_;
};

TEST_F(SetupEngineTest, ABoundProjectInstallsAndLeavesNoRecord) {
  fs::path engine = Bind();
  ASSERT_EQ(Run(engine, {"-c", Source()}), 0) << err_;
  EXPECT_THAT(err_, Not(HasSubstr("[Tool]")));  // no message box

  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  Registry& reg = machine->GetRegistry();
  EXPECT_FALSE(reg.KeyExists(kHKLM, kInstallRecordRoot));
  EXPECT_FALSE(reg.KeyExists(kHKLM, kBrimwellKey));
  EXPECT_FALSE(reg.ValueExists(kHKLM, kRunOnceKey, kRunOnceUnfinished));

  std::string text = ReadHostFile(log());
  EXPECT_THAT(text, HasSubstr("project\tbound to the engine"));
  int step = 0;
  for (const char* line : {"step\t1 start", "step\t3 install record \\SOFTWARE\\Brimwell\\Install\\Install0",
                           "step\t6 read archive information", "step\t8 pages before the installation",
                           "call\t-980 sender=Install1 receivers=1", "step\t9 process the component tree",
                           "call\t-990 sender=Docs receivers=0", "event\t1012 sender=Docs container=Install1",
                           "step\t15 good installation", "call\t-979 sender=Install1 receivers=1",
                           "record\tremoved \\SOFTWARE\\Brimwell\\Install\\Install0", "step\tshutdown"}) {
    auto at = text.find(line);
    EXPECT_NE(at, std::string::npos) << line;
    EXPECT_GT(static_cast<int>(at), step) << line << " is out of order";
    if (at != std::string::npos) step = static_cast<int>(at);
  }
  // A cleanup batch was left for after the engine's exit (-c).
  EXPECT_THAT(text, HasSubstr("cleanup\tbatch C:\\WINDOWS\\TEMP\\bat"));
}

TEST_F(SetupEngineTest, AFailedRunIsReportedAndKeepsItsRecord) {
  fs::path engine = Bind();
  EXPECT_EQ(Run(engine, {"-eSetup.exe", Source()}), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("[Tool] Could not read the extraction info from the archive file "));

  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  Registry& reg = machine->GetRegistry();
  const std::string record = std::string(kInstallRecordRoot) + "\\Install0";
  EXPECT_EQ(reg.ReadString(kHKLM, record, "Path"), machine->GetPaths().ToWindows(engine));
  EXPECT_EQ(reg.ReadString(kHKLM, record, "SelfExtract"),
            machine->GetPaths().ToWindows(dist_) + "\\Setup.exe");
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("error\tIEInstall: Could not read the extraction info"));
}

TEST_F(SetupEngineTest, ASecondInstallOnABusyMachineStopsAtOnceAndTouchesNoRecord) {
  fs::path engine = Bind();
  const std::string record = std::string(kInstallRecordRoot) + "\\Install0";
  auto machine = OpenMachine(prefix());
  ASSERT_TRUE(machine->GetRegistry().WriteString(kHKLM, record, "Path", "C:\\WINDOWS\\TEMP\\bwlFirst1\\setup"));
  ASSERT_TRUE(machine->GetRegistry().Flush());
  {
    // This process stands for the installation that is running.
    int holder = 0;
    std::unique_ptr<host::File> lock = machine->TryLockInstall(holder);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(Run(engine, {"-c", Source()}), kExitInstallRunning);
    EXPECT_THAT(err_, HasSubstr("Another installation is running on this computer (process " +
                                std::to_string(::getpid()) + ")"));
    // The running installation's record is left as it was.
    EXPECT_EQ(machine->GetRegistry().ReadString(kHKLM, record, "Path"), "C:\\WINDOWS\\TEMP\\bwlFirst1\\setup");
  }
  // Once it has ended, the next run goes ahead.
  EXPECT_EQ(Run(engine, {"-c", Source()}), 0) << err_;
}

TEST_F(SetupEngineTest, WhatAKilledInstallLeftIsRemovedByTheNextRun) {
  fs::path engine = Bind();
  auto machine = OpenMachine(prefix());
  Registry& reg = machine->GetRegistry();
  // A run killed mid-install: its record names a temporary copy of the
  // engine that the loading program made; the lock went with the process.
  const fs::path stale_dir = prefix() / "drive_c" / "WINDOWS" / "TEMP" / "bwlK1ll3d";
  WriteHostFile(stale_dir / "setupengine", std::string(1 << 20, 'E'));
  WriteHostFile(stale_dir / "readme.txt", "presetup file");
  const std::string stale = std::string(kInstallRecordRoot) + "\\Install0";
  ASSERT_TRUE(reg.WriteString(kHKLM, stale, "Path", "C:\\WINDOWS\\TEMP\\bwlK1ll3d\\setupengine"));
  // One waiting for a restart keeps its record and its engine.
  const fs::path waiting_dir = prefix() / "drive_c" / "WINDOWS" / "TEMP" / "bwlW4it1n";
  WriteHostFile(waiting_dir / "setupengine", "E");
  const std::string waiting = std::string(kInstallRecordRoot) + "\\Install1";
  ASSERT_TRUE(reg.WriteString(kHKLM, waiting, "Path", "C:\\WINDOWS\\TEMP\\bwlW4it1n\\setupengine"));
  ASSERT_TRUE(reg.WriteString(kHKLM, waiting + "\\" + kUnfinishedSubkey, "1", "x"));
  ASSERT_TRUE(reg.Flush());
  machine.reset();

  ASSERT_EQ(Run(engine, {"-c", Source()}), 0) << err_;
  EXPECT_FALSE(fs::exists(stale_dir));
  EXPECT_TRUE(fs::exists(waiting_dir / "setupengine"));
  machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKLM, stale));
  EXPECT_TRUE(machine->GetRegistry().KeyExists(kHKLM, waiting));
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("record\tremoved " + stale + ", left by an installation that was stopped"));
}

TEST_F(SetupEngineTest, AGermanUserSeesTheGermanTablesTexts) {
  fs::path engine = Bind();
  ASSERT_EQ(Run(fs::path(BRIMWELL_BIN_DIR) / "brimwell", {"prefix", "init", prefix().string(), "--language", "German"}),
            0)
      << err_;
  EXPECT_EQ(Run(engine, {"-eSetup.exe", Source()}), kExitRunFailed);
  // The message keeps its placeholder, filled after the translation.
  const std::string setup_path = OpenMachine(prefix(), PrefixCreation::kMustExist)->GetPaths().ToWindows(dist_);
  EXPECT_THAT(err_, HasSubstr("[Tool] Die Extraktionsdaten der Archivdatei " + setup_path +
                              "\\Setup.exe konnten nicht gelesen werden"));
  std::string log_text = ReadHostFile(log());
  EXPECT_THAT(log_text, HasSubstr("language\tGerman, the user language 0x0407 (MainTranslator)"));
  EXPECT_THAT(log_text, HasSubstr("error\tIEInstall: Die Extraktionsdaten der Archivdatei"));

  // A prefix that states no language follows the host locale.
  fs::remove_all(prefix());
  fs::remove(log());
  ASSERT_EQ(Run(engine, {Source()}, {"LANG=de_DE.UTF-8"}), 0) << err_;
  log_text = ReadHostFile(log());
  EXPECT_THAT(log_text, HasSubstr("language\tGerman, the user language 0x0407"));
  EXPECT_THAT(log_text, HasSubstr("status\tDateiinformationen werden gelesen..."));
}

TEST_F(SetupEngineTest, TheProjectCanComeFromTheEnvironment) {
  fs::path engine = fs::path(BRIMWELL_BIN_DIR) / "setupengine";
  const std::string env = "BRIMWELL_PROJECT=" + (tmp_.path() / "project.json").string();
  EXPECT_EQ(Run(engine, {Source()}, {env}), 0) << err_;
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("project\t" + (tmp_.path() / "project.json").string()));

  EXPECT_EQ(Run(engine, {Source(), "-x"}, {env}), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("Invalid parameter <-x>."));

  EXPECT_EQ(Run(engine, {Source()}), kExitProjectError);
  EXPECT_THAT(err_, HasSubstr("This engine carries no project"));
}

TEST_F(SetupEngineTest, AProjectThatDoesNotLoadNamesTheComponentAndProperty) {
  WriteHostFile(tmp_.path() / "bad.json", R"({"format": "brimwell-project/1", "components": [
    {"class": "TInstall", "name": "Install1"},
    {"class": "TInstallFileGroup", "name": "Docs", "properties": {"Container": "Install1", "Colour": 3}}]})");
  fs::path engine = fs::path(BRIMWELL_BIN_DIR) / "setupengine";
  EXPECT_EQ(Run(engine, {Source()}, {"BRIMWELL_PROJECT=" + (tmp_.path() / "bad.json").string()}), kExitProjectError);
  EXPECT_THAT(err_, HasSubstr("component \"Docs\" (TInstallFileGroup), property \"Colour\": unknown property"));
}

TEST_F(SetupEngineTest, TheMainFormsBackdropLabelAndAdvertisingPanelLoadAndFollowTheRun) {
  WriteHostFile(tmp_.path() / "project.json", R"({"format": "brimwell-project/1", "components": [
    {"class": "TInstall", "name": "Install1", "properties": {"Information": {"ProductName": "Tool"}}},
    {"class": "TInstallFileGroup", "name": "Docs", "properties": {"Container": "Install1"}},
    {"class": "TBackdrop", "name": "Back", "properties": {"Direction": "bdHorzOut", "Tag": -1}},
    {"class": "TRotate3DLabel", "name": "Title", "properties": {"Parent": "Back", "Caption": "Tool",
     "Width": 300, "Height": 80, "LabelStyle": {"Angle": 15}}},
    {"class": "TAdvertisePanel", "name": "Ads", "properties": {"Parent": "Back", "Container": "Docs"}},
    {"class": "TTabSheet", "name": "Page1", "properties": {"PageControl": "Ads"}},
    {"class": "TImage", "name": "Shot", "properties": {"Parent": "Page1", "Picture": ")" BRIMWELL_TEST_DATA
                                                        R"(/framework/tiny.bmp"}}]})");
  fs::path engine = Bind();
  ASSERT_EQ(Run(engine, {"-c", Source()}), 0) << err_;
  std::string text = ReadHostFile(log());
  // The panel's own listener receives the group's pass.
  EXPECT_THAT(text, HasSubstr("call\t-992 sender=Docs receivers=1"));
  EXPECT_THAT(text, HasSubstr("call\t-996 sender=Docs receivers=1"));
  EXPECT_THAT(text, HasSubstr("step\t15 good installation"));
}

TEST_F(SetupEngineTest, AnUnattendedRunPassesTheWizardPagesAndBindsThem) {
  WriteHostFile(tmp_.path() / "project.json", R"({"format": "brimwell-project/1", "components": [
    {"class": "TInstall", "name": "Install1", "properties": {"Information": {"ProductName": "Tool"},
     "DestDirType": "psProgramFiles", "InstallTypes": ["itFull", "itCompact", "itCustom"]}},
    {"class": "TDialogManager", "name": "Before", "properties": {"Container": "Install1"}},
    {"class": "TWelcomeDlg", "name": "Welcome", "properties": {"Container": "Install1", "DialogManager": "Before"}},
    {"class": "TLicenseDlg", "name": "License", "properties": {"Container": "Install1", "LicenseAgreement": ["x"]}},
    {"class": "TInstallTypeDlg", "name": "Types", "properties": {"Container": "Install1", "DialogManager": "Before"}}]})");
  fs::path engine = Bind();
  ASSERT_EQ(Run(engine, {"-c", Source()}), 0) << err_;
  std::string text = ReadHostFile(log());
  for (const char* line : {"unattended: OK on License shown alone", "unattended: Next on Welcome",
                           "unattended: Next on Setup type", "step\t15 good installation"}) {
    EXPECT_THAT(text, HasSubstr(line));
  }
}

TEST_F(SetupEngineTest, UnattendedTheCopyWindowAndTheBadPageReportOnStandardError) {
  // A product of one file with the copy window and the bad installation
  // page: the copy reports its progress, a failed run its reason.
  fs::create_directories(tmp_.path() / "src");
  WriteHostFile(tmp_.path() / "src" / "big.dat", std::string(300000, 'b'));
  ASSERT_EQ(Brimwell({"prefix", "init"}), 0) << err_;
  ASSERT_EQ(Brimwell({"archive", "create", (dist_ / "files.1").string(), (tmp_.path() / "src" / "big.dat").string(),
                      "--id", "0", "--full-names"}),
            0)
      << err_;
  const std::string project = R"({"format": "brimwell-project/1", "components": [
    {"class": "TInstall", "name": "Install1", "properties": {"Information": {"ProductName": "Tool"},
     "DestDirType": "psProgramFiles", "DestDir": "\\Tool"}},
    {"class": "TInstallFile", "name": "Big", "properties": {"Container": "Install1",
     "DestDirType": "psContainerDestDir", "UniqueID": 0, "IncludeFromDir": ")" +
                              (tmp_.path() / "src").string() + R"(", "FileName": "big.dat", "DestName": "big.dat"}},
    {"class": "TDialogManager", "name": "Copy", "properties": {"Container": "Install1", "ManagerType": "dmDuringCopyFiles"}},
    {"class": "TCopyFileDlg", "name": "CopyWindow", "properties": {"Container": "Install1", "DialogManager": "Copy"}},
    {"class": "TDialogManager", "name": "Bad", "properties": {"Container": "Install1", "ManagerType": "dmAfterBadInstall"}},
    {"class": "TBadInstallationDlg", "name": "BadPage", "properties": {"Container": "Install1", "DialogManager": "Bad"}}]})";
  fs::path engine = Bind(project);
  // Without -c: the engine stays for the second run.
  ASSERT_EQ(Run(engine, {Source()}), 0) << err_;
  EXPECT_THAT(err_, HasSubstr("Copying installation files: big.dat, File progress "));
  EXPECT_THAT(err_, Not(HasSubstr("Setup incomplete")));
  EXPECT_EQ(ReadHostFile(prefix() / "drive_c" / "Program Files" / "Tool" / "big.dat"), std::string(300000, 'b'));

  EXPECT_EQ(Run(engine, {"-eSetup.exe", Source()}), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("Setup incomplete: Could not read the extraction info from the archive file "));
}

TEST_F(SetupEngineTest, AProjectNestedTooDeepIsAProjectErrorNotACrash) {
  WriteHostFile(tmp_.path() / "deep.json", "{\"format\": \"brimwell-project/1\",\n\"components\": [],\n\"x\": " +
                                              std::string(200000, '[') + std::string(200000, ']') + "}");
  fs::path engine = fs::path(BRIMWELL_BIN_DIR) / "setupengine";
  EXPECT_EQ(Run(engine, {Source()}, {"BRIMWELL_PROJECT=" + (tmp_.path() / "deep.json").string()}), kExitProjectError);
  EXPECT_THAT(err_, HasSubstr("line 3: arrays and objects nest deeper than 512 levels"));
}

TEST_F(SetupEngineTest, AProjectWithoutADriverEndsWithAClearError) {
  WriteHostFile(tmp_.path() / "nodriver.json", R"({"format": "brimwell-project/1", "components": [
    {"class": "TGrabCall", "name": "Grab"}]})");
  fs::path engine = fs::path(BRIMWELL_BIN_DIR) / "setupengine";
  EXPECT_EQ(Run(engine, {Source()}, {"BRIMWELL_PROJECT=" + (tmp_.path() / "nodriver.json").string()}),
            kExitProjectError);
  EXPECT_THAT(err_, HasSubstr("The project holds no TInstall component"));
}

// --- Its command line and its session -------------------------------------------------

TEST_F(SetupEngineTest, HelpListsEverySwitchAndVersionNamesTheToolkit) {
  const fs::path engine = fs::path(BRIMWELL_BIN_DIR) / "setupengine";
  ASSERT_EQ(Run(engine, {"--help"}, {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY=", "BRIMWELL_UNATTENDED="}), 0);
  for (const char* item : {"-s<dir>", "-e<file>", "-c ", "-d ", "-r ", "-b ", "-f ", "--version", "BRIMWELL_UNATTENDED",
                           "Exit status"}) {
    EXPECT_THAT(out_, HasSubstr(item));
  }
  ASSERT_EQ(Run(engine, {"--version"}), 0);
  EXPECT_THAT(out_, ::testing::StartsWith("setupengine "));
  EXPECT_FALSE(fs::exists(log()));  // neither starts a run
  // A real invalid parameter keeps its message.
  EXPECT_EQ(Run(Bind(), {"-x"}), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("Invalid parameter <-x>. Valid command line parameters are: -b (Build)"));
}

TEST_F(SetupEngineTest, WithoutADisplayAnAttendedRunStopsAtOnceAndAnUnattendedOneRunsOffscreen) {
  const fs::path engine = Bind();
  const std::vector<std::string> no_display{"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};
  std::vector<std::string> attended = no_display;
  attended.push_back("BRIMWELL_UNATTENDED=");
  EXPECT_EQ(Run(engine, {"-c", Source()}, attended), kExitRunFailed);
  EXPECT_EQ(err_, "setupengine: There is no display to show the installation on: neither DISPLAY nor "
                  "WAYLAND_DISPLAY is set. Start it from a graphical session, or set BRIMWELL_UNATTENDED=1 to "
                  "install without a user\n");
  EXPECT_FALSE(fs::exists(log()));

  // Unattended, and without a runtime directory: a private one serves and
  // goes, and Qt has nothing to warn about.
  const fs::path temp = tmp_.path() / "tmp";
  fs::create_directories(temp);
  std::vector<std::string> unattended = no_display;
  unattended.insert(unattended.end(), {"XDG_RUNTIME_DIR=", "TMPDIR=" + temp.string()});
  ASSERT_EQ(Run(engine, {"-c", Source()}, unattended), 0) << err_;
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("step\t15 good installation"));
  EXPECT_THAT(err_, Not(HasSubstr("XDG_RUNTIME_DIR")));
  EXPECT_THAT(err_, Not(HasSubstr("QStandardPaths")));
  for (const auto& e : fs::directory_iterator(temp)) {
    EXPECT_THAT(e.path().filename().string(), Not(::testing::StartsWith("brimwell-runtime-")));
  }
}

TEST_F(SetupEngineTest, ANamedPrefixMustExistWhileTheDefaultOneIsMadeOnFirstUse) {
  const fs::path engine = Bind();
  const fs::path typo = tmp_.path() / "prefx";
  EXPECT_EQ(Run(engine, {"-c", Source()}, {"BRIMWELL_PREFIX=" + typo.string()}), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("There is no prefix in " + typo.string() + " (create one with 'brimwell prefix init')"));
  EXPECT_FALSE(fs::exists(typo));

  const fs::path data = tmp_.path() / "data";
  ASSERT_EQ(Run(engine, {"-c", Source()}, {"BRIMWELL_PREFIX=", "XDG_DATA_HOME=" + data.string()}), 0) << err_;
  EXPECT_TRUE(IsPrefix(data / "brimwell" / "prefix"));
}

}  // namespace
}  // namespace brimwell::testing
