// INI components: where the file lies, what is written and what is left
// alone, the veto event, the uninstall record, reading a project's lines
// from an existing file, and writes that fail (read-only file, a directory
// in the file's place, a full disk) leaving the file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "engine/path_specifier.h"
#include "platform/paths.h"
#include "platform/profile_strings.h"
#include "system/install_ini_file.h"
#include "system/system_errors.h"
#include "tests/system/system_fixture.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kOldWinIni[] = "; for 16-bit app support\r\n[fonts]\r\n[Mail]\r\nMAPI=1\r\n";

class InstallIniFileTest : public SystemTest {
 protected:
  TInstallINIFile* Ini(const std::string& name = "Ini") { return Find<TInstallINIFile>(name); }
  fs::path Host(const std::string& windows_path) { return machine_->GetPaths().ToHost(windows_path); }
  std::string Get(const std::string& file, const std::string& section, const std::string& key) {
    return machine_->GetProfileStrings().GetString(file, section, key, "(none)");
  }
  // The files of a host directory, to see that nothing was left behind.
  static std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(InstallIniFileTest, WritesIntoAWindowsFileAndTheProductsOwnFile) {
  WriteHostFile(Host("C:\\WINDOWS\\win.ini"), kOldWinIni);
  LoadWithDriver(R"(
    {"class": "TInstallINIFile", "name": "Win", "properties": {"Container": "Install1",
      "DestDirType": "psWindow", "FileName": "win.ini", "Lines": [
        {"Section": "Mail", "Ident": "MAPI", "Value": "2"},
        {"Section": "Tool", "Ident": "Home", "PathSpecifier": "psMainInstall", "Value": "%p\\bin"}]}},
    {"class": "TInstallINIFile", "name": "Own", "properties": {"Container": "Install1",
      "DestDirType": "psMainInstall", "DestDir": "\\conf\\", "FileName": "tool.ini", "Lines": [
        {"Section": "Main", "Ident": "Name", "Value": "Grüße, 日本語"},
        {"Section": "Main", "Ident": "Twice", "Value": "first"},
        {"Section": "Other", "Ident": "Plain", "Value": "100%%"},
        {"Section": "Main", "Ident": "Twice", "Value": "later"}]}})");
  EXPECT_EQ(Ini("Own")->FilePath(), "C:\\Program Files\\Tool\\conf\\tool.ini");  // one backslash
  Ini("Win")->Process();
  Ini("Own")->Process();

  EXPECT_EQ(ReadHostFile(Host("C:\\WINDOWS\\win.ini")),
            "; for 16-bit app support\r\n[fonts]\r\n[Mail]\r\nMAPI=2\r\n\r\n[Tool]\r\nHome=C:\\Program Files\\Tool\\bin\r\n");
  const std::string own = "C:\\Program Files\\Tool\\conf\\tool.ini";
  EXPECT_EQ(Get(own, "Main", "Name"), "Grüße, 日本語");
  EXPECT_EQ(Get(own, "Main", "Twice"), "later");
  EXPECT_EQ(Get(own, "Other", "Plain"), "100%%");
  EXPECT_THAT(machine_->GetProfileStrings().KeyNames(own, "Main"), ElementsAre("Name", "Twice"));

  // The records: the file path and every entry, the later of twins once.
  EXPECT_EQ(RecordString("INIFiles", "Entries"), "2");
  EXPECT_EQ(RecordString("INIFiles\\INIFile1", "FilePath"), "C:\\WINDOWS\\win.ini");
  EXPECT_EQ(RecordString("INIFiles\\INIFile1\\Entries\\Tool", "Home"), "C:\\Program Files\\Tool\\bin");
  EXPECT_EQ(RecordString("INIFiles\\INIFile2", "FilePath"), own);
  auto main_values = registry().ValueNames(kHKLM, std::string(kToolRecord) + "\\INIFiles\\INIFile2\\Entries\\Main");
  ASSERT_TRUE(main_values.ok());
  EXPECT_THAT(*main_values, ElementsAre("Name", "Twice"));
  EXPECT_EQ(RecordString("INIFiles\\INIFile2\\Entries\\Main", "Twice"), "later");

  std::string log = Log();
  EXPECT_THAT(log, HasSubstr("ini\twrite C:\\WINDOWS\\win.ini [Mail] \"MAPI\" \"2\"\n"));
  EXPECT_THAT(log, HasSubstr("uninstall\t" + std::string(kToolRecord) + "\\INIFiles\\INIFile2 \"" +
                             "C:\\\\Program Files\\\\Tool\\\\conf\\\\tool.ini\" 4 values\n"));
}

TEST_F(InstallIniFileTest, AVetoedValueLeavesItsKeyAloneButIsRecorded) {
  WriteHostFile(Host("C:\\WINDOWS\\app.ini"), "[S]\r\nKept=old\r\n");
  LoadWithDriver(R"(
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1",
      "DestDirType": "psWindow", "FileName": "app.ini", "Lines": [
        {"Section": "S", "Ident": "New", "Value": "1"},
        {"Section": "S", "Ident": "Kept", "Value": "new"},
        {"Section": "S", "Ident": "Last", "Value": "3"}]}})");
  Ini()->OnBeforeWriteEntry = [](TCustomInstallINIFile*, TINIEntry* entry, bool& go_on) {
    go_on = entry->Ident() != "Kept";
  };
  Ini()->Process();
  EXPECT_EQ(ReadHostFile(Host("C:\\WINDOWS\\app.ini")), "[S]\r\nKept=old\r\nNew=1\r\nLast=3\r\n");
  EXPECT_EQ(RecordString("INIFiles\\INIFile1\\Entries\\S", "Kept"), "new");
  EXPECT_THAT(Log(), HasSubstr("ini\tvetoed C:\\WINDOWS\\app.ini [S] \"Kept\" \"new\"\n"));
}

