// The uninstaller on a temporary prefix, with records written as the
// install components write them: what it removes, what it keeps and why,
// damaged records, shared files, files in use, Program Manager items.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "engine/uninstall_record.h"
#include "framework/sha256.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/profile_strings.h"
#include "platform/program_manager.h"
#include "platform/registry.h"
#include "platform/startup_sequence.h"
#include "uninstall/prefix_snapshot.h"
#include "uninstall/product_record.h"
#include "uninstall/uninstaller.h"

namespace brimwell {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr RegistryHive kHklm = RegistryHive::kLocalMachine;
constexpr char kRecord[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool";
constexpr char kShared[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kDir[] = "C:\\Program Files\\Tool";

class UninstallerTest : public ::testing::Test {
 protected:
  UninstallerTest() {
    std::string pattern = (fs::temp_directory_path() / "brimwell-uninstall-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    tmp_ = pattern;
    machine_ = OpenMachine(tmp_ / "prefix");
  }
  ~UninstallerTest() override {
    machine_.reset();
    std::error_code ec;
    fs::remove_all(tmp_, ec);
  }

  Registry& Reg() { return machine_->GetRegistry(); }
  FileSystem& Fs() { return machine_->GetFileSystem(); }
  fs::path Host(const std::string& path) { return machine_->GetPaths().ToHost(path); }

  void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(Host(path).parent_path());
    std::ofstream(Host(path), std::ios::binary) << text;
  }
  std::string ReadHostFileText(const std::string& path) {
    std::ifstream in(Host(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Installs a file as the engine does: the file, its place in a list and
  // its digest.
  void Install(const std::string& path, const std::string& text, const std::string& list = "Files") {
    WriteFile(path, text);
    Append(list, path);
    ASSERT_TRUE(Reg().WriteString(kHklm, std::string(kRecord) + "\\FileDigests", path,
                                  std::to_string(text.size()) + ";" + Sha256Hex(text)).ok());
  }
  void Append(const std::string& list, const std::string& data) {
    const std::string key = std::string(kRecord) + "\\" + list;
    int n = std::stoi(Reg().FindString(kHklm, key, "Entries").value_or("0")) + 1;
    ASSERT_TRUE(Reg().WriteString(kHklm, key, "File" + std::to_string(n), data).ok());
    ASSERT_TRUE(Reg().WriteString(kHklm, key, "Entries", std::to_string(n)).ok());
  }
  void Name() { ASSERT_TRUE(Reg().WriteString(kHklm, kRecord, "DisplayName", "Tool").ok()); }

  UninstallReport Uninstall(const std::string& product = "Tool") {
    ProductRecord record = ReadProductRecord(Reg(), product);
    EXPECT_TRUE(record.exists);
    return Uninstaller(*machine_, std::move(record)).Run();
  }
  static const UninstallStep* StepFor(const UninstallReport& report, const std::string& what) {
    for (const UninstallStep& s : report.steps) {
      if (s.what == what) return &s;
    }
    return nullptr;
  }

  fs::path tmp_;
  std::unique_ptr<Machine> machine_;
};

TEST_F(UninstallerTest, RemovesFilesValuesAndFoldersButNotTheMachinesOwn) {
  Name();
  Install(std::string(kDir) + "\\bin\\tool.exe", "program");
  Install(std::string(kDir) + "\\readme.txt", "readme");
  ASSERT_TRUE(Reg().WriteString(kHklm, "SOFTWARE\\Acme\\Tool", "Path", kDir).ok());
  ASSERT_TRUE(Reg().WriteDword(kHklm, "SOFTWARE\\Acme\\Tool", "Runs", 3).ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, "SOFTWARE\\Acme", "Other", "kept").ok());
  const std::string rk = std::string(kRecord) + "\\RegistryKeys\\RegistryKey1";
  ASSERT_TRUE(Reg().WriteString(kHklm, std::string(kRecord) + "\\RegistryKeys", "Entries", "1").ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, rk, "Key", "\\SOFTWARE\\Acme\\Tool").ok());
  ASSERT_TRUE(Reg().WriteDword(kHklm, rk, "Root", 4).ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, rk + "\\Entries", "Path", kDir).ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, rk + "\\Entries", "Runs", "").ok());

  UninstallReport report = Uninstall();
  EXPECT_TRUE(report.Complete());
  EXPECT_TRUE(report.record_removed);
  EXPECT_FALSE(fs::exists(Host(kDir)));
  EXPECT_TRUE(Fs().DirectoryExists("C:\\Program Files"));
  EXPECT_FALSE(Reg().KeyExists(kHklm, "SOFTWARE\\Acme\\Tool"));
  // The company key still holds another value.
  EXPECT_EQ(Reg().FindString(kHklm, "SOFTWARE\\Acme", "Other"), "kept");
  EXPECT_FALSE(Reg().KeyExists(kHklm, kRecord));
  // A second run finds nothing to do.
  EXPECT_FALSE(ReadProductRecord(Reg(), "Tool").exists);
}

TEST_F(UninstallerTest, KeepsWhatChangedSinceTheInstallation) {
  Name();
  Install(std::string(kDir) + "\\settings.cfg", "as installed");
  Install(std::string(kDir) + "\\tool.exe", "program");
  WriteFile(std::string(kDir) + "\\settings.cfg", "changed by the user");
  WriteFile(std::string(kDir) + "\\notes.txt", "the user's own file");
  // An INI file with a value the user changed and one of the user's own.
  const std::string ini = std::string(kDir) + "\\tool.ini";
  WriteFile(ini, "[Window]\r\nMax=1\r\nLeft=10\r\n[Mine]\r\nColour=red\r\n");
  const std::string ik = std::string(kRecord) + "\\INIFiles\\INIFile1";
  ASSERT_TRUE(Reg().WriteString(kHklm, std::string(kRecord) + "\\INIFiles", "Entries", "1").ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, ik, "FilePath", ini).ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, ik + "\\Entries\\Window", "Max", "0").ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, ik + "\\Entries\\Window", "Left", "10").ok());

  UninstallReport report = Uninstall();
  const UninstallStep* kept = StepFor(report, "file " + std::string(kDir) + "\\settings.cfg");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->outcome, StepOutcome::kKeptChanged);
  EXPECT_TRUE(report.KeptChanged());
  EXPECT_EQ(ReadHostFileText(std::string(kDir) + "\\settings.cfg"), "changed by the user");
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\tool.exe"));
  EXPECT_TRUE(Fs().FileExists(std::string(kDir) + "\\notes.txt"));
  ProfileStrings& profile = machine_->GetProfileStrings();
  EXPECT_EQ(profile.GetString(ini, "Window", "Max", "gone"), "1");
  EXPECT_EQ(profile.GetString(ini, "Window", "Left", "gone"), "gone");
  EXPECT_EQ(profile.GetString(ini, "Mine", "Colour", "gone"), "red");
  // The product is gone; what the user made stays theirs.
  EXPECT_TRUE(report.record_removed);
}

