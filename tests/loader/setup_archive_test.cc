// Reading SETUP.1 the loader's way and unpacking it: the 50-entry header
// table, damaged and cut archives, member names, file dates and modes; then
// the whole loader run with the machine's services replaced.
#include "loader/setup_archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "archive/memory_stream.h"
#include "framework/date_time.h"
#include "framework/exception.h"
#include "host/host_env_wrapper.h"
#include "loader/loader.h"
#include "tests/loader/loader_test_util.h"

namespace brimwell {
namespace {

using testing::Bytes;
using testing::Member;
using testing::TempDir;
using testing::TestMember;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

std::string HeadersError(const Bytes& image) {
  MemoryStream s(image);
  SetupArchive archive(s, 0, static_cast<std::int64_t>(image.size()));
  return ErrorOf([&] { archive.ReadHeaders(); });
}

std::vector<TestMember> Engine(int presetup_files) {
  std::vector<TestMember> m{Member("C:\\Build\\setupengine", "#!/bin/sh\nexit 0\n")};
  for (TestMember& f : testing::PresetupFiles(presetup_files)) m.push_back(std::move(f));
  return m;
}

// Position of header k (0-based) in an image made by BuildSingleFile.
std::size_t HeaderPos(const Bytes& b, int k) {
  std::size_t pos = kPrologueSize;
  for (int i = 0; i < k; ++i) pos = static_cast<std::size_t>(GetInt32(&b[pos + kNextHeaderPosOffset]));
  return pos;
}

TEST(SetupArchiveTest, FiftyMembersAreReadAndFiftyOneRefused) {
  Bytes fifty = testing::BuildSingleFile(Engine(49));
  MemoryStream s(fifty);
  SetupArchive archive(s, 0, static_cast<std::int64_t>(fifty.size()));
  archive.ReadHeaders();
  ASSERT_EQ(archive.Headers().size(), 50u);
  EXPECT_EQ(archive.Headers()[49].FileName, "C:\\Product\\Presetup\\file49.dat");

  EXPECT_EQ(HeadersError(testing::BuildSingleFile(Engine(50))),
            "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the "
            "TInstall. If you want to have more you can modify the MaxFiles constant in the "
            "BrimwellLoadProgram project in the Brimwell directory");
}

TEST(SetupArchiveTest, AFileThatIsNoArchiveIsCalledDamaged) {
  const std::string damaged =
      "LOADER: SETUP.1 is not an archive of the installation program, or the archive is damaged. "
      "Please copy the distributable files again";
  const std::string text = "This is the read-me of the product, not an archive at all.\n";
  EXPECT_EQ(HeadersError(Bytes(text.begin(), text.end())), damaged);
  // A count of 51 with room for 51 headers is a real archive with too many
  // members; the same count in a file too short for them is none.
  Bytes fifty_one = testing::BuildSingleFile(Engine(50));
  EXPECT_NE(HeadersError(fifty_one).find("You can only have 49 files"), std::string::npos);
  EXPECT_EQ(HeadersError(Bytes(fifty_one.begin(), fifty_one.begin() + 5 + 50 * 172)), damaged);
}

TEST(SetupArchiveTest, ShortOrEmptyTablesGiveTheirMessages) {
  Bytes image = testing::BuildSingleFile(Engine(2));
  EXPECT_EQ(HeadersError(Bytes(image.begin(), image.begin() + 3)),
            "LOADER: Could not read the number of files in the archive from SETUP.1");
  EXPECT_EQ(HeadersError(Bytes(image.begin(), image.begin() + 4)),
            "LOADER: Could not read the multi-partition flag in the archive file from SETUP.1");
  EXPECT_EQ(HeadersError(Bytes(image.begin(), image.begin() + 5 + 163)),
            "LOADER: Cannot read a file header in the archive file from SETUP.1");
  const std::string none =
      "There are no files in the archive in SETUP.1. There should at least be your installation "
      "project executable";
  EXPECT_EQ(HeadersError(testing::BuildSingleFile({})), none);
  Bytes negative = image;
  PutInt32(negative.data(), -3);
  EXPECT_EQ(HeadersError(negative), none);
}

TEST(SetupArchiveTest, ACutArchiveIsRefusedBeforeAnythingIsUnpacked) {
  Bytes image = testing::BuildSingleFile(Engine(3));
  // Cut inside the last member's stream: every header reads, the stream would not.
  Bytes cut(image.begin(), image.end() - 10);
  EXPECT_EQ(HeadersError(cut),
            "LOADER: The file C:\\Product\\Presetup\\file3.dat does not lie inside the archive "
            "SETUP.1. The archive is probably incomplete or damaged");
  // A header pointing its data back into its own bytes.
  Bytes bent = image;
  PutInt32(&bent[HeaderPos(bent, 1) + kDataPosOffset], 10);
  EXPECT_NE(HeadersError(bent).find("does not lie inside the archive"), std::string::npos);
}

TEST(SetupArchiveTest, OnlyPlainFileNamesAreWritten) {
  EXPECT_EQ(MemberFileName("C:\\Build\\Sub\\setupengine.exe"), "setupengine.exe");
  EXPECT_EQ(MemberFileName("/home/dev/product/readme.txt"), "readme.txt");
  EXPECT_EQ(MemberFileName("D:brwienglish.txt"), "brwienglish.txt");
  EXPECT_EQ(MemberFileName("plain"), "plain");
  for (std::string bad : std::vector<std::string>{"C:\\Build\\", "..", "C:\\x\\..", ".", "  ", "a\x01z"}) {
    EXPECT_EQ(ErrorOf([&] { MemberFileName(bad); }),
              "LOADER: The archive SETUP.1 holds a file whose name <" + bad +
                  "> cannot be used. The archive is probably damaged")
        << bad;
  }
  EXPECT_NE(HeadersError(testing::BuildSingleFile({Member("C:\\a\\..", "x")})), "");
}

class SetupExtractTest : public ::testing::Test {
 protected:
  // Extracts every member of `image` into the temporary directory.
  std::string Extract(const Bytes& image) {
    stream_ = std::make_unique<MemoryStream>(image);
    archive_ = std::make_unique<SetupArchive>(*stream_, 0, static_cast<std::int64_t>(image.size()),
                                              env_);
    return ErrorOf([&] {
      archive_->ReadHeaders();
      for (std::size_t i = 0; i < archive_->Headers().size(); ++i)
        archive_->Extract(i, dir_.path(), [&](std::size_t n) { written_ += n; });
    });
  }

