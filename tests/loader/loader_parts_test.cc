// The loader's parts that need no archive: its own command line, the command
// line it composes for the engine and how that is taken apart again, the
// working directory, the free-space check and starting a program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <vector>

#include "framework/exception.h"
#include "host/host_env_wrapper.h"
#include "loader/engine_command_line.h"
#include "loader/loader_text.h"
#include "loader/program_start.h"
#include "loader/star_word.h"
#include "loader/working_directory.h"
#include "tests/loader/loader_test_util.h"

namespace brimwell {
namespace {

using testing::TempDir;
using Args = std::vector<const char*>;

TEST(StarWordTest, OnlyAStarredFirstArgumentCountsInAnyCase) {
  struct Case {
    Args args;
    StarWord expected;
  } cases[] = {
      {{}, StarWord::kNone},
      {{"*QUIET"}, StarWord::kQuiet},
      {{"*qUiEt"}, StarWord::kQuiet},
      {{"*todisk"}, StarWord::kToDisk},
      {{"*ToDisk", "*QUIET"}, StarWord::kToDisk},  // the two cannot be combined
      {{"TODISK"}, StarWord::kNone},               // no star
      {{"-x", "*QUIET"}, StarWord::kNone},         // second argument
      {{"*"}, StarWord::kNone},
      {{"*QUIETLY"}, StarWord::kNone},
      {{"* QUIET"}, StarWord::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseStarWord(c.args), c.expected) << (c.args.empty() ? "(none)" : c.args[0]);
  }
}

TEST(EngineCommandLineTest, TheThreeFormsAreComposedExactly) {
  const char* x = "/tmp/bwlAb12Cd/setupengine";
  EXPECT_EQ(ComposeEngineCommandLine(EngineLaunch::kTransferToFloppies, x, "setup.exe", "/m/dist"),
            "/tmp/bwlAb12Cd/setupengine -c -f \"-esetup.exe\" -s\"/m/dist\"");
  EXPECT_EQ(ComposeEngineCommandLine(EngineLaunch::kSelfExtracting, x, "setup.exe", "/m/dist"),
            "/tmp/bwlAb12Cd/setupengine -c \"-esetup.exe\" \"-s/m/dist\"");
  EXPECT_EQ(ComposeEngineCommandLine(EngineLaunch::kBesideSetup1, x, "setup.exe", "/m/dist"),
            "/tmp/bwlAb12Cd/setupengine -c \"-s/m/dist\"");
}

TEST(EngineCommandLineTest, EachFormSplitsIntoTheEnginesSwitchesEvenWithBlanks) {
  const char* x = "/tmp/bwlAb12Cd/setupengine";
  const std::string dir = "/media/My Disk/New Product";
  const std::string name = "my setup.exe";
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine(
                ComposeEngineCommandLine(EngineLaunch::kTransferToFloppies, x, name, dir)),
            (V{x, "-c", "-f", "-emy setup.exe", "-s/media/My Disk/New Product"}));
  EXPECT_EQ(SplitCommandLine(ComposeEngineCommandLine(EngineLaunch::kSelfExtracting, x, name, dir)),
            (V{x, "-c", "-emy setup.exe", "-s/media/My Disk/New Product"}));
  EXPECT_EQ(SplitCommandLine(ComposeEngineCommandLine(EngineLaunch::kBesideSetup1, x, name, dir)),
            (V{x, "-c", "-s/media/My Disk/New Product"}));
}

TEST(EngineCommandLineTest, AnUnquotedProgramWithBlanksIsTheShortestExistingPrefix) {
  TempDir dir;
  std::string engine = dir / "bwl one/setupengine";
  auto is_file = [&](const std::string& p) { return p == engine; };
  ProgramInvocation inv = ParseInvocation(engine + " -c \"-s/a b\"", is_file);
  EXPECT_EQ(inv.program, engine);
  EXPECT_EQ(inv.arguments, (std::vector<std::string>{"-c", "-s/a b"}));

  // Nothing exists: the first argument is the program, as split.
  inv = ParseInvocation("/no such/prog -c", [](const std::string&) { return false; });
  EXPECT_EQ(inv.program, "/no");
  EXPECT_EQ(inv.arguments, (std::vector<std::string>{"such/prog", "-c"}));

  // A quoted program is taken as quoted.
  inv = ParseInvocation("\"/a b/prog\" -c", [](const std::string&) { return true; });
  EXPECT_EQ(inv.program, "/a b/prog");
}

TEST(LoaderTextTest, TrimBlanksTakesBlanksAndControlsFromBothEnds) {
  EXPECT_EQ(TrimBlanks(" \t/tmp/bwl1 \n"), "/tmp/bwl1");
  EXPECT_EQ(TrimBlanks(" \t\n"), "");
}

TEST(WorkingDirectoryTest, TemporaryPathIsAbsoluteWithATrailingSlash) {
  host::FaultyEnv env;
  env.UnsetEnv("TMPDIR");
  EXPECT_EQ(TemporaryPath(env), "/tmp/");
  env.SetEnv("TMPDIR", "");
  EXPECT_EQ(TemporaryPath(env), "/tmp/");
  env.SetEnv("TMPDIR", "/var/tmp/");
  EXPECT_EQ(TemporaryPath(env), "/var/tmp/");
  // A relative TMPDIR would give the engine a relative path to start.
  env.SetEnv("TMPDIR", "scratch");
  EXPECT_EQ(TemporaryPath(env), std::filesystem::current_path().string() + "/scratch/");
}

TEST(WorkingDirectoryTest, EachRunGetsAFreshBwlDirectoryAndNoFileIsLeft) {
  TempDir tmp;
  std::string a = MakeWorkingDirectory(tmp.path().string() + "/");
  std::string b = MakeWorkingDirectory(tmp.path().string() + "/");
  EXPECT_NE(a, b);
  for (const std::string& w : {a, b}) {
    EXPECT_EQ(w.rfind(tmp.path().string() + "/bwl", 0), 0u) << w;
    EXPECT_EQ(w.size(), tmp.path().string().size() + 1 + 9) << w;  // "bwl" and six unique characters
    struct stat st {};
    ASSERT_EQ(::stat(w.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << "the working directory is private";
  }
  EXPECT_EQ(testing::Entries(tmp.path()).size(), 2u);  // no .tmp file stays
}

TEST(WorkingDirectoryTest, ADirectoryThatCannotBeMadeStopsTheLoaderAndNeverFallsBack) {
  // Unpacking into the shared temporary directory itself would let another
  // user's link there redirect the engine; the loader stops instead.
  TempDir tmp;
  host::FaultyEnv env;
  env.Fail(host::HostCall::kMakeTemporaryDirectory, EACCES);
  try {
    MakeWorkingDirectory(tmp.path().string() + "/", env);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "LOADER: Could not make a private working directory in the temporary "
                                     "directory " + tmp.path().string() + "/: Permission denied");
  }
  EXPECT_TRUE(testing::Entries(tmp.path()).empty());
}

TEST(WorkingDirectoryTest, AMissingTemporaryDirectoryIsReported) {
  TempDir tmp;
  try {
    MakeWorkingDirectory(tmp / "missing/");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "LOADER: Could not find the temporary directory on this computer");
  }
}

TEST(WorkingDirectoryTest, FreeSpaceBelowEightMillionBytesStopsTheLoader) {
  try {
    CheckFreeSpace("/tmp/bwlX1", 7999999);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(),
                 "You should have at least 8000000 bytes free on the disk where your temporary "
                 "directory, /tmp/bwlX1, is located. Please clear off some space and then run the "
                 "install again");
  }
  EXPECT_NO_THROW(CheckFreeSpace("/tmp/bwlX1", 8000000));
  EXPECT_NO_THROW(CheckFreeSpace("/tmp/bwlX1", -1));  // unknown: not checked
  EXPECT_GE(FreeBytesAvailable("/"), 0);
  EXPECT_LT(FreeBytesAvailable("/no/such/directory"), 0);
  host::FaultyEnv env;
  env.Fail(host::HostCall::kFreeBytes, EIO);
  EXPECT_LT(FreeBytesAvailable("/", env), 0);
}

