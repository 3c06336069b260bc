// brimwell archive and brimwell version, run as the real executable with no
// prefix named: commands on host paths must neither need nor make one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/pe_fixture.h"
#include "tests/testutil/run.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell {
namespace {

class ArchiveCliTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_FALSE(std::filesystem::exists(dir_ / "data")) << "a command made a prefix"; }
  // The environment of every run: no prefix named and none at the default
  // place, so commands on host paths must work without making one.
  std::string Environment() const { return "env -u BRIMWELL_PREFIX XDG_DATA_HOME=" + Quoted(dir_ / "data") + " "; }
  // Runs brimwell with `args` (a shell command line's words); returns the
  // exit status, output in out_ and err_.
  int Run(const std::string& args) {
    testing::RunResult run = testing::RunShell(Environment() + "'" BRIMWELL_BIN_DIR "/brimwell' " + args);
    out_ = std::move(run.out);
    err_ = std::move(run.err);
    return run.status;
  }
  std::string File(const std::string& name, const std::string& content) { return tmp_.Write(name, content); }
  static std::string Quoted(const std::filesystem::path& p) { return testing::ShellQuote(p.string()); }

  testing::TempDir tmp_;
  const std::filesystem::path dir_ = tmp_.path();
  std::string out_, err_;
};

TEST_F(ArchiveCliTest, CreateListVerifyExtract) {
  std::string a = File("a.txt", "alpha");
  std::string b = File("b.sh", "#!/bin/sh\n");
  std::string archive = (dir_ / "files.1").string();
  ASSERT_EQ(Run("archive create " + Quoted(archive) + " " + Quoted(a) + " --id 7 --level fastest"),
            0)
      << err_;
  ASSERT_EQ(Run("archive add " + Quoted(archive) + " " + Quoted(b) + " --id 8"), 0) << err_;
  ASSERT_EQ(Run("archive list " + Quoted(archive)), 0) << err_;
  // index, FileID, FileSize, CompressedSize, date, version, name
  EXPECT_NE(out_.find("0\t7\t5\t"), std::string::npos) << out_;
  EXPECT_NE(out_.find("1\t8\t10\t"), std::string::npos) << out_;
  // Members added by host paths are named relative to their directory.
  EXPECT_NE(out_.find("\ta.txt\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("\tb.sh\n"), std::string::npos) << out_;
  EXPECT_EQ(Run("archive verify " + Quoted(archive)), 0) << err_;
  ASSERT_EQ(Run("archive extract " + Quoted(archive) + " " + Quoted(dir_ / "out")), 0) << err_;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out" / "a.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out" / "b.sh"));

  // One member under another name; a policy that keeps what is there.
  ASSERT_EQ(Run("archive extract " + Quoted(archive) + " " + Quoted(dir_ / "out") + " A.TXT --as renamed.txt"),
            0)
      << err_;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out" / "renamed.txt"));
  File("out/a.txt", "changed");
  ASSERT_EQ(Run("archive extract " + Quoted(archive) + " " + Quoted(dir_ / "out") +
                " --overwrite owNever"),
            0);
  std::ifstream kept(dir_ / "out" / "a.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "changed");

  // A damaged stream is named by verify with exit status 1.
  std::vector<std::uint8_t> bytes = testing::ReadHostBytes(archive);
  bytes[5 + kFileHeaderSize + 3] ^= 0xFF;
  testing::WriteHostFile(archive, bytes);
  EXPECT_EQ(Run("archive verify " + Quoted(archive)), 1);
  EXPECT_NE(err_.find("a.txt"), std::string::npos) << err_;
  EXPECT_EQ(Run("archive --help"), 0);
  EXPECT_NE(out_.find("usage: brimwell archive"), std::string::npos);
}

// Paths relative to the current directory, directories added as tar adds
// them, names relative to the base directory, and extraction by those
// names into their directories.
TEST_F(ArchiveCliTest, DirectoriesAndRelativePathsAreAddedUnderNamesBelowTheBase) {
  File("product/docs/guide.txt", "guide");
  File("product/docs/img/logo.bmp", "BM");
  File("product/tool.exe", "MZ");
  const std::string cd = "cd " + Quoted(dir_) + " && ";
  testing::RunResult run = testing::RunShell(cd + Environment() + "'" BRIMWELL_BIN_DIR
                          "/brimwell' archive create dist/p.1 product/docs product/./tool.exe");
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(Run("archive list " + Quoted(dir_ / "dist" / "p.1")), 0) << err_;
  EXPECT_NE(out_.find("\tdocs\\guide.txt\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("\tdocs\\img\\logo.bmp\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("\ttool.exe\n"), std::string::npos) << out_;

  // --base names them from another directory; a path outside it is refused.
  ASSERT_EQ(Run("archive create " + Quoted(dir_ / "q.1") + " " + Quoted(dir_ / "product" / "docs") + " --base " +
                Quoted(dir_)),
            0)
      << err_;
  ASSERT_EQ(Run("archive list " + Quoted(dir_ / "q.1")), 0) << err_;
  EXPECT_NE(out_.find("\tproduct\\docs\\img\\logo.bmp\n"), std::string::npos) << out_;
  EXPECT_EQ(Run("archive create " + Quoted(dir_ / "r.1") + " " + Quoted(dir_ / "product") + " --base " +
                Quoted(dir_ / "product" / "docs")),
            1);
  EXPECT_NE(err_.find("is not below the base directory"), std::string::npos) << err_;
  // --full-names: the names an engine looks its files up by.
  ASSERT_EQ(Run("archive create " + Quoted(dir_ / "s.1") + " " + Quoted(dir_ / "product" / "tool.exe") +
                " --full-names"),
            0)
      << err_;
  ASSERT_EQ(Run("archive list " + Quoted(dir_ / "s.1")), 0) << err_;
  std::string full = "Z:" + (dir_ / "product" / "tool.exe").string();
  std::replace(full.begin(), full.end(), '/', '\\');
  EXPECT_NE(out_.find("\t" + full + "\n"), std::string::npos) << out_;

  // extract finds members by those names, with / or \, into their directories.
  ASSERT_EQ(Run("archive extract " + Quoted(dir_ / "dist" / "p.1") + " " + Quoted(dir_ / "x") +
                " docs/img/LOGO.bmp tool.exe"),
            0)
      << err_;
  EXPECT_EQ(testing::ReadHostFile(dir_ / "x" / "docs" / "img" / "logo.bmp"), "BM");
  EXPECT_EQ(testing::ReadHostFile(dir_ / "x" / "tool.exe"), "MZ");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "x" / "docs" / "guide.txt"));
  ASSERT_EQ(Run("archive extract " + Quoted(dir_ / "dist" / "p.1") + " " + Quoted(dir_ / "all")), 0) << err_;
  EXPECT_EQ(testing::ReadHostFile(dir_ / "all" / "docs" / "guide.txt"), "guide");
  // Nothing was written into a prefix.
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));
}

