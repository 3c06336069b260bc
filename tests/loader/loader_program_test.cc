// The real BrimwellLoadProgram, run as setup.exe in both forms with TMPDIR
// inside the test's directory and a stub engine that records how it was
// started.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include <utime.h>

#include "archive/brwl_compress.h"
#include "framework/date_time.h"
#include "platform/machine.h"
#include "tests/loader/loader_test_util.h"

extern char** environ;

namespace brimwell {
namespace {

using testing::Bytes;
using testing::Member;
using testing::TestMember;

const std::string kCaption = "There was an error when trying to load the installation program";

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs `program` with `args`, TMPDIR set to `tmpdir`, and standard output and
// error on a pipe (or on a terminal when `terminal`). Reads until every
// holder of the output has closed it: the loader and the engine it started
// both have ended then.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
            const std::string& tmpdir, bool terminal = false) {
  int read_fd = -1, write_fd = -1;
  if (terminal) {
    read_fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(read_fd);
    ::unlockpt(read_fd);
    write_fd = ::open(::ptsname(read_fd), O_RDWR | O_NOCTTY);
  } else {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {};
    read_fd = fds[0];
    write_fd = fds[1];
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, write_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, write_fd, 2);

  std::vector<std::string> env_text{"TMPDIR=" + tmpdir};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).rfind("TMPDIR=", 0) != 0) env_text.emplace_back(*e);
  }
  std::vector<char*> env, argv{const_cast<char*>(program.c_str())};
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  Outcome outcome;
  int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(write_fd);
  if (spawned != 0) {
    ::close(read_fd);
    return outcome;
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(read_fd, buffer, sizeof buffer);
    if (n > 0) {
      outcome.output.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // end of the pipe, or EIO once the terminal's last holder closed it
    }
  }
  ::close(read_fd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

class LoaderProgramTest : public ::testing::Test {
 protected:
  LoaderProgramTest() {
    std::filesystem::create_directories(dist_);
    std::filesystem::create_directories(tmp_);
    loader_ = testing::ReadBytes(BRIMWELL_BIN_DIR "/BrimwellLoadProgram");
  }

  // The engine first, then `presetup` further files.
  std::vector<TestMember> Setup1Members(int presetup, const std::string& record) {
    std::vector<TestMember> m{Member("C:\\Product\\Build\\setupengine", testing::StubEngine(record))};
    for (TestMember& f : testing::PresetupFiles(presetup)) m.push_back(std::move(f));
    return m;
  }

  // A setup.exe that is a plain copy of the loader.
  std::string PlainSetup(const std::string& name = "setup.exe") {
    std::string path = dist_ + "/" + name;
    testing::WriteHostFile(path, loader_);
    ::chmod(path.c_str(), 0755);
    return path;
  }

  std::string SelfExtractingSetup(const Bytes& setup1, const std::string& name = "setup.exe") {
    std::string path = dist_ + "/" + name;
    Bytes files1 = testing::BuildSingleFile({Member("C:\\Product\\app.exe", "application")});
    testing::WriteHostFile(path, testing::SelfExtracting(loader_, setup1, files1));
    ::chmod(path.c_str(), 0755);
    return path;
  }

  // The stub engine's record: its own path, then its arguments.
  std::vector<std::string> Record() const { return testing::Lines(testing::ReadHostFile(record_)); }

  // The one working directory made under tmp_.
  std::string WorkingDir() const {
    std::vector<std::string> entries = testing::Entries(tmp_);
    return entries.size() == 1 ? tmp_ + "/" + entries[0] : "";
  }

  testing::TempDir dir_;
  std::string dist_ = dir_ / "the dist";  // blanks in the distribution's directory
  std::string tmp_ = dir_ / "tmp";
  std::string record_ = dir_ / "engine-args.txt";
  Bytes loader_;
};

TEST_F(LoaderProgramTest, PlainFormUnpacksSetup1BesideItAndStartsTheEngine) {
  std::vector<TestMember> members = Setup1Members(0, record_);
  TestMember dated = Member("C:\\Product\\brwienglish.txt", "language lines\n");
  dated.date = EncodeDateTime({2019, 11, 3, 8, 7, 5});
  members.push_back(dated);
  members.push_back(Member("C:\\Product\\helper", std::string("\x7f" "ELF", 4) + "more"));
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(members));

  Outcome out = RunProgram(PlainSetup(), {}, tmp_);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output, "");  // not a terminal: no progress line
  std::string w = WorkingDir();
  ASSERT_EQ(std::filesystem::path(w).filename().string().rfind("bwl", 0), 0u) << w;
  EXPECT_EQ(Record(), (std::vector<std::string>{w + "/setupengine", "-c", "-s" + dist_}));

  EXPECT_EQ(testing::Entries(w), (std::vector<std::string>{"brwienglish.txt", "helper", "setupengine"}));
  EXPECT_EQ(testing::ReadHostFile(w + "/brwienglish.txt"), "language lines\n");
  EXPECT_TRUE(testing::IsExecutable(w + "/setupengine"));
  EXPECT_TRUE(testing::IsExecutable(w + "/helper"));
  EXPECT_FALSE(testing::IsExecutable(w + "/brwienglish.txt"));
  std::tm expected{};
  expected.tm_year = 119, expected.tm_mon = 10, expected.tm_mday = 3;
  expected.tm_hour = 8, expected.tm_min = 7, expected.tm_sec = 4, expected.tm_isdst = -1;
  struct stat st {};
  ASSERT_EQ(::stat((w + "/brwienglish.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, std::mktime(&expected));
}

TEST_F(LoaderProgramTest, ASetup1WrittenByTheArchiveComponentUnpacksWithItsDates) {
  const std::string src = dir_ / "src";
  std::filesystem::create_directories(src);
  testing::WriteHostFile(src + "/setupengine", testing::StubEngine(record_));
  testing::WriteHostFile(src + "/licence.txt", testing::MixedContent(70000, 5));  // > one input block
  struct utimbuf when {};
  when.actime = when.modtime = DateTimeToUnix(EncodeDateTime({2020, 2, 29, 23, 59, 59}));
  ::utime((src + "/licence.txt").c_str(), &when);

  std::unique_ptr<Machine> machine = OpenMachine(dir_ / "prefix");
  TBrwlCompress compress(nullptr);
  ArchiveServices services;
  services.machine = machine.get();
  compress.SetServices(services);
  compress.SetCompressedFile(dist_ + "/setup.1");  // host paths are read as Z:\...
  compress.SetFilesToProcessLines({src + "/setupengine", src + "/licence.txt"});
  compress.Compress(false, 0);

  Outcome out = RunProgram(PlainSetup(), {}, tmp_);
  ASSERT_EQ(out.status, 0) << out.output;
  std::string w = WorkingDir();
  EXPECT_EQ(Record(), (std::vector<std::string>{w + "/setupengine", "-c", "-s" + dist_}));
  EXPECT_EQ(testing::ReadHostFile(w + "/licence.txt"), testing::ReadHostFile(src + "/licence.txt"));
  struct stat st {};
  ASSERT_EQ(::stat((w + "/licence.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, when.modtime - 1);  // a DOS date holds even seconds only
}

TEST_F(LoaderProgramTest, SelfExtractingFormIgnoresASetup1BesideAndPassesItsOwnName) {
  std::string other_record = dir_ / "wrong-engine.txt";
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(1, other_record)));
  std::string setup = SelfExtractingSetup(testing::BuildSingleFile(Setup1Members(2, record_)));

  Outcome out = RunProgram(setup, {}, tmp_);
  ASSERT_EQ(out.status, 0) << out.output;
  std::string w = WorkingDir();
  EXPECT_EQ(Record(),
            (std::vector<std::string>{w + "/setupengine", "-c", "-esetup.exe", "-s" + dist_}));
  EXPECT_EQ(testing::Entries(w), (std::vector<std::string>{"file1.dat", "file2.dat", "setupengine"}));
  EXPECT_FALSE(std::filesystem::exists(other_record));
}

TEST_F(LoaderProgramTest, ARenamedSelfExtractingFileStillFindsItsArchive) {
  std::string setup = SelfExtractingSetup(testing::BuildSingleFile(Setup1Members(1, record_)),
                                          "Install Product 2.exe");
  Outcome out = RunProgram(setup, {}, tmp_);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(Record(), (std::vector<std::string>{WorkingDir() + "/setupengine", "-c",
                                                "-eInstall Product 2.exe", "-s" + dist_}));
}

TEST_F(LoaderProgramTest, TodiskStartsTheFloppyTransferInEitherForm) {
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(0, record_)));
  Outcome out = RunProgram(PlainSetup(), {"*ToDisk"}, tmp_);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(Record(), (std::vector<std::string>{WorkingDir() + "/setupengine", "-c", "-f",
                                                "-esetup.exe", "-s" + dist_}));
}

TEST_F(LoaderProgramTest, FiftyMembersAreUnpackedAndFiftyOneRefused) {
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(49, record_)));
  Outcome out = RunProgram(PlainSetup(), {}, tmp_);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(testing::Entries(WorkingDir()).size(), 50u);
  EXPECT_EQ(Record().size(), 3u);

  std::filesystem::remove_all(tmp_);
  std::filesystem::create_directories(tmp_);
  std::filesystem::remove(record_);
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(50, record_)));
  out = RunProgram(PlainSetup(), {}, tmp_);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.output,
            kCaption +
                "\nLOADER: Sorry... You can only have 49 files in the PresetupFiles property of "
                "the TInstall. If you want to have more you can modify the MaxFiles constant in "
                "the BrimwellLoadProgram project in the Brimwell directory\n");
  // Nothing is left of the refused run: its directory goes too.
  EXPECT_TRUE(testing::Entries(tmp_).empty());
  EXPECT_FALSE(std::filesystem::exists(record_));
}

