// DownloadArchive: everything but the network, with a fake location
// service that writes the "downloaded" file itself.
#include <gtest/gtest.h>

#include "engine/api_routines.h"
#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "engine/net_location_access.h"
#include "engine/project_check.h"
#include "engine/remote_file_list.h"
#include "netloc/net_install_location.h"
#include "netloc/netloc_errors.h"
#include "platform/file_system.h"
#include "platform/win_path.h"
#include "tests/engine/engine_fixture.h"
#include "tests/netloc/loopback_server.h"

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

TEST_F(DownloadTest, AFileWithoutALocationUsesTheNearestGroupsBeforeTheDrivers) {
  auto* drivers = Create<TTestLocation>(form_.get());
  drivers->SetName("Main");
  driver_->SetNetLocation(drivers);
  auto* groups = Create<TTestLocation>(form_.get());
  groups->SetName("Mirror");
  group_->SetNetLocation(groups);
  auto* inner = Make<TInstallFileGroup>("Inner");
  inner->SetContainer(group_);
  auto* deep = Make<TTestFile>("Deep");
  deep->SetContainer(inner);

  file_->DownloadArchive();
  deep->DownloadArchive();
  inner->DownloadArchive();
  EXPECT_THAT(net_->fetched, ElementsAre("Mirror:Manual.1", "Mirror:Deep.1", "Mirror:Inner.1"));
  groups->filled_in = false;
  auto* other = Make<TTestFile>("Other");
  other->SetContainer(group_);
  EXPECT_EQ(ErrorOf(other),
            "Other could not install itself because the TNetLocation component's properties, in the NetLocation "
            "property, have not been filled in");
  group_->SetNetLocation(nullptr);
  other->DownloadArchive();
  EXPECT_EQ(net_->fetched.back(), "Main:Other.1");
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


// The engine's own access to a TNetInstallLocation of the project, against
// a local HTTP server holding a web distribution's directory.
class NetDownloadTest : public EngineTest {
 protected:
  void LoadWebProject(const std::string& hostname) {
    Load(R"([{"class": "TNetInstallLocation", "name": "Server",
               "properties": {"LoginInformation": {"Hostname": ")" + hostname + R"(", "Directory": "dist"}}},
              {"class": "TInstall", "name": "Install1",
               "properties": {"NetLocation": "Server", "DistributeType": "dtWeb"}},
              {"class": "TInstallFileGroup", "name": "Docs", "properties": {"Container": "Install1"}},
              {"class": "TInstallFileGroup", "name": "Missing", "properties": {"Container": "Install1"}},
              {"class": "TTestFile", "name": "Manual", "properties": {"Container": "Docs"}}])");
    driver_ = Find<TInstall>("Install1");
    ctx_->SetInstallRecordKey(driver_->FindInstallRecord(true));
  }
  std::vector<std::string> TempCopies() {
    auto found = machine_->GetFileSystem().FindFiles(machine_->GetFileSystem().TempPath() + "*.*");
    std::vector<std::string> names;
    if (found.ok()) {
      for (const auto& f : *found) names.push_back(f.name);
    }
    return names;
  }

  TInstall* driver_ = nullptr;
};

