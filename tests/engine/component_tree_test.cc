// The install component tree: helper order and renumbering, Container
// writes, install types and selection, processing, and the information
// events that travel up the tree.
#include <gtest/gtest.h>

#include "engine/component_calls.h"
#include "engine/engine_errors.h"
#include "engine/parameter_objects.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> HelperNames(const TInstallContainer& c) {
  std::vector<std::string> names;
  for (TInstallContainer* h : c.HelperList()) names.push_back(h->Name());
  return names;
}

std::vector<int> HelperOrders(const TInstallContainer& c) {
  std::vector<int> orders;
  for (TInstallContainer* h : c.HelperList()) orders.push_back(h->Order());
  return orders;
}

class ComponentTreeTest : public EngineTest {};

TEST_F(ComponentTreeTest, LoadedOrdersArePlacedByOrderAndRenumberedOnTheNextChange) {
  Load(R"([{"class": "TInstallFileGroup", "name": "G", "properties": {"DestDirType": "psProgramFiles"}},
           {"class": "TTestFile", "name": "Three", "properties": {"Container": "G", "Order": 3}},
           {"class": "TTestFile", "name": "One", "properties": {"Container": "G", "Order": 1}}])");
  auto* group = Find<TInstallFileGroup>("G");
  EXPECT_THAT(HelperNames(*group), ElementsAre("One", "Three"));
  EXPECT_THAT(HelperOrders(*group), ElementsAre(1, 3));  // loading never renumbers

  Find<TTestFile>("Three")->SetOrder(0);  // a change outside loading moves it and renumbers
  EXPECT_THAT(HelperNames(*group), ElementsAre("Three", "One"));
  EXPECT_THAT(HelperOrders(*group), ElementsAre(0, 1));
}

TEST_F(ComponentTreeTest, HelpersSortByTypeAndNumberAfreshForEachType) {
  auto* driver = MakeDriver();
  auto* file = Make<TTestFile>("File");
  auto* entry = Make<TTestEntry>("Entry");
  auto* group2 = Make<TInstallFileGroup>("Group2");
  auto* group1 = Make<TInstallFileGroup>("Group1");
  auto* grab = Make<TGrabCall>("Grab");
  for (TInstallObject* o : std::initializer_list<TInstallObject*>{grab, entry, file, group2, group1}) {
    o->SetContainer(driver);
  }
  // Groups (1000) first, then files (2000), entries (8500), call receivers
  // (9000); an Order of -1 goes after the helpers of its type.
  EXPECT_THAT(HelperNames(*driver), ElementsAre("Group2", "Group1", "File", "Entry", "Grab"));
  EXPECT_THAT(HelperOrders(*driver), ElementsAre(0, 1, 0, 0, 0));

  group1->SetOrder(0);  // an equal Order goes before the helper holding it
  EXPECT_THAT(HelperNames(*driver), ElementsAre("Group1", "Group2", "File", "Entry", "Grab"));
  EXPECT_THAT(HelperOrders(*driver), ElementsAre(0, 1, 0, 0, 0));

  auto* bde = Make<TInstallBDE>("Bde");
  bde->SetContainer(driver);
  EXPECT_EQ(driver->Helpers(0), bde);  // always first, whatever its type
  EXPECT_EQ(driver->FileContainerCount(), 2);
  EXPECT_EQ(driver->FileContainers(1), group2);
}

TEST_F(ComponentTreeTest, OrderWithoutContainerIsIgnored) {
  auto* file = Make<TTestFile>("File");
  file->SetOrder(5);
  EXPECT_EQ(file->Order(), -1);
}

TEST_F(ComponentTreeTest, CollidingOrdersLoadAndProcessInListOrder) {
  Load(R"([{"class": "TInstall", "name": "Install1", "properties": {"UseLoadingProgram": false, "RunAutomatic": false}},
           {"class": "TTestFile", "name": "A", "properties": {"Container": "Install1", "Order": 2}},
           {"class": "TTestFile", "name": "B", "properties": {"Container": "Install1", "Order": 2}},
           {"class": "TTestFile", "name": "C", "properties": {"Container": "Install1", "Order": 2}}])");
  auto* driver = Find<TInstall>("Install1");
  EXPECT_THAT(HelperNames(*driver), ElementsAre("C", "B", "A"));  // each one goes before its equal
  EXPECT_THAT(HelperOrders(*driver), ElementsAre(2, 2, 2));
  std::vector<std::string> processed;
  for (auto* name : {"A", "B", "C"}) {
    Find<TTestFile>(name)->OnBeforeProcess = [&](TInstallContainer* c) { processed.push_back(c->Name()); };
  }
  driver->InstallObjects();
  EXPECT_THAT(processed, ElementsAre("C", "B", "A"));
}

