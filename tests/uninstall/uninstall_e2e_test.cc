// The install-then-uninstall proof with the real programs: a product made
// like the sample (files in a group, a self-registering library with a
// shared count, a help file, registry and INI values, links, the uninstall
// program and a link to it) installed through setup.exe on a fresh
// temporary prefix, then removed by the uninstall program started as its
// record's UninstallString gives it; the prefix's snapshots before and
// after must not differ. Two products sharing a library keep it until the
// last one goes, and a file the user changed survives and is reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "framework/sha256.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/engine/engine_fixture.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr char kSampleProduct[] = "Sample Tool";
constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A second kind of product: its own file and the library it shares with
// the other products of its kind, counted in SharedDLLs.
constexpr char kSharingProject[] = R"json({"format": "brimwell-project/1", "components": [
  {"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\NAME",
    "Information": {"CompanyName": "Acme", "ProductName": "NAME", "Version": "1"}}},
  {"class": "TInstallFile", "name": "Own", "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir",
    "UniqueID": 0, "IncludeFromDir": "SOURCE", "FileName": "own.txt", "DestName": "own.txt"}},
  {"class": "TInstallFile", "name": "Shared", "properties": {"Container": "Install1", "DestDirType": "psSystem",
    "UniqueID": 1, "IncludeFromDir": "SOURCE", "FileName": "acmeshared.dll", "DestName": "acmeshared.dll",
    "UpdateDLLCounter": true}},
  {"class": "TUninstallEXE", "name": "Uninstaller", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "UniqueID": 2, "IncludeFromDir": "SOURCE", "FileName": "uninstall.exe",
    "DestName": "uninstall.exe", "Net": false}}]})json";

class UninstallProofTest : public ::testing::Test, protected ProgramRunner {
 protected:
  using ProgramRunner::Run;

  fs::path Snapshot(const std::string& name) {
    const fs::path out = tmp_.path() / (name + ".json");
    EXPECT_EQ(Brimwell({"prefix", "snapshot", prefix().string(), out.string()}), 0) << err_;
    return out;
  }
  // The differences between two snapshots, as `brimwell prefix diff` prints them.
  std::string Diff(const fs::path& before, const fs::path& after) {
    Brimwell({"prefix", "diff", before.string(), after.string()});
    return out_;
  }
  void Archive(const fs::path& archive, const std::vector<fs::path>& files) {
    for (std::size_t id = 0; id < files.size(); ++id) {
      ASSERT_EQ(Brimwell({"archive", id == 0 ? "create" : "add", archive.string(), files[id].string(), "--id",
                          std::to_string(id), "--level", "none"}),
                0)
          << err_;
    }
  }
  // Installs through setup.exe (the loader, which does not wait for the
  // engine) and waits for the engine's run to end.
  void SetupSample() {
    const fs::path product = tmp_.path() / "product";
    const fs::path files = product / "files";
    fs::create_directories(files);
    fs::copy_file(fs::path(BRIMWELL_SOURCE_DIR) / "samples/tool/project.json", product / "project.json");
    for (const char* f : {"readme.txt", "sampletool.hlp", "sampletool"}) {
      fs::copy_file(fs::path(BRIMWELL_SOURCE_DIR) / "samples/tool/files" / f, files / f);
    }
    const fs::path built = fs::path(BRIMWELL_BIN_DIR).parent_path() / "samples/tool";
    fs::copy_file(built / "toolinfo.exe", files / "toolinfo.exe");
    fs::copy_file(built / "samplereg.dll", files / "samplereg.dll");
    fs::copy_file(fs::path(BRIMWELL_BIN_DIR) / "uninstall.exe", files / "uninstall.exe");
    fs::create_directories(dist());
    ASSERT_EQ(Brimwell({"bind", (product / "project.json").string(), (tmp_.path() / "setupengine").string(),
                        "--engine", (fs::path(BRIMWELL_BIN_DIR) / "setupengine").string()}),
              0)
        << err_;
    Archive(dist() / "setup.1", {tmp_.path() / "setupengine"});
    std::vector<fs::path> members;
    for (const char* f : {"readme.txt", "sampletool.hlp", "sampletool", "toolinfo.exe", "samplereg.dll", "uninstall.exe"}) {
      members.push_back(files / f);
    }
    Archive(dist() / "files.1", members);
    fs::copy_file(fs::path(BRIMWELL_BIN_DIR) / "BrimwellLoadProgram", dist() / "setup.exe");
    ASSERT_EQ(Run(dist() / "setup.exe", {}), 0) << err_;
    for (int i = 0; i < 600 && ReadHostFile(log()).find("\tshutdown") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_THAT(ReadHostFile(log()), HasSubstr("\tshutdown"));
  }
  // Binds a sharing product named `name` and runs its engine.
  void InstallSharing(const std::string& name) {
    const fs::path source = tmp_.path() / ("source-" + name);
    WriteHostFile(source / "own.txt", name + "'s own file");
    WriteHostFile(source / "acmeshared.dll", "the library both products use");
    fs::create_directories(source);
    fs::copy_file(fs::path(BRIMWELL_BIN_DIR) / "uninstall.exe", source / "uninstall.exe");
    const fs::path dist_dir = tmp_.path() / ("dist-" + name);
    fs::create_directories(dist_dir);
    Archive(dist_dir / "files.1", {source / "own.txt", source / "acmeshared.dll", source / "uninstall.exe"});
    std::string project = kSharingProject;
    for (std::size_t at; (at = project.find("SOURCE")) != std::string::npos;) project.replace(at, 6, source.string());
    for (std::size_t at; (at = project.find("NAME")) != std::string::npos;) project.replace(at, 4, name);
    const fs::path engine = Bind(project);
    ASSERT_EQ(Run(engine, {"-s" + dist_dir.string()}), 0) << ReadHostFile(log());
  }
  std::optional<std::uint32_t> SharedCount(const std::string& path) {
    return OpenMachine(prefix(), PrefixCreation::kMustExist)
        ->GetRegistry()
        .FindDword(RegistryHive::kLocalMachine, kSharedDlls, path);
  }
  std::string UninstallString(const std::string& product) {
    return OpenMachine(prefix(), PrefixCreation::kMustExist)
        ->GetRegistry()
        .FindString(RegistryHive::kLocalMachine,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product, "UninstallString")
        .value_or("");
  }
};

class SampleProofTest : public UninstallProofTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleProofTest, InstallThenUninstallLeavesThePrefixAsItWas) {
  ASSERT_EQ(Brimwell({"prefix", "init", prefix().string(), "--windows", GetParam()}), 0) << err_;
  const fs::path before = Snapshot("before");
  SetupSample();
  const fs::path installed = Snapshot("installed");
  const std::string installed_changes = Diff(before, installed);
  EXPECT_THAT(installed_changes, HasSubstr("+ file C:\\Program Files\\Brimwell Sample Tool\\uninstall.exe"));
  EXPECT_THAT(installed_changes, HasSubstr("+ ini C:\\Program Files\\Brimwell Sample Tool\\sampletool.ini [Window] Maximized"));
  EXPECT_EQ(UninstallString(kSampleProduct), "C:\\Program Files\\Brimwell Sample Tool\\uninstall.exe Sample Tool");
  ASSERT_EQ(Brimwell({"prefix", "products", prefix().string()}), 0);
  EXPECT_THAT(out_, HasSubstr("Sample Tool 1.0\n  in C:\\Program Files\\Brimwell Sample Tool, 10 files"));

