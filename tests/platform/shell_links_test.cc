// Shell links written through the machine and read back by our reader and
// by lnkinfo; the reader against damaged files; the fault seam.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/shell_link_file.h"
#include "platform/shell_link_format.h"
#include "platform/shell_links.h"
#include "tests/platform/temp_prefix.h"
#include "tests/testutil/run.h"

namespace brimwell::testing {
namespace {

using ::testing::HasSubstr;

std::u16string Wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class ShellLinksTest : public ::testing::Test {
 protected:
  ShellLinksTest() : machine_(OpenMachine(tmp_.path() / "prefix")) {
    files().ForceDirectories("C:\\Program Files\\Tool");
    WriteHostFile(machine_->GetPaths().ToHost("C:\\Program Files\\Tool\\tool.exe"), "twelve bytes");
  }

  FileSystem& files() { return machine_->GetFileSystem(); }
  std::filesystem::path Host(std::string_view path) { return machine_->GetPaths().ToHost(path); }

  // Makes a link through the COM-shaped calls, as the engine does.
  HResult MakeLink(ShellLinks& links, std::string_view file, std::string_view target, std::string_view args,
                   std::string_view dir, std::uint16_t hot_key) {
    std::unique_ptr<ShellLinkObject> link;
    HResult r = links.CreateShellLink(link);
    if (!Succeeded(r)) return r;
    for (HResult step : {link->SetPath(target), link->SetHotkey(hot_key), link->SetArguments(args),
                         link->SetWorkingDirectory(dir)}) {
      if (!Succeeded(step)) return step;
    }
    return link->Save(Wide(file), true);
  }

  TempDir tmp_;
  std::unique_ptr<Machine> machine_;
};

TEST_F(ShellLinksTest, ALinkReadsBackExactlyHereAndInLnkinfo) {
  ShellLinks& links = ShellLinksOf(*machine_);
  const std::string file = "C:\\WINDOWS\\Start Menu\\Programs\\Vendor\\Tool.lnk";
  ASSERT_TRUE(files().ForceDirectories("C:\\WINDOWS\\Start Menu\\Programs\\Vendor"));
  const std::uint16_t hot_key = 0x0600 | 'T';  // Ctrl+Alt+T
  ASSERT_EQ(MakeLink(links, file, "C:\\Program Files\\Tool\\tool.exe", "/open \"a b.txt\"",
                     "C:\\Program Files\\Tool", hot_key),
            kSOk);

  auto read = links.ReadLink(file);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read->Target(), "C:\\Program Files\\Tool\\tool.exe");
  EXPECT_EQ(read->arguments, "/open \"a b.txt\"");
  EXPECT_EQ(read->working_directory, "C:\\Program Files\\Tool");
  EXPECT_EQ(read->relative_path, "..\\..\\..\\..\\Program Files\\Tool\\tool.exe");
  EXPECT_EQ(read->hot_key, hot_key);
  EXPECT_EQ(read->file_size, 12u);
  EXPECT_EQ(HotKeyText(read->hot_key), "Ctrl+Alt+T");

  const std::string report = LnkInfo(Host(file));
  EXPECT_EQ(LnkField(report, "Local path"), "C:\\Program Files\\Tool\\tool.exe") << report;
  EXPECT_EQ(LnkField(report, "Working directory"), "C:\\Program Files\\Tool") << report;
  EXPECT_EQ(LnkField(report, "Command line arguments"), "/open \"a b.txt\"") << report;
  EXPECT_EQ(LnkField(report, "Relative path"), "..\\..\\..\\..\\Program Files\\Tool\\tool.exe") << report;
  EXPECT_EQ(LnkField(report, "File size"), "12 bytes") << report;
  EXPECT_EQ(LnkField(report, "Drive type"), "Fixed (3)") << report;
  // This lnkinfo prints the file size where the show command and hot key
  // belong, so the hot key is checked in the file's bytes.
  const std::string bytes = ReadHostFile(Host(file));
  ASSERT_GT(bytes.size(), kLinkHeaderSize);
  EXPECT_EQ(static_cast<unsigned char>(bytes[kLinkHotKeyOffset]), 'T');
  EXPECT_EQ(static_cast<unsigned char>(bytes[kLinkHotKeyOffset + 1]), 0x06);
}

TEST_F(ShellLinksTest, SavingAgainReplacesTheLinkAndLeavesNoTemporaryFile) {
  ShellLinks& links = ShellLinksOf(*machine_);
  const std::string file = "C:\\WINDOWS\\Desktop\\Tool.lnk";
  ASSERT_EQ(MakeLink(links, file, "C:\\Program Files\\Tool\\tool.exe", "-a", "C:\\Program Files\\Tool", 0), kSOk);
  ASSERT_EQ(MakeLink(links, file, "C:\\WINDOWS\\notepad.exe", "", "C:\\WINDOWS", 0), kSOk);
  auto read = links.ReadLink(file);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read->Target(), "C:\\WINDOWS\\notepad.exe");
  EXPECT_FALSE(read->arguments.has_value());  // empty arguments are not stored
  auto listing = files().FindFiles("C:\\WINDOWS\\Desktop\\*.*");
  ASSERT_TRUE(listing.ok());
  ASSERT_EQ(listing->size(), 1u);
  EXPECT_EQ((*listing)[0].name, "Tool.lnk");
}

