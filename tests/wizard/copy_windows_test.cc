// The windows shown while the installation works, offscreen: the copy
// window's bars and texts, its place, its bars moving in order through a
// real installation from an archive and Cancel confirmed in the middle of
// it (nothing half-written, nothing after it installed, the bad page), its
// progress on standard error when unattended; the status window's stack of
// texts; the next-disk window during an installation from a floppy set,
// answered with another directory after a directory without the disk.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <random>

#include "archive/brwl_compress.h"
#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "engine/parameter_objects.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/closing_pages.h"
#include "wizard/copy_windows.h"
#include "wizard/folder_window.h"
#include "wizard/open_folder_dialog.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Bytes that deflate cannot shrink.
std::string Noise(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

constexpr char kWindows[] = R"(,
  {"class": "TDialogManager", "name": "Copy", "properties": {"Container": "Install1", "ManagerType": "dmDuringCopyFiles"}},
  {"class": "TDialogManager", "name": "Disk", "properties": {"Container": "Install1", "ManagerType": "dmChangeDisk"}},
  {"class": "TDialogManager", "name": "Bad", "properties": {"Container": "Install1", "ManagerType": "dmAfterBadInstall"}},
  {"class": "TCopyFileDlg", "name": "CopyWindow", "properties": {"Container": "Install1", "DialogManager": "Copy"}},
  {"class": "TChangeDiskDlg", "name": "NextDisk", "properties": {"Container": "Install1", "DialogManager": "Disk"}},
  {"class": "TBadInstallationDlg", "name": "BadPage", "properties": {"Container": "Install1", "DialogManager": "Bad"}},
  {"class": "TInstallStatusDlg", "name": "Status", "properties": {"Container": "Install1"}})";

// The copy window, recording its bars at every update (and able to act).
class RecordingCopyForm : public TCopyFileForm {
 public:
  explicit RecordingCopyForm(EngineContext* ctx) : TCopyFileForm(ctx) {}
  void UpdateProgress(TFileStatusParameter* file, TDownloadStatusParameter* download) override {
    TCopyFileForm::UpdateProgress(file, download);
    files.push_back(ProgressBar1->Position());
    totals.push_back(ProgressBar2->Position());
    names.push_back(lblCopyingFile->Caption());
    if (after_update) after_update(*this);
  }
  std::vector<int> files;
  std::vector<int> totals;
  std::vector<std::string> names;
  std::function<void(RecordingCopyForm&)> after_update;
};

class CopyWindowTest : public WizardFixture {
 protected:
  CopyWindowTest() {
    src_ = HostDir("src");
    dist_ = HostDir("dist");
  }
  // The windows' components and `files` (JSON components) in a driver
  // installing into C:\Program Files\Tool.
  void LoadProduct(const std::string& files) {
    Load(R"([{"class": "TInstall", "name": "Install1",
              "properties": {"DestDir": "\\Tool", "Information": {"ProductName": "Tool"}}})" +
         std::string(kWindows) + files + "]");
    driver_ = Find<TInstall>("Install1");
    copy_ = Find<TDialogManager>("Copy");
  }
  std::string FileJson(const std::string& name, int id) {
    return R"(, {"class": "TInstallFile", "name": "File)" + std::to_string(id) + R"(", "properties": {"Container": "Install1",
           "DestDirType": "psContainerDestDir", "IncludeFromDir": ")" + src_.string() + R"(", "FileName": ")" +
           name + R"(", "DestName": ")" + name + R"(", "UniqueID": )" + std::to_string(id) + "}}";
  }
  // files.1 holding `names` (sources of `size` random bytes) as 0, 1, ...
  void BuildArchive(const std::vector<std::string>& names, std::size_t size) {
    TBrwlCompress archive(nullptr);
    archive.SetServices(ctx_->MainArchive().Services());
    archive.SetCompressedFile((dist_ / "files.1").string());
    for (std::size_t i = 0; i < names.size(); ++i) {
      WriteHostFile(src_ / names[i], Noise(size, static_cast<unsigned>(i + 1)));
      archive.SetFilesToProcessLines({(src_ / names[i]).string()});
      archive.Compress(i > 0, static_cast<int>(i));
    }
  }
  // The copy window the next pass opens records itself here.
  void RecordCopyWindow() {
    host_->AddDuringCopyFactory("TCopyFileForm", [this](EngineContext* ctx) -> std::unique_ptr<TBaseDuringCopyForm> {
      auto form = std::make_unique<RecordingCopyForm>(ctx);
      recorded_ = form.get();
      if (on_copy_window) on_copy_window(*form);
      return form;
    });
  }
  fs::path Installed(const std::string& name) {
    return machine_->GetPaths().ToHost("C:\\Program Files\\Tool\\" + name);
  }

  fs::path src_;
  fs::path dist_;
  TInstall* driver_ = nullptr;
  TDialogManager* copy_ = nullptr;
  RecordingCopyForm* recorded_ = nullptr;
  std::function<void(RecordingCopyForm&)> on_copy_window;
};

