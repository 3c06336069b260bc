#include "platform/win_path.h"

#include <gtest/gtest.h>

namespace brimwell {
namespace {

TEST(WinPathTest, SplitsPathsAsDelphiRoutinesDo) {
  struct Case {
    const char* path;
    const char* file_path;
    const char* file_dir;
    const char* name;
    const char* ext;
  };
  const Case cases[] = {
      {"C:\\A\\b.txt", "C:\\A\\", "C:\\A", "b.txt", ".txt"},
      {"C:\\b.txt", "C:\\", "C:\\", "b.txt", ".txt"},
      {"C:b.txt", "C:", "C:", "b.txt", ".txt"},
      {"\\b", "\\", "\\", "b", ""},
      {"b.tar.gz", "", "", "b.tar.gz", ".gz"},
      {"C:\\dir.x\\file", "C:\\dir.x\\", "C:\\dir.x", "file", ""},
      {"C:/a/b.TXT", "C:/a/", "C:/a", "b.TXT", ".TXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFilePath(c.path), c.file_path);
    EXPECT_EQ(ExtractFileDir(c.path), c.file_dir);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
  }
  EXPECT_EQ(ChangeFileExt("C:\\T\\bat1A2B.tmp", ".bat"), "C:\\T\\bat1A2B.bat");
  EXPECT_EQ(ChangeFileExt("C:\\dir.x\\app", ".1"), "C:\\dir.x\\app.1");
  EXPECT_EQ(ChangeFileExt("app.dll", ""), "app");
}

TEST(WinPathTest, TrailingBackslashesAndJoins) {
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\A\\"), "C:\\A");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\A"), "C:\\A\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\A\\"), "C:\\A\\");
  EXPECT_EQ(JoinWinPath("C:\\A", "b"), "C:\\A\\b");
  EXPECT_EQ(JoinWinPath("C:\\A\\", "\\b"), "C:\\A\\b");
  EXPECT_EQ(JoinWinPath("", "b"), "b");
}

TEST(WinPathTest, NormalizesLexically) {
  EXPECT_EQ(NormalizeWinPath("c:/a//b/../c"), "c:\\a\\c");
  EXPECT_EQ(NormalizeWinPath("C:\\..\\..\\x"), "C:\\x");
  EXPECT_EQ(NormalizeWinPath("C:\\a\\.\\b\\"), "C:\\a\\b\\");
  EXPECT_EQ(NormalizeWinPath("..\\a"), "..\\a");
  EXPECT_EQ(NormalizeWinPath("\\\\srv\\share\\a\\..\\b"), "\\\\srv\\share\\b");
}

TEST(WinPathTest, NamesCompareWithoutCaseInUpperCaseOrder) {
  EXPECT_TRUE(WinNamesEqual("SETUP.1", "setup.1"));
  EXPECT_FALSE(WinNamesEqual("setup.1", "setup.10"));
  // Upper-cased comparison puts '_' (0x5F) after letters, as Windows sorts.
  EXPECT_LT(WinCompareNames("Zeta", "_under"), 0);
  EXPECT_LT(WinCompareNames("alpha", "BETA"), 0);
}

TEST(WinPathTest, DosMasks) {
  EXPECT_TRUE(WinMatchesMask("SETUP.1", "*.*"));
  EXPECT_TRUE(WinMatchesMask("readme", "*.*"));
  EXPECT_TRUE(WinMatchesMask("files.12", "FILES.*"));
  EXPECT_TRUE(WinMatchesMask("files", "files.*"));
  EXPECT_TRUE(WinMatchesMask("setup.1", "setup.?"));
  EXPECT_FALSE(WinMatchesMask("setup.12", "setup.?"));
  EXPECT_TRUE(WinMatchesMask("bat1A2B.tmp", "bat*.TMP"));
  EXPECT_FALSE(WinMatchesMask("a.txt", "*.doc"));
  EXPECT_TRUE(WinMatchesMask("noext", "*."));
}

}  // namespace
}  // namespace brimwell
