// A product installed the way its user installs it: the distributables
// (setup.exe, setup.1 holding the bound engine, files.1) made with the
// developer's tools, setup.exe started unattended and offscreen on a fresh
// prefix, the engine unpacked into a bwl... directory and run from there.
// What it leaves is read back with `brimwell` and from the prefix's files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
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
constexpr char kUninstallKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample";

// The product: two files in the driver, two in a group below it, each
// file under its own overwrite rule.
constexpr char kProject[] = R"({"format": "brimwell-project/1",
 "components": [
  {"class": "TInstall", "name": "Install1",
   "properties": {"DestDir": "\\Sample", "Information": {"ProductName": "Sample"}}},
  {"class": "TInstallFileGroup", "name": "Docs",
   "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "DestDir": "\\Docs"}},
  {"class": "TInstallFile", "name": "App",
   "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "UniqueID": 0,
                  "IncludeFromDir": "src", "FileName": "app.dat", "DestName": "app.dat"}},
  {"class": "TInstallFile", "name": "Settings",
   "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "UniqueID": 1,
                  "IncludeFromDir": "src", "FileName": "settings.cfg", "DestName": "settings.cfg",
                  "OverwriteMode": "owNever"}},
  {"class": "TInstallFile", "name": "Guide",
   "properties": {"Container": "Docs", "DestDirType": "psContainerDestDir", "UniqueID": 2,
                  "IncludeFromDir": "src", "FileName": "guide.txt", "DestName": "guide.txt",
                  "OverwriteMode": "owDate"}},
  {"class": "TInstallFile", "name": "Notes",
   "properties": {"Container": "Docs", "DestDirType": "psContainerDestDir", "UniqueID": 3,
                  "IncludeFromDir": "src", "FileName": "notes.txt", "DestName": "notes.txt",
                  "OverwriteMode": "owVersion"}}]})";

class SetupExeTest : public ::testing::Test, protected ProgramRunner {
 protected:
  using ProgramRunner::Run;

  void SetUp() override {
    // TMPDIR in the test's directory; a restart runs the prefix's start-up
    // sequence through the developer's tool.
    extra_env_ = {"TMPDIR=" + temp().string(),
                  "BRIMWELL_BOOT_PROGRAM=" + (fs::path(BRIMWELL_BIN_DIR) / "brimwell").string()};
    for (const char* dir : {"src", "dist", "stage", "tmp", "home", "runtime"}) fs::create_directories(tmp_.path() / dir);
    fs::permissions(tmp_.path() / "runtime", fs::perms::owner_all);
    WriteHostFile(tmp_.path() / "src" / "app.dat", std::string("\x7f" "ELF binary-ish \0\x01\x02", 19) + "app");
    WriteHostFile(tmp_.path() / "src" / "settings.cfg", "[Settings]\r\nColour=blue\r\n");
    WriteHostFile(tmp_.path() / "src" / "guide.txt", std::string(100000, 'g'));  // more than one block
    WriteHostFile(tmp_.path() / "src" / "notes.txt", "release notes\n");
    WriteHostFile(tmp_.path() / "project.json", kProject);
    ASSERT_EQ(Brimwell({"prefix", "init"}), 0) << err_;  // the tools work on a prefix that exists

    // The distributables, as the developer's tools make them. The engine
    // goes without its debugging sections: the same program, a tenth of the
    // bytes to pack and unpack.
    fs::path generic = fs::path(BRIMWELL_BIN_DIR) / "setupengine";
    const fs::path stripped = tmp_.path() / "stage" / "setupengine-generic";
    if (Run("/usr/bin/objcopy", {"--strip-debug", generic.string(), stripped.string()}) == 0) {
      generic = stripped;
    }
    const std::string engine = (tmp_.path() / "stage" / "setupengine").string();
    ASSERT_EQ(Brimwell({"bind", (tmp_.path() / "project.json").string(), engine, "--engine", generic.string()}), 0)
        << err_;
    ASSERT_EQ(Brimwell({"archive", "create", Dist("setup.1"), engine, "--level", "fastest"}), 0) << err_;
    int id = 0;
    for (const char* name : {"app.dat", "settings.cfg", "guide.txt", "notes.txt"}) {
      ASSERT_EQ(Brimwell({"archive", id == 0 ? "create" : "add", Dist("files.1"),
                          (tmp_.path() / "src" / name).string(), "--id", std::to_string(id)}),
                0)
          << err_;
      ++id;
    }
    fs::copy_file(fs::path(BRIMWELL_BIN_DIR) / "BrimwellLoadProgram", Dist("setup.exe"));
  }