TEST_F(NetDownloadTest, TheFileListAndArchivesComeFromTheServer) {
  const std::filesystem::path served = tmp_.path() / "served";
  std::string archive(50000, '\0');
  for (std::size_t i = 0; i < archive.size(); ++i) archive[i] = static_cast<char>(i * 7);
  WriteHostFile(served / "dist" / "Docs.1", archive);
  WriteHostFile(served / "dist" / "filelist.lst",
                EncodeFileList({{1234, 45000.5, "MANUAL", "1.0"}, {77, 0, "Unknown", ""}}));
  LoopbackServer http({"http", served.string()});
  LoadWebProject(http.Address());

  ctx_->NetAccess()->ReadRemoteFileList(*driver_);
  EXPECT_EQ(Find<TTestFile>("Manual")->Size(), 1234);
  EXPECT_EQ(Find<TTestFile>("Manual")->FileDate(), 45000.5);

  auto* docs = Find<TInstallFileGroup>("Docs");
  std::vector<std::int32_t> totals;
  docs->OnDataReceived = [&](TComponent*, const std::string& name, std::int32_t, std::int32_t total,
                             std::int32_t size, const std::uint8_t*) {
    EXPECT_EQ(name, "Docs.1");
    EXPECT_EQ(size, 50000);
    totals.push_back(total);
  };
  docs->DownloadArchive();
  EXPECT_THAT(totals, ElementsAre(8192, 16384, 24576, 32768, 40960, 49152, 50000));
  const std::string local = docs->LocalArchivePath();
  EXPECT_EQ(ReadHostFile(machine_->GetPaths().ToHost(local)), archive);
  EXPECT_EQ(registry().ReadString(RegistryHive::kLocalMachine, ctx_->InstallRecordKey() + "\\Docs", "LocalFile"),
            local);
  EXPECT_THAT(ReadHostFile(log_file()), ::testing::HasSubstr("download\thttp://" + http.Address() +
                                                            "/dist/Docs.1 bytes=50000 "));

  // A failed download leaves neither a copy nor a path to one.
  const auto before = TempCopies();
  try {
    Find<TInstallFileGroup>("Missing")->DownloadArchive();
    FAIL();
  } catch (const ENIL_FileNotFound& e) {
    EXPECT_THAT(e.what(), ::testing::StartsWith("Could not find the file Missing.1 on the server."));
  }
  EXPECT_EQ(Find<TInstallFileGroup>("Missing")->LocalArchivePath(), "");
  EXPECT_EQ(TempCopies(), before);
}

TEST_F(NetDownloadTest, AShortFileListIsRefusedAndRemoved) {
  const std::filesystem::path served = tmp_.path() / "served";
  std::string list = EncodeFileList({{1, 0, "Manual", ""}, {2, 0, "Other", ""}});
  list.resize(list.size() - 1);
  WriteHostFile(served / "dist" / "filelist.lst", list);
  LoopbackServer http({"http", served.string()});
  LoadWebProject(http.Address());
  const auto before = TempCopies();
  try {
    ctx_->NetAccess()->ReadRemoteFileList(*driver_);
    FAIL();
  } catch (const IEInstall& e) {
    EXPECT_THAT(e.what(), ::testing::StartsWith("Cannot read the remote list of files: "));
  }
  EXPECT_EQ(Find<TTestFile>("Manual")->Size(), 0);
  EXPECT_EQ(TempCopies(), before);
}

TEST(RemoteFileList, RoundTripsAndRefusesShortOrNegativeCounts) {
  const std::vector<RemoteFileRecord> records = {
      {100, 36526.25, "Readme", "1.2.3.4"},
      {-1, 0, std::string(40, 'N'), std::string(20, 'V')},  // full fields carry no terminator
      {0, 1e300, "", ""}};
  const std::string bytes = EncodeFileList(records);
  EXPECT_EQ(bytes.size(), 4u + 3 * 72);
  EXPECT_EQ(DecodeFileList(bytes), records);
  EXPECT_EQ(EncodeFileList({{1, 0, std::string(50, 'x'), std::string(30, 'y')}}),
            EncodeFileList({{1, 0, std::string(40, 'x'), std::string(20, 'y')}}));
  EXPECT_EQ(DecodeFileList(bytes + "trailing"), records);
  EXPECT_EQ(DecodeFileList(bytes.substr(0, bytes.size() - 1)), std::nullopt);
  EXPECT_EQ(DecodeFileList("\x01\x00"), std::nullopt);
  EXPECT_EQ(DecodeFileList(std::string("\xff\xff\xff\xff", 4)), std::nullopt);
  EXPECT_EQ(DecodeFileList(std::string("\xff\xff\xff\x7f", 4)), std::nullopt);  // no huge allocation
  EXPECT_EQ(DecodeFileList(std::string(4, '\0')), std::vector<RemoteFileRecord>{});
}

TEST_F(NetDownloadTest, ABindCheckAcceptsAProjectWithALocation) {
  const std::string saved = PrepareProjectForBinding(
      R"({"format": "brimwell-project/1", "components": [
           {"class": "TNetInstallLocation", "name": "Server",
            "properties": {"LoginInformation": {"Hostname": "files.example.com", "Protocol": "ipFTP"}}},
           {"class": "TInstall", "name": "Install1", "properties": {"NetLocation": "Server"}}]})",
      tmp_.path());
  EXPECT_THAT(saved, ::testing::HasSubstr("\"Protocol\": \"ipFTP\""));
  EXPECT_THAT(saved, ::testing::HasSubstr("\"NetLocation\": \"Server\""));
}

}  // namespace
}  // namespace brimwell::testing
