// The real setupengine with registry and INI components, bound by
// `brimwell bind` and run offscreen and unattended on a temporary prefix.
// What it leaves is read back by other programs: the registry through
// `brimwell reg export` (and imported again into a fresh prefix, which must
// give the same values byte for byte), the INI files through Python's
// configparser.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/engine/engine_fixture.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;
constexpr RegistryHive kHKCU = RegistryHive::kCurrentUser;

constexpr char kProject[] = R"json({"format": "brimwell-project/1", "components": [
  {"class": "TInstall", "name": "Install1", "properties": {"DestDirType": "psProgramFiles", "DestDir": "\\Tool",
    "Information": {"CompanyName": "Acme", "ProductName": "Tool", "Version": "2.1"}}},
  {"class": "TInstallRegistry", "name": "RegAbs", "properties": {"Container": "Install1",
    "Key": "\\SOFTWARE\\Vendor\\App\\", "RootKey": "hkCurrentUser", "Entries": [
      {"Ident": "Lines", "Text": "one\r\ntwo\n"},
      {"Ident": "Nul", "Text": "a\u0000b"},
      {"Ident": "Wide", "Text": "Grüße, 日本語"},
      {"Ident": "Min", "EntryType": "retInteger", "Integer": -2147483648},
      {"Ident": "Max", "EntryType": "retInteger", "Integer": 2147483647},
      {"Ident": "Yes", "EntryType": "retBoolean", "Boolean": true},
      {"Ident": "Home", "PathSpecifier": "psMainInstall", "Text": "%p\\bin"}]}},
  {"class": "TInstallRegistry", "name": "RegCompany", "properties": {"Container": "Install1",
    "KeySpecifierType": "ksCompanyName", "Entries": [{"Ident": "Company", "Text": "yes"}]}},
  {"class": "TInstallRegistry", "name": "RegProduct", "properties": {"Container": "Install1",
    "KeySpecifierType": "ksProductName", "RootKey": "hkUsers", "Entries": [{"Ident": "Product", "Text": "yes"}]}},
  {"class": "TInstallRegistry", "name": "RegVersion", "properties": {"Container": "Install1",
    "KeySpecifierType": "ksVersion", "Entries": [
      {"Ident": "Installed", "EntryType": "retBoolean", "Boolean": true},
      {"Ident": "Path", "PathSpecifier": "psMainInstall", "Text": "%p"}]}},
  {"class": "TInstallRegistry", "name": "RegClasses", "properties": {"Container": "Install1",
    "Key": ".tool", "RootKey": "hkClassesRoot", "Entries": [{"Ident": "", "Text": "Tool.Document"}]}},
  {"class": "TInstallINIFile", "name": "WinIni", "properties": {"Container": "Install1",
    "DestDirType": "psWindow", "FileName": "win.ini", "Lines": [
      {"Section": "Mail", "Ident": "MAPI", "Value": "2"},
      {"Section": "Tool", "Ident": "Home", "PathSpecifier": "psMainInstall", "Value": "%p"}]}},
  {"class": "TInstallINIFile", "name": "OwnIni", "properties": {"Container": "Install1",
    "DestDirType": "psMainInstall", "FileName": "tool.ini", "Lines": [
      {"Section": "Main", "Ident": "Name", "Value": "Grüße, 日本語"},
      {"Section": "Main", "Ident": "Ratio", "Value": "100% = all; really"},
      {"Section": "Paths", "Ident": "Data", "PathSpecifier": "psMainInstall", "Value": "%p\\data"}]}}]})json";

constexpr char kOldWinIni[] = "; for 16-bit app support\r\n[fonts]\r\n[Mail]\r\nMAPI=1\r\n";

// Prints the sections of an INI file as JSON, read by configparser with
// duplicates refused, names kept as written and no interpolation.
constexpr char kIniReader[] = R"py(import configparser, json, sys
p = configparser.ConfigParser(interpolation=None)
p.optionxform = str
with open(sys.argv[1], encoding="utf-8") as f:
    p.read_file(f)
print(json.dumps({s: dict(p[s]) for s in p.sections()}, ensure_ascii=False))
)py";