TEST_F(ShellLinksTest, BadArgumentsAndNamesFailWithoutWritingAnything) {
  ShellLinks& links = ShellLinksOf(*machine_);
  const std::string long_target = "C:\\" + std::string(300, 'x') + "\\tool.exe";
  EXPECT_EQ(MakeLink(links, "C:\\WINDOWS\\Desktop\\A.lnk", long_target, "", "C:\\", 0), kEInvalidArg);
  EXPECT_EQ(MakeLink(links, "C:\\WINDOWS\\Desktop\\A.lnk", "", "", "C:\\", 0), kEInvalidArg);
  EXPECT_EQ(MakeLink(links, "C:\\WINDOWS\\Desktop\\A.lnk", "C:\\a.exe", std::string(1100, 'a'), "C:\\", 0),
            kEInvalidArg);
  for (const char* name : {"C:\\WINDOWS\\Desktop\\A?.lnk", "C:\\WINDOWS\\Desktop\\A:b.lnk",
                           "C:\\WINDOWS\\Desktop\\A|b.lnk", "C:\\WINDOWS\\Desktop\\\"A\".lnk",
                           "C:\\WINDOWS\\Desktop\\A*.lnk", "relative.lnk", "C:\\WINDOWS\\Desktop\\.",
                           "C:\\WINDOWS\\Desktop\\\\A.lnk"}) {
    EXPECT_EQ(MakeLink(links, name, "C:\\a.exe", "", "C:\\", 0), HResultFromWin32(kErrorInvalidName)) << name;
  }
  EXPECT_EQ(MakeLink(links, "C:\\No Such Folder\\A.lnk", "C:\\a.exe", "", "C:\\", 0),
            HResultFromWin32(kErrorPathNotFound));
  auto listing = files().FindFiles("C:\\WINDOWS\\Desktop\\*.*");
  ASSERT_TRUE(listing.ok());
  EXPECT_TRUE(listing->empty());
}

TEST_F(ShellLinksTest, TheFaultSeamAnswersTheChosenCallsOnly) {
  auto faults = std::make_unique<ShellLinksWithFaults>(NewShellLinks(*machine_));
  ShellLinksWithFaults* seam = faults.get();
  machine_->Attach<ShellLinks>(std::move(faults));
  ShellLinks& links = ShellLinksOf(*machine_);
  ASSERT_EQ(&links, seam);

  EXPECT_EQ(links.CoInitialize(), kSOk);
  EXPECT_EQ(links.CoInitialize(), kSFalse);
  seam->Fail(ShellLinksWithFaults::Call::kSetPath, kEInvalidArg);
  EXPECT_EQ(MakeLink(links, "C:\\WINDOWS\\Desktop\\A.lnk", "C:\\a.exe", "", "C:\\", 0), kEInvalidArg);
  seam->Heal(ShellLinksWithFaults::Call::kSetPath);
  seam->Fail(ShellLinksWithFaults::Call::kCreate, kRegdbEClassNotReg);
  EXPECT_EQ(MakeLink(links, "C:\\WINDOWS\\Desktop\\A.lnk", "C:\\a.exe", "", "C:\\", 0), kRegdbEClassNotReg);
  seam->Heal(ShellLinksWithFaults::Call::kCreate);
  EXPECT_EQ(MakeLink(links, "C:\\WINDOWS\\Desktop\\A.lnk", "C:\\a.exe", "", "C:\\", 0), kSOk);
  EXPECT_TRUE(files().FileExists("C:\\WINDOWS\\Desktop\\A.lnk"));
}

