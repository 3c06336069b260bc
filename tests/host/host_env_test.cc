// The POSIX host seam: what callers rely on beyond "the call worked" (files
// replaced whole or not at all, starts that report a failed exec, detached
// work that outlives its starter) and the wrapper that fakes failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "host/host_env.h"
#include "host/host_env_wrapper.h"
#include "host/host_path.h"

namespace brimwell::host {
namespace {

class HostEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Result<std::string> made = env_.MakeTemporaryDirectory(env_.TemporaryDirectory(), "brimwell-host-");
    ASSERT_TRUE(made) << made.error().message();
    dir_ = *made;
  }
  void TearDown() override { EXPECT_FALSE(env_.RemoveTree(dir_)); }

  std::string Path(std::string_view name) const { return JoinPath(dir_, name); }
  std::vector<std::string> Names() {
    Result<std::vector<std::string>> names = env_.ListDirectory(dir_);
    EXPECT_TRUE(names);
    std::vector<std::string> sorted = names ? *names : std::vector<std::string>();
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }
  // Waits up to five seconds for `path` to exist.
  bool AppearsSoon(const std::string& path) {
    for (int i = 0; i < 500 && !env_.FileExists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return env_.FileExists(path);
  }

  Env& env_ = Env::Default();
  std::string dir_;
};

TEST_F(HostEnvTest, AnAtomicFileReplacesWholeOrNotAtAll) {
  ASSERT_FALSE(env_.WriteFile(Path("file"), "old"));
  {
    Result<std::unique_ptr<AtomicFile>> file = env_.NewAtomicFile(Path("file"));
    ASSERT_TRUE(file);
    ASSERT_FALSE((*file)->Append("half of the new"));
    // Dropped without Commit: the old file stays and the temporary goes.
  }
  EXPECT_EQ(*env_.ReadFile(Path("file")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"file"});

  ASSERT_FALSE(env_.WriteFileAtomically(Path("file"), "new", 0640));
  EXPECT_EQ(*env_.ReadFile(Path("file")), "new");
  EXPECT_EQ(*env_.FileMode(Path("file")), 0640u);
  EXPECT_EQ(Names(), std::vector<std::string>{"file"});

  // A directory in the way: the rename fails and nothing is left over.
  ASSERT_FALSE(env_.MakeDirectory(Path("sub"), true));
  EXPECT_EQ(env_.WriteFileAtomically(Path("sub"), "x"), std::errc::is_a_directory);
  EXPECT_EQ(env_.WriteFileAtomically(Path("missing/file"), "x"), std::errc::no_such_file_or_directory);
  EXPECT_EQ(Names(), (std::vector<std::string>{"file", "sub"}));
}

TEST_F(HostEnvTest, FilesReadWriteAndReportTheirErrors) {
  Result<std::unique_ptr<File>> file = env_.OpenFile(Path("data"), OpenMode::kCreate);
  ASSERT_TRUE(file);
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(*(*file)->Write(bytes), 5u);
  EXPECT_EQ(*(*file)->Size(), 5);
  ASSERT_FALSE((*file)->Seek(3));
  std::uint8_t back[8] = {};
  EXPECT_EQ(*(*file)->Read(back), 2u);
  EXPECT_EQ(back[0], 4);
  EXPECT_EQ(*(*file)->Read(back), 0u);  // the end
  ASSERT_FALSE((*file)->SetModificationTime(86400 * 365));
  ASSERT_FALSE((*file)->MakeExecutable());
  file->reset();
  EXPECT_EQ(*env_.FileMode(Path("data")) & 0111, (*env_.FileMode(Path("data")) & 0444) >> 2);

  EXPECT_EQ(env_.OpenFile(Path("missing"), OpenMode::kRead).error(), std::errc::no_such_file_or_directory);
  EXPECT_EQ(env_.OpenFile(dir_, OpenMode::kRead).error(), std::errc::is_a_directory);
  EXPECT_EQ(env_.ReadFile(dir_).error(), std::errc::is_a_directory);
  EXPECT_FALSE(env_.FileExists(dir_));
  EXPECT_TRUE(env_.DirectoryExists(dir_));
}

TEST_F(HostEnvTest, UniqueFilesNeverReuseANameAndTreesGoWhole) {
  Result<std::string> a = env_.MakeUniqueFile(dir_, "bwl", ".tmp");
  Result<std::string> b = env_.MakeUniqueFile(dir_, "bwl", ".tmp");
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_TRUE(a->starts_with(dir_ + "/bwl") && a->ends_with(".tmp")) << *a;
  EXPECT_EQ(env_.MakeUniqueFile(Path("missing"), "bwl", ".tmp").error(), std::errc::no_such_file_or_directory);

  ASSERT_FALSE(env_.MakeDirectory(Path("tree"), false));
  ASSERT_FALSE(env_.MakeDirectory(Path("tree/inner"), false));
  ASSERT_FALSE(env_.WriteFile(Path("tree/inner/f"), "x"));
  EXPECT_FALSE(env_.RemoveTree(Path("tree")));
  EXPECT_FALSE(env_.DirectoryExists(Path("tree")));
  EXPECT_FALSE(env_.RemoveTree(Path("tree")));  // already gone: no error
}

TEST_F(HostEnvTest, TheTemporaryDirectoryIsAbsoluteWithoutTrailingSlash) {
  FaultyEnv env;
  env.UnsetEnv("TMPDIR");
  EXPECT_EQ(env.TemporaryDirectory(), "/tmp");
  env.SetEnv("TMPDIR", "/var/tmp//");
  EXPECT_EQ(env.TemporaryDirectory(), "/var/tmp");
  env.SetEnv("TMPDIR", "rel");
  EXPECT_EQ(env.TemporaryDirectory(), *env.CurrentDirectory() + "/rel");
}

TEST_F(HostEnvTest, AStartedProgramGetsItsEnvironmentAndDirectory) {
  ProgramSpec spec;
  spec.argv = {"/bin/sh", "-c", "echo \"$BRIMWELL_HOST_TEST\" > \"$PWD/out\"", "ignored"};
  spec.environment = {{"BRIMWELL_HOST_TEST", "seen"}};
  spec.working_directory = dir_;
  spec.detached = false;
  Result<int> pid = env_.StartProgram(spec);
  ASSERT_TRUE(pid) << pid.error().message();
  EXPECT_EQ(*env_.WaitForProgram(*pid), 0);
  EXPECT_EQ(*env_.ReadFile(Path("out")), "seen\n");

  spec.argv = {"/bin/sh", "-c", "exit 7"};
  EXPECT_EQ(*env_.WaitForProgram(*env_.StartProgram(spec)), 7);

  // A failed exec is the start's error, not a program that ends at once.
  spec.argv = {Path("missing")};
  EXPECT_EQ(env_.StartProgram(spec).error(), std::errc::no_such_file_or_directory);
  spec.detached = true;
  EXPECT_EQ(env_.StartProgram(spec).error(), std::errc::no_such_file_or_directory);
  spec.argv = {"brimwell-no-such-program"};
  spec.search_path = true;
  EXPECT_EQ(env_.StartProgram(spec).error(), std::errc::no_such_file_or_directory);
}

TEST_F(HostEnvTest, DetachedProgramsAndWorkRunWithoutBeingWaitedFor) {
  ProgramSpec spec;
  spec.argv = {"sh", "-c", "sleep 0.1; echo done > \"$1\"", "sh", Path("program")};
  spec.search_path = true;
  ASSERT_TRUE(env_.StartProgram(spec));  // returns before the program ends
  EXPECT_TRUE(AppearsSoon(Path("program")));

  const std::string marker = Path("work");
  ASSERT_FALSE(env_.RunDetached([&] { (void)Env::Default().WriteFile(marker, "ran"); }, DetachedStart::kAtOnce));
  EXPECT_TRUE(AppearsSoon(marker));
}

TEST_F(HostEnvTest, HeldSignalsArePassedOnToTheProgramWaitedFor) {
  // The program takes over the termination signal it inherited held.
  env_.SetTerminationSignals(TerminationSignals::kHeld);
  ProgramSpec spec;
  spec.argv = {"/usr/bin/python3", "-c",
               "import signal, sys, time\n"
               "signal.signal(signal.SIGTERM, lambda *a: sys.exit(42))\n"
               "signal.pthread_sigmask(signal.SIG_UNBLOCK, [signal.SIGTERM])\n"
               "open(sys.argv[1], 'w').close()\n"
               "time.sleep(20)\n",
               Path("ready")};
  spec.detached = false;
  Result<int> pid = env_.StartProgram(spec);
  ASSERT_TRUE(pid) << pid.error().message();
  ASSERT_TRUE(AppearsSoon(Path("ready")));
  // A signal to this process, which holds it, reaches the program instead.
  std::thread sender([] { ::kill(::getpid(), SIGTERM); });
  sender.join();
  EXPECT_EQ(*env_.WaitForProgramPassingSignals(*pid), 42);
  EXPECT_EQ(env_.CaughtTerminationSignal(), 0);

  // Caught, a signal is recorded and the process goes on.
  env_.SetTerminationSignals(TerminationSignals::kCaught);
  ::raise(SIGHUP);
  EXPECT_EQ(env_.CaughtTerminationSignal(), SIGHUP);
  env_.SetTerminationSignals(TerminationSignals::kDefault);
}

TEST_F(HostEnvTest, TheFaultyWrapperFailsOnlyWhatItIsTold) {
  FaultyEnv env;
  env.Fail(HostCall::kReadFile, EIO);
  ASSERT_FALSE(env.WriteFile(Path("f"), "x"));
  EXPECT_EQ(env.ReadFile(Path("f")).error(), std::errc::io_error);
  EXPECT_TRUE(env.FileExists(Path("f")));
  env.Heal(HostCall::kReadFile);
  EXPECT_EQ(*env.ReadFile(Path("f")), "x");

  env.Fail(HostCall::kAtomicCommit, ENOSPC);
  EXPECT_EQ(env.WriteFileAtomically(Path("f"), "y"), std::errc::no_space_on_device);
  EXPECT_EQ(*env.ReadFile(Path("f")), "x");
  EXPECT_EQ(Names(), std::vector<std::string>{"f"});

  env.SetEnv("BRIMWELL_HOST_TEST_VARIABLE", "v");
  EXPECT_EQ(env.GetEnv("BRIMWELL_HOST_TEST_VARIABLE"), "v");
  EXPECT_EQ(Env::Default().GetEnv("BRIMWELL_HOST_TEST_VARIABLE"), std::nullopt);
}

}  // namespace
}  // namespace brimwell::host