TEST_F(CopyWindowTest, TheBarsTheNameTheEstimateAndThePlace) {
  LoadProduct("");
  TFileStatusParameter status;
  status.Status.FileName = "C:\\build\\bin\\tool.exe";
  status.Status.FilePercent = 40;
  status.TotalPercent = 10;
  status.RunningTotal = 100;
  status.TotalBytes = 1000;
  driver_->BroadcastComponentCall(kCallProgress, &status);
  std::vector<TBaseDuringCopyForm*> open = host_->OpenDuringCopyForms(*copy_);
  ASSERT_EQ(open.size(), 1u);
  auto& form = dynamic_cast<TCopyFileForm&>(*open[0]);
  EXPECT_EQ(form.ProgressBar1->Position(), 40);
  EXPECT_EQ(form.ProgressBar2->Position(), 10);
  EXPECT_EQ(form.lblCopyingFile->Caption(), "tool.exe");
  EXPECT_FALSE(form.TransferBitmap->Visible());
  EXPECT_EQ(form.Widget()->windowTitle().toStdString(), "Copying installation files");
  // Placed as its dialog says: 474 x 146 outside, centred, 30 pixels plus
  // a caption bar above the screen's bottom.
  const WindowBounds b = PlaceWindow(TBrimwellDialogPosition::bdpBottomCenter, 0, 30, app_.GetScreenSize(),
                                     app_.CaptionHeight(), 474, 146);
  EXPECT_EQ(form.Widget()->pos(), QPoint(b.left, b.top));
  EXPECT_EQ(form.Widget()->size(), QSize(466, 119));
  EXPECT_EQ(form.ProgressBar1->Bounds().width, 176);
  EXPECT_EQ(form.CancelBtn->Bounds().width, 89);
  EXPECT_EQ(form.CancelBtn->Bounds().height, 25);

  // Two seconds on, 300 of the 1000 bytes: 200 bytes in 2 s, 7 s left.
  form.Clock = [] { return std::int64_t{1000000}; };
  status.RunningTotal = 100;
  TCopyFileForm fresh(ctx_.get());
  std::int64_t now = 0;
  fresh.Clock = [&] { return now; };
  fresh.UpdateProgress(&status, nullptr);
  EXPECT_EQ(fresh.TimeLeft(), "");
  now = 2000;
  status.RunningTotal = 300;
  fresh.UpdateProgress(&status, nullptr);
  EXPECT_EQ(fresh.TimeLeft(), "0:07");
  EXPECT_EQ(DurationText(3725), "1:02:05");

  // A download moves the file bar only and shows the transfer picture.
  TDownloadStatusParameter download;
  download.FileName = "Docs.1";
  download.Percent = 65;
  driver_->BroadcastComponentCall(kCallDownloadProgress, &download);
  EXPECT_EQ(form.ProgressBar1->Position(), 65);
  EXPECT_EQ(form.ProgressBar2->Position(), 10);
  EXPECT_EQ(form.lblCopyingFile->Caption(), "Docs.1");
  EXPECT_TRUE(form.TransferBitmap->Visible());
  driver_->BroadcastComponentCall(kCallPassDone, nullptr);
  EXPECT_TRUE(host_->OpenDuringCopyForms(*copy_).empty());
}

