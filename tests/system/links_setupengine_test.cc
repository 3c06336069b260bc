// The real setupengine with installed files, link groups and shortcuts, bound by `brimwell
// bind` and run offscreen and unattended on a temporary prefix: on Windows
// NT 4 every .LNK is read back by lnkinfo and by `brimwell prefix links`; on
// Windows NT 3.51 the same product makes Program Manager items instead,
// read back through the prefix's Program Manager, an existing item
// replaced.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "engine/engine_context.h"
#include "platform/dde.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/program_manager.h"
#include "platform/registry.h"
#include "tests/engine/engine_fixture.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// The product: an installed program and the uninstall program (their
// sources in SOURCE, a host directory), a main group with two sub-groups,
// links to the program (with arguments and a hot key), to the uninstall
// program, to a path below a specifier, to a group's folder, and a .URL.
constexpr char kProject[] = R"json({"format": "brimwell-project/1", "components": [
  {"class": "TInstall", "name": "Install1", "properties": {"DestDirType": "psProgramFiles", "DestDir": "\\Tool", "Information": {"CompanyName": "Acme", "ProductName": "Tool", "Version": "2.1"}}},
  {"class": "TInstallFile", "name": "AppExe", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "ArchiveFileType": "psContainerArchiveFile", "IncludeFromDir": "SOURCE", "FileName": "tool.exe", "DestName": "tool.exe"}},
  {"class": "TUninstallEXE", "name": "Uninstaller", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "ArchiveFileType": "psContainerArchiveFile", "IncludeFromDir": "SOURCE", "FileName": "uninstall.exe",
    "DestName": "uninstall.exe", "Net": false}},
  {"class": "TMainLinkGroup", "name": "Main", "properties": {"Container": "Install1", "DestDir": "\\Acme Tool"}},
  {"class": "TSubLinkGroup", "name": "Tools", "properties": {"Container": "Main", "DestDir": "\\Tools"}},
  {"class": "TSubLinkGroup", "name": "Help", "properties": {"Container": "Main", "DestDir": "\\Help"}},
  {"class": "TInstallSubLink", "name": "ToolLink", "properties": {"Container": "Tools", "LinkName": "Tool.lnk",
    "ObjectLink": "AppExe", "ObjectLocationType": "psObjectLink", "Parameters": "/open %i\\readme.txt",
    "HotKey": 1620}},
  {"class": "TInstallSubLink", "name": "UninstallLink", "properties": {"Container": "Tools",
    "LinkName": "Uninstall Tool.lnk", "ObjectLink": "Uninstaller", "ObjectLocationType": "psObjectLink",
    "Parameters": "replaced by the product name"}},
  {"class": "TInstallSubLink", "name": "Notes", "properties": {"Container": "Tools", "LinkName": "Notes.lnk",
    "ObjectLocationType": "psWindow", "ObjectLocation": "\\notepad.exe", "Parameters": "%i\\readme.txt"}},
  {"class": "TInstallSubLink", "name": "HelpFolder", "properties": {"Container": "Tools", "LinkName": "Help.lnk",
    "ObjectLink": "Help", "ObjectLocationType": "psObjectLink"}},
  {"class": "TInstallSubLink", "name": "Web", "properties": {"Container": "Help", "LinkName": "Web Site.url",
    "ObjectLocation": "http://example.org/tool?a=1"}}]})json";