  std::string Dist(const std::string& name) const { return (tmp_.path() / "dist" / name).string(); }
  fs::path temp() const { return tmp_.path() / "tmp"; }
  fs::path Installed(const std::string& rest) const {
    return prefix() / "drive_c" / "Program Files" / "Sample" / rest;
  }

  // Waits (at most 15 s) until `done` holds.
  template <class Done>
  static bool WaitFor(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  int Shutdowns() const {
    std::string text = ReadHostFile(log());
    int n = 0;
    for (auto at = text.find("\tstep\tshutdown"); at != std::string::npos; at = text.find("\tstep\tshutdown", at + 1)) ++n;
    return n;
  }
  // Starts setup.exe and waits until the engine it started has ended and
  // its clean-up has emptied the temporary directory (when `cleaned`).
  void Install(bool cleaned = true) {
    const int before = Shutdowns();
    ASSERT_EQ(Run(Dist("setup.exe"), {}), 0) << err_;
    ASSERT_TRUE(WaitFor([&] { return Shutdowns() > before; })) << ReadHostFile(log());
    if (cleaned) {
      ASSERT_TRUE(WaitFor([&] { return fs::is_empty(temp()); }))
          << "left in the temporary directory: " << Listing(temp());
    }
  }
  static std::string Listing(const fs::path& dir) {
    std::string names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) names += e.path().string() + " ";
    return names;
  }
  // A key of the product's uninstall record as `brimwell reg export` writes it.
  std::string ExportRecord(const std::string& subkey) {
    EXPECT_EQ(Brimwell({"reg", "export", kUninstallKey + subkey, "-"}), 0) << err_;
    return out_;
  }
  // The time of a file's last write as the prefix gives it.
  static double Date(Machine& machine, const fs::path& host) {
    auto date = machine.GetFileSystem().LastWriteTime(machine.GetPaths().ToWindows(host));
    EXPECT_TRUE(date.ok()) << host;
    return date.ok() ? *date : 0;
  }
};

TEST_F(SetupExeTest, InstallsTheFilesKeepsWhatTheRulesKeepAndLeavesNothingOfTheEngine) {
  Install();
  {
    std::string text = ReadHostFile(log());
    EXPECT_THAT(text, HasSubstr("\tstep\t15 good installation"));
    EXPECT_THAT(text, HasSubstr("\tcleanup\tbatch "));
  }
  // Byte for byte, with the sources' dates (DOS dates step by 2 seconds).
  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  for (const char* name : {"app.dat", "settings.cfg", "Docs/guide.txt", "Docs/notes.txt"}) {
    const fs::path source = tmp_.path() / "src" / fs::path(name).filename();
    EXPECT_EQ(ReadHostFile(Installed(name)), ReadHostFile(source)) << name;
    EXPECT_NEAR(Date(*machine, Installed(name)), Date(*machine, source), 2.0 / 86400) << name;
  }
  // The uninstall log: the group's files first (containers before files),
  // then the driver's, numbered from 1, all values strings.
  const std::string dir = "C:\\\\Program Files\\\\Sample";
  EXPECT_EQ(ExportRecord("\\Files"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample\\Files]\n"
            "\"File1\"=\"" + dir + "\\\\Docs\\\\guide.txt\"\n"
            "\"Entries\"=\"4\"\n"
            "\"File2\"=\"" + dir + "\\\\Docs\\\\notes.txt\"\n"
            "\"File3\"=\"" + dir + "\\\\app.dat\"\n"
            "\"File4\"=\"" + dir + "\\\\settings.cfg\"\n\n");
  ASSERT_EQ(Brimwell({"reg", "query", std::string(kUninstallKey) + "\\Files", "/v", "File4"}), 0) << err_;
  EXPECT_THAT(out_, HasSubstr("File4    REG_SZ    C:\\Program Files\\Sample\\settings.cfg"));
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKLM, "\\SOFTWARE\\Brimwell\\Install\\Install0"));
  machine.reset();

  // The user changes the installed files; a second run puts back what
  // owAlways installs and keeps what the other rules keep.
  WriteHostFile(Installed("app.dat"), "damaged");
  WriteHostFile(Installed("settings.cfg"), "[Settings]\r\nColour=green\r\n");
  WriteHostFile(Installed("Docs/guide.txt"), "edited later");
  fs::last_write_time(Installed("Docs/guide.txt"), fs::file_time_type::clock::now() + std::chrono::hours(1));
  fs::last_write_time(Installed("Docs/notes.txt"), fs::file_time_type::clock::now() + std::chrono::hours(1));
  Install();
  EXPECT_EQ(ReadHostFile(Installed("app.dat")), ReadHostFile(tmp_.path() / "src" / "app.dat"));
  EXPECT_EQ(ReadHostFile(Installed("settings.cfg")), "[Settings]\r\nColour=green\r\n");
  EXPECT_EQ(ReadHostFile(Installed("Docs/guide.txt")), "edited later");
  EXPECT_EQ(ReadHostFile(Installed("Docs/notes.txt")), "release notes\n");
  std::string text = ReadHostFile(log());
  EXPECT_THAT(text, HasSubstr("\tfile\tSettings: skipped C:\\Program Files\\Sample\\settings.cfg"));
  EXPECT_THAT(text, HasSubstr("\tfile\tGuide: skipped C:\\Program Files\\Sample\\Docs\\guide.txt: owDate answers keep"));
  EXPECT_THAT(text, HasSubstr("\tfile\tNotes: skipped C:\\Program Files\\Sample\\Docs\\notes.txt: owVersion answers"));
}