TEST_F(UninstallerTest, SharedFileGoesWithTheLastProductThatCountsIt) {
  const std::string dll = "C:\\WINDOWS\\SYSTEM32\\shared.dll";
  WriteFile(dll, "shared library");
  for (const char* product : {"Tool", "Other"}) {
    const std::string key = std::string("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + product;
    ASSERT_TRUE(Reg().WriteString(kHklm, key + "\\Files", "File1", dll).ok());
    ASSERT_TRUE(Reg().WriteString(kHklm, key + "\\Files", "Entries", "1").ok());
  }
  ASSERT_TRUE(Reg().WriteDword(kHklm, kShared, dll, 2).ok());

  UninstallReport first = Uninstall("Tool");
  EXPECT_TRUE(first.Complete());
  EXPECT_EQ(StepFor(first, "file " + dll)->outcome, StepOutcome::kShared);
  EXPECT_TRUE(Fs().FileExists(dll));
  EXPECT_EQ(Reg().FindDword(kHklm, kShared, dll), 1u);

  UninstallReport second = Uninstall("Other");
  EXPECT_EQ(StepFor(second, "file " + dll)->outcome, StepOutcome::kRemoved);
  EXPECT_FALSE(Fs().FileExists(dll));
  EXPECT_FALSE(Reg().KeyExists(kHklm, kShared));
  // The system folder is the machine's, empty or not.
  EXPECT_TRUE(Fs().DirectoryExists("C:\\WINDOWS\\SYSTEM32"));
}

TEST_F(UninstallerTest, DamagedRecordRemovesOnlyWhatItProves) {
  Name();
  // A host file outside the prefix, reachable as Z:.
  const fs::path outside = tmp_ / "outside.txt";
  std::ofstream(outside) << "not the product's";
  const std::string key = std::string(kRecord) + "\\Files";
  WriteFile(std::string(kDir) + "\\a.txt", "a");
  WriteFile(std::string(kDir) + "\\b.txt", "b");
  ASSERT_TRUE(Reg().WriteString(kHklm, key, "File1", std::string(kDir) + "\\a.txt").ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, key, "File2", "Z:" + outside.string()).ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, key, "File3", "C:\\Program Files\\..\\..\\..\\etc").ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, key, "File4", std::string(kDir) + "\\b.txt").ok());
  ASSERT_TRUE(Reg().WriteString(kHklm, key, "Entries", "many").ok());  // no number
  ASSERT_TRUE(Reg().WriteString(kHklm, std::string(kRecord) + "\\ActiveX", "Entries", "3").ok());  // no values
  ASSERT_TRUE(Reg().WriteString(kHklm, std::string(kRecord) + "\\ActiveX", "File1", "C:\\x.dll").ok());

  ProductRecord record = ReadProductRecord(Reg(), "Tool");
  EXPECT_EQ(record.files.size(), 4u);
  EXPECT_THAT(record.problems, ::testing::Contains(HasSubstr("is not a number")));
  EXPECT_THAT(record.problems, ::testing::Contains(HasSubstr("program or a library")));
  UninstallReport report = Uninstaller(*machine_, std::move(record)).Run();
  EXPECT_FALSE(report.Complete());
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_EQ(StepFor(report, "file Z:" + outside.string())->outcome, StepOutcome::kRefused);
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\a.txt"));
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\b.txt"));
}