constexpr char kPrograms[] = "C:\\WINDOWS\\Start Menu\\Programs";
constexpr char kRecord[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool\\Files";

class LinksEngineTest : public ::testing::Test, protected ProgramRunner {
 protected:
  using ProgramRunner::Run;

  // Makes the sources and files.1, binds the product and installs it on a
  // prefix presenting `windows`.
  int Install(const char* windows) {
    EXPECT_EQ(Brimwell({"prefix", "init", prefix().string(), "--windows", windows}), 0) << err_;
    const fs::path source = tmp_.path() / "source";
    WriteHostFile(source / "tool.exe", "the program");
    WriteHostFile(source / "uninstall.exe", "the uninstall program");
    fs::create_directories(dist());
    EXPECT_EQ(Brimwell({"archive", "create", (dist() / "files.1").string(), (source / "tool.exe").string(),
                        (source / "uninstall.exe").string(), "--full-names"}),
              0)
        << err_;
    std::string project = kProject;
    for (std::size_t at; (at = project.find("SOURCE")) != std::string::npos;) project.replace(at, 6, source.string());
    fs::path engine = Bind(project);
    const int status = Run(engine, {"-s" + dist().string()});
    if (status != 0) ADD_FAILURE() << ReadHostFile(log());
    return status;
  }
  fs::path Host(const std::string& windows_path) {
    return OpenMachine(prefix(), PrefixCreation::kMustExist)->GetPaths().ToHost(windows_path);
  }
  std::vector<std::string> RecordedFiles() {
    auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
    std::vector<std::string> files;
    auto values = machine->GetRegistry().Values(RegistryHive::kLocalMachine, kRecord);
    if (!values) return files;
    for (const RegistryValueEntry& v : *values) files.push_back(v.name + "=" + v.value.AsString(v.name));
    return files;
  }
};

TEST_F(LinksEngineTest, OnNT4EveryLinkIsAFileThatLnkinfoReads) {
  ASSERT_EQ(Install("nt4"), kExitOk) << err_;
  const std::string tools = std::string(kPrograms) + "\\Acme Tool\\Tools";
  const std::string help = std::string(kPrograms) + "\\Acme Tool\\Help";

  const std::string tool = LnkInfo(Host(tools + "\\Tool.lnk"));
  EXPECT_EQ(LnkField(tool, "Local path"), "C:\\Program Files\\Tool\\tool.exe") << tool;
  EXPECT_EQ(LnkField(tool, "Working directory"), "C:\\Program Files\\Tool") << tool;
  EXPECT_EQ(LnkField(tool, "Command line arguments"), "/open C:\\Program Files\\Tool\\readme.txt") << tool;
  EXPECT_EQ(LnkField(tool, "File size"), "11 bytes") << tool;  // the installed program's
  const std::string uninstall = LnkInfo(Host(tools + "\\Uninstall Tool.lnk"));
  EXPECT_EQ(LnkField(uninstall, "Local path"), "C:\\Program Files\\Tool\\uninstall.exe") << uninstall;
  EXPECT_EQ(LnkField(uninstall, "Working directory"), "C:\\Program Files\\Tool") << uninstall;
  EXPECT_EQ(LnkField(uninstall, "Command line arguments"), "Tool") << uninstall;
  const std::string notes = LnkInfo(Host(tools + "\\Notes.lnk"));
  EXPECT_EQ(LnkField(notes, "Local path"), "C:\\WINDOWS\\notepad.exe") << notes;
  EXPECT_EQ(LnkField(notes, "Working directory"), "C:\\WINDOWS") << notes;
  EXPECT_EQ(LnkField(notes, "Command line arguments"), "C:\\Program Files\\Tool\\readme.txt") << notes;
  EXPECT_EQ(LnkField(notes, "Relative path"), "..\\..\\..\\..\\notepad.exe") << notes;
  const std::string folder = LnkInfo(Host(tools + "\\Help.lnk"));
  EXPECT_EQ(LnkField(folder, "Local path"), help) << folder;
  EXPECT_EQ(LnkField(folder, "Working directory"), std::string(kPrograms) + "\\Acme Tool") << folder;
  EXPECT_EQ(LnkField(folder, "Command line arguments"), "") << folder;
  EXPECT_EQ(ReadHostFile(Host(help + "\\Web Site.url")), "[InternetShortcut]\r\nURL=http://example.org/tool?a=1\r\n");

  // What `brimwell prefix links` shows a user.
  ASSERT_EQ(Brimwell({"prefix", "links", prefix().string()}), 0) << err_ << out_;
  EXPECT_THAT(out_, HasSubstr(tools + "\\Tool.lnk\n  -> C:\\Program Files\\Tool\\tool.exe\n"
                                      "  arguments: /open C:\\Program Files\\Tool\\readme.txt\n"
                                      "  working directory: C:\\Program Files\\Tool\n  hot key: Ctrl+Alt+T\n"));
  EXPECT_THAT(out_, HasSubstr(tools + "\\Uninstall Tool.lnk\n  -> C:\\Program Files\\Tool\\uninstall.exe\n"
                                      "  arguments: Tool\n"));
  EXPECT_THAT(out_, HasSubstr(tools + "\\Help.lnk\n  -> " + help + "\n"));
  EXPECT_THAT(out_, HasSubstr(help + "\\Web Site.url\n  -> http://example.org/tool?a=1\n"));

  EXPECT_THAT(RecordedFiles(),
              ::testing::UnorderedElementsAre(
                  "Entries=6", "File1=C:\\Program Files\\Tool\\tool.exe", "File2=" + tools + "\\Tool.lnk",
                  "File3=" + tools + "\\Uninstall Tool.lnk", "File4=" + tools + "\\Notes.lnk",
                  "File5=" + tools + "\\Help.lnk", "File6=" + help + "\\Web Site.url"));
  const std::string log_text = ReadHostFile(log());
  for (const std::string& line : {"link\tfolder " + std::string(kPrograms) + "\\Acme Tool\n",
                                  "link\tfolder " + tools + "\n", "link\tfolder " + help + "\n",
                                  "link\tshortcut " + tools + "\\Notes.lnk -> C:\\WINDOWS\\notepad.exe",
                                  "link\tshortcut " + tools + "\\Uninstall Tool.lnk -> C:\\Program Files\\Tool\\uninstall.exe Tool",
                                  "link\tinternet shortcut " + help + "\\Web Site.url"}) {
    EXPECT_THAT(log_text, HasSubstr(line));
  }
}

TEST_F(LinksEngineTest, OnNT351TheSameProductMakesProgramManagerItems) {
  // An item of the product's is there from an earlier installation.
  ASSERT_EQ(Brimwell({"prefix", "init", prefix().string(), "--windows", "nt351"}), 0) << err_;
  {
    auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
    auto c = DdeOf(*machine).NewConversation();
    ASSERT_TRUE(c->Connect("PROGMAN", "PROGMAN"));
    ASSERT_TRUE(c->Execute("[CreateGroup(Tools)][AddItem(C:\\OLD\\notes.exe,Notes)][AddItem(other.exe,Other)]"));
  }
  ASSERT_EQ(Install("nt351"), kExitOk) << err_;

  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  ProgramManager progman(machine->GetRegistry());
  auto tools = progman.Group("Tools");
  ASSERT_TRUE(tools);
  ASSERT_EQ(tools->items.size(), 5u);
  EXPECT_EQ(tools->items[0].name, "Notes");  // replaced in its place
  EXPECT_EQ(tools->items[0].command_line, "\"C:\\WINDOWS\\notepad.exe\" C:\\Program Files\\Tool\\readme.txt");
  EXPECT_EQ(tools->items[0].default_dir, "C:\\WINDOWS");
  EXPECT_EQ(tools->items[1].name, "Other");
  EXPECT_EQ(tools->items[2].name, "Tool");
  EXPECT_EQ(tools->items[2].command_line,
            "\"C:\\Program Files\\Tool\\tool.exe\" /open C:\\Program Files\\Tool\\readme.txt");
  EXPECT_EQ(tools->items[2].default_dir, "C:\\Program Files\\Tool");
  EXPECT_EQ(tools->items[3].name, "Uninstall Tool");
  EXPECT_EQ(tools->items[3].command_line, "\"C:\\Program Files\\Tool\\uninstall.exe\" Tool");
  EXPECT_EQ(tools->items[4].name, "Help");
  EXPECT_EQ(tools->items[4].command_line, std::string(kPrograms) + "\\Acme Tool\\Help");
  machine.reset();

  // No link files; the Internet shortcut is a file on every shell.
  ASSERT_EQ(Brimwell({"prefix", "links", prefix().string()}), 0) << err_;
  EXPECT_THAT(out_, Not(HasSubstr(".lnk")));
  EXPECT_THAT(out_, HasSubstr("Web Site.url\n  -> http://example.org/tool?a=1\n"));
  ASSERT_EQ(Brimwell({"prefix", "groups", prefix().string()}), 0) << err_;
  EXPECT_THAT(out_, HasSubstr("Tools\n  Notes\n    command: \"C:\\WINDOWS\\notepad.exe\" "
                              "C:\\Program Files\\Tool\\readme.txt\n    directory: C:\\WINDOWS\n  Other\n"));
  EXPECT_THAT(ReadHostFile(log()), HasSubstr("progman\titem Tools\\Notes = \"C:\\WINDOWS\\notepad.exe\""));
}

}  // namespace
}  // namespace brimwell::testing
