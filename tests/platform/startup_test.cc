#include "platform/startup_sequence.h"

#include <stdlib.h>

#include "platform/batch_interpreter.h"
#include "platform/processes.h"
#include "platform/restart.h"
#include "platform/win_path.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::Eventually;
using testing::InChild;
using testing::PrefixTest;
using testing::ReadHostFile;
using testing::WriteHostFile;

class StartupTest : public PrefixTest {
 protected:
  void Write(const std::string& path, std::string_view text) {
    files().ForceDirectories(ExtractFileDir(path));
    auto file = files().Open(path, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
    ASSERT_TRUE(file.ok()) << path;
    ASSERT_TRUE((*file)->Write(text.data(), text.size()).ok());
  }
  std::string Read(const std::string& path) { return ReadHostFile(paths().ToHost(path)); }
  // A RunOnce command: a script appending `word` to the log.
  std::string Command(const std::string& word) {
    std::filesystem::path script = drive_c() / "WINDOWS" / ("say_" + word);
    WriteHostFile(script, "#!/bin/sh\necho " + word + " >> '" + log().string() + "'\n");
    return "\"C:\\WINDOWS\\say_" + word + "\"";
  }
  std::filesystem::path log() const { return dir_.path() / "log.txt"; }
  std::vector<std::string> RunOnceNames(RegistryHive hive) {
    auto names = registry().ValueNames(hive, kRunOnceKey);
    return names ? *names : std::vector<std::string>{};
  }
};

TEST_F(StartupTest, DelayedMovesThenWininitRenamesThenRunOnceValuesOnce) {
  Write("C:\\app.dll", "old");
  Write("C:\\app.1", "new");
  Write("C:\\old.tmp", "x");
  ASSERT_TRUE(files().MoveFileEx("C:\\app.1", "C:\\app.dll", kMoveDelayUntilReboot | kMoveReplaceExisting).ok());
  ASSERT_TRUE(files().MoveFileEx("C:\\old.tmp", "", kMoveDelayUntilReboot).ok());

  Write("C:\\target.dll", "old target");
  Write("C:\\target.1", "new target");
  Write("C:\\junk.tmp", "junk");
  Write("C:\\WINDOWS\\WININIT.INI", "[Rename]\r\nC:\\target.dll=C:\\target.1\r\nNUL=C:\\junk.tmp\r\n");

  ASSERT_TRUE(registry().WriteString(RegistryHive::kLocalMachine, kRunOnceKey, "BrimwellUnfinished", Command("first")).ok());
  ASSERT_TRUE(registry().WriteString(RegistryHive::kLocalMachine, kRunOnceKey, "AnotherSetup", Command("second")).ok());
  ASSERT_TRUE(registry().WriteString(RegistryHive::kCurrentUser, kRunOnceKey, "User", Command("user")).ok());

  StartupReport report = RunStartupSequence(machine());
  EXPECT_EQ(report.failures, 0);
  EXPECT_EQ(Read("C:\\app.dll"), "new");
  EXPECT_FALSE(files().FileExists("C:\\app.1"));
  EXPECT_FALSE(files().FileExists("C:\\old.tmp"));
  EXPECT_EQ(Read("C:\\target.dll"), "new target");
  EXPECT_FALSE(files().FileExists("C:\\junk.tmp"));
  EXPECT_FALSE(files().FileExists("C:\\WINDOWS\\WININIT.INI"));
  EXPECT_TRUE(files().FileExists("C:\\WINDOWS\\WININIT.BAK"));
  // In the order the registry lists them (creation order), machine first.
  EXPECT_EQ(ReadHostFile(log()), "first\nsecond\nuser\n");
  EXPECT_TRUE(RunOnceNames(RegistryHive::kLocalMachine).empty());
  EXPECT_TRUE(RunOnceNames(RegistryHive::kCurrentUser).empty());
  EXPECT_FALSE(registry().ValueExists(RegistryHive::kLocalMachine, kSessionManagerKey, kPendingRenamesValue));

  // A second start finds nothing left to do.
  report = RunStartupSequence(machine());
  EXPECT_EQ(report.failures, 0);
  EXPECT_TRUE(report.lines.empty());
  EXPECT_EQ(ReadHostFile(log()), "first\nsecond\nuser\n");
}

TEST_F(StartupTest, AFailingStepIsReportedAndTheRestGoesOn) {
  ASSERT_TRUE(files().MoveFileEx("C:\\vanished.1", "C:\\vanished.dll", kMoveDelayUntilReboot).ok());
  ASSERT_TRUE(registry().WriteString(RegistryHive::kLocalMachine, kRunOnceKey, "Broken", "C:\\nothing\\x.exe").ok());
  ASSERT_TRUE(registry().WriteString(RegistryHive::kLocalMachine, kRunOnceKey, "Fine", Command("fine")).ok());
  StartupReport report = RunStartupSequence(machine());
  EXPECT_EQ(report.failures, 2);
  EXPECT_EQ(ReadHostFile(log()), "fine\n");
  EXPECT_TRUE(RunOnceNames(RegistryHive::kLocalMachine).empty());  // the broken one is not retried forever
}

TEST_F(StartupTest, BatchLinesOfTheEngine) {
  Write("C:\\WINDOWS\\TEMP\\bwl1234\\setupengine", "engine");
  Write("C:\\WINDOWS\\TEMP\\bwl1234\\sub\\presetup.dll", "x");
  ASSERT_TRUE(files().SetAttributes("C:\\WINDOWS\\TEMP\\bwl1234\\sub\\presetup.dll", kFileAttributeReadOnly).ok());
  Write("C:\\Program Files\\Acme\\app.1", "new");
  Write("C:\\Program Files\\Acme\\app.dll", "old");
  std::string batch =
      "@echo off\r\n"
      "ERASE C:\\WINDOWS\\TEMP\\bwl1234\\setupengine\r\n"
      "DELTREE /Y C:\\WINDOWS\\TEMP\\bwl1234\r\n"
      "ERASE C:\\WINDOWS\\TEMP\\bat77.PIF\r\n"
      "erase C:\\Program Files\\Acme\\gone.dll\r\n"
      "move C:\\Program Files\\Acme\\app.1 C:\\Program Files\\Acme\\app.dll\r\n"
      "FORMAT C:\r\n";
  BatchReport report = RunBatchText(files(), batch);
  EXPECT_EQ(report.failures, 1) << ::testing::PrintToString(report.lines);  // only FORMAT
  EXPECT_FALSE(files().DirectoryExists("C:\\WINDOWS\\TEMP\\bwl1234"));
  EXPECT_EQ(Read("C:\\Program Files\\Acme\\app.dll"), "new");
  EXPECT_FALSE(files().FileExists("C:\\Program Files\\Acme\\app.1"));
  EXPECT_EQ(report.lines.back(), "FORMAT C:: unknown command");
}

TEST_F(StartupTest, TheCleanUpBatchRunsAfterTheEngineHasEnded) {
  Write("C:\\WINDOWS\\TEMP\\engine.exe", "engine");
  Write("C:\\WINDOWS\\TEMP\\clean.bat",
        "ERASE C:\\WINDOWS\\TEMP\\engine.exe\r\nERASE C:\\WINDOWS\\TEMP\\clean.bat\r\n");
  // The "engine" keeps its executable open until it ends; a batch that ran
  // any earlier could not erase it.
  int status = InChild([&] {
    auto held = files().Open("C:\\WINDOWS\\TEMP\\engine.exe", FileAccess::kRead, kShareRead,
                             FileDisposition::kOpenExisting);
    if (!held) return 2;
    if (!machine().GetProcesses().StartBatchAfterExit("C:\\WINDOWS\\TEMP\\clean.bat")) return 3;
    ::usleep(200000);
    return files().FileExists("C:\\WINDOWS\\TEMP\\engine.exe") ? 0 : 4;
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Eventually([&] { return !files().FileExists("C:\\WINDOWS\\TEMP\\clean.bat"); }));
  EXPECT_FALSE(files().FileExists("C:\\WINDOWS\\TEMP\\engine.exe"));
  EXPECT_EQ(machine().GetProcesses().StartBatchAfterExit("C:\\none.bat").error(), kErrorFileNotFound);
}

TEST_F(StartupTest, RestartEndsTheEngineThenBoots) {
  ASSERT_TRUE(registry().WriteString(RegistryHive::kLocalMachine, kRunOnceKey, "BrimwellUnfinished", Command("resumed")).ok());
  ASSERT_TRUE(registry().Flush().ok());
  Restart& restart = machine().GetRestart();
  EXPECT_EQ(restart.RestartWindows().error(), kErrorPrivilegeNotHeld);  // NT wants the privilege first
  machine().SetWindowsFamily(WindowsFamily::kWin32s);
  EXPECT_EQ(restart.EnableShutdownPrivilege().error(), kErrorCallNotImplemented);
  EXPECT_EQ(restart.RestartWindows().error(), kErrorCallNotImplemented);
  machine().SetWindowsFamily(WindowsFamily::kNT4);
  EXPECT_FALSE(restart.RestartPending());

  ::setenv("BRIMWELL_BOOT_PROGRAM", (std::string(BRIMWELL_BIN_DIR) + "/brimwell").c_str(), 1);
  int status = InChild([&] {
    if (!restart.EnableShutdownPrivilege() || !restart.RestartWindows() || !restart.RestartPending()) return 2;
    ::usleep(100000);
    // Nothing ran while this "engine" was alive.
    return std::filesystem::exists(log()) ? 3 : 0;
  });
  ::unsetenv("BRIMWELL_BOOT_PROGRAM");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Eventually([&] { return ReadHostFile(log()) == "resumed\n"; }));
  EXPECT_TRUE(Eventually([&] { return RunOnceNames(RegistryHive::kLocalMachine).empty(); }));
}

}  // namespace
}  // namespace brimwell