TEST_F(ArchiveCliTest, SelfExtractingFilesAreReadThroughTheirTrailer) {
  testing::Bytes setup1 = testing::BuildSingleFile({testing::Member("C:\\ENGINE.EXE", "engine")});
  testing::Bytes files1 = testing::BuildSingleFile(
      {testing::Member("C:\\APP\\ONE.TXT", "one"), testing::Member("C:\\APP\\TWO.TXT", "two")});
  testing::Bytes exe(3000, 0x90);
  const auto s1 = static_cast<std::int32_t>(exe.size());
  testing::Append(exe, setup1);
  const auto f1 = static_cast<std::int32_t>(exe.size());
  testing::Append(exe, files1);
  const auto end = static_cast<std::int32_t>(exe.size()) - 1;
  testing::Append(exe, EncodeTrailer({s1, f1 - 1, f1, end}));
  std::filesystem::path path = dir_ / "setup.exe";
  testing::WriteHostFile(path, exe);

  ASSERT_EQ(Run("archive trailer " + Quoted(path)), 0);
  EXPECT_EQ(out_, "Setup1Start\t3000\nSetup1End\t" + std::to_string(f1 - 1) + "\nFiles1Start\t" +
                      std::to_string(f1) + "\nFiles1End\t" + std::to_string(end) + "\n");
  ASSERT_EQ(Run("archive list " + Quoted(path)), 0) << err_;
  EXPECT_NE(out_.find("ONE.TXT"), std::string::npos);
  EXPECT_NE(out_.find("TWO.TXT"), std::string::npos);
  ASSERT_EQ(Run("archive list " + Quoted(path) + " --image setup"), 0) << err_;
  EXPECT_NE(out_.find("ENGINE.EXE"), std::string::npos);
  ASSERT_EQ(Run("archive list " + Quoted(path) + " --offset " + std::to_string(s1)), 0);
  EXPECT_NE(out_.find("ENGINE.EXE"), std::string::npos);
  EXPECT_EQ(Run("archive verify " + Quoted(path)), 0) << err_;
  ASSERT_EQ(Run("archive extract " + Quoted(path) + " " + Quoted(dir_ / "x")), 0) << err_;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "x" / "TWO.TXT"));
  ASSERT_EQ(Run("archive trailer " + Quoted(dir_ / "x" / "TWO.TXT")), 0);
  EXPECT_EQ(out_, "not self-extracting\n");
}

