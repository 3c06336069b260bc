// A product with two install types and file groups, installed through the
// real setup.exe (the loader unpacking the bound engine from setup.1) on a
// fresh temporary prefix, once per install type, unattended: what lands in
// the prefix is what the type selects, and nothing below a group the user
// left out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "platform/machine.h"
#include "platform/paths.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Core [always], Small [compact], Big [full], Extras [always] left out with
// a sub-group Deep; the driver's own readme [always].
constexpr char kProject[] = R"json({"format": "brimwell-project/1", "components": [
  {"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Tool",
    "Information": {"ProductName": "Tool"}, "InstallTypes": ["itFull", "itCompact"]}},
  {"class": "TInstallFileGroup", "name": "Core", "properties": {"Container": "Install1", "GroupName": "Core files",
    "DestDirType": "psContainerDestDir", "DestDir": "\\Core"}},
  {"class": "TInstallFileGroup", "name": "Small", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "DestDir": "\\Small", "InstallTypes": ["itCompact"]}},
  {"class": "TInstallFileGroup", "name": "Big", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "DestDir": "\\Big", "InstallTypes": ["itFull"]}},
  {"class": "TInstallFileGroup", "name": "Extras", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "DestDir": "\\Extras", "Include": false}},
  {"class": "TInstallFileGroup", "name": "Deep", "properties": {"Container": "Extras",
    "DestDirType": "psContainerDestDir", "DestDir": "\\Deep"}},
  {"class": "TInstallFile", "name": "CoreFile", "properties": {"Container": "Core", "UniqueID": 0,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "core.txt", "DestName": "core.txt"}},
  {"class": "TInstallFile", "name": "SmallFile", "properties": {"Container": "Small", "UniqueID": 1,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "small.txt", "DestName": "small.txt"}},
  {"class": "TInstallFile", "name": "BigFile", "properties": {"Container": "Big", "UniqueID": 2,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "big.txt", "DestName": "big.txt"}},
  {"class": "TInstallFile", "name": "ExtraFile", "properties": {"Container": "Extras", "UniqueID": 3,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "extra.txt", "DestName": "extra.txt"}},
  {"class": "TInstallFile", "name": "DeepFile", "properties": {"Container": "Deep", "UniqueID": 4,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "deep.txt", "DestName": "deep.txt"}},
  {"class": "TInstallFile", "name": "Readme", "properties": {"Container": "Install1", "UniqueID": 5,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "readme.txt", "DestName": "readme.txt"}}
]})json";

constexpr const char* kFiles[] = {"core.txt", "small.txt", "big.txt", "extra.txt", "deep.txt", "readme.txt"};

class GroupSetup : public ProgramRunner {
 public:
  // The distribution: setup.exe (the loader), setup.1 with the bound
  // engine (stored, not compressed: the test is about the run), files.1.
  void Distribute() {
    namespace fs = std::filesystem;
    fs::create_directories(tmp_.path() / "files");
    fs::create_directories(dist());
    EXPECT_EQ(Brimwell({"prefix", "init"}), 0) << err_;  // the tools work on a prefix that exists
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
      const fs::path source = tmp_.path() / "files" / kFiles[i];
      WriteHostFile(source, std::string(100 * (i + 1), 'x'));
      EXPECT_EQ(Brimwell({"archive", i == 0 ? "create" : "add", (dist() / "files.1").string(), source.string(),
                          "--id", std::to_string(i), "--full-names"}),
                0)
          << err_;
    }
    const fs::path engine = Bind(kProject);
    bind_output_ = out_;
    EXPECT_EQ(Brimwell({"archive", "create", (dist() / "setup.1").string(), engine.string(), "--level", "none"}), 0)
        << err_;
    fs::copy_file(fs::path(BRIMWELL_BIN_DIR) / "BrimwellLoadProgram", dist() / "setup.exe");
  }
  // Runs setup.exe on a fresh prefix with BRIMWELL_INSTALL_TYPE=`type` and
  // waits for the engine to end. Returns the installed files, relative to
  // the product's directory.
  std::set<std::string> Install(const std::string& type) {
    namespace fs = std::filesystem;
    // Each type installs on a prefix and with a run log of its own: the
    // engine of the previous run may still be closing its files.
    const fs::path prefix = tmp_.path() / ("prefix-" + type);
    const fs::path log = tmp_.path() / ("run-" + type + ".log");
    EXPECT_EQ(Brimwell({"prefix", "init", prefix.string()}), 0) << err_;
    fs::create_directories(tmp_.path() / "tmp");
    extra_env_ = {"BRIMWELL_INSTALL_TYPE=" + type, "TMPDIR=" + (tmp_.path() / "tmp").string(),
                  "BRIMWELL_PREFIX=" + prefix.string(), "BRIMWELL_LOG=" + log.string()};
    EXPECT_EQ(Run(dist() / "setup.exe", {}), 0) << err_;
    // The loader does not wait for the engine; the run log says when it ends.
    for (int i = 0; i < 300 && ReadHostFile(log).find("\tshutdown") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_THAT(ReadHostFile(log), HasSubstr("\tstep\t15 good installation"));
    std::set<std::string> installed;
    auto machine = OpenMachine(prefix, PrefixCreation::kMustExist);
    const fs::path product = machine->GetPaths().ToHost("C:\\Program Files\\Tool");
    if (!fs::exists(product)) return installed;
    for (const auto& e : fs::recursive_directory_iterator(product)) {
      if (e.is_regular_file()) installed.insert(fs::relative(e.path(), product).string());
    }
    return installed;
  }
  std::string bind_output_;
};

TEST(FileGroupSetup, EachInstallTypeInstallsItsGroupsAndNothingOfALeftOutGroup) {
  GroupSetup setup;
  setup.Distribute();
  // brimwell bind tells from the sources what each type installs.
  EXPECT_THAT(setup.bind_output_, HasSubstr("  Big: itCompact 0 files, 0 bytes; itFull 1 file, 300 bytes\n"));
  EXPECT_THAT(setup.bind_output_,
              HasSubstr("  Install1 (own files): itCompact 1 file, 600 bytes; itFull 1 file, 600 bytes\n"));

  EXPECT_EQ(setup.Install("Compact"), (std::set<std::string>{"Core/core.txt", "Small/small.txt", "readme.txt"}));
  const std::string log = ReadHostFile(setup.tmp_.path() / "run-Compact.log");
  EXPECT_THAT(log, HasSubstr("\ttype\titCompact (BRIMWELL_INSTALL_TYPE)"));
  EXPECT_THAT(log, HasSubstr("\tgroup\tCore files (Core): itCompact 1 file, 100 bytes; itFull 1 file, 100 bytes"));
  EXPECT_THAT(log, HasSubstr("\tgroup\tSmall: itCompact 1 file, 200 bytes; itFull 0 files, 0 bytes"));
  EXPECT_THAT(log, HasSubstr("\tgroup\tDeep: itCompact 0 files, 0 bytes; itFull 0 files, 0 bytes"));

  EXPECT_EQ(setup.Install("itFull"), (std::set<std::string>{"Core/core.txt", "Big/big.txt", "readme.txt"}));
}

}  // namespace
}  // namespace brimwell::testing
