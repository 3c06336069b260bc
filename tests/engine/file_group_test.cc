// File groups and install types: the groups' names, the install type a run
// starts with, what each type selects below groups the user left out, the
// size totals, dropping files whose source is gone, copying, and the build's
// Compress for each kind of distribution, read back from the archives.

#include <algorithm>
#include <cstdlib>

#include "archive/brwl_compress.h"
#include "engine/file_container.h"
#include "engine/net_location_access.h"
#include "engine/project_check.h"
#include "platform/file_system_wrapper.h"
#include "platform/paths.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

constexpr TInstallType kFull = TInstallType::itFull;
constexpr TInstallType kCompact = TInstallType::itCompact;
constexpr TInstallType kCustom = TInstallType::itCustom;
constexpr TInstallType kAlways = TInstallType::itAlways;

class FileGroupTest : public EngineTest {
 protected:
  FileGroupTest() {
    src_ = HostDir("src");
    dist_ = HostDir("dist");
  }
  ~FileGroupTest() override { ::unsetenv("BRIMWELL_INSTALL_TYPE"); }

  fs::path Source(const std::string& name, std::size_t size) {
    WriteHostFile(src_ / name, std::string(size, static_cast<char>('a' + name.size() % 26)));
    return src_ / name;
  }
  // A file component in `container`, its source in src/.
  std::string File(const std::string& name, const std::string& container, const std::string& more = "") {
    return R"(, {"class": "TInstallFile", "name": ")" + name + R"(", "properties": {"Container": ")" + container +
           R"(", "DestDirType": "psContainerDestDir", "IncludeFromDir": ")" + src_.string() +
           R"(", "FileName": ")" + name + R"(.txt", "DestName": ")" + name + R"(.txt")" + more + "}}";
  }
  std::string Group(const std::string& name, const std::string& container, const std::string& more = "") {
    return R"(, {"class": "TInstallFileGroup", "name": ")" + name + R"(", "properties": {"Container": ")" +
           container + R"(", "GroupName": ")" + name + R"(", "DestDirType": "psContainerDestDir", "DestDir": "\\)" +
           name + "\"" + more + "}}";
  }
  // Starts an engine with the distribution directory and loads the driver
  // (with `driver_properties`) followed by `rest`.
  void LoadTree(const std::string& rest, const std::string& driver_properties = "",
                const std::string& before_driver = "") {
    Start({"-s" + dist_.string()});
    Load("[" + before_driver + R"({"class": "TInstall", "name": "Install1",
              "properties": {"DestDir": "\\Tool", "Information": {"ProductName": "Tool"})" +
         driver_properties + "}}" + rest + "]");
    driver_ = Find<TInstall>("Install1");
  }
  // Member file names (without directories) of a host archive, in order.
  std::vector<std::string> Members(const fs::path& archive_file) {
    std::vector<std::string> names;
    if (!fs::exists(archive_file)) return names;
    TBrwlCompress archive(nullptr);
    archive.SetServices(ctx_->MainArchive().Services());
    archive.SetCompressedFile(machine_->GetPaths().ToWindows(archive_file));
    for (int i = 0; i < archive.FileCount(); ++i) {
      const std::string& name = archive.GetFileHeaders(i).FileName;
      names.push_back(name.substr(name.find_last_of('\\') + 1));
    }
    return names;
  }
  fs::path src_;
  fs::path dist_;
  TInstall* driver_ = nullptr;
};

// --- Names and start-up ------------------------------------------------------------

