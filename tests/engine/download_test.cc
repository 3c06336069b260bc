// DownloadArchive: everything but the network, with a fake location
// service that writes the "downloaded" file itself.
#include <gtest/gtest.h>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "engine/net_location_access.h"
#include "platform/file_system.h"
#include "platform/win_path.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

// Stands for a TCustomNetInstallLocation.
class TTestLocation : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  using TComponent::TComponent;
  bool filled_in = true;
};

const ClassInfo& TTestLocation::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TTestLocation>("TTestLocation", &TComponent::StaticClassInfo()).Build();
  return info;
}

class FakeNetAccess final : public NetLocationAccess {
 public:
  explicit FakeNetAccess(Machine& machine) : machine_(machine) {}
  bool LoginInformationFilledIn(TComponent& location) override {
    return static_cast<TTestLocation&>(location).filled_in;
  }
  void Download(TComponent& location, const std::string& remote_name, const std::string& local_path,
                const DataReceivedHook& progress) override {
    fetched.push_back(location.Name() + ":" + remote_name);
    auto file = machine_.GetFileSystem().Open(local_path, FileAccess::kWrite, kShareNone,
                                              FileDisposition::kCreateAlways);
    ASSERT_TRUE(file.ok());
    const std::string data = "archive bytes";
    (void)(*file)->Write(data.data(), data.size());
    progress(remote_name, 6, 6, 13, reinterpret_cast<const std::uint8_t*>(data.data()));
    progress(remote_name, 7, 13, 13, reinterpret_cast<const std::uint8_t*>(data.data() + 6));
    if (cancel_during_download) cancelled = true;
  }
  bool DownloadCancelled() override { return cancelled; }
  void ReadRemoteFileList(TCustomInstall&) override {}

  std::vector<std::string> fetched;
  bool cancel_during_download = false;
  bool cancelled = false;

 private:
  Machine& machine_;
};

class DownloadTest : public EngineTest {
 protected:
  void SetUp() override {
    auto access = std::make_unique<FakeNetAccess>(*machine_);
    net_ = access.get();
    ctx_->SetNetAccess(std::move(access));
    driver_ = MakeDriver();
    ctx_->SetInstallRecordKey(driver_->FindInstallRecord(true));
    group_ = Make<TInstallFileGroup>("Docs");
    group_->SetContainer(driver_);
    file_ = Make<TTestFile>("Manual");
    file_->SetContainer(group_);
  }
  std::string ErrorOf(TFileRelated* c) {
    try {
      c->DownloadArchive();
    } catch (const Exception& e) {
      return e.what();
    }
    return "(no error)";
  }
  FileSystem& Files() { return machine_->GetFileSystem(); }

  FakeNetAccess* net_ = nullptr;
  TInstall* driver_ = nullptr;
  TInstallFileGroup* group_ = nullptr;
  TTestFile* file_ = nullptr;
};

TEST_F(DownloadTest, WithoutALocationOrLoginTheComponentSaysWhy) {
  EXPECT_EQ(ErrorOf(group_), "Could not find a net install location for Docs");
  auto* location = Create<TTestLocation>(form_.get());
  location->SetName("Server");
  location->filled_in = false;
  group_->SetNetLocation(location);
  EXPECT_EQ(ErrorOf(group_),
            "Docs could not install itself because the TNetLocation component's properties, in the NetLocation "
            "property, have not been filled in");
  group_->SetNetLocation(nullptr);
  driver_->SetNetLocation(location);
  EXPECT_EQ(ErrorOf(file_),
            "Manual could not install itself because the LoginInformation property of the TInstall component has "
            "not been properly filled in");
  EXPECT_TRUE(net_->fetched.empty());
}

TEST_F(DownloadTest, TheArchiveIsFetchedIntoATemporaryFileAndRecorded) {
  auto* location = Create<TTestLocation>(form_.get());
  location->SetName("Server");
  driver_->SetNetLocation(location);
  auto* grab = Make<TGrabCall>("Grab");
  grab->SetContainer(driver_);
  CallRecorder rec;
  rec.Attach(grab);
  driver_->SetRunState(RunState::kInstalling);
  group_->SetRunState(RunState::kInstalling);
  std::vector<std::int32_t> totals;
  driver_->OnDataReceived = [&](TComponent* sender, const std::string&, std::int32_t, std::int32_t total,
                                std::int32_t, const std::uint8_t*) {
    EXPECT_EQ(sender, group_);
    totals.push_back(total);
  };

  group_->DownloadArchive();
  EXPECT_THAT(net_->fetched, ElementsAre("Server:Docs.1"));
  const std::string local = group_->LocalArchivePath();
  EXPECT_EQ(ExtractFileExt(local), ".1");
  EXPECT_EQ(ExtractFileName(local).substr(0, 3), "bat");
  EXPECT_TRUE(Files().FileExists(local));
  EXPECT_TRUE(group_->ArchiveAvailable());
  EXPECT_EQ(registry().ReadString(RegistryHive::kLocalMachine, ctx_->InstallRecordKey() + "\\Docs", "LocalFile"),
            local);
  EXPECT_THAT(totals, ElementsAre(6, 13));
  EXPECT_THAT(rec.calls, ElementsAre(kCallDownloadProgress, kCallDownloadProgress));

  // A resumed run finds the recorded copy and fetches nothing.
  group_->SetLocalArchivePath("");
  group_->DownloadArchive();
  EXPECT_EQ(group_->LocalArchivePath(), local);
  EXPECT_EQ(net_->fetched.size(), 1u);

  // Removing the record deletes the copy.
  driver_->RemoveInstallRecord();
  EXPECT_FALSE(Files().FileExists(local));
}

TEST_F(DownloadTest, ACancelledDownloadLeavesNothingBehind) {
  auto* location = Create<TTestLocation>(form_.get());
  location->SetName("Server");
  file_->SetNetLocation(location);
  net_->cancel_during_download = true;
  try {
    file_->DownloadArchive();
    FAIL();
  } catch (const EAIUserAbort& e) {
    EXPECT_STREQ(e.what(), "Installation aborted by the user");
  }
  EXPECT_EQ(file_->LocalArchivePath(), "");
  EXPECT_FALSE(registry().KeyExists(RegistryHive::kLocalMachine, ctx_->InstallRecordKey() + "\\Manual"));
  auto temp = Files().FindFiles(Files().TempPath() + "bat*.1");
  ASSERT_TRUE(temp.ok());
  EXPECT_TRUE(temp->empty());
}

TEST_F(DownloadTest, StoredDefaultsMatchTheConstructors) {
  // Every creatable engine class, made the way a project makes it, holds
  // its declared stored defaults; only references differ (a constructor's
  // reference default is cleared when a project does not state it).
  form_.reset();
  ctx_->SetNetAccess(nullptr);
  std::vector<std::string> mismatches;
  std::function<void(TPersistent&, const std::string&)> compare = [&](TPersistent& o, const std::string& path) {
    for (const PropertyInfo* p : o.ClassType().AllProperties()) {
      if (p->kind == PropertyKind::kObject) {
        compare(*p->object(o), path + p->name + ".");
      } else if (p->get && p->default_value && p->kind != PropertyKind::kReference &&
                 p->get(o) != *p->default_value) {
        mismatches.push_back(path + p->name);
      }
    }
  };
  for (const ClassInfo* info : registry_.Classes()) {
    if (!info->create) continue;
    Start({});
    TComponent* c = info->create(form_.get());
    compare(*c, info->name + ".");
  }
  EXPECT_TRUE(mismatches.empty()) << ::testing::PrintToString(mismatches);
}

}  // namespace
}  // namespace brimwell::testing