class SystemEngineTest : public ::testing::Test, protected ProgramRunner {
 protected:
  using ProgramRunner::Run;

  void SetUp() override {
    WriteHostFile(tmp_.path() / "project.json", kProject);
    WriteHostFile(tmp_.path() / "ini_reader.py", kIniReader);
    // The prefix exists before the run, with a win.ini of its own.
    OpenMachine(prefix()).reset();
    WriteHostFile(prefix() / "drive_c" / "WINDOWS" / "win.ini", kOldWinIni);
  }

  int Install() {
    fs::path engine = Bind();
    fs::create_directories(tmp_.path() / "dist");
    return Run(engine, {"-s" + (tmp_.path() / "dist").string()});
  }

  // The registry text `brimwell reg export` writes for `key`.
  std::string Export(const std::string& key) {
    EXPECT_EQ(Brimwell({"reg", "--prefix", prefix().string(), "export", key, "-"}), 0) << err_;
    return out_;
  }
  // Python's reading of an INI file of the prefix (a host path).
  std::string PythonReads(const fs::path& ini) {
    EXPECT_EQ(Run("/usr/bin/python3", {(tmp_.path() / "ini_reader.py").string(), ini.string()}), 0) << err_;
    return out_;
  }

  fs::path WinIni() const { return prefix() / "drive_c" / "WINDOWS" / "win.ini"; }
};