TEST_F(FileGroupTest, GroupsDroppedInTheDesignerAreNumberedWithinTheirContainer) {
  form_->SetState(ComponentState::kDesigning, true);
  auto* driver = Make<TInstall>("Install1");
  auto* first = Make<TInstallFileGroup>("G1");
  auto* second = Make<TInstallFileGroup>("G2");
  EXPECT_EQ(first->Container(), driver);
  EXPECT_EQ(first->GroupName(), "Group #1");
  EXPECT_EQ(second->GroupName(), "Group #2");
  // A sub-group counts the containers of its own container (below).
  auto* inner = Make<TInstallFileGroup>("G3");
  EXPECT_EQ(inner->GroupName(), "Group #3");
  inner->SetContainer(first);  // named already: the name stays
  EXPECT_EQ(inner->GroupName(), "Group #3");
  // A name the developer gave stays when the group moves.
  second->SetGroupName("Manuals");
  second->SetContainer(first);
  EXPECT_EQ(second->GroupName(), "Manuals");
  Start({});
  auto* loose = Make<TInstallFileGroup>("Loose");
  EXPECT_EQ(loose->GroupName(), "Unnamed File Group");
  auto* parent = Make<TInstallFileGroup>("Parent");
  Make<TInstallFileGroup>("Sibling")->SetContainer(parent);
  loose->SetContainer(parent);
  EXPECT_EQ(loose->GroupName(), "Group #2");

  Start({});
  Load(R"([{"class": "TInstall", "name": "Install1"},
           {"class": "TInstallFileGroup", "name": "A", "properties": {"Container": "Install1", "GroupName": "Docs"}},
           {"class": "TInstallFileGroup", "name": "B", "properties": {"Container": "Install1"}}])");
  EXPECT_EQ(Find<TInstallFileGroup>("A")->GroupName(), "Docs");
  EXPECT_EQ(Find<TInstallFileGroup>("B")->GroupName(), "Unnamed File Group");  // loading names nothing
}

TEST_F(FileGroupTest, ARunStartsWithTheFirstOfferedTypeOrTheOneTheEnvironmentNames) {
  const std::string tree = Group("Docs", "Install1", R"(, "InstallTypes": ["itCompact"])") + File("Manual", "Docs");
  LoadTree(tree, R"(, "InstallTypes": ["itFull", "itCompact", "itCustom"])");
  EXPECT_EQ(driver_->CurrentInstallType(), kCompact);
  EXPECT_EQ(Find<TInstallFile>("Manual")->CurrentInstallType(), kCompact);
  EXPECT_THAT(Log(), HasSubstr("\ttype\titCompact (the first the product offers)"));

  LoadTree(tree);  // the driver's default offers nothing to choose
  EXPECT_EQ(Find<TInstallFile>("Manual")->CurrentInstallType(), kAlways);

  ::setenv("BRIMWELL_INSTALL_TYPE", "full", 1);
  LoadTree(tree, R"(, "InstallTypes": ["itFull", "itCompact"])");
  EXPECT_EQ(Find<TInstallFileGroup>("Docs")->CurrentInstallType(), kFull);
  EXPECT_FALSE(Find<TInstallFileGroup>("Docs")->IsSelected());
  EXPECT_THAT(Log(), HasSubstr("\ttype\titFull (BRIMWELL_INSTALL_TYPE)"));

  ::setenv("BRIMWELL_INSTALL_TYPE", "Custom", 1);
  EXPECT_EQ(ErrorOf([&] { LoadTree(tree, R"(, "InstallTypes": ["itFull", "itCompact"])"); }),
            "The install type Custom is not one this product offers (itCompact, itFull)");
  ::setenv("BRIMWELL_INSTALL_TYPE", "Typical", 1);
  LoadTree(tree, R"(, "InstallTypes": ["itDefault"])");
  EXPECT_EQ(driver_->CurrentInstallType(), TInstallType::itDefault);
}

TEST(InstallTypeNames, ParseTheWordsUsersSeeAndTheTypeNames) {
  EXPECT_EQ(ParseInstallType("itCompact"), kCompact);
  EXPECT_EQ(ParseInstallType("COMPACT"), kCompact);
  EXPECT_EQ(ParseInstallType("typical"), TInstallType::itDefault);
  EXPECT_EQ(ParseInstallType("compactish"), std::nullopt);
  EXPECT_EQ(ParseInstallType(""), std::nullopt);
  EXPECT_EQ(StartInstallType({kFull, kCustom}), kFull);
  EXPECT_EQ(StartInstallType({kAlways}), kAlways);
  EXPECT_THAT(OfferedInstallTypes({kCustom, kFull, TInstallType::itDefault}),
              ElementsAre(TInstallType::itDefault, kFull, kCustom));
}

// --- Selection and sizes ---------------------------------------------------------------