TEST_F(UninstallerTest, FileInUseIsDeletedAtTheNextStartAndTheRecordKeepsIt) {
  Name();
  ASSERT_TRUE(Reg().WriteString(kHklm, kRecord, "UninstallString", std::string(kDir) + "\\uninstall.exe Tool").ok());
  WriteFile(std::string(kDir) + "\\uninstall.exe", "uninstaller");
  Install(std::string(kDir) + "\\busy.dll", "busy");
  Install(std::string(kDir) + "\\idle.txt", "idle");
  {
    auto held = Fs().Open(std::string(kDir) + "\\busy.dll", FileAccess::kRead, kShareRead,
                          FileDisposition::kOpenExisting);
    ASSERT_TRUE(held.ok());
    UninstallReport report = Uninstall();
    EXPECT_TRUE(report.Complete());
    EXPECT_TRUE(report.Scheduled());
    EXPECT_FALSE(report.record_removed);
  }
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\idle.txt"));
  // The record keeps only the file still to go, and the program to finish with.
  ProductRecord left = ReadProductRecord(Reg(), "Tool");
  ASSERT_EQ(left.files.size(), 1u);
  EXPECT_EQ(left.files[0].path, std::string(kDir) + "\\busy.dll");
  EXPECT_TRUE(left.problems.empty()) << left.problems[0];
  EXPECT_TRUE(Fs().FileExists(std::string(kDir) + "\\uninstall.exe"));

  RunStartupSequence(*machine_);
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\busy.dll"));
  UninstallReport again = Uninstall();
  EXPECT_TRUE(again.Complete());
  EXPECT_TRUE(again.record_removed);
  EXPECT_FALSE(fs::exists(Host(kDir)));
}