TEST_F(SystemEngineTest, ValuesAndRecordsReadBackByOtherPrograms) {
  ASSERT_EQ(Install(), kExitOk) << err_;

  // The registry, as the registry editor's text.
  const std::string app = Export("HKCU\\SOFTWARE\\Vendor\\App");
  for (const char* line : {"\"Wide\"=\"Grüße, 日本語\"\n", "\"Min\"=dword:80000000\n", "\"Max\"=dword:7fffffff\n",
                           "\"Yes\"=dword:00000001\n", "\"Home\"=\"C:\\\\Program Files\\\\Tool\\\\bin\"\n"}) {
    EXPECT_THAT(app, HasSubstr(line));
  }
  EXPECT_THAT(Export("HKLM\\SOFTWARE\\Acme"), HasSubstr("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme]\n\"Company\"=\"yes\"\n"));
  EXPECT_THAT(Export("HKU\\SOFTWARE\\Acme\\Tool"), HasSubstr("\"Product\"=\"yes\"\n"));
  EXPECT_THAT(Export("HKLM\\SOFTWARE\\Acme\\Tool\\2.1"),
              HasSubstr("\"Installed\"=dword:00000001\n\"Path\"=\"C:\\\\Program Files\\\\Tool\"\n"));
  EXPECT_THAT(Export("HKCR\\.tool"), HasSubstr("@=\"Tool.Document\"\n"));

  // Imported into a fresh prefix, the export gives every value back exactly.
  const fs::path text = tmp_.path() / "app.reg";
  WriteHostFile(text, app);
  const fs::path other = tmp_.path() / "other";
  {
    auto machine = OpenMachine(other);
    (void)machine;
  }
  ASSERT_EQ(Brimwell({"reg", "--prefix", other.string(), "import", text.string()}), 0) << err_;
  auto original = OpenMachine(prefix(), PrefixCreation::kMustExist);
  auto copy = OpenMachine(other, PrefixCreation::kMustExist);
  auto values = original->GetRegistry().Values(kHKCU, "SOFTWARE\\Vendor\\App");
  ASSERT_TRUE(values.ok());
  ASSERT_EQ(values->size(), 7u);
  EXPECT_EQ((*values)[0].value, RegistryValue::String("one\r\ntwo\n"));
  EXPECT_EQ((*values)[1].value, RegistryValue::String(std::string_view("a\0b", 3)));
  for (const RegistryValueEntry& v : *values) {
    EXPECT_EQ(copy->GetRegistry().QueryValue(kHKCU, "SOFTWARE\\Vendor\\App", v.name), v.value) << v.name;
  }

  // The INI files, as Python reads them; win.ini keeps its other lines.
  EXPECT_EQ(PythonReads(WinIni()), "{\"fonts\": {}, \"Mail\": {\"MAPI\": \"2\"}, "
                                   "\"Tool\": {\"Home\": \"C:\\\\Program Files\\\\Tool\"}}\n");
  EXPECT_THAT(ReadHostFile(WinIni()), ::testing::StartsWith("; for 16-bit app support\r\n[fonts]\r\n"));
  EXPECT_EQ(PythonReads(prefix() / "drive_c" / "Program Files" / "Tool" / "tool.ini"),
            "{\"Main\": {\"Name\": \"Grüße, 日本語\", \"Ratio\": \"100% = all; really\"}, "
            "\"Paths\": {\"Data\": \"C:\\\\Program Files\\\\Tool\\\\data\"}}\n");

  // The uninstall record, laid out for the uninstall program.
  // "[@" stands for the record's key; the hive ordinals are HKCU 2,
  // HKLM 4, HKU 5, HKCR 0; numbers and Booleans are listed by name only.
  std::string expected = R"reg(Windows Registry Editor Version 5.00

[@]

[@\INIFiles]
"Entries"="2"

[@\INIFiles\INIFile1]
"FilePath"="C:\\WINDOWS\\win.ini"

[@\INIFiles\INIFile1\Entries]

[@\INIFiles\INIFile1\Entries\Mail]
"MAPI"="2"

[@\INIFiles\INIFile1\Entries\Tool]
"Home"="C:\\Program Files\\Tool"

[@\INIFiles\INIFile2]
"FilePath"="C:\\Program Files\\Tool\\tool.ini"

[@\INIFiles\INIFile2\Entries]

[@\INIFiles\INIFile2\Entries\Main]
"Name"="Grüße, 日本語"
"Ratio"="100% = all; really"

[@\INIFiles\INIFile2\Entries\Paths]
"Data"="C:\\Program Files\\Tool\\data"

[@\RegistryKeys]
"Entries"="5"

[@\RegistryKeys\RegistryKey1]
"Key"="\\SOFTWARE\\Vendor\\App"
"Root"=dword:00000002

[@\RegistryKeys\RegistryKey1\Entries]
"Lines"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,0a,00,00,00
"Nul"=hex(1):61,00,00,00,62,00,00,00
"Wide"="Grüße, 日本語"
"Min"=""
"Max"=""
"Yes"=""
"Home"="C:\\Program Files\\Tool\\bin"

[@\RegistryKeys\RegistryKey2]
"Key"="\\SOFTWARE\\Acme"
"Root"=dword:00000004

[@\RegistryKeys\RegistryKey2\Entries]
"Company"="yes"

[@\RegistryKeys\RegistryKey3]
"Key"="\\SOFTWARE\\Acme\\Tool"
"Root"=dword:00000005

[@\RegistryKeys\RegistryKey3\Entries]
"Product"="yes"

[@\RegistryKeys\RegistryKey4]
"Key"="\\SOFTWARE\\Acme\\Tool\\2.1"
"Root"=dword:00000004

[@\RegistryKeys\RegistryKey4\Entries]
"Installed"=""
"Path"="C:\\Program Files\\Tool"

[@\RegistryKeys\RegistryKey5]
"Key"=".tool"
"Root"=dword:00000000

[@\RegistryKeys\RegistryKey5\Entries]
@="Tool.Document"

)reg";
  for (std::size_t at; (at = expected.find("[@")) != std::string::npos;) {
    expected.replace(at, 2, "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool");
  }
  EXPECT_EQ(Export("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool"), expected);

  // One log line per value.
  const std::string log_text = ReadHostFile(log());
  EXPECT_THAT(log_text, HasSubstr("registry\twrite HKEY_CURRENT_USER\\SOFTWARE\\Vendor\\App \"Nul\" REG_SZ \"a\\0b\"\n"));
  EXPECT_THAT(log_text, HasSubstr("registry\twrite HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool\\2.1 \"Installed\" REG_DWORD 1\n"));
  EXPECT_THAT(log_text, HasSubstr("ini\twrite C:\\WINDOWS\\win.ini [Mail] \"MAPI\" \"2\"\n"));
}

