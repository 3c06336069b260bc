// A product installed the way its user installs it: the distributables
// (setup.exe, setup.1 holding the bound engine, files.1) made with the
// developer's tools, setup.exe started unattended and offscreen on a fresh
// prefix, the engine unpacked into a bwl... directory and run from there.
// What it leaves is read back with `brimwell` and from the prefix's files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
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
                          (tmp_.path() / "src" / name).string(), "--id", std::to_string(id), "--full-names"}),
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
  // Starts setup.exe, which ends with the engine's `status`, and waits until
  // the engine's clean-up has emptied the temporary directory (when
  // `cleaned`).
  void Install(bool cleaned = true, int status = kExitOk) {
    const int before = Shutdowns();
    ASSERT_EQ(Run(Dist("setup.exe"), {}), status) << err_;
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
    // setup.exe waits for the engine, which ends by restarting; the file is
    // let go once the engine has found it in use, before the restart.
    int status = -1;
    std::thread setup([&] { status = Run(Dist("setup.exe"), {}); });
    const bool in_use =
        WaitFor([&] { return ReadHostFile(log()).find("\tfile\tApp: in use") != std::string::npos; });
    held->reset();
    setup.join();
    ASSERT_TRUE(in_use) << ReadHostFile(log());
    ASSERT_EQ(status, 0) << err_;
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
  Install(false, kExitRunFailed);
  std::string text = ReadHostFile(log());
  EXPECT_THAT(text, Not(HasSubstr("\tstep\t15 good installation")));
  EXPECT_THAT(text, HasSubstr("files.1"));
  EXPECT_FALSE(fs::exists(Installed("app.dat")));
}

// --- Scripted installs ------------------------------------------------------------------

// The process ids of the running programs whose executable is `program`.
std::vector<int> ProcessesOf(const fs::path& program) {
  std::vector<int> pids;
  std::error_code ec;
  const fs::path wanted = fs::canonical(program, ec);
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (fs::read_symlink(e.path() / "exe", ec) == wanted) pids.push_back(std::stoi(name));
  }
  return pids;
}

// The children of process `pid`.
std::vector<int> ChildrenOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<int> children;
  for (int child; in >> child;) children.push_back(child);
  return children;
}

TEST_F(SetupExeTest, UnattendedItWaitsAndEndsWithTheEnginesStatus) {
  // A good run: the installation is complete when setup.exe returns.
  ASSERT_EQ(Run(Dist("setup.exe"), {}), kExitOk) << err_;
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("\tstep\t15 good installation"));
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("\tstep\tshutdown"));
  EXPECT_EQ(ReadHostFile(Installed("Docs/notes.txt")), "release notes\n");

  // A failed one: its status and its message on standard error.
  fs::remove(Dist("files.1"));
  EXPECT_EQ(Run(Dist("setup.exe"), {}), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("files.1"));
}

TEST_F(SetupExeTest, AnUnattendedRunCancelledByASignalEndsAsACancel) {
  // The run log is a pipe: the engine cannot get past opening it until the
  // test reads, so the signal is surely there before the run begins.
  const fs::path fifo = tmp_.path() / "run.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int status = -1;
  std::string err;
  std::atomic<bool> ended{false};
  std::thread setup([&] {
    ProgramRunner runner;  // a runner of its own: this one's output stays the test's
    runner.extra_env_ = extra_env_;
    runner.extra_env_.push_back("BRIMWELL_PREFIX=" + prefix().string());
    runner.extra_env_.push_back("BRIMWELL_LOG=" + fifo.string());
    status = runner.Run(Dist("setup.exe"), {});
    err = runner.err_;
    ended = true;
  });
  // setup.exe started, and its engine: terminate setup.exe, which passes the
  // signal on, and give the engine a moment to receive it.
  int loader = 0;
  EXPECT_TRUE(WaitFor([&] {
    std::vector<int> loaders = ProcessesOf(Dist("setup.exe"));
    if (loaders.size() != 1 || ChildrenOf(loaders[0]).empty()) return ended.load();
    loader = loaders[0];
    return true;
  }));
  if (loader != 0) {
    EXPECT_EQ(::kill(loader, SIGTERM), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Now the engine may write its log; read it until setup.exe has ended.
  std::string text;
  const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  for (bool last = false; fd >= 0;) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (last) break;
    last = ended.load();  // one more pass drains what came before the end
    if (!last) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (fd >= 0) ::close(fd);
  setup.join();
  EXPECT_EQ(status, kExitUserAbort) << err << text;
  EXPECT_THAT(text, HasSubstr("\tcancel\tsignal " + std::to_string(SIGTERM)));
  EXPECT_THAT(text, HasSubstr("EAIUserAbort: Installation aborted by the user"));
  EXPECT_THAT(text, Not(HasSubstr("\tstep\t15 good installation")));
  EXPECT_THAT(text, HasSubstr("\tstep\tshutdown"));
  EXPECT_FALSE(fs::exists(Installed("app.dat")));
  // A cancel cleans up: no record, and the engine's copy goes.
  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKLM, "\\SOFTWARE\\Brimwell\\Install\\Install0"));
  EXPECT_TRUE(WaitFor([&] { return fs::is_empty(temp()); })) << Listing(temp());
}

TEST_F(SetupExeTest, AttendedWithoutADisplayItStopsAtOnce) {
  EXPECT_EQ(Run(Dist("setup.exe"), {}, {"BRIMWELL_UNATTENDED=", "QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="}),
            1);
  EXPECT_EQ(err_,
            "There was an error when trying to load the installation program\n"
            "There is no display to show the installation on: neither DISPLAY nor WAYLAND_DISPLAY is set. "
            "Start it from a graphical session, or set BRIMWELL_UNATTENDED=1 to install without a user\n");
  EXPECT_TRUE(fs::is_empty(temp()));  // nothing unpacked
  // Unattended, the engine draws its windows offscreen and installs.
  EXPECT_EQ(Run(Dist("setup.exe"), {}, {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="}), kExitOk) << err_;
  EXPECT_EQ(ReadHostFile(Installed("Docs/notes.txt")), "release notes\n");
}

TEST_F(SetupExeTest, HelpAndVersionAnswerWithoutUnpacking) {
  ASSERT_EQ(Run(Dist("setup.exe"), {"--help"}), 0);
  EXPECT_THAT(out_, HasSubstr("usage: setup.exe [*QUIET | *TODISK]"));
  EXPECT_THAT(out_, HasSubstr("BRIMWELL_UNATTENDED=1"));
  ASSERT_EQ(Run(Dist("setup.exe"), {"--version"}), 0);
  EXPECT_THAT(out_, HasSubstr("setup.exe (BrimwellLoadProgram) "));
  EXPECT_TRUE(fs::is_empty(temp()));
  EXPECT_FALSE(fs::exists(log()));
}

TEST_F(SetupExeTest, ASetup1ThatIsNoArchiveIsCalledDamaged) {
  WriteHostFile(Dist("setup.1"), "These are the release notes, copied over the archive by mistake.\n");
  EXPECT_EQ(Run(Dist("setup.exe"), {}), 1);
  EXPECT_EQ(err_,
            "There was an error when trying to load the installation program\n"
            "LOADER: SETUP.1 is not an archive of the installation program, or the archive is damaged. "
            "Please copy the distributable files again\n");
}

}  // namespace
}  // namespace brimwell::testing