TEST_F(InstallIniFileTest, NoLinesMakeTheDirectoryButNoFile) {
  LoadWithDriver(R"(
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1",
      "DestDirType": "psMainInstall", "DestDir": "\\empty"}})");
  Ini()->Process();
  EXPECT_TRUE(fs::is_directory(Host("C:\\Program Files\\Tool\\empty")));
  EXPECT_FALSE(fs::exists(Host("C:\\Program Files\\Tool\\empty\\myapp.ini")));
  EXPECT_EQ(RecordString("INIFiles\\INIFile1", "FilePath"), "C:\\Program Files\\Tool\\empty\\myapp.ini");
  EXPECT_FALSE(registry().KeyExists(kHKLM, std::string(kToolRecord) + "\\INIFiles\\INIFile1\\Entries"));
}

TEST_F(InstallIniFileTest, ABlankDestinationWritesNothing) {
  LoadWithDriver(R"(
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1", "DestDirType": null,
      "DestDir": "  ", "Lines": [{"Section": "S", "Ident": "K", "Value": "v"}]}})");
  EXPECT_EQ(ErrorOf<IEInstallINIFile>([&] { Ini()->Process(); }), "The DestDir property is blank for Ini");
  EXPECT_FALSE(registry().KeyExists(kHKLM, std::string(kToolRecord) + "\\INIFiles"));
}

TEST_F(InstallIniFileTest, LoadFromIniFileReadsEveryValueInFileOrder) {
  WriteHostFile(Host("C:\\WINDOWS\\source.ini"),
                "[First]\r\nc=3\r\n; note\r\na=1\r\nb = \"quoted\" \r\n\r\n[Second]\r\nz=26\r\ny=\r\nx=24\r\n");
  LoadWithDriver(R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1",
                     "Lines": [{"Section": "Old", "Ident": "Gone"}]}})");
  Ini()->LoadFromINIFile("C:\\WINDOWS\\source.ini");
  std::vector<std::string> got;
  for (int i = 0; i < Ini()->Lines().Count(); ++i) {
    const TINIEntry& e = Ini()->Lines().Items(i);
    got.push_back(e.Section() + "/" + e.Ident() + "=" + e.Value());
    EXPECT_EQ(e.Owner(), Ini());
  }
  EXPECT_THAT(got, ElementsAre("First/c=3", "First/a=1", "First/b=quoted", "Second/z=26", "Second/y=", "Second/x=24"));
}

TEST_F(InstallIniFileTest, TextThatAnIniFileCannotHoldIsRefused) {
  LoadWithDriver(R"({"class": "TPathSpecifier", "name": "Odd"},
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1",
      "DestDirType": "psWindow", "FileName": "odd.ini", "Lines": [
        {"Section": "S", "Ident": "Good", "Value": "1"},
        {"Section": "S", "Ident": "Path", "PathSpecifier": "Odd", "Value": "%p"},
        {"Section": "S", "Ident": "After", "Value": "3"}]}})");
  TINIEntry& e = Ini()->Lines().Add();
  for (const std::string& bad : {std::string("a\nb"), std::string("a\r"), std::string("a\0b", 3)}) {
    EXPECT_THROW(e.SetValue(bad), IEINIEntry);
    EXPECT_THROW(e.SetSection(bad), IEINIEntry);
    EXPECT_THROW(e.SetIdent(bad), IEINIEntry);
  }
  EXPECT_EQ(ErrorOf<IEINIEntry>([&] { e.SetSection("a]b"); }), "An INI section name cannot hold \"]\"");
  for (const char* bad : {"a=b", "[x", ";x", " ", ""}) {
    EXPECT_EQ(ErrorOf<IEINIEntry>([&] { e.SetIdent(bad); }),
              "An INI key name cannot be blank, hold \"=\" or begin with \"[\" or \";\"")
        << bad;
  }
  EXPECT_EQ(e.Section(), "NewSection");
  EXPECT_EQ(e.Ident(), "NewIdent");
  e.SetValue("ok = \"quoted\" ; not a comment");
  Ini()->Lines().Delete(3);

  // A path that holds a line break is refused when it is written; what came
  // before stays and the rest is not written.
  Find<TPathSpecifier>("Odd")->OnGetPath = [](TComponent*, std::string& path) { path = "C:\\x\r\n[boot]\r\nshell=evil"; };
  EXPECT_EQ(ErrorOf<IEINIEntry>([&] { Ini()->Process(); }),
            "An INI file cannot hold line breaks or NUL characters in a section, key or value");
  EXPECT_EQ(ReadHostFile(Host("C:\\WINDOWS\\odd.ini")), "[S]\r\nGood=1\r\n");
}

