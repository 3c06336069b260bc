// Build mode end to end: brimwell build binds a project and runs the engine
// with -b, which writes setup.1, setup.exe and files.1 and makes setup.exe
// self-extracting; that setup.exe alone installs the product on a fresh
// prefix. Also the refusals that must leave nothing reported as built.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "archive/archive_format.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr char kProject[] = R"json({"format": "brimwell-project/1", "components": [
  {"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Tool",
    "Information": {"ProductName": "Tool"}}},
  {"class": "TInstallFile", "name": "Readme", "properties": {"Container": "Install1", "UniqueID": 0,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "readme.txt", "DestName": "readme.txt"}},
  {"class": "TInstallFile", "name": "Data", "properties": {"Container": "Install1", "UniqueID": 1,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "data.bin", "DestName": "data.bin"}}
]})json";

class BuildMode : public ProgramRunner {
 public:
  fs::path product() const { return tmp_.path() / "product"; }
  void WriteProduct() {
    fs::create_directories(product() / "files");
    WriteHostFile(product() / "project.json", kProject);
    WriteHostFile(product() / "files" / "readme.txt", "read me\n");
    std::string data;
    for (int i = 0; i < 200000; ++i) data += static_cast<char>((i * 7919) % 251);
    WriteHostFile(product() / "files" / "data.bin", data);
  }
  int Build() { return Brimwell({"build", (product() / "project.json").string(), dist().string()}); }
  // Runs `setup` on a fresh prefix and waits for the engine to end.
  void InstallWith(const fs::path& setup) {
    fs::remove_all(prefix());
    fs::remove(log());
    ASSERT_EQ(Brimwell({"prefix", "init"}), 0) << err_;
    fs::create_directories(tmp_.path() / "tmp");
    extra_env_ = {"TMPDIR=" + (tmp_.path() / "tmp").string()};
    ASSERT_EQ(Run(setup, {}), 0) << err_;
    for (int i = 0; i < 300 && ReadHostFile(log()).find("\tshutdown") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    extra_env_.clear();
  }
  fs::path Installed(const std::string& name) {
    auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
    return machine->GetPaths().ToHost("C:\\Program Files\\Tool\\" + name);
  }
};

TEST(BuildModeTest, OneCommandBuildsASelfExtractingSetupThatInstallsAlone) {
  BuildMode b;
  b.WriteProduct();
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  ASSERT_EQ(b.Build(), 0) << b.out_ << b.err_;
  EXPECT_THAT(b.out_, HasSubstr("setup.exe"));
  EXPECT_THAT(b.out_, HasSubstr("files.1"));

  const std::string loader = ReadHostFile(fs::path(BRIMWELL_BIN_DIR) / "BrimwellLoadProgram");
  const std::string exe = ReadHostFile(b.dist() / "setup.exe");
  const std::string setup1 = ReadHostFile(b.dist() / "setup.1");
  const std::string files1 = ReadHostFile(b.dist() / "files.1");
  ASSERT_EQ(exe.size(), loader.size() + setup1.size() + files1.size() + self_extract::kTrailerSize);
  EXPECT_EQ(exe.substr(0, loader.size()), loader);
  TrailerBytes bytes{};
  std::memcpy(bytes.data(), exe.data() + exe.size() - bytes.size(), bytes.size());
  auto trailer = DecodeTrailer(bytes);
  ASSERT_TRUE(trailer.has_value());
  EXPECT_EQ(trailer->Setup1Start, static_cast<std::int32_t>(loader.size()));
  EXPECT_EQ(trailer->Setup1End, static_cast<std::int32_t>(loader.size() + setup1.size() - 1));
  EXPECT_EQ(trailer->Files1Start, trailer->Setup1End + 1);
  EXPECT_EQ(trailer->Files1End, static_cast<std::int32_t>(exe.size() - self_extract::kTrailerSize - 1));
  EXPECT_EQ(exe.substr(trailer->Setup1Start, setup1.size()), setup1);
  EXPECT_EQ(exe.substr(trailer->Files1Start, files1.size()), files1);
  for (std::size_t i = bytes.size() - 24; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << i;

  // The engine is setup.1's first member, and files.1 holds both files.
  ASSERT_EQ(b.Brimwell({"archive", "list", (b.dist() / "setup.1").string()}), 0) << b.err_;
  EXPECT_THAT(b.out_, HasSubstr("setupengine"));
  ASSERT_EQ(b.Brimwell({"archive", "list", (b.dist() / "files.1").string()}), 0) << b.err_;
  EXPECT_THAT(b.out_, HasSubstr("readme.txt"));
  EXPECT_THAT(b.out_, HasSubstr("data.bin"));

  // setup.exe with no other file beside it.
  const fs::path alone = b.tmp_.path() / "alone" / "setup.exe";
  fs::create_directories(alone.parent_path());
  fs::copy_file(b.dist() / "setup.exe", alone);
  fs::permissions(alone, fs::perms::owner_exec, fs::perm_options::add);
  b.InstallWith(alone);
  EXPECT_THAT(ReadHostFile(b.log()), HasSubstr("good installation"));
  EXPECT_EQ(ReadHostFile(b.Installed("readme.txt")), "read me\n");
  EXPECT_EQ(ReadHostFile(b.Installed("data.bin")), ReadHostFile(b.product() / "files" / "data.bin"));
}

TEST(BuildModeTest, WithoutTheToolkitDirectoryTheBuildStopsAfterSetup1) {
  BuildMode b;
  b.WriteProduct();
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  ASSERT_EQ(b.Brimwell({"reg", "delete", "HKCU\\Software\\Quarrystone\\B32V35\\Library", "/v", "SearchPath", "/f"}),
            0)
      << b.err_;
  EXPECT_EQ(b.Build(), 1);
  EXPECT_THAT(b.err_, HasSubstr("The HKEY_LOCAL_MACHINE | \\Software\\Quarrystone\\B32V35 key in the registry is "
                                "either missing or points to an invalid Brimwell directory"));
  EXPECT_TRUE(fs::exists(b.dist() / "setup.1"));
  EXPECT_FALSE(fs::exists(b.dist() / "setup.exe"));
  EXPECT_FALSE(fs::exists(b.dist() / "files.1"));
  EXPECT_THAT(b.out_, ::testing::Not(HasSubstr("built:")));
}

TEST(BuildModeTest, AMissingOrEmptyBuildInfIsRefusedBeforeAnythingIsWritten) {
  BuildMode b;
  b.WriteProduct();
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  const fs::path engine = b.tmp_.path() / "stage" / "setupengine";
  fs::create_directories(engine.parent_path());
  ASSERT_EQ(b.Brimwell({"bind", (b.product() / "project.json").string(), engine.string()}), 0) << b.err_;

  EXPECT_NE(b.Run(engine, {"-b"}), 0);
  EXPECT_THAT(b.err_, HasSubstr("Need to have a BUILD.INF file in this directory with the first line specifying "
                                "the build directory"));
  WriteHostFile(engine.parent_path() / "BUILD.INF", "");
  EXPECT_NE(b.Run(engine, {"-b"}), 0);
  EXPECT_THAT(b.err_, HasSubstr("Must be 1 line in BUILD.INF. This line should specify the build directory"));
  EXPECT_EQ(fs::directory_iterator(engine.parent_path()) == fs::directory_iterator(), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(engine.parent_path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace brimwell::testing