  TempDir dir_;
  host::FaultyEnv env_;
  std::unique_ptr<MemoryStream> stream_;
  std::unique_ptr<SetupArchive> archive_;
  std::size_t written_ = 0;
};

TEST_F(SetupExtractTest, MembersLandUnderBareNamesWithDatesAndProgramBits) {
  TestMember engine = Member("C:\\Build\\setupengine", "#!/bin/sh\nexit 0\n");
  engine.date = EncodeDateTime({2021, 6, 15, 10, 20, 31});  // odd second
  TestMember elf = Member("C:\\Build\\helper.so", std::string("\x7f" "ELF\x02\x01", 6) + "rest");
  TestMember big = Member("/home/dev/big.bin", testing::MixedContent(300000, 7));
  TestMember tiny = Member("C:\\Build\\#!", "#!");  // a two-byte "program"
  TestMember empty = Member("C:\\Build\\empty.txt", "");
  ASSERT_EQ(Extract(testing::BuildSingleFile({engine, elf, big, tiny, empty})), "");

  EXPECT_EQ(testing::Entries(dir_.path()),
            (std::vector<std::string>{"#!", "big.bin", "empty.txt", "helper.so", "setupengine"}));
  EXPECT_EQ(testing::ReadHostFile(dir_ / "big.bin"), big.content);
  EXPECT_EQ(testing::ReadHostFile(dir_ / "empty.txt"), "");
  EXPECT_EQ(written_, engine.content.size() + elf.content.size() + big.content.size() + 2);
  EXPECT_TRUE(testing::IsExecutable(dir_ / "setupengine"));
  EXPECT_TRUE(testing::IsExecutable(dir_ / "helper.so"));
  EXPECT_TRUE(testing::IsExecutable(dir_ / "#!"));
  EXPECT_FALSE(testing::IsExecutable(dir_ / "big.bin"));
  EXPECT_FALSE(testing::IsExecutable(dir_ / "empty.txt"));

  // The date goes through the DOS form: the odd second rounds down.
  std::tm expected{};
  expected.tm_year = 121, expected.tm_mon = 5, expected.tm_mday = 15;
  expected.tm_hour = 10, expected.tm_min = 20, expected.tm_sec = 30, expected.tm_isdst = -1;
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "setupengine").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, std::mktime(&expected));
}