TEST_F(SetupExeTest, ALockedTargetIsReplacedAtTheRestartWhichFinishesTheRun) {
  Install();
  WriteHostFile(Installed("app.dat"), "old app");
  const std::size_t first_run_end = ReadHostFile(log()).size();
  {
    // Another program keeps app.dat open without delete sharing while the
    // engine installs it, and ends before the restart.
    auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
    auto held = machine->GetFileSystem().Open("C:\\Program Files\\Sample\\app.dat", FileAccess::kRead, kShareRead,
                                              FileDisposition::kOpenExisting);
    ASSERT_TRUE(held.ok());
    ASSERT_EQ(Run(Dist("setup.exe"), {}), 0) << err_;
    ASSERT_TRUE(WaitFor([&] { return ReadHostFile(log()).find("\tfile\tApp: in use") != std::string::npos; }))
        << ReadHostFile(log());
  }
  // The engine restarts Windows: the start-up sequence moves the new file
  // into place and starts the engine with -r from its RunOnce value; that
  // run finishes the installation and cleans up.
  ASSERT_TRUE(WaitFor([&] { return Shutdowns() == 2; })) << ReadHostFile(log());
  ASSERT_TRUE(WaitFor([&] { return fs::is_empty(temp()); })) << Listing(temp());
  EXPECT_EQ(ReadHostFile(Installed("app.dat")), ReadHostFile(tmp_.path() / "src" / "app.dat"));
  EXPECT_FALSE(fs::exists(Installed("app.1")));

  const std::string text = ReadHostFile(log()).substr(first_run_end);
  const std::size_t resumed = text.find("\tmode\tcontinue after reboot");
  ASSERT_NE(resumed, std::string::npos) << text;
  const std::string installing = text.substr(0, resumed);
  EXPECT_THAT(installing, HasSubstr("\tfile\tApp: in use: C:\\Program Files\\Sample\\app.1 replaces "
                                    "C:\\Program Files\\Sample\\app.dat at the next boot"));
  EXPECT_THAT(installing, HasSubstr("\trunonce\tBrimwellUnfinished = "));
  EXPECT_THAT(installing, HasSubstr(" -r "));
  EXPECT_THAT(installing, Not(HasSubstr("\tstep\t15 good installation")));
  EXPECT_THAT(text.substr(resumed), HasSubstr("\tunfinished\tApp;0"));
  EXPECT_THAT(text.substr(resumed), HasSubstr("\tcall\t-979 sender=Install1"));  // the good-install pages

  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKLM, "\\SOFTWARE\\Brimwell\\Install\\Install0"));
  EXPECT_FALSE(machine->GetRegistry().ValueExists(kHKLM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                                  "BrimwellUnfinished"));
}

TEST_F(SetupExeTest, AMissingArchiveEndsBadlyNamingIt) {
  fs::remove(Dist("files.1"));
  Install(false);
  std::string text = ReadHostFile(log());
  EXPECT_THAT(text, Not(HasSubstr("\tstep\t15 good installation")));
  EXPECT_THAT(text, HasSubstr("files.1"));
  EXPECT_FALSE(fs::exists(Installed("app.dat")));
}

}  // namespace
}  // namespace brimwell::testing
