// The transfer of a built product to floppies (-f, as setup.exe *TODISK
// starts it): the loader and setup.1 on disk 1, files.1 split over as many
// disks as it needs with the user asked for each, and the floppy set
// installing the product.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/install.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/prefix_config.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

std::string Noise(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  std::uint32_t x = seed * 2654435761u + 7;
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 11);
  }
  return data;
}

class FloppyTransferTest : public EngineTest {
 protected:
  FloppyTransferTest() {
    src_ = HostDir("src");
    dist_ = HostDir("dist");
    for (int i = 0; i < 3; ++i) WriteHostFile(src_ / Name(i), Noise(30000, i + 1));
    // A toolkit directory of the test's own: the loader's bytes only need
    // to reach the disks unchanged.
    const fs::path toolkit = HostDir("toolkit");
    WriteHostFile(toolkit / "BrimwellLoadProgram.exe", loader_);
    WriteHostFile(toolkit / "B32V35.TXT", "");
    EXPECT_TRUE(registry().WriteString(RegistryHive::kCurrentUser, kSearchPathKey, kSearchPathValue,
                                       machine_->GetPaths().ToWindows(toolkit.string())));
    LoadProduct();
    driver_->BuildDistributables(Windows(engine_exe_), Windows(dist_), true);

    PrefixConfig c = machine_->Config();
    c.removable['A'] = 40000;
    machine_->UpdateConfig(c);
    EXPECT_TRUE(machine_->GetFileSystem().InsertDisk('A', 1).ok());
    // The user changes the disk the box asks for, or cancels at disk
    // cancel_at_.
    app_.OnMessageBox = [this](const MessageBoxRequest& box) {
      int disk = 0;
      if (std::sscanf(box.text.c_str(), "Please insert disk %d", &disk) != 1 &&
          std::sscanf(box.text.c_str(), "Please insert disk #%d", &disk) != 1) {
        return;
      }
      prompts_.push_back(box.text);
      if (disk == cancel_at_) {
        app_.QueueAnswer(ModalResult::kCancel);
      } else {
        EXPECT_TRUE(machine_->GetFileSystem().InsertDisk('A', disk).ok());
      }
    };
  }

  static std::string Name(int i) { return "part" + std::to_string(i) + ".bin"; }
  std::string Windows(const fs::path& p) { return machine_->GetPaths().ToWindows(p.string()); }
  void LoadProduct() {
    std::string files;
    for (int i = 0; i < 3; ++i) {
      files += R"(, {"class": "TInstallFile", "name": "Part)" + std::to_string(i) +
               R"(", "properties": {"Container": "Install1", "DestDirType": "psContainerDestDir", "UniqueID": )" +
               std::to_string(i) + R"(, "IncludeFromDir": ")" + src_.string() + R"(", "FileName": ")" + Name(i) +
               R"(", "DestName": ")" + Name(i) + R"("}})";
    }
    Load(R"([{"class": "TInstall", "name": "Install1",
              "properties": {"DestDir": "\\Tool", "Information": {"ProductName": "Tool"}}})" +
         files + "]");
    driver_ = Find<TInstall>("Install1");
  }
  // The engine as setup.exe *TODISK starts it from the self-extracting file.
  void Transfer() {
    Start({"-f", "-esetup.exe", "-s" + Windows(dist_)});
    LoadProduct();
  }
  fs::path Disk(int n) const { return tmp_.path() / "prefix" / "disks" / "a" / std::to_string(n); }
  std::string LastBox() const { return app_.MessageBoxes().empty() ? "" : app_.MessageBoxes().back().text; }

  const std::string loader_ = "MZ loader " + std::string(500, 'L');
  fs::path src_;
  fs::path dist_;
  TInstall* driver_ = nullptr;
  std::vector<std::string> prompts_;
  int cancel_at_ = 0;
};

TEST_F(FloppyTransferTest, ThreeDisksAreAskedForInTurnThenDiskOneAgainAndTheSetInstalls) {
  Transfer();
  EXPECT_EQ(ctx_->ExitStatus(), kExitOk) << LastBox();
  EXPECT_TRUE(app_.Terminated());
  EXPECT_THAT(prompts_, ElementsAre("Please insert disk 2", "Please insert disk 3", "Please insert disk 1"));
  // Disk 1: the loader alone (a plain setup.exe), setup.1 as built, and the
  // first part of files.1 with every header.
  EXPECT_EQ(ReadHostFile(Disk(1) / "setup.exe"), loader_);
  EXPECT_EQ(ReadHostFile(Disk(1) / "setup.1"), ReadHostFile(dist_ / "setup.1"));
  EXPECT_TRUE(fs::exists(Disk(1) / "files.1"));
  EXPECT_TRUE(fs::exists(Disk(2) / "files.2"));
  EXPECT_TRUE(fs::exists(Disk(3) / "files.3"));
  EXPECT_FALSE(fs::exists(Disk(4)));
  for (int n = 1; n <= 3; ++n) {
    std::uintmax_t used = 0;
    for (const auto& e : fs::directory_iterator(Disk(n))) used += e.file_size();
    EXPECT_LE(used, 40000u) << "disk " << n;
  }

  // The floppy set installs the product, asking for disks 2 and 3.
  prompts_.clear();
  ASSERT_TRUE(machine_->GetFileSystem().InsertDisk('A', 1).ok());
  Start({"-sA:\\"});
  LoadProduct();
  app_.Form()->Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << LastBox();
  EXPECT_THAT(prompts_, ElementsAre("Please insert disk #2", "Please insert disk #3"));
  const std::string dir = machine_->GetFileSystem().WindowsDirectory().substr(0, 2) + "\\Program Files\\Tool\\";
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ReadHostFile(machine_->GetPaths().ToHost(dir + Name(i))), ReadHostFile(src_ / Name(i))) << i;
  }
}

TEST_F(FloppyTransferTest, CancelInTheDiskPromptStopsAfterTheDisksWritten) {
  cancel_at_ = 3;
  Transfer();
  EXPECT_NE(ctx_->ExitStatus(), kExitOk);
  EXPECT_THAT(prompts_, ElementsAre("Please insert disk 2", "Please insert disk 3"));
  EXPECT_EQ(LastBox(), "Aborted by user");
  EXPECT_TRUE(app_.Terminated());
  EXPECT_EQ(ReadHostFile(Disk(1) / "setup.exe"), loader_);
  EXPECT_TRUE(fs::exists(Disk(2) / "files.2"));
  EXPECT_FALSE(fs::exists(Disk(3) / "files.3"));
}

TEST_F(FloppyTransferTest, OnlyTheSelfExtractingFileTransfers) {
  Start({"-f", "-s" + Windows(dist_)});
  LoadProduct();
  EXPECT_NE(ctx_->ExitStatus(), kExitOk);
  EXPECT_EQ(LastBox(),
            "Sorry... You can only transfer this installation to floppies through the self-extracting file. Usage "
            "example: setup.exe *TODISK");
  EXPECT_FALSE(fs::exists(Disk(1) / "setup.exe"));
}

}  // namespace
}  // namespace brimwell::testing