// Install1 (offers Full and Compact)
//   Core [always]: main 100
//   Small [compact]: lite 20, tiny 3 [full]  (a file may narrow its group)
//   Extras [always, left out by the user]: extra 1000 [always]
//     Deep [always]: deepest 5000
//   own: readme 7
class SelectionTest : public FileGroupTest {
 protected:
  void SetUp() override {
    for (auto [name, size] : std::vector<std::pair<std::string, std::size_t>>{
             {"main", 100}, {"lite", 20}, {"tiny", 3}, {"extra", 1000}, {"deepest", 5000}, {"readme", 7}}) {
      Source(name + ".txt", size);
    }
    LoadTree(Group("Core", "Install1") + Group("Small", "Install1", R"(, "InstallTypes": ["itCompact"])") +
                 Group("Extras", "Install1", R"(, "Include": false)") + Group("Deep", "Extras") +
                 File("main", "Core") + File("lite", "Small") +
                 File("tiny", "Small", R"(, "InstallTypes": ["itFull"])") + File("extra", "Extras") +
                 File("deepest", "Deep") + File("readme", "Install1"),
             R"(, "InstallTypes": ["itFull", "itCompact"])");
    driver_->ReadFileInfo();
  }
};

TEST_F(SelectionTest, EachTypeInstallsItsGroupsAndNothingBelowALeftOutGroup) {
  driver_->Compress(coForceNetFilesLocal | coCompressExcluded);
  std::vector<std::string> installed;
  for (TInstallContainer* c : ctx_->Containers()) {
    if (auto* f = dynamic_cast<TInstallFile*>(c)) {
      f->OnBeforeInstall = [&installed](TCustomInstallFile* file) { installed.push_back(file->Name()); };
    }
  }
  auto run = [&](TInstallType type) {
    installed.clear();
    fs::remove_all(machine_->GetPaths().ToHost(driver_->GetDestPath()));
    driver_->SetCurrentInstallType(type);
    driver_->TFileContainer::InstallObjects();
    return installed;
  };
  EXPECT_THAT(run(kCompact), ElementsAre("main", "lite", "readme"));
  const fs::path dest = machine_->GetPaths().ToHost(driver_->GetDestPath());
  EXPECT_EQ(fs::file_size(dest / "Small" / "lite.txt"), 20u);
  EXPECT_FALSE(fs::exists(dest / "Extras"));
  EXPECT_THAT(run(kFull), ElementsAre("main", "readme"));
  EXPECT_FALSE(fs::exists(dest / "Small"));
  EXPECT_THAT(run(kCustom), ElementsAre("main", "lite", "tiny", "readme"));
  // The user's choice on the group page: Extras back in, Small out.
  Find<TInstallFileGroup>("Extras")->SetInclude(true);
  Find<TInstallFileGroup>("Small")->SetInclude(false);
  EXPECT_THAT(run(kFull), ElementsAre("main", "deepest", "extra", "readme"));

  // The same answers without walking: one line per container and type.
  Find<TInstallFileGroup>("Extras")->SetInclude(false);
  Find<TInstallFileGroup>("Small")->SetInclude(true);
  EXPECT_THAT(InstallTypeReport(*driver_, driver_->InstallTypes()),
              ElementsAre("Install1 (own files): itCompact 1 file, 7 bytes; itFull 1 file, 7 bytes",
                          "Core: itCompact 1 file, 100 bytes; itFull 1 file, 100 bytes",
                          "Small: itCompact 1 file, 20 bytes; itFull 0 files, 0 bytes",
                          "Extras: itCompact 0 files, 0 bytes; itFull 0 files, 0 bytes",
                          "Deep: itCompact 0 files, 0 bytes; itFull 0 files, 0 bytes"));
}