TEST_F(LoaderProgramTest, ATruncatedArchiveIsRefusedAndNoEngineStarts) {
  Bytes setup1 = testing::BuildSingleFile(Setup1Members(3, record_));
  // The self-extracting image cut short: the trailer still says where it was.
  Bytes cut(setup1.begin(), setup1.end() - 20);
  std::string setup = SelfExtractingSetup(cut);
  Outcome out = RunProgram(setup, {}, tmp_);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.output, kCaption +
                            "\nLOADER: The file C:\\Product\\Presetup\\file3.dat does not lie "
                            "inside the archive SETUP.1. The archive is probably incomplete or "
                            "damaged\n");
  EXPECT_FALSE(std::filesystem::exists(record_));

  // A plain setup.1 cut inside its header table.
  testing::WriteHostFile(dist_ + "/setup.1", Bytes(setup1.begin(), setup1.begin() + 100));
  out = RunProgram(PlainSetup("setup2.exe"), {}, tmp_);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.output,
            kCaption + "\nLOADER: Cannot read a file header in the archive file from SETUP.1\n");
}

TEST_F(LoaderProgramTest, ATemporaryDirectoryWithBlanksStillStartsTheEngine) {
  std::string tmp = dir_ / "my temp";
  std::filesystem::create_directories(tmp);
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(0, record_)));
  Outcome out = RunProgram(PlainSetup(), {}, tmp);
  ASSERT_EQ(out.status, 0) << out.output;
  ASSERT_EQ(Record().size(), 3u);
  EXPECT_EQ(Record()[0].rfind(tmp + "/bwl", 0), 0u);
  EXPECT_EQ(Record()[2], "-s" + dist_);
}

TEST_F(LoaderProgramTest, AMissingTemporaryDirectoryIsAnErrorWithStatusOne) {
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(0, record_)));
  Outcome out = RunProgram(PlainSetup(), {"*QUIET"}, dir_ / "no such dir");
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.output,
            kCaption + "\nLOADER: Could not find the temporary directory on this computer\n");
}

TEST_F(LoaderProgramTest, ATerminalShowsProgressUnlessQuiet) {
  testing::WriteHostFile(dist_ + "/setup.1", testing::BuildSingleFile(Setup1Members(5, record_)));
  Outcome out = RunProgram(PlainSetup(), {}, tmp_, /*terminal=*/true);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_NE(out.output.find("Initializing..."), std::string::npos) << out.output;
  EXPECT_NE(out.output.find("100%"), std::string::npos) << out.output;

  std::filesystem::remove(record_);
  out = RunProgram(PlainSetup(), {"*quiet"}, tmp_, /*terminal=*/true);
  ASSERT_EQ(out.status, 0) << out.output;
  EXPECT_EQ(out.output, "");
  EXPECT_EQ(Record().size(), 3u);  // a quiet run still starts the engine
}

}  // namespace
}  // namespace brimwell