TEST_F(SetupExtractTest, DatesDosCannotHoldAreKeptAndUnusableOnesIgnored) {
  TestMember old = Member("old.txt", "x");
  old.date = EncodeDateTime({1975, 1, 1, 12, 0, 1});
  TestMember garbage = Member("garbage.txt", "y");
  garbage.date = 1e300;
  std::time_t before = std::time(nullptr);
  ASSERT_EQ(Extract(testing::BuildSingleFile({old, garbage})), "");
  std::tm expected{};
  expected.tm_year = 75, expected.tm_mday = 1, expected.tm_hour = 12, expected.tm_sec = 1;
  expected.tm_isdst = -1;
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "old.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, std::mktime(&expected));
  ASSERT_EQ(::stat((dir_ / "garbage.txt").c_str(), &st), 0);
  EXPECT_GE(st.st_mtime, before - 1);
}

TEST_F(SetupExtractTest, ALaterMemberOfTheSameNameReplacesTheEarlier) {
  ASSERT_EQ(Extract(testing::BuildSingleFile(
                {Member("C:\\A\\same.txt", "first"), Member("C:\\B\\same.txt", "second")})),
            "");
  EXPECT_EQ(testing::ReadHostFile(dir_ / "same.txt"), "second");
}

TEST_F(SetupExtractTest, ALinkAtAMemberNameIsReplacedAndItsTargetKept) {
  // Someone else's link where a member goes: the member replaces the link,
  // the file it pointed to stays as it was.
  TempDir elsewhere;
  testing::WriteHostFile(elsewhere / "victim", "keep me");
  ASSERT_EQ(::symlink((elsewhere / "victim").c_str(), (dir_ / "setupengine").c_str()), 0);
  ASSERT_EQ(::symlink((elsewhere / "absent").c_str(), (dir_ / "dangling.txt").c_str()), 0);
  ASSERT_EQ(Extract(testing::BuildSingleFile({Member("C:\\B\\setupengine", "#!/bin/sh\nexit 0\n"),
                                              Member("C:\\B\\dangling.txt", "text")})),
            "");
  EXPECT_EQ(testing::ReadHostFile(elsewhere / "victim"), "keep me");
  EXPECT_FALSE(testing::IsExecutable(elsewhere / "victim"));
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "absent"));
  for (const char* name : {"setupengine", "dangling.txt"}) {
    struct stat st {};
    ASSERT_EQ(::lstat((dir_ / name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
  }
  EXPECT_EQ(testing::ReadHostFile(dir_ / "setupengine"), "#!/bin/sh\nexit 0\n");
}

TEST_F(SetupExtractTest, AStreamEndingEarlyIsRefused) {
  Bytes image = testing::BuildSingleFile({Member("engine", testing::MixedContent(50000, 3))});
  // Headers consistent, but the stream is declared shorter than it is.
  std::size_t h = HeaderPos(image, 0);
  std::int32_t size = GetInt32(&image[h + kCompressedSizeOffset]) - 100;
  PutInt32(&image[h + kCompressedSizeOffset], size);
  PutInt32(&image[h + kEndPosOffset], GetInt32(&image[h + kDataPosOffset]) + size - 1);
  PutInt32(&image[h + kNextHeaderPosOffset], GetInt32(&image[h + kEndPosOffset]) + 1);
  EXPECT_EQ(Extract(image), "LOADER: The data of the file " + dir_ / "engine" +
                                " ends early in the archive SETUP.1. The archive is probably "
                                "incomplete or damaged");
}

TEST_F(SetupExtractTest, ASizeOtherThanFileSizeIsRefusedBothWays) {
  for (std::int32_t delta : {+1, -1}) {
    Bytes image = testing::BuildSingleFile({Member("engine", "0123456789")});
    PutInt32(&image[HeaderPos(image, 0) + kFileSizeOffset], 10 + delta);
    EXPECT_EQ(Extract(image),
              "The decompressed file's size does not match with the actual size of the file.  "
              "The file is " + dir_ / "engine")
        << delta;
  }
}

TEST_F(SetupExtractTest, CorruptDataAndAnUnwritableTargetGiveTheirMessages) {
  Bytes image = testing::BuildSingleFile({Member("engine", testing::MixedContent(5000, 1))});
  Bytes corrupt = image;
  corrupt[HeaderPos(corrupt, 0) + kFileHeaderSize + 2] ^= 0xFF;
  EXPECT_EQ(Extract(corrupt), "error");

  // A directory (not empty) where the file should go.
  ::mkdir((dir_ / "blocked").c_str(), 0700);
  ::mkdir((dir_ / "blocked/x").c_str(), 0700);
  EXPECT_EQ(Extract(testing::BuildSingleFile({Member("C:\\blocked", "x")})),
            "LOADER: Could not create the following file, " + dir_ / "blocked");
}

TEST_F(SetupExtractTest, LinksAreReplacedAndFailuresLeaveTheOldFile) {
  // A link planted at a member's name (the temporary directory is shared
  // with other users) is replaced, its target left alone.
  TempDir elsewhere;
  testing::WriteHostFile(elsewhere / "victim", "theirs");
  ASSERT_EQ(::symlink((elsewhere / "victim").c_str(), (dir_ / "engine").c_str()), 0);
  ASSERT_EQ(Extract(testing::BuildSingleFile({Member("engine", "#!/bin/sh\n")})), "");
  EXPECT_EQ(testing::ReadHostFile(elsewhere / "victim"), "theirs");
  struct stat st {};
  ASSERT_EQ(::lstat((dir_ / "engine").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(testing::ReadHostFile(dir_ / "engine"), "#!/bin/sh\n");

  // A disk that fills in the middle of a member, a member of the wrong size
  // and a corrupt member: the earlier version stays whole, nothing beside it.
  const Bytes big = testing::BuildSingleFile({Member("engine", testing::MixedContent(90000, 2))});
  env_.Fail(host::HostCall::kAtomicAppend, ENOSPC);
  EXPECT_EQ(Extract(big), "LOADER: Could not write to the file " + dir_ / "engine" +
                              ". This probably means that your disk is full");
  env_.Heal(host::HostCall::kAtomicAppend);
  Bytes wrong_size = big;
  PutInt32(&wrong_size[HeaderPos(wrong_size, 0) + kFileSizeOffset], 89999);
  EXPECT_NE(Extract(wrong_size), "");
  Bytes corrupt = big;
  corrupt[HeaderPos(corrupt, 0) + kFileHeaderSize + 40] ^= 0x55;
  EXPECT_NE(Extract(corrupt), "");
  EXPECT_EQ(testing::ReadHostFile(dir_ / "engine"), "#!/bin/sh\n");
  EXPECT_EQ(testing::Entries(dir_.path()), (std::vector<std::string>{"engine"}));
}

// The whole loader with the machine replaced: the running program is a file
// of the test, the program start is recorded.
class LoaderRunTest : public ::testing::Test {
 protected:
  LoaderRunTest() {
    ::mkdir((dir_ / "dist").c_str(), 0755);
    ::mkdir((dir_ / "tmp").c_str(), 0755);
  }

  LoaderServices Services(const std::string& executable) {
    LoaderServices s;
    s.executable = executable;
    s.temp_path = dir_ / "tmp/";
    s.free_bytes = [this](const std::string&) { return free_bytes_; };
    s.start_program = [this](const std::string& line) {
      started_.push_back(line);
      return start_result_;
    };
    return s;
  }

  std::string Run(const std::string& executable, StarWord star = StarWord::kNone) {
    return ErrorOf([&] { run_ = Loader(Services(executable), star).Run(); });
  }

  TempDir dir_;
  std::int64_t free_bytes_ = 1 << 30;
  int start_result_ = 33;
  std::vector<std::string> started_;
  LoaderRun run_;
};

TEST_F(LoaderRunTest, PlainFormFindsSetup1InAnyLetterCase) {
  testing::WriteHostFile(dir_ / "dist/setup.exe", "plain loader bytes, no trailer");
  testing::WriteHostFile(dir_ / "dist/SETUP.1", testing::BuildSingleFile(Engine(1)));
  ASSERT_EQ(Run(dir_ / "dist/setup.exe"), "");
  EXPECT_EQ(testing::Entries(run_.working_dir),
            (std::vector<std::string>{"file1.dat", "setupengine"}));
  EXPECT_EQ(started_.back(), run_.engine + " -c \"-s" + dir_.path().string() + "/dist\"");
}

TEST_F(LoaderRunTest, MissingFilesAreReportedWithTheirPaths) {
  EXPECT_EQ(Run(dir_ / "dist/gone.exe"),
            "LOADER: Could not find the executable, " + dir_ / "dist/gone.exe");
  testing::WriteHostFile(dir_ / "dist/setup.exe", "plain");
  EXPECT_EQ(Run(dir_ / "dist/setup.exe"),
            "LOADER: Setup.1 must be in the same directory as the the loader program. Directory "
            "is " + dir_ / "dist");
  EXPECT_TRUE(started_.empty());
}

TEST_F(LoaderRunTest, LowFreeSpaceStopsBeforeAnythingIsUnpacked) {
  testing::WriteHostFile(dir_ / "dist/setup.exe", "plain");
  testing::WriteHostFile(dir_ / "dist/setup.1", testing::BuildSingleFile(Engine(1)));
  free_bytes_ = 7999999;
  std::string error = Run(dir_ / "dist/setup.exe");
  EXPECT_EQ(error.rfind("You should have at least 8000000 bytes free on the disk where your "
                        "temporary directory, " + dir_ / "tmp/bwl", 0),
            0u)
      << error;
  // The directory made for the engine is removed again.
  EXPECT_TRUE(testing::Entries(dir_ / "tmp").empty());
  EXPECT_TRUE(started_.empty());
}

TEST_F(LoaderRunTest, AFailedStartNamesTheCommandLineAndTheCode) {
  testing::WriteHostFile(dir_ / "dist/setup.exe", "plain");
  testing::WriteHostFile(dir_ / "dist/setup.1", testing::BuildSingleFile(Engine(0)));
  start_result_ = 11;
  std::string error = Run(dir_ / "dist/setup.exe");
  EXPECT_EQ(error, "LOADER: Could not run the installation executable file " + started_.at(0) +
                       ". The WinExec return was 11 - The .EXE file is invalid");
}

}  // namespace
}  // namespace brimwell