TEST_F(SelectionTest, TotalsCountSelectedFilesOfSelectedGroupsOnly) {
  auto* small = Find<TInstallFileGroup>("Small");
  auto* extras = Find<TInstallFileGroup>("Extras");
  driver_->SetCurrentInstallType(kCompact);
  EXPECT_EQ(driver_->TotalSize(false, false), 7);
  EXPECT_EQ(driver_->TotalSize(false, true), 7 + 100 + 20);
  // All counts the unselected files of selected groups, never a group that
  // is left out (Extras and everything below it).
  EXPECT_EQ(driver_->TotalSize(true, true), 7 + 100 + 20 + 3);
  EXPECT_EQ(small->AllFilesSize(true), 23);
  EXPECT_EQ(extras->TotalSize(true, true), 1000 + 5000);  // asked directly, its own sub-group is selected
  driver_->SetCurrentInstallType(kFull);
  EXPECT_EQ(driver_->TotalSize(false, true), 7 + 100);
  EXPECT_EQ(driver_->TotalSize(true, true), 7 + 100);
  extras->SetInclude(true);
  EXPECT_EQ(driver_->TotalSize(false, true), 7 + 100 + 1000 + 5000);

  // Compressed sizes come from the archive headers.
  extras->SetInclude(false);
  driver_->SetCurrentInstallType(kCompact);
  driver_->Compress(coForceNetFilesLocal);
  ctx_->MainArchive().SetCompressedFile(driver_->GetArchivePath());
  for (TInstallContainer* c : ctx_->Containers()) {
    if (auto* f = dynamic_cast<TCustomInstallFile*>(c)) f->ReadInfoFromArchive();
  }
  std::int64_t expected = 0;
  for (const char* name : {"readme", "main", "lite"}) expected += Find<TInstallFile>(name)->CompressedSize();
  EXPECT_GT(expected, 0);
  EXPECT_EQ(driver_->ArchiveSizeTotal(false), expected);
  EXPECT_EQ(driver_->ArchiveSizeTotal(true), expected + Find<TInstallFile>("tiny")->CompressedSize());
}

TEST_F(FileGroupTest, MissingSourcesAreDroppedAndTheRestKeepTheirOrder) {
  for (const char* name : {"a", "b", "c", "d"}) Source(std::string(name) + ".txt", 1);
  LoadTree(Group("Docs", "Install1") + File("a", "Docs") + File("b", "Docs") + File("c", "Docs") +
           File("d", "Docs") + Group("Sub", "Docs"));
  auto* docs = Find<TInstallFileGroup>("Docs");
  fs::remove(src_ / "b.txt");
  fs::remove(src_ / "d.txt");
  EXPECT_EQ(docs->FindFile(AsciiUpperCase(Find<TInstallFile>("c")->SourcePath())), Find<TInstallFile>("c"));
  docs->RemoveMissingFiles();
  std::vector<std::string> left;
  for (TInstallContainer* h : docs->HelperList()) left.push_back(h->Name() + ":" + std::to_string(h->Order()));
  EXPECT_THAT(left, ElementsAre("Sub:0", "a:0", "c:1"));
  EXPECT_EQ(Find<TInstallFile>("b"), nullptr);  // freed
  EXPECT_EQ(docs->FindFile(machine_->GetPaths().ToWindows(src_ / "b.txt")), nullptr);
}

TEST_F(FileGroupTest, CopyFilesCopiesTheIncludedFilesOfIncludedGroups) {
  Source("a.txt", 10);
  Source("b.txt", 20);
  Source("c.txt", 30);
  LoadTree(Group("Docs", "Install1") + Group("Off", "Install1", R"(, "Include": false)") + File("a", "Docs") +
           File("b", "Docs", R"(, "Include": false)") + File("c", "Off"));
  std::vector<int> events;
  driver_->SetRunState(RunState::kCopying);  // the driver passes the group's events on
  auto* docs = Find<TInstallFileGroup>("Docs");
  docs->CopyFiles();
  EXPECT_EQ(docs->GetRunState(), RunState::kIdle);
  EXPECT_EQ(docs->TotalBytes(), 10);
  const fs::path dir = machine_->GetPaths().ToHost(driver_->GetDestPath() + "\\Docs");
  EXPECT_TRUE(fs::exists(dir / "a.txt"));
  EXPECT_FALSE(fs::exists(dir / "b.txt"));
  Find<TInstallFileGroup>("Off")->RunByKind(RunKind::kCopyFiles);
  EXPECT_FALSE(fs::exists(machine_->GetPaths().ToHost(driver_->GetDestPath() + "\\Off\\c.txt")));

  // A source that is gone ends the pass, which still ends idle.
  fs::remove(src_ / "a.txt");
  EXPECT_THAT(ErrorOf([&] { docs->CopyFiles(); }), HasSubstr("a.txt"));
  EXPECT_EQ(docs->GetRunState(), RunState::kIdle);
}

// --- Compress -------------------------------------------------------------------------

