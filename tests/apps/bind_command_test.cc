// Runs the real `brimwell bind` on temporary files.
#include <gtest/gtest.h>
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

class BindCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(dir_ / "project.json", project_);
  }

  static std::string Read(const fs::path& p) { return brimwell::testing::ReadHostFile(p); }
  static void Write(const fs::path& p, std::string_view bytes) { brimwell::testing::WriteHostFile(p, bytes); }

  // Runs a shell command line; returns the exit status, output in out_ and err_.
  int Run(const std::string& command) {
    brimwell::testing::RunResult run = brimwell::testing::RunShell(command);
    out_ = std::move(run.out);
    err_ = std::move(run.err);
    return run.status;
  }
  static std::string Quote(const fs::path& p) { return brimwell::testing::ShellQuote(p.string()); }

  brimwell::testing::TempDir tmp_;
  const fs::path dir_ = tmp_.path();
  const fs::path brimwell_ = fs::path(BRIMWELL_BIN_DIR) / "brimwell";
  const fs::path probe_ = BOUND_PROJECT_PROBE;
  const std::string project_ = "{\"format\": \"brimwell-project/1\",\r\n \"components\": []}\r\n";
  std::string out_, err_;
};

TEST_F(BindCommandTest, TheBoundEngineCarriesTheProjectAsTheEngineLoadsIt) {
  // A picture named relative to the project file travels inside the engine.
  fs::create_directories(dir_ / "art");
  fs::copy_file(fs::path(BRIMWELL_TEST_DATA) / "framework" / "tiny.bmp", dir_ / "art" / "theme.bmp");
  Write(dir_ / "product.json", R"({"format": "brimwell-project/1", "components": [
      {"class": "TInstall", "name": "Install1",
       "properties": {"DialogThemeBitmap": "art/theme.bmp", "Information": {"ProductName": "Tool"}}}]})");
  fs::path out = dir_ / "setup-product";
  ASSERT_EQ(Run("cd / && " + Quote(brimwell_) + " bind " + Quote(dir_ / "product.json") + " " + Quote(out) +
                " --engine " + Quote(probe_)),
            0)
      << err_;
  ASSERT_EQ(Run(Quote(out)), 0) << err_;
  EXPECT_NE(out_.find(R"("DialogThemeBitmap": "data:image/bmp;base64,Qk)"), std::string::npos) << out_;
  EXPECT_NE(out_.find(R"("ProductName": "Tool")"), std::string::npos) << out_;
  EXPECT_EQ(out_.find("art/theme.bmp"), std::string::npos) << out_;
}

TEST_F(BindCommandTest, AProjectTheEngineWouldRefuseIsNotBound) {
  Write(dir_ / "bad.json", R"({"format": "brimwell-project/1", "components": [
      {"class": "TInstall", "name": "Install1", "properties": {"DistributeType": "dtFloppy"}}]})");
  EXPECT_EQ(Run(Quote(brimwell_) + " bind " + Quote(dir_ / "bad.json") + " " + Quote(dir_ / "out") +
                " --engine " + Quote(probe_)),
            2);
  EXPECT_NE(err_.find(R"(component "Install1" (TInstall), property "DistributeType": unknown value "dtFloppy")"),
            std::string::npos)
      << err_;
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

TEST_F(BindCommandTest, TheDefaultEngineIsTheOneBesideTheTool) {
  fs::create_directories(dir_ / "bin");
  fs::copy_file(brimwell_, dir_ / "bin" / "brimwell");
  std::string command = Quote(dir_ / "bin" / "brimwell") + " bind " + Quote(dir_ / "project.json") +
                        " " + Quote(dir_ / "out");
  EXPECT_EQ(Run(command), 1);
  EXPECT_EQ(err_, "brimwell bind: The engine " + (dir_ / "bin" / "setupengine").string() +
                      " was not found\n");

  fs::copy_file(probe_, dir_ / "bin" / "setupengine");
  ASSERT_EQ(Run(command), 0) << err_;
  ASSERT_EQ(Run(Quote(dir_ / "out")), 0);
  EXPECT_NE(out_.find(R"("format": "brimwell-project/1")"), std::string::npos) << out_;
}

TEST_F(BindCommandTest, AProjectThatIsNoJsonIsRefusedWithItsLine) {
  Write(dir_ / "broken.json", "{\"components\": [\n  {\"class\": \"TInstall\",}\n]}\n");
  EXPECT_EQ(Run(Quote(brimwell_) + " bind " + Quote(dir_ / "broken.json") + " " +
                Quote(dir_ / "out") + " --engine=" + Quote(probe_)),
            2);
  EXPECT_NE(err_.find("The project " + (dir_ / "broken.json").string() + " is not a JSON document"),
            std::string::npos)
      << err_;
  EXPECT_NE(err_.find("line 2"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

TEST_F(BindCommandTest, AProjectNestedTooDeepIsRefusedWithItsLine) {
  // The depth sits in a value the checks copy into their messages, which
  // overflowed the stack at 150,000 levels.
  Write(dir_ / "deep.json", "{\"format\":\n" + std::string(200000, '[') + std::string(200000, ']') +
                                ",\n\"components\": []}\n");
  EXPECT_EQ(Run(Quote(brimwell_) + " bind " + Quote(dir_ / "deep.json") + " " + Quote(dir_ / "out") +
                " --engine " + Quote(probe_)),
            2);
  EXPECT_EQ(err_, "brimwell bind: " + (dir_ / "deep.json").string() +
                      ": line 2: arrays and objects nest deeper than 512 levels\n");
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

TEST_F(BindCommandTest, UsageErrors) {
  std::string bind = Quote(brimwell_) + " bind ";
  EXPECT_EQ(Run(bind + Quote(dir_ / "project.json")), 2);
  EXPECT_NE(err_.find("usage: brimwell bind PROJECT.json OUT [--engine PATH]"), std::string::npos);
  EXPECT_EQ(Run(bind + "a.json b c"), 2);
  EXPECT_EQ(Run(bind + "a.json b --force"), 2);
  EXPECT_EQ(Run(bind + "a.json b --engine"), 2);
  EXPECT_EQ(Run(bind + Quote(dir_ / "missing.json") + " " + Quote(dir_ / "out") + " --engine " +
                Quote(probe_)),
            1);
  EXPECT_EQ(err_, "brimwell bind: " + (dir_ / "missing.json").string() + ": there is no such file\n");
}

}  // namespace
