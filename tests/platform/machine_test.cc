#include "platform/machine.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "host/host_env.h"
#include "platform/file_system_wrapper.h"
#include "platform/platform_errors.h"
#include "platform/profile_strings.h"
#include "platform/user_language.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::PrefixTest;
using testing::TempDir;
using testing::WriteHostFile;

class MachineTest : public PrefixTest {};

TEST_F(MachineTest, AFreshPrefixHasWhatTheEngineReads) {
  for (const char* dir : {"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM32", "C:\\WINDOWS\\TEMP", "C:\\Program Files\\Common Files",
                          "C:\\WINDOWS\\Start Menu\\Programs\\Startup", "C:\\WINDOWS\\Desktop"}) {
    EXPECT_TRUE(files().DirectoryExists(dir)) << dir;
  }
  const char* shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  EXPECT_EQ(registry().ReadString(RegistryHive::kCurrentUser, shell, "Programs"), "C:\\WINDOWS\\Start Menu\\Programs");
  EXPECT_EQ(registry().ReadString(RegistryHive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                  "ProgramFilesDir"),
            "C:\\Program Files");
  EXPECT_EQ(machine().GetWindowsFamily(), WindowsFamily::kNT4);
  // A fresh prefix leaves its user language to the host locale.
  EXPECT_FALSE(machine().Config().user_default_lang_stated);
  EXPECT_EQ(machine().GetUserDefaultLangId(), LangIdOfLocale(HostMessagesLocale().name));
}

TEST_F(MachineTest, TheUserLanguageIsThePrefixsElseTheHostLocales) {
  // Restores the environment this test changes.
  struct SavedVariable {
    std::string name;
    std::optional<std::string> value;
    explicit SavedVariable(std::string n) : name(std::move(n)) {
      if (const char* v = ::getenv(name.c_str())) value = v;
    }
    ~SavedVariable() { value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str()); }
  };
  SavedVariable all("LC_ALL"), messages("LC_MESSAGES"), lang("LANG");
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_MESSAGES");
  ::setenv("LANG", "fr_CA.UTF-8", 1);
  EXPECT_EQ(machine().GetUserDefaultLangId(), 0x0C0C);
  ::setenv("LC_MESSAGES", "ru_RU.KOI8-R", 1);
  EXPECT_EQ(machine().GetUserDefaultLangId(), 0x0419);
  ::setenv("LC_ALL", "", 1);  // empty: not set
  EXPECT_EQ(machine().GetUserDefaultLangId(), 0x0419);

  machine().SetUserDefaultLangId(0x0407);
  Reopen();
  EXPECT_EQ(machine().GetUserDefaultLangId(), 0x0407);
  machine().ClearUserDefaultLangId();
  Reopen();
  EXPECT_FALSE(machine().Config().user_default_lang_stated);
  EXPECT_EQ(machine().GetUserDefaultLangId(), 0x0419);
}

TEST(UserLanguageTest, LocaleNamesMapToWindowsLanguages) {
  struct Case {
    const char* locale;
    std::uint16_t lang_id;
  };
  for (Case c : {Case{"de_DE.UTF-8", 0x0407}, Case{"de_AT@euro", 0x0C07}, Case{"de", 0x0407},
                 Case{"pt_BR.UTF-8", 0x0416}, Case{"pt_PT", 0x0816}, Case{"zh_TW.Big5", 0x0404},
                 Case{"zh_CN.GB18030", 0x0804}, Case{"he_IL.UTF-8", 0x040D}, Case{"en_GB", 0x0809},
                 Case{"ES_es", 0x0C0A}, Case{"vi_VN", 0x042A}, Case{"C", 0x0409}, Case{"POSIX", 0x0409},
                 Case{"", 0x0409}, Case{"tlh_QO", 0x0409}}) {
    EXPECT_EQ(LangIdOfLocale(c.locale), c.lang_id) << c.locale;
  }
}

TEST_F(MachineTest, ValuesAUserChangedSurviveOpening) {
  ASSERT_TRUE(registry().WriteString(RegistryHive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                     "ProgramFilesDir", "D:\\Programs\\").ok());
  Reopen();
  EXPECT_EQ(registry().ReadString(RegistryHive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                  "ProgramFilesDir"),
            "D:\\Programs\\");
}