TEST_F(ArchiveCliTest, VersionPrintsTheFifteenFields) {
  if (!testing::HavePeTools()) GTEST_SKIP() << "windres or ld missing";
  std::optional<std::filesystem::path> pe =
      testing::BuildPe32(dir_, "driver", testing::kVersionScript);
  ASSERT_TRUE(pe);
  ASSERT_EQ(Run("version " + Quoted(*pe)), 0) << err_;
  EXPECT_NE(out_.find("FileVersion: 5.0.4277.1\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("FileSubType: Keyboard\n"), std::string::npos);
  EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 15);
  ASSERT_EQ(Run("version " + Quoted(*pe) + " --language lnGerman"), 0) << err_;
  EXPECT_NE(out_.find("CompanyName: Acme Werkzeuge\n"), std::string::npos) << out_;
}

TEST_F(ArchiveCliTest, TwoWritersAtOnceLoseNoMember) {
  // Two processes add to one archive at the same time, each member by its
  // own run: every add that reports success must be found afterwards, and
  // the archive must verify.
  std::string archive = (dir_ / "files.1").string();
  ASSERT_EQ(Run("archive create " + Quoted(archive) + " " + Quoted(File("seed.txt", "seed"))), 0) << err_;
  constexpr int kPerWriter = 12;
  std::string tool = "'" BRIMWELL_BIN_DIR "/brimwell'";
  std::string script;
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < kPerWriter; ++i) {
      File("w" + std::to_string(w) + "_" + std::to_string(i) + ".txt", std::string(1000 + 37 * i, static_cast<char>('a' + w)));
    }
    script += "(for i in $(seq 0 " + std::to_string(kPerWriter - 1) + "); do " + tool + " archive add " + Quoted(archive) +
              " " + Quoted(dir_) + "/w" + std::to_string(w) + "_$i.txt >/dev/null || echo FAIL; done) & ";
  }
  script += "wait";
  const std::string command = Environment() + "sh -c " + Quoted(script);
  FILE* p = ::popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  out_.clear();
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out_.append(buf, n);
  ASSERT_EQ(::pclose(p), 0);
  EXPECT_EQ(out_.find("FAIL"), std::string::npos) << out_ << err_;
  ASSERT_EQ(Run("archive list " + Quoted(archive)), 0) << err_;
  const auto lines = std::count(out_.begin(), out_.end(), '\n');
  EXPECT_EQ(lines, 1 + 2 * kPerWriter) << out_;
  EXPECT_EQ(Run("archive verify " + Quoted(archive)), 0) << err_;
}

TEST_F(ArchiveCliTest, FilesThatAreNotWhatTheCommandReadsAreToldInPlainWords) {
  EXPECT_EQ(Run("version " + Quoted(dir_ / "missing.exe")), 1);
  EXPECT_NE(err_.find("there is no file " + (dir_ / "missing.exe").string()), std::string::npos) << err_;
  EXPECT_EQ(Run("version " + Quoted(dir_)), 1);
  EXPECT_NE(err_.find("is a directory"), std::string::npos) << err_;
  std::string text = File("notes.txt", "no resource here");
  EXPECT_EQ(Run("version " + Quoted(text)), 3);
  EXPECT_EQ(err_, "brimwell version: " + text + " has no version resource\n");
  EXPECT_EQ(out_, "");

  std::string json = File("setup.1", "{}");
  EXPECT_EQ(Run("archive list " + Quoted(json)), 1);
  EXPECT_NE(err_.find(json + " holds no archive"), std::string::npos) << err_;
  EXPECT_EQ(Run("archive create " + Quoted(dir_ / "x.1") + " " + Quoted(text) + " --id seven"), 1);
  EXPECT_NE(err_.find("--id seven is not a 32-bit number"), std::string::npos) << err_;
}

TEST_F(ArchiveCliTest, ANamedPrefixThatDoesNotExistIsRefusedNotMade) {
  const std::filesystem::path typo = dir_ / "prefx";
  std::string text = File("notes.txt", "text");
  for (const std::string& args : std::vector<std::string>{"version " + Quoted(text), "archive create " + Quoted(dir_ / "a.1") + " " + Quoted(text),
                                  "reg query 'HKLM\\Software'", "prefix info"}) {
    testing::RunResult run = testing::RunShell("BRIMWELL_PREFIX=" + Quoted(typo) + " '" BRIMWELL_BIN_DIR "/brimwell' " + args);
    EXPECT_NE(run.status, 0) << args;
    EXPECT_NE(run.err.find("(create one with 'brimwell prefix init')"), std::string::npos) << args << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(typo)) << args;
  }
}

}  // namespace
}  // namespace brimwell