TEST_F(InstallIniFileTest, AFailedWriteLeavesTheFileAsItWas) {
  LoadWithDriver(R"(
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1",
      "DestDirType": "psWindow", "FileName": "locked.ini", "Lines": [{"Section": "Mail", "Ident": "MAPI", "Value": "2"}]}})");
  const fs::path file = Host("C:\\WINDOWS\\locked.ini");

  // Read-only.
  WriteHostFile(file, kOldWinIni);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const auto before = Listing(file.parent_path());
  EXPECT_EQ(ErrorOf<IEInstallINIFile>([&] { Ini()->Process(); }), "Unable to write to C:\\WINDOWS\\locked.ini");
  EXPECT_EQ(ReadHostFile(file), kOldWinIni);
  EXPECT_FALSE(registry().KeyExists(kHKLM, std::string(kToolRecord) + "\\INIFiles"));  // no record

  // A directory in the file's place.
  fs::permissions(file, fs::perms::owner_all);
  fs::remove(file);
  fs::create_directory(file);
  EXPECT_EQ(ErrorOf<IEInstallINIFile>([&] { Ini()->Process(); }), "Unable to write to C:\\WINDOWS\\locked.ini");
  EXPECT_TRUE(fs::is_directory(file));
  EXPECT_TRUE(fs::is_empty(file));

  // A file where a directory must be made.
  WriteHostFile(Host("C:\\WINDOWS\\blocked"), "a file");
  Ini()->SetDestDir("\\blocked\\sub");
  EXPECT_EQ(ErrorOf<IEInstallINIFile>([&] { Ini()->Process(); }), "Unable to create directory C:\\WINDOWS\\blocked\\sub");
  Ini()->SetDestDir("");
  fs::remove(Host("C:\\WINDOWS\\blocked"));

  // A full disk: the file may not grow past its size.
  fs::remove(file);
  WriteHostFile(file, kOldWinIni);
  Ini()->Lines().Items(0).SetValue(std::string(200, 'x'));
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit small = old_limit;
  small.rlim_cur = sizeof kOldWinIni + 16;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error = ErrorOf<IEInstallINIFile>([&] { Ini()->Lines().Items(0).WriteToFile("C:\\WINDOWS\\locked.ini"); });
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(error, "Unable to write to C:\\WINDOWS\\locked.ini");
  EXPECT_EQ(ReadHostFile(file), kOldWinIni);
  EXPECT_EQ(Listing(file.parent_path()), before);  // no temporary file left
}

TEST_F(InstallIniFileTest, FileNameAndEntriesKeepTheirRules) {
  LoadWithDriver(R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1",
                     "Lines": [{"PathSpecifier": "psWindow"}]}})");
  EXPECT_EQ(Ini()->Lines().Items(0).Section(), "NewSection");
  EXPECT_EQ(Ini()->Lines().Items(0).Value(), "");  // stored only while loading
  Ini()->SetFileName("  ");
  EXPECT_EQ(Ini()->FileName(), "myapp.ini");
  Ini()->SetFileName("tool.ini");
  EXPECT_EQ(Ini()->FileName(), "tool.ini");

  TINIEntry& added = Ini()->Lines().AddEntry("S", "K", "v");
  added.SetPathSpecifier(Find<TCustomPathSpecifier>("psSystem"));
  EXPECT_EQ(added.Value(), "%p");
  EXPECT_EQ(added.GetResolvedValue(), "C:\\WINDOWS\\SYSTEM32");
  added.SetPathSpecifier(nullptr);
  EXPECT_EQ(added.GetResolvedValue(), "%p");
  EXPECT_EQ(ErrorOf<IEINIEntries>([] { TINIEntries entries(nullptr); }),
            "Cannot create a TINIEntries component with a Nil Owner");
}

}  // namespace
}  // namespace brimwell::testing