TEST_F(ComponentTreeTest, CyclesAreRefused) {
  auto* a = Make<TInstallFileGroup>("A");
  auto* b = Make<TInstallFileGroup>("B");
  auto* c = Make<TInstallFileGroup>("C");
  b->SetContainer(a);
  c->SetContainer(b);
  try {
    a->SetContainer(c);
    FAIL() << "a cycle was accepted";
  } catch (const IEInstallContainer& e) {
    EXPECT_STREQ(e.what(), "Circular reference");
  }
  EXPECT_EQ(a->Container(), nullptr);  // nothing changed
  EXPECT_EQ(a->HelperCount(), 1);
  EXPECT_THROW(a->SetContainer(a), IEInstallContainer);
  EXPECT_EQ(a->HelperCount(), 1);
}

TEST_F(ComponentTreeTest, ACyclicProjectIsRefusedWhileLoading) {
  try {
    Load(R"([{"class": "TInstallFileGroup", "name": "A", "properties": {"Container": "B"}},
             {"class": "TInstallFileGroup", "name": "B", "properties": {"Container": "A"}}])");
    FAIL() << "a cyclic project loaded";
  } catch (const EProjectError& e) {
    EXPECT_EQ(std::string(e.what()), "component \"B\" (TInstallFileGroup), property \"Container\": Circular reference");
  }
  EXPECT_EQ(form_->FindComponent("A"), nullptr);  // nothing half-loaded stays
}

TEST_F(ComponentTreeTest, AContainerOfAnotherClassIsRefusedByNameOrBehavesAsItsClass) {
  EXPECT_THROW(Load(R"([{"class": "TTestFile", "name": "F", "properties": {"Container": "psSystem"}}])"),
               EProjectError);
  // A call receiver is an install container, but not file-related: the
  // file loads, and asking for its container's archive says why it cannot.
  Load(R"([{"class": "TGrabCall", "name": "Grab"},
           {"class": "TTestFile", "name": "F",
            "properties": {"Container": "Grab", "ArchiveFileType": "psContainerArchiveFile"}}])");
  auto* file = Find<TTestFile>("F");
  EXPECT_EQ(file->Container(), Find<TGrabCall>("Grab"));
  try {
    file->GetArchivePath();
    FAIL();
  } catch (const IEPathSpecifier& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot use the ddContainerArchiveFile path specifier for F because the Container is not a "
                 "TFileRelated descendant");
  }
}

TEST_F(ComponentTreeTest, WritingContainerPointsTheDestinationAtTheContainer) {
  auto* driver = MakeDriver();
  auto* group = Make<TInstallFileGroup>("Group");
  auto* grab = Make<TGrabCall>("Grab");
  // A file-related component other than a file: files themselves accept
  // file containers only.
  auto* file = Make<TInstallFileGroup>("File");
  file->SetDestDir("\\Old");
  file->SetContainer(group);
  EXPECT_EQ(file->DestDirType(), form_->FindComponent("psContainerDestDir"));
  EXPECT_EQ(file->DestDir(), "");
  EXPECT_EQ(file->ArchiveFileType(), form_->FindComponent("psContainerArchiveFile"));

  file->SetContainer(grab);  // not file-related: the container archive no longer applies
  EXPECT_EQ(file->ArchiveFileType(), nullptr);
  EXPECT_EQ(group->HelperCount(), 0);
  file->SetContainer(nullptr);
  EXPECT_EQ(file->DestDirType(), nullptr);
  EXPECT_EQ(grab->HelperCount(), 0);

  // A refused specifier leaves the old value.
  file->SetDestDirType(Find<TCustomPathSpecifier>("psSystem"));
  try {
    file->SetDestDirType(Find<TCustomPathSpecifier>("psContainerDestDir"));
    FAIL();
  } catch (const IEPathSpecifier& e) {
    EXPECT_STREQ(e.what(), "Cannot use ddContainerDestDir for File unless you assign a Container");
  }
  EXPECT_EQ(file->DestDirType(), form_->FindComponent("psSystem"));
  (void)driver;
}

