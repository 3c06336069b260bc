// Runs the real `brimwell language` on temporary files: the shipped tables
// check clean, a broken file is reported with its line, and a file loaded
// into a project becomes the table's lines that binding accepts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/testutil/run.h"
#include "tests/testutil/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class LanguageCommandTest : public ::testing::Test {
 protected:
  static std::string Read(const fs::path& p) { return brimwell::testing::ReadHostFile(p); }
  static void Write(const fs::path& p, std::string_view bytes) { brimwell::testing::WriteHostFile(p, bytes); }
  // Runs `brimwell language ARGUMENTS`; returns the exit status, output in out_ and err_.
  int Run(const std::string& arguments) {
    brimwell::testing::RunResult run = brimwell::testing::RunShell(Quote(brimwell_) + " language " + arguments);
    out_ = std::move(run.out);
    err_ = std::move(run.err);
    return run.status;
  }
  static std::string Quote(const fs::path& p) { return brimwell::testing::ShellQuote(p.string()); }

  brimwell::testing::TempDir tmp_;
  const fs::path dir_ = tmp_.path();
  const fs::path brimwell_ = fs::path(BRIMWELL_BIN_DIR) / "brimwell";
  const fs::path tables_ = fs::path(BRIMWELL_SOURCE_DIR) / "translate" / "tables";
  std::string out_, err_;
};

TEST_F(LanguageCommandTest, ShippedTablesCheckCleanAndShowAsTheirFiles) {
  for (const char* file : {"brwiGerman.txt", "brwiHebrew.txt", "brwiChineseSimplified.txt"}) {
    EXPECT_EQ(Run("check " + Quote(tables_ / file)), 0) << out_ << err_;
    EXPECT_NE(out_.find("every standard number"), std::string::npos) << out_;
  }
  ASSERT_EQ(Run("show german"), 0) << err_;
  EXPECT_EQ(out_, Read(tables_ / "brwiGerman.txt"));
  ASSERT_EQ(Run("list"), 0);
  EXPECT_NE(out_.find("brwiHebrew.txt             0x040D  right to left"), std::string::npos) << out_;
}

TEST_F(LanguageCommandTest, CheckReportsTheLineMissingNumbersAndChangedPlaceholders) {
  Write(dir_ / "broken.txt", "5;Weiter >\n#\n");
  EXPECT_EQ(Run("check " + Quote(dir_ / "broken.txt") + " German"), 1);
  EXPECT_NE(err_.find("German language table: Found the end of memo marker # at line 1"), std::string::npos)
      << err_;
  Write(dir_ / "brwiGerman.txt", "5;Weiter >\n45;Bitte Diskette einlegen\n");
  EXPECT_EQ(Run("check " + Quote(dir_ / "brwiGerman.txt")), 1);
  EXPECT_NE(out_.find("GLID 45 changes the placeholders"), std::string::npos) << out_;
  EXPECT_NE(out_.find("GLID 6 is missing"), std::string::npos) << out_;
  EXPECT_EQ(Run("check " + Quote(dir_ / "broken.txt")), 1);  // the name names no language
  EXPECT_EQ(Run("show Klingon"), 1);
}

TEST_F(LanguageCommandTest, LoadPutsTheLinesIntoTheProjectsTranslator) {
  Write(dir_ / "project.json", R"({"format": "brimwell-project/1", "components": [
      {"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Tool"}}]})");
  Write(dir_ / "de.txt", "\xEF\xBB\xBF* mine\r\n5;Vorw\xC3\xA4rts\r\n");
  ASSERT_EQ(Run("load " + Quote(dir_ / "project.json") + " German " + Quote(dir_ / "de.txt")), 0) << err_;
  std::string project = Read(dir_ / "project.json");
  EXPECT_NE(project.find("\"class\": \"TTranslator\""), std::string::npos) << project;
  EXPECT_NE(project.find("\"name\": \"MainTranslator\""), std::string::npos) << project;
  EXPECT_NE(project.find("\"5;Vorwärts\""), std::string::npos) << project;  // the mark is dropped
  EXPECT_NE(project.find("\"DestDir\": \"\\\\Tool\""), std::string::npos) << project;

  // Again, into the translator that now exists; a bad file changes nothing.
  Write(dir_ / "fr.txt", "6;Annuler\n");
  ASSERT_EQ(Run("load " + Quote(dir_ / "project.json") + " French " + Quote(dir_ / "fr.txt")), 0) << err_;
  Write(dir_ / "bad.txt", "x;y\n");
  const std::string before = Read(dir_ / "project.json");
  EXPECT_EQ(Run("load " + Quote(dir_ / "project.json") + " French " + Quote(dir_ / "bad.txt")), 1);
  EXPECT_EQ(Read(dir_ / "project.json"), before);
  EXPECT_NE(before.find("\"lgFrench\""), std::string::npos);
  EXPECT_EQ(Run("load " + Quote(dir_ / "project.json") + " French " + Quote(dir_ / "fr.txt") +
                " --translator Nobody"),
            1);
  EXPECT_NE(err_.find("no TTranslator named Nobody"), std::string::npos) << err_;
}

}  // namespace