TEST(ProgramStartTest, FailuresGiveTheWindowsCodesAndTexts) {
  TempDir dir;
  testing::WriteHostFile(dir / "not-executable", "#!/bin/sh\nexit 0\n");
  testing::WriteHostFile(dir / "no-program", "just text\n");
  ::chmod((dir / "no-program").c_str(), 0755);
  ::chmod((dir / "not-executable").c_str(), 0644);

  EXPECT_EQ(StartProgram(dir / "missing -c"), kStartFileNotFound);
  EXPECT_EQ(StartProgram(dir / "missing-dir/engine -c"), kStartPathNotFound);
  EXPECT_EQ(StartProgram(dir / "no-program"), kStartBadFormat);
  EXPECT_EQ(StartProgram(dir.path().string()), kStartAccessDenied);  // a directory, as on Windows
  // Even root may not execute a file without any execute bit.
  EXPECT_EQ(StartProgram(dir / "not-executable"), kStartAccessDenied);
  // Failures of the host itself, before any program runs.
  testing::WriteHostFile(dir / "engine", "#!/bin/sh\nexit 0\n");
  ::chmod((dir / "engine").c_str(), 0755);
  host::FaultyEnv env;
  env.Fail(host::HostCall::kStartProgram, EAGAIN);
  EXPECT_EQ(StartProgram(dir / "engine -c", env), kStartOutOfResources);
  env.Fail(host::HostCall::kStartProgram, EIO);
  EXPECT_EQ(StartProgram(dir / "engine -c", env), kStartFailed);

  EXPECT_EQ(StartErrorText(2), "The specified file was not found");
  EXPECT_EQ(StartErrorText(3), "The specified path was not found");
  EXPECT_EQ(StartErrorText(11), "The .EXE file is invalid");
  EXPECT_EQ(StartErrorText(5), "Unknown");
}

}  // namespace
}  // namespace brimwell