TEST_F(SystemEngineTest, AnIniFileThatCannotBeWrittenEndsTheRunAndKeepsItsContent) {
  fs::permissions(WinIni(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Install(), kExitRunFailed);
  EXPECT_THAT(err_, HasSubstr("Unable to write to C:\\WINDOWS\\win.ini"));
  EXPECT_EQ(ReadHostFile(WinIni()), kOldWinIni);
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("error\tIEInstallINIFile: Unable to write to C:\\WINDOWS\\win.ini"));
  // The registry components come after the INI files: nothing of theirs.
  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKCU, "SOFTWARE\\Vendor\\App"));
}

TEST_F(SystemEngineTest, BindRefusesABadEntryNamingComponentEntryAndProperty) {
  std::string project = kProject;
  project.replace(project.find("100% = all; really"), 18, "two\\nlines");
  WriteHostFile(tmp_.path() / "project.json", project);
  fs::create_directories(tmp_.path() / "engine");
  EXPECT_NE(Brimwell({"bind", (tmp_.path() / "project.json").string(), (tmp_.path() / "engine" / "x").string(),
                      "--engine", (fs::path(BRIMWELL_BIN_DIR) / "setupengine").string()}),
            0);
  EXPECT_THAT(err_, HasSubstr("component \"OwnIni\" (TInstallINIFile), property \"Lines[1].Value\": An INI file "
                              "cannot hold line breaks or NUL characters in a section, key or value"));
  EXPECT_FALSE(fs::exists(tmp_.path() / "engine" / "x"));
}

TEST_F(SystemEngineTest, BrimwellIniFillsAComponentsLinesFromAFile) {
  WriteHostFile(tmp_.path() / "settings.ini",
                "[First]\r\nc=3\r\n; note\r\na=1\r\nb = \"Grüße\" \r\n[Second]\r\nz=26\r\ny=\r\nx=24\r\n");
  const std::string project = (tmp_.path() / "project.json").string();
  ASSERT_EQ(Brimwell({"ini", project, "OwnIni", (tmp_.path() / "settings.ini").string()}), 0) << err_;
  EXPECT_EQ(out_, "OwnIni: 6 lines from " + (tmp_.path() / "settings.ini").string() + "\n");
  const std::string text = ReadHostFile(tmp_.path() / "project.json");
  std::vector<std::string> lines;
  for (std::size_t at = 0; (at = text.find("\"Section\": \"", at)) != std::string::npos; ++at) {
    const std::size_t end = text.find('}', at);
    lines.push_back(text.substr(at, end - at));
  }
  // Only the component's Lines changed: the other INI component keeps its two.
  ASSERT_EQ(lines.size(), 8u) << text;
  EXPECT_THAT(text, HasSubstr("\"Ident\": \"c\",\n            \"Section\": \"First\",\n            \"Value\": \"3\""));
  EXPECT_THAT(text, HasSubstr("\"Ident\": \"b\",\n            \"Section\": \"First\",\n            \"Value\": \"Grüße\""));
  EXPECT_THAT(text, HasSubstr("\"Section\": \"Mail\""));
  EXPECT_THAT(text, HasSubstr("\"Text\": \"one\\r\\ntwo\\n\""));  // other components as they were
  EXPECT_EQ(text.find("Ratio"), std::string::npos);

  ASSERT_EQ(Install(), kExitOk) << err_;
  EXPECT_EQ(PythonReads(prefix() / "drive_c" / "Program Files" / "Tool" / "tool.ini"),
            "{\"First\": {\"c\": \"3\", \"a\": \"1\", \"b\": \"Grüße\"}, "
            "\"Second\": {\"z\": \"26\", \"y\": \"\", \"x\": \"24\"}}\n");

  EXPECT_EQ(Brimwell({"ini", project, "RegAbs", (tmp_.path() / "settings.ini").string()}), 1);
  EXPECT_THAT(err_, HasSubstr("The project has no INI component named RegAbs"));
}

}  // namespace
}  // namespace brimwell::testing
