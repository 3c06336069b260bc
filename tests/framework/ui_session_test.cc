// Where a program with windows shows them, and the runtime directory it
// makes when the session has none.
#include "framework/ui_session.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "host/host_env_wrapper.h"
#include "host/host_path.h"

namespace brimwell {
namespace {

TEST(UiSessionTest, APlatformComesFromTheSessionElseOffscreenOnlyWhenUnattended) {
  struct Case {
    const char* qt_platform;
    const char* display;
    const char* wayland;
    bool unattended;
    UiPlatform expected;
  };
  const Case cases[] = {
      {"offscreen", "", "", false, UiPlatform::kLibraryChoice},
      {"", ":0", "", false, UiPlatform::kLibraryChoice},
      {"", "", "wayland-0", false, UiPlatform::kLibraryChoice},
      {"", "", "", true, UiPlatform::kOffscreen},
      {"", "", "", false, UiPlatform::kNone},  // set but empty is not set
  };
  for (const Case& c : cases) {
    host::FaultyEnv env;
    env.SetEnv("QT_QPA_PLATFORM", c.qt_platform);
    env.SetEnv("DISPLAY", c.display);
    env.SetEnv("WAYLAND_DISPLAY", c.wayland);
    EXPECT_EQ(ChooseUiPlatform(c.unattended, env), c.expected) << c.qt_platform << c.display << c.wayland;
  }
}

class RuntimeDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Result<std::string> made = env_.MakeTemporaryDirectory(env_.TemporaryDirectory(), "brimwell-ui-");
    ASSERT_TRUE(made);
    dir_ = *made;
    env_.SetEnv("TMPDIR", dir_);
  }
  void TearDown() override { (void)host::Env::Default().RemoveTree(dir_); }

  host::FaultyEnv env_;
  std::string dir_;
};

TEST_F(RuntimeDirectoryTest, AMissingOneIsMadePrivateAndGoesAgain) {
  env_.UnsetEnv("XDG_RUNTIME_DIR");
  std::string made;
  {
    PrivateRuntimeDirectory runtime(env_);
    made = runtime.path();
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(host::ParentDirectory(made), dir_);
    EXPECT_EQ(env_.GetEnv("XDG_RUNTIME_DIR"), made);
    EXPECT_EQ(*env_.FileMode(made) & 0777, 0700u);
  }
  EXPECT_FALSE(env_.DirectoryExists(made));
}

TEST_F(RuntimeDirectoryTest, OneTheSessionHasIsKeptAndAFailureLeavesNone) {
  env_.SetEnv("XDG_RUNTIME_DIR", "/run/user/1000");
  {
    PrivateRuntimeDirectory runtime(env_);
    EXPECT_TRUE(runtime.path().empty());
  }
  EXPECT_EQ(env_.GetEnv("XDG_RUNTIME_DIR"), "/run/user/1000");

  env_.SetEnv("XDG_RUNTIME_DIR", "");
  env_.Fail(host::HostCall::kMakeTemporaryDirectory, ENOSPC);
  PrivateRuntimeDirectory runtime(env_);
  EXPECT_TRUE(runtime.path().empty());
  EXPECT_EQ(env_.GetEnv("XDG_RUNTIME_DIR"), "");
}

}  // namespace
}  // namespace brimwell