// Install1, its archive dist\files.1, at the net location "Server" (mirror
// directory host\dist):
//   Docs:  manual (local), guide (Net)
//     Extras (left out): extra (Net)
//   Tools: archive psInstallSource \tools.1: tool (local)
//   own:   readme (local), notes (Net, owDate: fetched by itself),
//          big (Net, at its own location "Mirror": mirror\HTTP Root directory)
class CompressTest : public FileGroupTest {
 protected:
  void LoadProduct(const std::string& distribution) {
    for (const char* name : {"manual", "guide", "extra", "tool", "readme", "notes", "big"}) {
      Source(std::string(name) + ".txt", 300);
    }
    LoadTree(Group("Docs", "Install1") + Group("Extras", "Docs", R"(, "Include": false)") +
                 Group("Tools", "Install1", R"(, "ArchiveFileType": "psInstallSource", "ArchiveFile": "\\tools.1")") +
                 File("manual", "Docs") + File("guide", "Docs", R"(, "Net": true)") +
                 File("extra", "Extras", R"(, "Net": true)") + File("tool", "Tools") + File("readme", "Install1") +
                 File("notes", "Install1", R"(, "Net": true, "OverwriteMode": "owDate")") +
                 File("big", "Install1", R"(, "Net": true, "NetLocation": "Mirror")"),
             R"(, "NetLocation": "Server", "DistributeType": ")" + distribution + "\"",
             R"({"class": "TNetInstallLocation", "name": "Server",
                 "properties": {"LoginInformation": {"Hostname": "host", "Directory": "dist"}}},
                {"class": "TNetInstallLocation", "name": "Mirror",
                 "properties": {"LoginInformation": {"Hostname": "mirror"}}},)");
  }
  // Every archive under dist/, relative, with its members.
  std::map<std::string, std::vector<std::string>> Archives() {
    std::map<std::string, std::vector<std::string>> found;
    for (const auto& e : fs::recursive_directory_iterator(dist_)) {
      if (e.is_regular_file()) found[fs::relative(e.path(), dist_).string()] = Members(e.path());
    }
    return found;
  }
  using Layout = std::map<std::string, std::vector<std::string>>;
};

TEST_F(CompressTest, ATraditionalBuildKeepsEveryFileLocal) {
  LoadProduct("dtTraditional");
  driver_->Compress(coRelocate | coBuild | coForceNetFilesLocal | coCompressExcluded);
  EXPECT_EQ(Archives(), (Layout{{"files.1", {"extra.txt", "manual.txt", "guide.txt", "readme.txt", "notes.txt",
                                             "big.txt"}},
                                {"tools.1", {"tool.txt"}}}));
  EXPECT_EQ(driver_->GetRunState(), RunState::kIdle);
  // Every saved setting is back.
  EXPECT_FALSE(Find<TInstallFileGroup>("Extras")->Include());
  EXPECT_EQ(Find<TInstallFileGroup>("Docs")->AddToArchive(), lzcOverwrite);
  EXPECT_EQ(Find<TInstallFileGroup>("Tools")->ArchiveFile(), "\\tools.1");
  EXPECT_EQ(Find<TInstallFile>("big")->ArchiveFile(), "");
  EXPECT_NE(dynamic_cast<TpsContainerArchiveFile*>(Find<TInstallFile>("big")->ArchiveFileType()), nullptr);

  // A second build gives the same archives, not twice the members.
  driver_->Compress(coRelocate | coBuild | coForceNetFilesLocal | coCompressExcluded);
  EXPECT_EQ(Members(dist_ / "files.1").size(), 6u);
  // Without coCompressExcluded the group left out stays out.
  driver_->Compress(coForceNetFilesLocal);
  EXPECT_THAT(Members(dist_ / "files.1"),
              ElementsAre("manual.txt", "guide.txt", "readme.txt", "notes.txt", "big.txt"));
}

TEST_F(CompressTest, ANetworkBuildSendsTheNetFilesToTheirLocationsDirectories) {
  LoadProduct("dtTraditionalNet");
  driver_->Compress(coRelocate | coBuild | coCompressExcluded);
  EXPECT_EQ(Archives(), (Layout{{"files.1", {"manual.txt", "readme.txt"}},
                                {"tools.1", {"tool.txt"}},
                                {"host/dist/Extras.1", {"extra.txt"}},
                                {"host/dist/Docs.1", {"guide.txt"}},
                                {"host/dist/notes.1", {"notes.txt"}},
                                {"mirror/HTTP Root directory/big.1", {"big.txt"}}}));
}

