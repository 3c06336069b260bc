#include "platform/processes.h"

#include <sys/stat.h>

#include "platform/linux_processes.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::Eventually;
using testing::PrefixTest;
using testing::ReadHostFile;
using testing::WriteHostFile;

class ProcessesTest : public PrefixTest {
 protected:
  Processes& processes() { return machine().GetProcesses(); }
  // A program of the machine: a shell script that appends its arguments to
  // `log`, one per line.
  void MakeScript(const std::filesystem::path& host, const std::filesystem::path& log, bool executable = false) {
    WriteHostFile(host, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log.string() + "'; done\n" +
                            "echo \"prefix=$BRIMWELL_PREFIX show=$BRIMWELL_SHOW_STATE\" >> '" + log.string() + "'\n" +
                            "exit 3\n");
    if (executable) std::filesystem::permissions(host, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
  }
};

TEST_F(ProcessesTest, WinExecStartsProgramsAndAnswersLikeWindows) {
  std::filesystem::path log = dir_.path() / "log.txt";
  MakeScript(drive_c() / "Program Files" / "Acme" / "run me.exe", log);
  // Unquoted, with blanks: found as Windows finds it; quotes group arguments.
  EXPECT_GT(processes().WinExec("C:\\Program Files\\Acme\\run me.exe -s\"C:\\a b\" -c", ShowState::kHide), 31u);
  ASSERT_TRUE(Eventually([&] { return ReadHostFile(log).find("prefix=") != std::string::npos; }));
  EXPECT_EQ(ReadHostFile(log), "-sC:\\a b\n-c\nprefix=" + prefix_dir().string() + " show=0\n");

  EXPECT_EQ(processes().WinExec("C:\\WINDOWS\\missing.exe", ShowState::kShow), kExecFileNotFound);
  EXPECT_EQ(processes().WinExec("C:\\Program Files\\Acme\\missing.exe", ShowState::kShow), kExecFileNotFound);
  EXPECT_EQ(processes().WinExec("C:\\NoDir\\missing.exe -x", ShowState::kShow), kExecPathNotFound);
  WriteHostFile(drive_c() / "pe.exe", std::string("MZ\x90\0", 4) + std::string(100, '\0'));
  EXPECT_EQ(processes().WinExec("C:\\pe.exe", ShowState::kShow), kExecBadFormat);
  WriteHostFile(drive_c() / "readme.txt", "just text");
  EXPECT_EQ(processes().WinExec("C:\\readme.txt", ShowState::kShow), kExecBadFormat);
}

TEST_F(ProcessesTest, RunAndWaitGivesTheExitCode) {
  std::filesystem::path log = dir_.path() / "log.txt";
  MakeScript(drive_c() / "WINDOWS" / "tool", log);
  // A bare name is found in the system and Windows directories; ".exe" may
  // be left out.
  auto code = processes().RunAndWait("tool one", ShowState::kShowNormal);
  ASSERT_TRUE(code.ok());
  EXPECT_EQ(*code, 3);
  EXPECT_EQ(ReadHostFile(log).substr(0, 4), "one\n");
  EXPECT_EQ(processes().RunAndWait("nothing", ShowState::kShow).error(), kErrorFileNotFound);
}

TEST_F(ProcessesTest, LibrariesLoadAndEntryPointsAreFoundByName) {
  std::filesystem::copy_file(BRIMWELL_PLATFORM_TEST_LIBRARY, drive_c() / "WINDOWS" / "SYSTEM32" / "ctl.ocx");
  auto library = processes().LoadLibrary("C:\\WINDOWS\\SYSTEM32\\CTL.OCX");
  ASSERT_TRUE(library.ok()) << library.error();
  auto answer = reinterpret_cast<int (*)()>((*library)->GetProcAddress("Answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_NE((*library)->GetProcAddress("DllRegisterServer"), nullptr);
  EXPECT_EQ((*library)->GetProcAddress("DllUnregisterServer"), nullptr);
  // A loaded library is in use.
  EXPECT_EQ(files().DeleteFile("C:\\WINDOWS\\SYSTEM32\\ctl.ocx").error(), kErrorSharingViolation);
  library->reset();
  EXPECT_TRUE(files().DeleteFile("C:\\WINDOWS\\SYSTEM32\\ctl.ocx").ok());

  std::filesystem::copy_file(BRIMWELL_PLATFORM_TEST_LIBRARY, drive_c() / "WINDOWS" / "SYSTEM32" / "helper.dll");
  EXPECT_TRUE(processes().LoadLibrary("helper").ok());  // ".dll" added, system directory searched
  WriteHostFile(drive_c() / "WINDOWS" / "SYSTEM32" / "WININET.DLL", std::string("MZ", 2) + std::string(200, '\0'));
  EXPECT_EQ(processes().LoadLibrary("WININET.DLL").error(), kErrorBadExeFormat);
  EXPECT_EQ(processes().LoadLibrary("C:\\none.dll").error(), kErrorModNotFound);
}

}  // namespace
}  // namespace brimwell
