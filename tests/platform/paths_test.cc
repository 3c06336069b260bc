#include "platform/paths.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/linux_paths.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::PrefixTest;
using testing::WriteHostFile;

class PathsTest : public PrefixTest {};

TEST_F(PathsTest, DrivesOfAFreshPrefix) {
  auto drives = paths().Drives();
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].letter, 'A');
  EXPECT_EQ(drives[0].type, DriveType::kRemovable);
  EXPECT_EQ(drives[1].letter, 'C');
  EXPECT_EQ(drives[1].target, drive_c());
  EXPECT_EQ(drives[2].letter, 'Z');
  EXPECT_EQ(drives[2].target, std::filesystem::path("/"));
}

TEST_F(PathsTest, DriveLinksChangedOneAfterAnotherAreSeenAtOnce) {
  namespace fs = std::filesystem;
  const fs::path dosdevices = prefix_dir() / "dosdevices";
  fs::create_directories(dir_.path() / "d" / "x");
  fs::create_directories(dir_.path() / "e" / "y");
  auto letters = [&] {
    std::string s;
    for (const DriveMapping& d : paths().Drives()) s += d.letter;
    return s;
  };
  // A drive table read long after its last change is kept while it stays so.
  fs::last_write_time(dosdevices, fs::file_time_type::clock::now() - std::chrono::seconds(30));
  EXPECT_EQ(letters(), "ACZ");
  fs::create_directory_symlink(dir_.path() / "d", dosdevices / "d:");
  EXPECT_EQ(letters(), "ACDZ");
  EXPECT_EQ(paths().ToHost("D:\\x"), dir_.path() / "d" / "x");
  // Changes within one tick of the directory's time are not told apart by
  // it: each is still seen.
  fs::remove(dosdevices / "d:");
  fs::create_directory_symlink(dir_.path() / "e", dosdevices / "e:");
  EXPECT_EQ(letters(), "ACEZ");
  EXPECT_EQ(paths().ToHost("E:\\y"), dir_.path() / "e" / "y");
}

TEST_F(PathsTest, AHostPathTakesTheDriveThatReachesItNow) {
  namespace fs = std::filesystem;
  const fs::path dosdevices = prefix_dir() / "dosdevices";
  const fs::path dir = dir_.path() / "d";
  fs::create_directories(dir / "x");
  std::string z = "Z:" + (dir / "x").string();
  std::replace(z.begin(), z.end(), '/', '\\');
  fs::last_write_time(dosdevices, fs::file_time_type::clock::now() - std::chrono::seconds(30));
  EXPECT_EQ(paths().ToWindows(dir / "x"), z);
  EXPECT_EQ(paths().ToWindows(dir / "x"), z);  // asked again: the same
  fs::create_directory_symlink(dir, dosdevices / "d:");
  EXPECT_EQ(paths().ToWindows(dir / "x"), "D:\\x");
  // Another letter for the same directory, in the same tick of the table's
  // time, and then none.
  fs::remove(dosdevices / "d:");
  fs::create_directory_symlink(dir, dosdevices / "e:");
  EXPECT_EQ(paths().ToWindows(dir / "x"), "E:\\x");
  EXPECT_EQ(paths().FullPath((dir / "x").string()), "E:\\x");
  fs::remove(dosdevices / "e:");
  EXPECT_EQ(paths().ToWindows(dir / "x"), z);
}

TEST_F(PathsTest, ADriveTableMadeAnewIsSeen) {
  namespace fs = std::filesystem;
  const fs::path dosdevices = prefix_dir() / "dosdevices";
  fs::create_directories(dir_.path() / "d" / "x");
  fs::last_write_time(dosdevices, fs::file_time_type::clock::now() - std::chrono::seconds(30));
  EXPECT_THROW(paths().ToHost("D:\\x"), EPathError);
  // Another directory put in place of the table, the old one kept aside
  // and left as it was.
  const fs::path fresh = prefix_dir() / "dosdevices.new";
  fs::create_directory(fresh);
  for (const auto& entry : fs::directory_iterator(dosdevices)) {
    fs::copy_symlink(entry.path(), fresh / entry.path().filename());
  }
  fs::create_directory_symlink(dir_.path() / "d", fresh / "d:");
  fs::last_write_time(fresh, fs::file_time_type::clock::now() - std::chrono::seconds(30));
  fs::rename(dosdevices, prefix_dir() / "dosdevices.old");
  fs::rename(fresh, dosdevices);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(paths().ToHost("D:\\x"), dir_.path() / "d" / "x");
  // And a table removed and made again at once.
  fs::remove_all(dosdevices);
  fs::create_directory(dosdevices);
  fs::create_directory_symlink(prefix_dir() / "drive_c", dosdevices / "c:");
  EXPECT_THROW(paths().ToHost("D:\\x"), EPathError);
}

