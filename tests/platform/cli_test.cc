// The prefix, boot and reg subcommands of the developer's tool, run as a
// user runs them.
#include <cstdio>

#include "tests/platform/temp_prefix.h"
#include "tests/testutil/run.h"

namespace brimwell {
namespace {

using testing::ReadHostFile;
using testing::TempDir;
using testing::WriteHostFile;

class CliTest : public ::testing::Test {
 protected:
  std::string prefix() const { return (dir_.path() / "prefix").string(); }
  // Runs `brimwell ARGS` with standard error folded into the output.
  testing::RunResult Tool(const std::string& args) {
    return testing::RunShell("'" + std::string(BRIMWELL_BIN_DIR) + "/brimwell' " + args + " 2>&1");
  }
  std::string Reg(const std::string& args) { return "reg --prefix '" + prefix() + "' " + args; }
  TempDir dir_;
};

TEST_F(CliTest, PrefixInitAndInfo) {
  testing::RunResult info = Tool("prefix info '" + prefix() + "'");
  EXPECT_NE(info.status, 0);
  EXPECT_NE(info.out.find("There is no prefix in"), std::string::npos) << info.out;

  testing::RunResult init = Tool("prefix init '" + prefix() + "' --windows windows95 --language 0x0407");
  ASSERT_EQ(init.status, 0) << init.out;
  info = Tool("prefix info '" + prefix() + "'");
  ASSERT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("Windows:           Windows 95 family (version 4.0, build 950, platform 1)"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("User language:     0x0407"), std::string::npos);
  EXPECT_NE(info.out.find("System directory:  C:\\WINDOWS\\SYSTEM\n"), std::string::npos);
  EXPECT_NE(info.out.find("  C:  fixed     " + prefix() + "/drive_c"), std::string::npos);
  EXPECT_NE(info.out.find("  A:  removable " + prefix() + "/disks/a/1, disk 1 of 1457664 bytes"), std::string::npos);
  EXPECT_NE(info.out.find("  Z:  fixed     /"), std::string::npos);

  ASSERT_EQ(Tool("prefix disk '" + prefix() + "' 2").status, 0);
  EXPECT_NE(Tool("prefix info '" + prefix() + "'").out.find("disk 2 of"), std::string::npos);
}

TEST_F(CliTest, RegAddQueryDeleteAsRegExeDoes) {
  ASSERT_EQ(Tool("prefix init '" + prefix() + "'").status, 0);
  EXPECT_EQ(Tool(Reg("add 'HKLM\\SOFTWARE\\Acme' /v Name /t REG_SZ /d 'Acme Tool'")).out,
            "The operation completed successfully.\n");
  ASSERT_EQ(Tool(Reg("add 'HKLM\\SOFTWARE\\Acme' /v Count /t REG_DWORD /d 10")).status, 0);
  ASSERT_EQ(Tool(Reg("add 'HKLM\\SOFTWARE\\Acme' /v Blob /t REG_BINARY /d 01ff")).status, 0);
  ASSERT_EQ(Tool(Reg("add 'HKLM\\SOFTWARE\\Acme\\Sub' /ve /d dflt")).status, 0);
  testing::RunResult query = Tool(Reg("query 'hklm\\software\\acme'"));
  EXPECT_EQ(query.out,
            "HKEY_LOCAL_MACHINE\\software\\acme\n"
            "    Name    REG_SZ    Acme Tool\n"
            "    Count    REG_DWORD    0xa\n"
            "    Blob    REG_BINARY    01FF\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\software\\acme\\Sub\n");
  EXPECT_EQ(Tool(Reg("query 'HKLM\\SOFTWARE\\Acme' /v count")).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\n    count    REG_DWORD    0xa\n");
  testing::RunResult missing = Tool(Reg("query 'HKLM\\SOFTWARE\\Nothing'"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "ERROR: The system was unable to find the specified registry key or value.\n");
  EXPECT_EQ(Tool(Reg("add 'HKLM\\SOFTWARE\\Acme' /v Bad /t REG_DWORD /d ten")).status, 1);
  EXPECT_EQ(Tool(Reg("query 'HKXX\\SOFTWARE'")).status, 1);

  ASSERT_EQ(Tool(Reg("delete 'HKLM\\SOFTWARE\\Acme' /v Blob /f")).status, 0);
  EXPECT_EQ(Tool(Reg("query 'HKLM\\SOFTWARE\\Acme' /v Blob")).status, 1);
  ASSERT_EQ(Tool(Reg("delete 'HKLM\\SOFTWARE\\Acme' /f")).status, 0);
  EXPECT_EQ(Tool(Reg("query 'HKLM\\SOFTWARE\\Acme'")).status, 1);
}

TEST_F(CliTest, RegExportAndImport) {
  ASSERT_EQ(Tool("prefix init '" + prefix() + "'").status, 0);
  ASSERT_EQ(Tool(Reg("add 'HKCU\\Software\\Acme' /v Path /d 'C:\\Acme'")).status, 0);
  testing::RunResult exported = Tool(Reg("export 'HKCU\\Software\\Acme' -"));
  ASSERT_EQ(exported.status, 0);
  EXPECT_EQ(exported.out,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Acme]\n"
            "\"Path\"=\"C:\\\\Acme\"\n\n");
  std::filesystem::path file = dir_.path() / "all.reg";
  ASSERT_EQ(Tool(Reg("export '" + file.string() + "'")).status, 0);
  EXPECT_NE(ReadHostFile(file).find("[HKEY_USERS\\.DEFAULT\\Software\\Acme]"), std::string::npos);

  WriteHostFile(dir_.path() / "in.reg",
                "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Imported]\r\n"
                "\"Size\"=dword:00000020\r\n");
  ASSERT_EQ(Tool(Reg("import '" + (dir_.path() / "in.reg").string() + "'")).status, 0);
  EXPECT_EQ(Tool(Reg("query 'HKLM\\SOFTWARE\\Imported' /v Size")).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Imported\n    Size    REG_DWORD    0x20\n");
  WriteHostFile(dir_.path() / "bad.reg", "Windows Registry Editor Version 5.00\n\"x\"=\"y\"\n");
  testing::RunResult bad = Tool(Reg("import '" + (dir_.path() / "bad.reg").string() + "'"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("line 2: a value before any [key]"), std::string::npos) << bad.out;
}

TEST_F(CliTest, BootRunsTheStartUpSequence) {
  ASSERT_EQ(Tool("prefix init '" + prefix() + "'").status, 0);
  std::filesystem::path log = dir_.path() / "boot.log";
  WriteHostFile(dir_.path() / "prefix" / "drive_c" / "resume.sh", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + log.string() + "'\n");
  ASSERT_EQ(Tool(Reg("add 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce' /v BrimwellUnfinished "
                     "/d '\"C:\\resume.sh\" -r -s\"C:\\Setup Dir\"'"))
                .status,
            0);
  testing::RunResult boot = Tool("boot --prefix '" + prefix() + "'");
  EXPECT_EQ(boot.status, 0) << boot.out;
  EXPECT_EQ(ReadHostFile(log), "-r -sC:\\Setup Dir\n");
  EXPECT_NE(boot.out.find("run HKEY_LOCAL_MACHINE BrimwellUnfinished: \"C:\\resume.sh\""), std::string::npos) << boot.out;
  EXPECT_EQ(Tool(Reg("query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce' /v BrimwellUnfinished")).status, 1);
}

}  // namespace
}  // namespace brimwell