TEST_F(ComponentTreeTest, ArchiveFileIsKeptEmptyForSpecifiersThatYieldAFile) {
  auto* driver = MakeDriver();
  auto* file = Make<TTestFile>("File");
  file->SetContainer(driver);
  file->SetArchiveFile("other.1");
  EXPECT_EQ(file->ArchiveFile(), "");  // psContainerArchiveFile yields a file
  file->SetArchiveFileType(Find<TCustomPathSpecifier>("psInstallSource"));
  file->SetArchiveFile("\\other.1");
  EXPECT_EQ(file->ArchiveFile(), "\\other.1");
  file->SetArchiveFileType(Find<TCustomPathSpecifier>("psMainArchiveFile"));
  EXPECT_EQ(file->ArchiveFile(), "");
}

TEST_F(ComponentTreeTest, FreedComponentsAreForgotten) {
  auto* group = Make<TInstallFileGroup>("Group");
  auto* sub = Make<TInstallFileGroup>("Sub");
  auto* entry = Make<TTestEntry>("Entry");
  auto* own = Make<TPathSpecifier>("Own");
  sub->SetContainer(group);
  entry->SetContainer(sub);
  entry->SetDestDirType(own);
  delete own;
  EXPECT_EQ(entry->DestDirType(), nullptr);
  delete sub;
  EXPECT_EQ(entry->Container(), nullptr);
  EXPECT_EQ(group->HelperCount(), 0);
  // A file container frees its files with it.
  auto* file = Make<TTestFile>("File");
  file->SetContainer(group);
  delete group;
  EXPECT_EQ(form_->FindComponent("File"), nullptr);
  EXPECT_EQ(ctx_->Files().Count(), 0);
}

TEST_F(ComponentTreeTest, HelperAccessErrorsNameTheContainer) {
  auto* group = Make<TInstallFileGroup>("Group");
  try {
    group->Helpers(0);
    FAIL();
  } catch (const IEInstallContainer& e) {
    EXPECT_STREQ(e.what(),
                 "Tried to reference a helper component in the following component: Group. The following "
                 "index was used: 0");
  }
  try {
    group->Comp(0, TCustomInstallFile::StaticClassInfo());
    FAIL();
  } catch (const IEInstallContainer& e) {
    EXPECT_EQ(std::string(e.what()),
              "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer "
              "component. The parameters are probably reversed. Index: 0 ComponentType: 2000");
  }
  EXPECT_THROW(group->AddHelper(nullptr), IEInstallContainer);
}

TEST(InstallTypesTest, WritesAreNormalised) {
  using S = TInstallTypeSet;
  const S always{TInstallType::itAlways};
  const S full{TInstallType::itFull};
  struct Case {
    S current, requested, stored;
  } cases[] = {
      {always, S{}, always},
      {full, S{TInstallType::itFull, TInstallType::itAlways}, always},
      {always, S{TInstallType::itFull, TInstallType::itAlways}, full},
      {always, S{TInstallType::itCompact, TInstallType::itCustom},
       S{TInstallType::itCompact, TInstallType::itCustom}},
      {full, always, always},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizeInstallTypes(c.current, c.requested), c.stored)
        << c.current.Mask() << " + " << c.requested.Mask();
  }
}

TEST_F(ComponentTreeTest, SelectionFollowsTheCurrentInstallType) {
  auto* group = Make<TInstallFileGroup>("Group");
  auto* file = Make<TTestFile>("File");
  file->SetContainer(group);
  file->SetInstallTypes({TInstallType::itCompact});

  group->SetCurrentInstallType(TInstallType::itFull);
  EXPECT_EQ(file->CurrentInstallType(), TInstallType::itFull);
  EXPECT_FALSE(file->IsSelected());
  group->SetCurrentInstallType(TInstallType::itCustom);
  EXPECT_TRUE(file->IsSelected());
  group->SetCurrentInstallType(TInstallType::itCompact);
  EXPECT_TRUE(file->IsSelected());
  file->SetInclude(false);
  EXPECT_FALSE(file->IsSelected());
  file->SetInclude(true);

  group->SetCurrentInstallType(TInstallType::itFull);
  group->InstallObjects();
  EXPECT_TRUE(group->Processed());
  EXPECT_FALSE(file->Processed());
  group->SetCurrentInstallType(TInstallType::itCustom);
  group->InstallObjects();
  EXPECT_TRUE(file->Processed());
}