TEST_F(CopyWindowTest, TheBarsMoveInOrderThroughARealInstallation) {
  BuildArchive({"a.bin", "b.bin", "c.bin"}, 40000);
  Restart({"-s" + dist_.string()});
  RecordCopyWindow();
  LoadProduct(FileJson("a.bin", 0) + FileJson("b.bin", 1) + FileJson("c.bin", 2));
  app_.Form()->Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << Log();
  ASSERT_NE(recorded_, nullptr);
  // The total by bytes, never back; each file from its start to 100.
  ASSERT_GT(recorded_->totals.size(), 10u);
  EXPECT_TRUE(std::is_sorted(recorded_->totals.begin(), recorded_->totals.end()));
  EXPECT_EQ(recorded_->totals.back(), 100);
  EXPECT_EQ(recorded_->files.back(), 100);
  std::vector<std::string> order;
  for (const std::string& name : recorded_->names) {
    if (order.empty() || order.back() != name) order.push_back(name);
  }
  EXPECT_THAT(order, ElementsAre("a.bin", "b.bin", "c.bin"));
  // About a third of the bytes when the first file is done.
  for (std::size_t i = 0; i + 1 < recorded_->names.size(); ++i) {
    if (recorded_->names[i] == "a.bin" && recorded_->names[i + 1] == "b.bin") {
      EXPECT_NEAR(recorded_->totals[i], 33, 1);
    }
  }
  EXPECT_TRUE(ReadHostFile(Installed("c.bin")) == Noise(40000, 3));
}

TEST_F(CopyWindowTest, CancelConfirmedMidCopyStopsWithinABlockAndWritesNothingHalf) {
  BuildArchive({"a.bin", "b.bin", "c.bin"}, 60000);
  Restart({"-s" + dist_.string()});
  RecordCopyWindow();
  LoadProduct(FileJson("a.bin", 0) + FileJson("b.bin", 1) + FileJson("c.bin", 2));
  int asked = 0;
  driver_->OnUserAbort = [&](TCustomInstall*, bool& quit) {
    ++asked;
    quit = asked > 1;  // the first cancel is refused
  };
  std::size_t cancelled_at = 0;
  on_copy_window = [&](RecordingCopyForm& form) {
    form.after_update = [&](RecordingCopyForm& f) {
      if (cancelled_at != 0 || f.names.back() != "b.bin" || f.files.back() < 30) return;
      Click(f.CancelBtn);
      if (asked == 1) return;  // refused: the copy goes on
      cancelled_at = f.files.size();
    };
  };
  std::vector<std::string> pages;
  OnWizards([&](TBaseFormContainer& w) {
    pages.push_back(w.CurrentPage()->FormClass());
    // The copy window, on top while it worked, does not cover the page.
    EXPECT_FALSE(recorded_->Widget()->isVisible());
    Click(dynamic_cast<TClosingForm&>(*w.CurrentPage()).FinishBtn());
  });
  app_.Form()->Activate();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ctx_->ExitStatus(), kExitUserAbort);
  EXPECT_THAT(pages, ElementsAre("TBadInstallForm"));
  ASSERT_GT(cancelled_at, 0u);
  // One more block at most, then the copy stopped.
  EXPECT_LE(recorded_->files.size(), cancelled_at + 1);
  EXPECT_TRUE(ReadHostFile(Installed("a.bin")) == Noise(60000, 1));
  EXPECT_FALSE(fs::exists(Installed("b.bin")));
  EXPECT_FALSE(fs::exists(Installed("c.bin")));
  // Nothing written beside under another name either.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(Installed("a.bin").parent_path())) left.push_back(e.path().filename());
  EXPECT_THAT(left, ElementsAre("a.bin"));
  EXPECT_EQ(driver_->RunError(), "Installation aborted by the user");
}