TEST_F(UninstallerTest, OnWindows95FilesInUseGoThroughWininitWithOneLineEach) {
  machine_->SetWindowsFamily(WindowsFamily::kWindows95);
  Name();
  WriteFile("C:\\WINDOWS\\WININIT.INI", "[Rename]\r\nC:\\OLD.DLL=C:\\NEW.DLL\r\n");
  Install(std::string(kDir) + "\\one.dll", "one");
  Install(std::string(kDir) + "\\two.dll", "two");
  {
    auto one = Fs().Open(std::string(kDir) + "\\one.dll", FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting);
    auto two = Fs().Open(std::string(kDir) + "\\two.dll", FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting);
    ASSERT_TRUE(one.ok() && two.ok());
    UninstallReport report = Uninstall();
    EXPECT_TRUE(report.Scheduled());
  }
  const std::string one = *Fs().GetShortPathName(std::string(kDir) + "\\one.dll");
  const std::string two = *Fs().GetShortPathName(std::string(kDir) + "\\two.dll");
  // The rename already waiting stays, and each deletion has its own line.
  EXPECT_EQ(ReadHostFileText("C:\\WINDOWS\\WININIT.INI"),
            "[Rename]\r\nNUL=" + one + "\r\nNUL=" + two + "\r\nC:\\OLD.DLL=C:\\NEW.DLL\r\n");
  RunStartupSequence(*machine_);
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\one.dll"));
  EXPECT_FALSE(Fs().FileExists(std::string(kDir) + "\\two.dll"));
}

TEST_F(UninstallerTest, ProgramManagerItemsGoWithTheirEmptyGroupOnOldShells) {
  machine_->SetWindowsFamily(WindowsFamily::kNT351);
  Name();
  ProgramManager manager(Reg());
  ASSERT_TRUE(manager.Execute("[CreateGroup(Tools)][AddItem(tool.exe,Tool)][AddItem(help.exe,Help)]"));
  ASSERT_TRUE(manager.Execute("[CreateGroup(Games)][AddItem(sol.exe,Tool)]"));
  const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs\\Tool\\Tools\\";
  Append("Files", programs + "Tool.lnk");
  Append("Files", programs + "Help.lnk");

  UninstallReport report = Uninstall();
  EXPECT_TRUE(report.Complete());
  EXPECT_NE(StepFor(report, "Program Manager item Tools\\Tool"), nullptr);
  EXPECT_NE(StepFor(report, "Program Manager group Tools"), nullptr);
  EXPECT_FALSE(manager.Group("Tools").has_value());
  // An item of the same name in another group is not the product's.
  ASSERT_TRUE(manager.Group("Games").has_value());
  EXPECT_EQ(manager.Group("Games")->items.size(), 1u);
  ASSERT_TRUE(manager.Execute("[DeleteGroup(Games)]"));

  // With its last group gone, Program Manager's key goes as well.
  ASSERT_TRUE(manager.Execute("[CreateGroup(Tools)][AddItem(tool.exe,Tool)]"));
  Append("Files", programs + "Tool.lnk");
  Uninstall();
  EXPECT_FALSE(Reg().KeyExists(RegistryHive::kCurrentUser, kProgramGroupsKey));
}

TEST(SnapshotTest, ComparesContentNotDatesAndSurvivesJson) {
  PrefixSnapshot before{{{"file", "C:\\a.txt", "1;aa", "2020-01-01 00:00:00"},
                         {"file", "C:\\b.txt", "1;bb", "2020-01-01 00:00:00"},
                         {"value", "HKEY_LOCAL_MACHINE\\X\\v", "REG_SZ:1", ""}}};
  PrefixSnapshot after{{{"file", "C:\\A.TXT", "1;aa", "2024-05-05 10:00:00"},
                        {"value", "HKEY_LOCAL_MACHINE\\X\\v", "REG_SZ:2", ""},
                        {"folder", "C:\\new", "", ""}}};
  const PrefixSnapshot reread = SnapshotFromJson(SnapshotToJson(before));
  EXPECT_TRUE(CompareSnapshots(before, reread).empty());
  const std::vector<SnapshotChange> changes = CompareSnapshots(before, after);
  EXPECT_EQ(ChangesToText(changes),
            "- file C:\\b.txt = 1;bb\n"
            "+ folder C:\\new\n"
            "~ value HKEY_LOCAL_MACHINE\\X\\v: REG_SZ:1 -> REG_SZ:2\n");
  EXPECT_THROW(SnapshotFromJson("{\"format\": \"other\"}"), Exception);
  EXPECT_THROW(SnapshotFromJson("[1"), Exception);
}

TEST(Sha256Test, KnownDigestsAcrossBlockBoundaries) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 pieces;
  const std::string million(1000000, 'a');
  for (std::size_t i = 0; i < million.size(); i += 999) pieces.Update(million.substr(i, 999));
  EXPECT_EQ(pieces.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace brimwell