TEST_F(ComponentTreeTest, ProcessSendsItsCallsAndStopsQuietlyOnTheSilentAbort) {
  auto* group = Make<TInstallFileGroup>("Group");
  auto* grab = Make<TGrabCall>("Grab");
  grab->SetContainer(group);
  auto* first = Make<TTestEntry>("First");
  auto* second = Make<TTestEntry>("Second");
  first->SetContainer(group);
  second->SetContainer(group);
  CallRecorder rec;
  rec.Attach(grab);
  first->OnBeforeProcess = [](TInstallContainer*) { throw EAbort(); };
  group->Process();
  EXPECT_FALSE(first->Processed());
  EXPECT_TRUE(second->Processed());
  EXPECT_THAT(rec.calls, ElementsAre(kCallBeforeProcess, kCallInstallTypeDialog, kCallBeforeInstallObjects,
                                     kCallPassDone, kCallAfterProcess));

  group->SetInclude(false);
  rec.calls.clear();
  group->Process();
  EXPECT_THAT(rec.calls, ElementsAre(kCallBeforeProcess));

  group->SetInclude(true);
  second->OnBeforeProcess = [](TInstallContainer*) { throw Exception("disk on fire"); };
  EXPECT_THROW(group->Process(), Exception);
}

// --- Information events -------------------------------------------------------

class InformationEventTest : public EngineTest {
 protected:
  void SetUp() override {
    driver_ = MakeDriver();
    group_ = Make<TInstallFileGroup>("Group");
    group_->SetContainer(driver_);
    file_ = Make<TTestFile>("File");
    file_->SetContainer(group_);
    file_->SetSize(1000);
    other_ = Make<TTestFile>("Other");
    other_->SetContainer(group_);
    other_->SetSize(3000);
    grab_ = Make<TGrabCall>("Grab");
    grab_->SetContainer(group_);
    rec_.Attach(grab_);
  }
  // Makes the group and the driver busy as during an install pass.
  void Busy() {
    group_->SetRunState(RunState::kInstalling);
    driver_->SetRunState(RunState::kInstalling);
    group_->SetTotalBytes(4000);
  }
  std::string ErrorOf(int code, TPersistent* po) {
    try {
      group_->DoInformationEventControl(file_, code, po);
    } catch (const IEInstallContainer& e) {
      return e.what();
    }
    return "(no error)";
  }

  TInstall* driver_ = nullptr;
  TInstallFileGroup* group_ = nullptr;
  TTestFile* file_ = nullptr;
  TTestFile* other_ = nullptr;
  TGrabCall* grab_ = nullptr;
  CallRecorder rec_;
};

TEST_F(InformationEventTest, AnIdleContainerNeitherHandlesNorPasses) {
  int driver_status = 0;
  driver_->OnStatus = [&](TCustomInstallFile*, int, int) { ++driver_status; };
  group_->DoInformationEventControl(file_, kEventInstallProgress, nullptr);  // no complaint either
  EXPECT_EQ(driver_status, 0);
  EXPECT_TRUE(rec_.calls.empty());
}

TEST_F(InformationEventTest, WrongParameterObjectsAreRefusedWithTheirMessages) {
  Busy();
  TMessageParameter text("x");
  TFileStatusParameter status;
  TDiskParameter disk;
  TList one{file_};
  TList swapped{&status, file_};
  TList bad_second{file_, &text};
  TList disk_bad_first{&disk, &disk};
  TList disk_bad_second{file_, &status};
  EXPECT_EQ(ErrorOf(kEventInstallProgress, nullptr), "Group got a nil PO parameter");
  EXPECT_EQ(ErrorOf(kEventInstallProgress, &text), "DoInformationEventControl--PO is not a TList object");
  EXPECT_EQ(ErrorOf(kEventCopyProgress, &one), "DoInformationEventControl--Not engouh parameters for status event");
  EXPECT_EQ(ErrorOf(kEventCompressProgress, &swapped), "DoInformationEventControl says bad first parameter");
  EXPECT_EQ(ErrorOf(kEventInstallProgress, &bad_second), "DoInformationEventControl says bad second parameter");
  EXPECT_EQ(ErrorOf(kEventReplacing, &text), "DoInformationEventControl parameter is not TInstallFile");
  EXPECT_EQ(ErrorOf(kEventInstallCancelled, group_), "DoInformationEventControl parameter is not TInstallFile");
  EXPECT_EQ(ErrorOf(kEventNewDisk, &disk_bad_first), "DoInformationEventControl says bad 1 parameter");
  EXPECT_EQ(ErrorOf(kEventNewDisk, &disk_bad_second), "DoInformationEventControl says bad 2 parameter");
  EXPECT_EQ(ErrorOf(kEventDownloadProgress, &text),
            "The PO object passed to Group is not a TDownloadStatusParameter object");
}