TEST_F(CopyWindowTest, UnattendedTheProgressGoesToStandardErrorAtMostOnceASecond) {
  LoadProduct("");
  Unattended unattended;
  TCopyFileForm form(ctx_.get());
  std::int64_t now = 0;
  form.Clock = [&] { return now; };
  TFileStatusParameter status;
  status.Status.FileName = "tool.exe";
  status.TotalBytes = 1000;
  ::testing::internal::CaptureStderr();
  for (std::int64_t t : {0, 300, 900, 1000, 1500, 2600}) {
    now = t;
    status.RunningTotal = t / 10;
    status.Status.FilePercent = static_cast<std::uint8_t>(t / 30);
    status.TotalPercent = static_cast<int>(t / 26);
    form.UpdateProgress(&status, nullptr);
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = err.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(err.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 3u) << err;
  EXPECT_EQ(lines[0], "Copying installation files: tool.exe, File progress 0 %, Total progress 0 %");
  EXPECT_THAT(lines[1], HasSubstr("File progress 33 %, Total progress 38 %, ~ 0:09"));
  EXPECT_THAT(lines[2], HasSubstr("Total progress 100 %"));
}

TEST_F(CopyWindowTest, TheStatusWindowShowsTheNewestTextOfItsStack) {
  LoadProduct("");
  auto* status = Find<TInstallStatusDlg>("Status");
  auto show = [&](const std::string& text) {
    TMessageParameter po(text);
    driver_->BroadcastComponentCall(kCallShowStatus, &po);
  };
  show("Reading file information...");
  auto* form = dynamic_cast<TInstallStatusForm*>(host_->StatusForm(*status));
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->Widget()->isVisible());
  EXPECT_EQ(form->lblMessage->Caption(), "Reading file information...");
  const int narrow = form->Widget()->width();
  const ScreenSize screen = app_.GetScreenSize();
  auto centred = [&] { return std::abs(form->Widget()->x() * 2 + form->Widget()->width() - screen.width) <= 1; };
  EXPECT_TRUE(centred());
  show("Reading file information... Reading file information... and more besides");
  EXPECT_GT(form->Widget()->width(), narrow + 150);
  EXPECT_TRUE(centred());
  // The label stands in the middle of the window's height.
  const PageRect& label = form->lblMessage->Bounds();
  EXPECT_NEAR(label.top + label.height / 2.0, form->pnlMessage->Bounds().height / 2.0, 1.0);
  driver_->BroadcastComponentCall(kCallHideStatus, nullptr);
  EXPECT_EQ(form->lblMessage->Caption(), "Reading file information...");
  EXPECT_EQ(form->Widget()->width(), narrow);
  EXPECT_TRUE(form->Widget()->isVisible());
  driver_->BroadcastComponentCall(kCallHideStatus, nullptr);
  EXPECT_FALSE(form->Widget()->isVisible());
  driver_->BroadcastComponentCall(kCallHideStatus, nullptr);  // one hide too many does no harm
  EXPECT_TRUE(status->Texts().empty());

  // Anything but a text is refused by name.
  try {
    driver_->BroadcastComponentCall(kCallShowStatus, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "Status got a nil PO parameter");
  }
  TDiskParameter other;
  try {
    driver_->BroadcastComponentCall(kCallShowStatus, &other);
    ADD_FAILURE() << "no error";
  } catch (const IException& e) {
    EXPECT_STREQ(e.what(), "The PO object passed to Status is not a TMessageParameter object");
  }
}

class NextDiskTest : public CopyWindowTest {
 protected:
  // files.1 and files.2 on two disks of drive A:, the second file's data
  // on the second disk, and a copy of the second disk in C:\Disk2; disk 1
  // in the drive.
  void MakeDiskSet() {
    BuildArchive({"one.bin", "two.bin"}, 30000);
    PrefixConfig c = machine_->Config();
    c.removable['A'] = 40000;
    machine_->UpdateConfig(c);
    FileSystem& files = machine_->GetFileSystem();
    ASSERT_TRUE(files.InsertDisk('A', 1).ok());
    TBrwlCompress splitter(nullptr);
    splitter.SetServices(ctx_->MainArchive().Services());
    splitter.SetCompressedFile((dist_ / "files.1").string());
    splitter.OnNewDisk = [&](TBrwlCompress&, int disk, std::string&) {
      ASSERT_TRUE(files.InsertDisk('A', disk).ok());
    };
    splitter.SplitToDisks("A:\\", "files.1");
    ASSERT_TRUE(files.ForceDirectories("C:\\Disk2"));
    ASSERT_TRUE(files.InsertDisk('A', 2).ok());  // the split ends with disk 1 in the drive
    ASSERT_TRUE(files.CopyFile("A:\\files.2", "C:\\Disk2\\files.2", false).ok());
    ASSERT_TRUE(files.InsertDisk('A', 1).ok());
    Restart({"-sA:\\"});
    LoadProduct(FileJson("one.bin", 0) + FileJson("two.bin", 1));
  }
};

