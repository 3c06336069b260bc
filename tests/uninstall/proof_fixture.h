// The install-then-uninstall proof's fixture: the real programs on a
// temporary prefix (ProgramRunner), the sample product made into setup.exe,
// products that share a library, snapshots and their differences.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/engine/engine_fixture.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {

namespace fs = std::filesystem;

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
                          std::to_string(id), "--level", "none", "--full-names"}),
                0)
          << err_;
    }
  }
  // Makes the sample product's dist/setup.exe, setup.1 and files.1.
  void MakeSample() {
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
  }
  // Installs through setup.exe (the loader, which does not wait for the
  // engine) and waits for the engine's run to end.
  void SetupSample() {
    if (!fs::exists(dist() / "setup.exe")) MakeSample();
    ASSERT_EQ(Run(dist() / "setup.exe", {}), 0) << err_;
    for (int i = 0; i < 600 && ReadHostFile(log()).find("\tshutdown") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_THAT(ReadHostFile(log()), ::testing::HasSubstr("\tshutdown"));
    // The clean-up batch runs once the engine has ended, and removes itself.
    const std::string text = ReadHostFile(log());
    const std::size_t at = text.rfind("\tcleanup\tbatch ");
    if (at == std::string::npos) return;
    const std::size_t start = at + std::strlen("\tcleanup\tbatch ");
    const fs::path batch = OpenMachine(prefix(), PrefixCreation::kMustExist)
                               ->GetPaths()
                               .ToHost(text.substr(start, text.find('\n', start) - start));
    for (int i = 0; i < 600 && fs::exists(batch); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
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

}  // namespace brimwell::testing