TEST_F(InformationEventTest, ProgressAddsUpAndTravelsToTheDriver) {
  Busy();
  std::vector<int> group_totals, driver_totals;
  group_->OnStatus = [&](TCustomInstallFile*, int, int total) { group_totals.push_back(total); };
  driver_->OnStatus = [&](TCustomInstallFile*, int, int total) { driver_totals.push_back(total); };
  driver_->SetTotalBytes(8000);

  TFileStatusParameter status;
  status.Status.FileSize = 1000;
  status.Status.BytesDone = 500;
  status.Status.FilePercent = 50;
  TList po{file_, &status};
  group_->DoInformationEventControl(file_, kEventInstallProgress, &po);
  EXPECT_EQ(status.RunningTotal, 500);  // the driver handled it last: DoneBytes 0 + 500
  status.Status.BytesDone = 1000;
  status.Status.FileDone = true;
  group_->DoInformationEventControl(file_, kEventInstallProgress, &po);
  EXPECT_EQ(group_->DoneBytes(), 1000);
  // The other file is skipped by the overwrite rule: it counts as done.
  group_->DoInformationEventControl(other_, kEventSkippedByOverwriteRule, other_);
  EXPECT_EQ(group_->DoneBytes(), 4000);
  EXPECT_THAT(group_totals, ElementsAre(13, 25, 100));  // 500/4000, 1000/4000, 4000/4000
  EXPECT_THAT(driver_totals, ElementsAre(6, 13, 50));   // the driver counts against its own total
  EXPECT_EQ(std::count(rec_.calls.begin(), rec_.calls.end(), kCallProgress), 3);
}

TEST_F(InformationEventTest, PercentageIsZeroWithoutATotal) {
  Busy();
  group_->SetTotalBytes(0);
  int total = -1;
  group_->OnStatus = [&](TCustomInstallFile*, int, int t) { total = t; };
  group_->DoInformationEventControl(file_, kEventInstallCancelled, file_);
  EXPECT_EQ(total, 0);
}

TEST_F(InformationEventTest, DiskRequestsReplacementsAndDownloads) {
  Busy();
  group_->OnNewDisk = [](TCustomInstallFile*, int disk, std::string& path) { path = "B:\\disk" + std::to_string(disk); };
  TDiskParameter disk;
  disk.DiskNumber = 2;
  TList request{file_, &disk};
  group_->DoInformationEventControl(file_, kEventNewDisk, &request);
  EXPECT_TRUE(disk.Handled);
  EXPECT_EQ(disk.Path, "B:\\disk2");

  TCustomInstallFile* replaced = nullptr;
  driver_->OnReplacing = [&](TCustomInstallFile* f) { replaced = f; };
  group_->DoInformationEventControl(file_, kEventReplacing, file_);
  EXPECT_EQ(replaced, file_);

  std::string received;
  group_->OnDataReceived = [&](TComponent*, const std::string& name, std::int32_t, std::int32_t total,
                               std::int32_t, const std::uint8_t*) { received = name + ":" + std::to_string(total); };
  file_->DataReceived("Group.1", 10, 40, 100, nullptr);
  EXPECT_EQ(received, "Group.1:40");
  EXPECT_THAT(rec_.calls, ElementsAre(kCallNewDisk, kCallReplacing, kCallDownloadProgress));
}

TEST_F(InformationEventTest, InstallObjectsTotalsTheSelectedFilesAndReportsTheAbortFlag) {
  other_->SetInstallTypes({TInstallType::itFull});
  group_->SetCurrentInstallType(TInstallType::itCompact);
  std::vector<int> driver_events;
  std::optional<bool> aborted;
  group_->OnAfterInstallObjects = [&](TInstallContainer*, bool was_aborted) { aborted = was_aborted; };
  std::int64_t total_seen = -1;
  group_->OnBeforeInstallObjects = [&](TInstallContainer*) { total_seen = group_->TotalBytes(); };
  driver_->SetRunState(RunState::kInstalling);
  ctx_->MainArchive().SetAbort(true);
  group_->InstallObjects();
  EXPECT_EQ(total_seen, 1000);  // the file of another install type does not count
  EXPECT_EQ(aborted, true);
  EXPECT_EQ(group_->GetRunState(), RunState::kIdle);
  EXPECT_EQ(file_->read_info_calls, 1);
  EXPECT_EQ(group_->TotalSize(true, true), 4000);
  // The files' own calls go to their own helpers; the group's receiver
  // sees the group's.
  EXPECT_THAT(rec_.calls, ElementsAre(kCallBeforeInstallObjects, kCallPassDone));
  // The container's start and end went up to the driver and into the log.
  std::string log = Log();
  EXPECT_NE(log.find("event\t1012 sender=Group container=Install1"), std::string::npos) << log;
  EXPECT_NE(log.find("event\t1013 sender=Group container=Install1"), std::string::npos);
}

}  // namespace
}  // namespace brimwell::testing