TEST(ShellLinkFileTest, RelativePathsWalkUpAndDown) {
  EXPECT_EQ(RelativeLinkPath("C:\\A\\B", "C:\\A\\B\\c.exe"), ".\\c.exe");
  EXPECT_EQ(RelativeLinkPath("C:\\A\\B", "c:\\a\\x\\c.exe"), "..\\x\\c.exe");
  EXPECT_EQ(RelativeLinkPath("C:\\A", "C:\\c.exe"), "..\\c.exe");
  EXPECT_EQ(RelativeLinkPath("C:\\A", "D:\\c.exe"), std::nullopt);
}

TEST(ShellLinkFileTest, NonAsciiTextSurvivesInBothForms) {
  ShellLinkData link;
  link.local_base_path = "C:\\Programme\\Übersicht\\tool.exe";
  link.arguments = "–x ✓";
  ShellLinkData read = DecodeShellLink(EncodeShellLink(link));
  EXPECT_EQ(read.Target(), link.local_base_path);
  EXPECT_EQ(read.arguments, link.arguments);
}

// Damaged files: every cut and a set of bad fields are refused with a
// message, never read past the end.
TEST(ShellLinkFileTest, DamagedFilesAreRefused) {
  ShellLinkData link;
  link.local_base_path = "C:\\A\\b.exe";
  link.relative_path = ".\\b.exe";
  link.working_directory = "C:\\A";
  link.arguments = "-x";
  const std::string good = EncodeShellLink(link);
  ASSERT_EQ(DecodeShellLink(good).Target(), "C:\\A\\b.exe");
  // Cuts inside the header, the link info and the strings; a cut before the
  // terminal block is still a link.
  for (std::size_t cut = 0; cut + 4 < good.size(); ++cut) {
    EXPECT_THROW(DecodeShellLink(std::string_view(good).substr(0, cut)), EShellLinkFormat) << cut;
  }
  auto patched = [&](std::size_t at, std::uint32_t value) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
  };
  const std::size_t info = kLinkHeaderSize;
  EXPECT_THROW(DecodeShellLink(patched(0, 0x4D)), EShellLinkFormat);
  EXPECT_THROW(DecodeShellLink(patched(kLinkClsidOffset, 0)), EShellLinkFormat);
  EXPECT_THROW(DecodeShellLink(patched(info + kLinkInfoSizeOffset, 0xFFFFFFF0u)), EShellLinkFormat);
  EXPECT_THROW(DecodeShellLink(patched(info + kLinkInfoHeaderSizeOffset, 0x20)), EShellLinkFormat);
  EXPECT_THROW(DecodeShellLink(patched(info + kLinkInfoVolumeIdOffset, 0x7FFFFFFF)), EShellLinkFormat);
  EXPECT_THROW(DecodeShellLink(patched(info + kLinkInfoLocalBasePathUnicodeOffset, 3)), EShellLinkFormat);
  // An IDList announced but not there.
  EXPECT_THROW(DecodeShellLink(patched(kLinkFlagsOffset, kLinkHasTargetIdList | kLinkHasLinkInfo)),
               EShellLinkFormat);
  try {
    DecodeShellLink(patched(0, 0x4D));
  } catch (const EShellLinkFormat& e) {
    EXPECT_EQ(e.Message(), "Not a valid shell link: HeaderSize is not 0x4C at offset 0");
  }
}

// Links written by another writer (the fuzz seeds, built from the published
// layout with Python's struct) read as lnkinfo reads them.
TEST(ShellLinkFileTest, LinksOfAnotherWriterRead) {
  const std::filesystem::path corpus = std::filesystem::path(BRIMWELL_SOURCE_DIR) / "fuzz/corpus/shell_link";
  auto read = [&](const char* name) { return DecodeShellLink(ReadHostFile(corpus / name)); };
  ShellLinkData id_list = read("id_list.lnk");
  EXPECT_TRUE(id_list.has_target_id_list);
  EXPECT_EQ(id_list.Target(), "C:\\test\\a.txt");
  EXPECT_EQ(id_list.working_directory, "C:\\test");
  EXPECT_EQ(id_list.hot_key, 0x0654);
  ShellLinkData network = read("ansi_network.lnk");
  EXPECT_EQ(network.Target(), "\\\\server\\share\\dir\\tool.exe");
  EXPECT_EQ(network.name, "A tool");
  EXPECT_EQ(network.arguments, "-x");
  EXPECT_EQ(read("unicode.lnk").arguments, "/open \"a b.txt\"");
  EXPECT_EQ(read("extra_data.lnk").Target(), "C:\\a.exe");
  EXPECT_EQ(read("no_terminal.lnk").Target(), "notepad.exe");
}

}  // namespace
}  // namespace brimwell::testing