  // `brimwell uninstall` starts the record's UninstallString and waits.
  ASSERT_EQ(Brimwell({"uninstall", kSampleProduct, "--prefix", prefix().string()}), 0) << out_ << err_;
  EXPECT_THAT(out_, HasSubstr("removed: registration of C:\\Program Files\\Brimwell Sample Tool\\samplereg.dll"));
  EXPECT_THAT(out_, HasSubstr("Sample Tool was removed"));
  EXPECT_EQ(Diff(before, Snapshot("after")), "");

  EXPECT_EQ(Brimwell({"uninstall", kSampleProduct, "--prefix", prefix().string()}), 3);
  EXPECT_THAT(err_, HasSubstr("Sample Tool is not installed on this machine"));
}

// NT 4 makes .LNK files; NT 3.51 makes Program Manager items instead.
INSTANTIATE_TEST_SUITE_P(Shells, SampleProofTest, ::testing::Values("nt4", "nt351"));

TEST_F(UninstallProofTest, SharedLibraryStaysUntilTheLastProductGoesAndChangedFilesStay) {
  ASSERT_EQ(Brimwell({"prefix", "init", prefix().string()}), 0) << err_;
  const fs::path before = Snapshot("before");
  InstallSharing("Tool A");
  InstallSharing("Tool B");
  const std::string dll = "C:\\WINDOWS\\SYSTEM32\\acmeshared.dll";
  EXPECT_EQ(SharedCount(dll), 2u);

  // Started the way Windows starts it: the record's UninstallString.
  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  fs::path program = machine->GetPaths().ToHost("C:\\Program Files\\Tool A\\uninstall.exe");
  machine.reset();
  EXPECT_EQ(UninstallString("Tool A"), "C:\\Program Files\\Tool A\\uninstall.exe Tool A");
  ASSERT_EQ(Run(program, {"Tool", "A"}), 0) << out_ << err_;
  EXPECT_THAT(out_, HasSubstr("kept (shared): file " + dll + " (still used by other products (count now 1))"));
  EXPECT_EQ(SharedCount(dll), 1u);
  EXPECT_FALSE(fs::exists(program));
  EXPECT_EQ(Diff(before, Snapshot("a-gone")).find("Tool A"), std::string::npos);

  // The user edits Tool B's file: it survives, reported, and the status says so.
  const fs::path own = tmp_.path() / "prefix/drive_c/Program Files/Tool B/own.txt";
  WriteHostFile(own, "the user's notes");
  EXPECT_EQ(Brimwell({"uninstall", "Tool", "B", "--prefix", prefix().string()}), 5) << out_ << err_;
  EXPECT_THAT(out_, HasSubstr("Kept C:\\Program Files\\Tool B\\own.txt: it was changed after the installation."));
  EXPECT_EQ(ReadHostFile(own), "the user's notes");
  EXPECT_EQ(Diff(before, Snapshot("b-gone")),
            "+ file C:\\Program Files\\Tool B\\own.txt = 16;" + Sha256Hex("the user's notes") + "\n"
            "+ folder C:\\Program Files\\Tool B\n");
}

}  // namespace
}  // namespace brimwell::testing