TEST_F(MachineTest, TheWindowsPresentedIsStoredInThePrefix) {
  struct Case {
    WindowsFamily family;
    std::uint32_t platform, major, minor;
  };
  for (Case c : {Case{WindowsFamily::kWin32s, 0, 3, 10}, Case{WindowsFamily::kWindows95, 1, 4, 0},
                 Case{WindowsFamily::kNT351, 2, 3, 51}, Case{WindowsFamily::kNT4, 2, 4, 0}}) {
    machine().SetWindowsFamily(c.family);
    machine().SetUserDefaultLangId(0x0407);
    Reopen();
    WindowsVersion v = machine().GetWindowsVersion();
    EXPECT_EQ(v.platform_id, c.platform);
    EXPECT_EQ(v.major, c.major);
    EXPECT_EQ(v.minor, c.minor);
    EXPECT_EQ(machine().GetUserDefaultLangId(), 0x0407);
  }
  // The version text of NT 3.51 holds "3.5", which tells it from NT 4.
  WindowsVersion nt351 = VersionOf(WindowsFamily::kNT351);
  EXPECT_NE((std::to_string(nt351.major) + "." + std::to_string(nt351.minor)).find("3.5"), std::string::npos);
}

TEST_F(MachineTest, ABadConfigurationIsAClearError) {
  machine_.reset();
  WriteHostFile(prefix_dir() / "brimwell.ini", "[Windows]\nVersion=vista\n");
  try {
    OpenMachine(prefix_dir());
    FAIL() << "no error for an unknown version";
  } catch (const EPrefixError& e) {
    EXPECT_EQ(std::string(e.what()), "The prefix configuration " + (prefix_dir() / "brimwell.ini").string() +
                                         " has a bad value for Version: vista");
  }
}

TEST_F(MachineTest, APrefixMustExistWhenAskedSo) {
  TempDir other;
  EXPECT_THROW(OpenMachine(other.path() / "none", PrefixCreation::kMustExist), EPrefixError);
  EXPECT_FALSE(std::filesystem::exists(other.path() / "none"));
  EXPECT_TRUE(IsPrefix(prefix_dir()));
}

TEST_F(MachineTest, TheDefaultPrefixComesFromTheEnvironment) {
  const char* saved = std::getenv("BRIMWELL_PREFIX");
  std::string keep = saved ? saved : "";
  ::setenv("BRIMWELL_PREFIX", prefix_dir().c_str(), 1);
  EXPECT_EQ(DefaultPrefixDir(), prefix_dir());
  ::unsetenv("BRIMWELL_PREFIX");
  ::setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(DefaultPrefixDir(), std::filesystem::path("/data/home/brimwell/prefix"));
  ::unsetenv("XDG_DATA_HOME");
  if (saved) ::setenv("BRIMWELL_PREFIX", keep.c_str(), 1);
}

TEST_F(MachineTest, AWrapperStandsInForAServiceAndForwardsTheRest) {
  struct NoDisk : FileSystemWrapper {
    using FileSystemWrapper::FileSystemWrapper;
    std::int64_t DiskFree(int) override { return 1000; }
  };
  machine().InterposeFileSystem(std::make_unique<NoDisk>(files()));
  EXPECT_EQ(machine().GetFileSystem().DiskFree(3), 1000);
  EXPECT_TRUE(machine().GetFileSystem().DirectoryExists("C:\\WINDOWS"));
}

TEST_F(MachineTest, LaterServicesAttachByType) {
  struct Internet {
    int sessions = 0;
  };
  EXPECT_EQ(machine().Find<Internet>(), nullptr);
  machine().Attach(std::make_unique<Internet>());
  ASSERT_NE(machine().Find<Internet>(), nullptr);
  machine().Find<Internet>()->sessions = 2;
  EXPECT_EQ(machine().Find<Internet>()->sessions, 2);
}

TEST_F(MachineTest, OneProcessAtATimeHoldsTheInstallLockAndItGoesWithTheProcess) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    auto mine = OpenMachine(prefix_dir());
    int holder = 0;
    std::unique_ptr<host::File> lock = mine->TryLockInstall(holder);
    char ok = lock != nullptr ? 'y' : 'n';
    (void)::write(pipe_fds[1], &ok, 1);
    ::pause();  // killed by the test
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  char ok = 0;
  ASSERT_EQ(::read(pipe_fds[0], &ok, 1), 1);
  ::close(pipe_fds[0]);
  ASSERT_EQ(ok, 'y');
  int holder = 0;
  EXPECT_EQ(machine().TryLockInstall(holder), nullptr);
  EXPECT_EQ(holder, pid);
  // Killed, it leaves no lock behind.
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  std::unique_ptr<host::File> lock = machine().TryLockInstall(holder);
  EXPECT_NE(lock, nullptr);
  // Held here, a second attempt of this very process is refused too.
  EXPECT_EQ(machine().TryLockInstall(holder), nullptr);
  EXPECT_EQ(holder, ::getpid());
}

}  // namespace
}  // namespace brimwell