TEST_F(NextDiskTest, TheNextDiskWindowTakesAnotherDirectoryAndRefusesOneWithoutTheDisk) {
  MakeDiskSet();
  std::vector<std::string> seen;
  host_->OnChangeDiskShown = [&](TBaseChangeDiskForm& base) {
    auto& form = dynamic_cast<TChangeDiskForm&>(base);
    seen.push_back(form.PromptDiskLabel->Caption());
    seen.push_back(form.PathEdit->Edit()->text().toStdString());
    EXPECT_TRUE(form.PathEdit->Edit()->isReadOnly());
    EXPECT_EQ(form.Widget()->parentWidget()->windowTitle().toStdString(), "Setup needs the next disk");
    // As designed: client area 418 x 180 (higher where the explanation
    // takes three lines), the prompt 329 wide, the path 241, Browse
    // 81 x 25, Proceed and Cancel 89 x 25.
    EXPECT_EQ(form.Widget()->width(), 418);
    EXPECT_GE(form.Widget()->height(), 180);
    EXPECT_EQ(form.PromptDiskLabel->Bounds().width, 329);
    EXPECT_EQ(form.PathEdit->Bounds().width, 241);
    EXPECT_EQ(form.BrowseBtn->Bounds().width, 81);
    EXPECT_EQ(form.BrowseBtn->Bounds().height, 25);
    for (WizButton* b : {form.InstallBtn, form.CancelBtn}) {
      EXPECT_EQ(b->Bounds().width, 89);
      EXPECT_EQ(b->Bounds().height, 25);
      EXPECT_LE(b->Bounds().top + b->Bounds().height + 10, form.Widget()->height());
    }
    EXPECT_GE(form.Label4->Bounds().top, form.Label2->Bounds().top + form.Label2->Bounds().height);
    // Disk 1 is still in the drive: Proceed says so and the window stays.
    Click(form.InstallBtn);
    EXPECT_TRUE(form.lblNotThere->Visible());
    seen.push_back(form.lblNotThere->Caption());
    EXPECT_TRUE(form.Window()->isVisible());
    EXPECT_GE(form.InstallBtn->Bounds().top, form.lblNotThere->Bounds().top + form.lblNotThere->Bounds().height);
    // Browse, without the browser's extra controls, to the copy of disk 2.
    form.OnBrowse = [&](TOpenFolderDialog& dialog) {
      EXPECT_FALSE(dialog.ShowCreateButton);
      EXPECT_FALSE(dialog.ShowPathEdit);
      dialog.OnShown = [&](FolderWindow& window) {
        EXPECT_EQ(window.PathEdit(), nullptr);
        ASSERT_TRUE(window.SelectPath("C:\\Disk2"));
        window.OkButton()->click();
      };
    };
    Click(form.BrowseBtn);
    seen.push_back(form.PathEdit->Edit()->text().toStdString());
    EXPECT_FALSE(form.lblNotThere->Visible());
    Click(form.InstallBtn);
  };
  app_.Form()->Activate();
  ASSERT_EQ(ctx_->ExitStatus(), kExitOk) << Log();
  EXPECT_THAT(seen, ElementsAre("Please insert disk number 2", "A:", "The disk number 2 is not in A:",
                                "C:\\Disk2"));
  EXPECT_TRUE(ReadHostFile(Installed("two.bin")) == Noise(30000, 2));
  // The engine asked no question of its own.
  EXPECT_TRUE(app_.MessageBoxes().empty());
}

TEST_F(NextDiskTest, CancelOnTheNextDiskWindowEndsTheRunAsAUserAbort) {
  MakeDiskSet();
  driver_->OnUserAbort = [](TCustomInstall*, bool& quit) { quit = true; };
  host_->OnChangeDiskShown = [&](TBaseChangeDiskForm& form) {
    Key(form.Window(), Qt::Key_Escape);  // Escape is Cancel
  };
  OnWizards([&](TBaseFormContainer& w) { Click(dynamic_cast<TClosingForm&>(*w.CurrentPage()).FinishBtn()); });
  app_.Form()->Activate();
  EXPECT_EQ(ctx_->ExitStatus(), kExitUserAbort);
  EXPECT_TRUE(fs::exists(Installed("one.bin")));
  EXPECT_FALSE(fs::exists(Installed("two.bin")));
}

}  // namespace
}  // namespace brimwell::testing