// What the translation saw answers FileExists and DirectoryExists without a
// second look; links and names in another case are still looked through.
TEST_F(PathsTest, WhatATranslationSawAnswersWhatExists) {
  namespace fs = std::filesystem;
  fs::create_directories(drive_c() / "dir" / "sub");
  WriteHostFile(drive_c() / "dir" / "file.txt", "x");
  fs::create_directory_symlink(drive_c() / "dir" / "sub", drive_c() / "dir" / "to-sub");
  fs::create_symlink(drive_c() / "dir" / "file.txt", drive_c() / "dir" / "to-file");
  fs::create_symlink(drive_c() / "dir" / "gone", drive_c() / "dir" / "dangling");
  struct Case {
    const char* path;
    bool file, directory;
  } cases[] = {
      {"C:\\dir\\file.txt", true, false}, {"C:\\DIR\\FILE.TXT", true, false}, {"C:\\dir\\sub", false, true},
      {"C:\\dir\\SUB", false, true},     {"C:\\dir\\to-sub", false, true},  {"C:\\dir\\to-file", true, false},
      {"C:\\dir\\dangling", false, false}, {"C:\\dir\\none", false, false},  {"C:\\none\\none", false, false},
      {"C:\\dir\\file.txt\\x", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(files().FileExists(c.path), c.file) << c.path;
    EXPECT_EQ(files().DirectoryExists(c.path), c.directory) << c.path;
  }
}

TEST_F(PathsTest, NamesAreFoundWithoutRegardToCase) {
  WriteHostFile(drive_c() / "Dist" / "setup.1", "x");
  EXPECT_EQ(paths().ToHost("C:\\DIST\\SETUP.1"), drive_c() / "Dist" / "setup.1");
  EXPECT_EQ(paths().ToHost("c:/dist/Setup.1"), drive_c() / "Dist" / "setup.1");
  // A missing name is kept as written, below the existing part found.
  EXPECT_EQ(paths().ToHost("C:\\DIST\\New\\File.TXT"), drive_c() / "Dist" / "New" / "File.TXT");
  EXPECT_TRUE(files().FileExists("C:\\dist\\SETUP.1"));
}

TEST_F(PathsTest, ExactNameWinsOverOthersDifferingInCase) {
  WriteHostFile(drive_c() / "d" / "a.txt", "lower");
  WriteHostFile(drive_c() / "d" / "A.TXT", "upper");
  EXPECT_EQ(paths().ToHost("C:\\d\\A.TXT"), drive_c() / "d" / "A.TXT");
  EXPECT_EQ(paths().ToHost("C:\\d\\a.txt"), drive_c() / "d" / "a.txt");
  // Neither spelling given: the choice is stable (the first in byte order).
  EXPECT_EQ(paths().ToHost("C:\\d\\a.TXT"), drive_c() / "d" / "A.TXT");
}

TEST_F(PathsTest, RelativePathsUseTheCurrentDirectory) {
  std::filesystem::create_directories(drive_c() / "Work" / "Sub");
  ASSERT_TRUE(paths().SetCurrentDirectory("C:\\work"));
  EXPECT_EQ(paths().CurrentDirectory(), "C:\\work");
  EXPECT_EQ(paths().FullPath("sub\\f.txt"), "C:\\work\\sub\\f.txt");
  EXPECT_EQ(paths().FullPath("\\root.txt"), "C:\\root.txt");
  EXPECT_EQ(paths().FullPath("C:f.txt"), "C:\\work\\f.txt");
  EXPECT_EQ(paths().FullPath("..\\x"), "C:\\x");
  EXPECT_EQ(paths().ToHost("sub"), drive_c() / "Work" / "Sub");
  EXPECT_FALSE(paths().SetCurrentDirectory("C:\\missing"));
  EXPECT_EQ(paths().CurrentDirectory(), "C:\\work");
}

// Full paths come out as NormalizeWinPath makes them, whether they need
// its work or are taken as they are.
TEST_F(PathsTest, FullPathsAreNormalized) {
  for (std::string_view path : {"c:\\Program Files\\A\\b.txt", "C:\\a\\\\b", "C:\\a\\.\\b", "C:\\a\\..\\b",
                                "C:\\a/b", "C:\\a\\", "c:\\", "C:\\...\\x.", "C:\\a\\..", "C:\\.a\\b..\\c"}) {
    std::string expected = NormalizeWinPath(path);
    expected[0] = 'C';
    EXPECT_EQ(paths().FullPath(path), expected) << path;
  }
  EXPECT_EQ(paths().FullPath("c:\\a\\.\\b\\..\\c"), "C:\\a\\c");
  EXPECT_EQ(paths().ToHost("c:\\Dir\\..\\x.txt"), drive_c() / "x.txt");
}

TEST_F(PathsTest, HostPathsReadAsDriveZ) {
  std::filesystem::path host = dir_.path() / "outside.txt";
  WriteHostFile(host, "x");
  EXPECT_EQ(paths().ToHost(host.string()), host);
  std::string expected = "Z:" + host.string();
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(paths().FullPath(host.string()), expected);
  std::string z = paths().ToWindows(host);
  EXPECT_EQ(z, expected);
  EXPECT_EQ(paths().ToHost(z), host);
  // Inside the prefix, the most specific drive answers.
  EXPECT_EQ(paths().ToWindows(drive_c() / "WINDOWS" / "x.ini"), "C:\\WINDOWS\\x.ini");
}

TEST_F(PathsTest, UnmappablePathsAreClearErrors) {
  try {
    paths().ToHost("Q:\\setup.exe");
    FAIL() << "no error for an unknown drive";
  } catch (const EPathError& e) {
    EXPECT_NE(std::string(e.what()).find("Q:"), std::string::npos) << e.what();
  }
  EXPECT_THROW(paths().ToHost("\\\\server\\share\\setup.exe"), EPathError);
  EXPECT_THROW(paths().ToHost("C:\\a|b"), EPathError);
  EXPECT_THROW(paths().ToHost("C:\\a\\b:stream"), EPathError);
}

TEST_F(PathsTest, ListingsAreCachedAndKeptRightByOwnChanges) {
  auto& linux_paths = static_cast<LinuxPaths&>(paths());
  for (int i = 0; i < 50; ++i) WriteHostFile(drive_c() / "Many" / ("File" + std::to_string(i) + ".dat"), "x");
  std::uint64_t before = linux_paths.ListingCount();
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(files().FileExists("C:\\MANY\\FILE" + std::to_string(i) + ".DAT"));
  }
  // One listing of C:\ (for MANY) and one of Many, not one per lookup.
  EXPECT_LE(linux_paths.ListingCount() - before, 2u);

  // Files the engine creates and deletes are known without a new listing.
  before = linux_paths.ListingCount();
  for (int i = 0; i < 20; ++i) {
    std::string name = "C:\\Many\\New" + std::to_string(i) + ".dat";
    auto file = files().Open(name, FileAccess::kWrite, kShareNone, FileDisposition::kCreateNew);
    ASSERT_TRUE(file.ok());
  }
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(files().FileExists("C:\\MANY\\NEW" + std::to_string(i) + ".DAT"));
  }
  ASSERT_TRUE(files().DeleteFile("C:\\many\\NEW3.DAT").ok());
  EXPECT_FALSE(files().FileExists("C:\\MANY\\new3.dat"));
  EXPECT_LE(linux_paths.ListingCount() - before, 1u);
}

TEST_F(PathsTest, ChangesByOtherProgramsAreSeen) {
  std::filesystem::create_directories(drive_c() / "Shared");
  EXPECT_FALSE(files().FileExists("C:\\SHARED\\LATE.TXT"));
  // Another program adds a file; the directory's change time tells.
  WriteHostFile(drive_c() / "Shared" / "late.txt", "x");
  std::filesystem::last_write_time(drive_c() / "Shared",
                                   std::filesystem::last_write_time(drive_c() / "Shared") + std::chrono::seconds(1));
  EXPECT_TRUE(files().FileExists("C:\\SHARED\\LATE.TXT"));
}

}  // namespace
}  // namespace brimwell