TEST_F(CompressTest, AWebBuildSendsEveryFileToTheNet) {
  LoadProduct("dtWeb");
  driver_->Compress(coRelocate | coBuild | coForceFilesNet | coCompressExcluded);
  EXPECT_EQ(Archives(), (Layout{{"host/dist/Extras.1", {"extra.txt"}},
                                {"host/dist/Docs.1", {"manual.txt", "guide.txt"}},
                                {"host/dist/Tools.1", {"tool.txt"}},
                                {"host/dist/Install1.1", {"readme.txt"}},
                                {"host/dist/notes.1", {"notes.txt"}},
                                {"mirror/HTTP Root directory/big.1", {"big.txt"}}}));
}

TEST_F(CompressTest, BadOptionsAndUndeletableArchivesFailBeforeTheArchiveChanges) {
  LoadProduct("dtTraditional");
  EXPECT_EQ(ErrorOf([&] { driver_->Compress(coForceNetFilesLocal | coForceFilesNet); }),
            "Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
  EXPECT_THAT(Archives(), IsEmpty());

  driver_->Compress(coForceNetFilesLocal);
  const std::string before = ReadHostFile(dist_ / "files.1");
  ASSERT_FALSE(before.empty());
  {
    // The archive cannot be deleted (another program holds it, say): the
    // walk stops before it changes a byte of it.
    struct ArchivesStay : FileSystemWrapper {
      using FileSystemWrapper::FileSystemWrapper;
      WinStatus DeleteFile(std::string_view path) override {
        if (path.ends_with(".1")) return WinStatus::Error(kErrorAccessDenied);
        return FileSystemWrapper::DeleteFile(path);
      }
    };
    FileSystem& original = machine_->GetFileSystem();
    machine_->InterposeFileSystem(std::make_unique<ArchivesStay>(original));
    const std::string error = ErrorOf([&] { driver_->Compress(coForceNetFilesLocal); });
    machine_->InterposeFileSystem(nullptr);
    EXPECT_EQ(error, "Install1 cannot delete the archive file " + machine_->GetPaths().ToWindows(dist_ / "files.1"));
    EXPECT_EQ(ReadHostFile(dist_ / "files.1"), before);
  }

  // A source that has gone ends the walk; every setting is restored.
  fs::remove(src_ / "guide.txt");
  EXPECT_THAT(ErrorOf([&] { driver_->Compress(coRelocate | coForceNetFilesLocal | coCompressExcluded); }),
              HasSubstr("guide.txt"));
  EXPECT_EQ(Find<TInstallFileGroup>("Docs")->AddToArchive(), lzcOverwrite);
  EXPECT_FALSE(Find<TInstallFileGroup>("Extras")->Include());
  EXPECT_EQ(Find<TInstallFileGroup>("Docs")->GetRunState(), RunState::kIdle);
  EXPECT_EQ(driver_->GetRunState(), RunState::kIdle);

  // Without any location, a build that may put files on the net cannot.
  LoadTree(Group("Docs", "Install1") + File("manual", "Docs"));
  EXPECT_EQ(ErrorOf([&] { driver_->Compress(0); }), "Could not find a net install location for Install1");
}

TEST_F(CompressTest, TwoFilesNamingTheSameArchiveBothLandInIt) {
  Source("a", 10);
  Source("b", 10);
  for (const char* name : {"a", "b"}) Source(std::string(name) + ".txt", 10);
  LoadTree(File("a", "Install1", R"(, "ArchiveFileType": "psInstallSource", "ArchiveFile": "\\shared.1")") +
           File("b", "Install1", R"(, "ArchiveFileType": "psInstallSource", "ArchiveFile": "\\shared.1")"));
  driver_->Compress(coRelocate | coForceNetFilesLocal);
  EXPECT_THAT(Members(dist_ / "shared.1"), ElementsAre("a.txt", "b.txt"));
}

}  // namespace
}  // namespace brimwell::testing
