// Build mode end to end: brimwell build binds a project and runs the engine
// with -b, which writes setup.1, setup.exe and files.1 (and, for a web or
// network product, filelist.lst and the server's archives) and makes
// setup.exe self-extracting; that setup.exe alone installs the product on a
// fresh prefix. Also the refusals that must leave nothing reported as built.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/host_file.h"
#include "engine/remote_file_list.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "tests/netloc/loopback_server.h"
#include "tests/platform/small_disk.h"
#include "tests/testutil/program_runner.h"

namespace brimwell::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kProject[] = R"json({"format": "brimwell-project/1", "components": [
  {"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Tool",
    "Information": {"ProductName": "Tool"}}},
  {"class": "TInstallFile", "name": "Readme", "properties": {"Container": "Install1", "UniqueID": 0,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "readme.txt", "DestName": "readme.txt"}},
  {"class": "TInstallFile", "name": "Data", "properties": {"Container": "Install1", "UniqueID": 1,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "data.bin", "DestName": "data.bin"}}
]})json";

// The same product with a server: the manual in a group of its own is kept
// there by a network distribution, everything by a web distribution.
std::string NetProject(const std::string& host) {
  return R"json({"format": "brimwell-project/1", "components": [
  {"class": "TNetInstallLocation", "name": "Server",
   "properties": {"LoginInformation": {"Hostname": ")json" +
         host + R"json(", "Directory": "dist"}}},
  {"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Tool", "NetLocation": "Server",
    "Information": {"ProductName": "Tool"}}},
  {"class": "TInstallFile", "name": "Readme", "properties": {"Container": "Install1", "UniqueID": 0,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "readme.txt", "DestName": "readme.txt"}},
  {"class": "TInstallFileGroup", "name": "Docs", "properties": {"Container": "Install1",
    "DestDirType": "psContainerDestDir", "DestDir": "\\Docs", "GroupName": "Documentation"}},
  {"class": "TInstallFile", "name": "Manual", "properties": {"Container": "Docs", "UniqueID": 2, "Net": true,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "manual.txt", "DestName": "manual.txt"}},
  {"class": "TInstallFile", "name": "Data", "properties": {"Container": "Install1", "UniqueID": 1,
    "DestDirType": "psContainerDestDir", "IncludeFromDir": "files", "FileName": "data.bin", "DestName": "data.bin"}}
]})json";
}

std::string Noise(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x % 7 == 0 ? x >> 8 : 'a' + x % 5);
  }
  return data;
}

class BuildMode : public ProgramRunner {
 public:
  fs::path product() const { return tmp_.path() / "product"; }
  void WriteProduct(const std::string& project = kProject) {
    fs::create_directories(product() / "files");
    WriteHostFile(product() / "project.json", project);
    WriteHostFile(product() / "files" / "readme.txt", "read me\n");
    WriteHostFile(product() / "files" / "manual.txt", "the manual\n" + Noise(30000, 3));
    WriteHostFile(product() / "files" / "data.bin", Noise(200000, 1));
  }
  int Build(const fs::path& out, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"build", (product() / "project.json").string(), out.string()};
    args.insert(args.end(), more.begin(), more.end());
    return Brimwell(args);
  }
  // Runs `setup` on a fresh prefix and waits for the engine to end.
  void InstallWith(const fs::path& setup) {
    fs::remove_all(prefix());
    fs::remove(log());
    ASSERT_EQ(Brimwell({"prefix", "init"}), 0) << err_;
    fs::create_directories(tmp_.path() / "tmp");
    ASSERT_EQ(Run(setup, {}, {"TMPDIR=" + (tmp_.path() / "tmp").string()}), 0) << err_;
    for (int i = 0; i < 300 && ReadHostFile(log()).find("\tshutdown") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  // `setup` copied into a directory of its own, with nothing beside it.
  fs::path Alone(const fs::path& setup) {
    const fs::path alone = tmp_.path() / "alone" / "setup.exe";
    fs::remove_all(alone.parent_path());
    fs::create_directories(alone.parent_path());
    fs::copy_file(setup, alone);
    fs::permissions(alone, fs::perms::owner_exec, fs::perm_options::add);
    return alone;
  }
  fs::path Installed(const std::string& name) {
    auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
    return machine->GetPaths().ToHost("C:\\Program Files\\Tool\\" + name);
  }
};

SelfExtractTrailer TrailerOf(const std::string& exe) {
  TrailerBytes bytes{};
  std::memcpy(bytes.data(), exe.data() + exe.size() - bytes.size(), bytes.size());
  for (std::size_t i = bytes.size() - 24; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
  auto trailer = DecodeTrailer(bytes);
  EXPECT_TRUE(trailer.has_value());
  return trailer.value_or(SelfExtractTrailer{});
}

std::vector<TFileHeader> Members(const fs::path& archive) {
  std::unique_ptr<HostFile> f = HostFile::Open(archive.string(), HostFile::Mode::kRead);
  if (!f) {
    ADD_FAILURE() << "cannot open " << archive;
    return {};
  }
  return ReadArchiveDirectory(*f, 0).headers;
}

std::vector<std::string> MemberNames(const fs::path& archive) {
  std::vector<std::string> names;
  for (const TFileHeader& h : Members(archive)) names.push_back(h.FileName.substr(h.FileName.rfind('\\') + 1));
  return names;
}

TEST(BuildModeTest, OneCommandBuildsASelfExtractingSetupThatInstallsAlone) {
  BuildMode b;
  b.WriteProduct();
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  ASSERT_EQ(b.Build(b.dist()), 0) << b.out_ << b.err_;
  EXPECT_THAT(b.out_, HasSubstr("setup.exe"));
  EXPECT_THAT(b.out_, HasSubstr("files.1"));

  const std::string loader = ReadHostFile(fs::path(BRIMWELL_BIN_DIR) / "BrimwellLoadProgram");
  const std::string exe = ReadHostFile(b.dist() / "setup.exe");
  const std::string setup1 = ReadHostFile(b.dist() / "setup.1");
  const std::string files1 = ReadHostFile(b.dist() / "files.1");
  ASSERT_EQ(exe.size(), loader.size() + setup1.size() + files1.size() + self_extract::kTrailerSize);
  EXPECT_EQ(exe.substr(0, loader.size()), loader);
  const SelfExtractTrailer trailer = TrailerOf(exe);
  EXPECT_EQ(trailer.Setup1Start, static_cast<std::int32_t>(loader.size()));
  EXPECT_EQ(trailer.Setup1End, static_cast<std::int32_t>(loader.size() + setup1.size() - 1));
  EXPECT_EQ(trailer.Files1Start, trailer.Setup1End + 1);
  EXPECT_EQ(trailer.Files1End, static_cast<std::int32_t>(exe.size() - self_extract::kTrailerSize - 1));
  EXPECT_EQ(exe.substr(trailer.Setup1Start, setup1.size()), setup1);
  EXPECT_EQ(exe.substr(trailer.Files1Start, files1.size()), files1);

  // The engine is setup.1's first member, and files.1 holds both files.
  EXPECT_THAT(MemberNames(b.dist() / "setup.1"), ::testing::ElementsAre("setupengine"));
  EXPECT_THAT(MemberNames(b.dist() / "files.1"), ::testing::ElementsAre("readme.txt", "data.bin"));
  EXPECT_FALSE(fs::exists(b.dist() / "filelist.lst"));

  b.InstallWith(b.Alone(b.dist() / "setup.exe"));
  EXPECT_THAT(ReadHostFile(b.log()), HasSubstr("good installation"));
  EXPECT_EQ(ReadHostFile(b.Installed("readme.txt")), "read me\n");
  EXPECT_EQ(ReadHostFile(b.Installed("data.bin")), ReadHostFile(b.product() / "files" / "data.bin"));
}

// Each distribution type puts every file where its installation reads it:
// checked against the archives and filelist.lst, and a web product installs
// from setup.exe alone with the server's part on a local HTTP server.
TEST(BuildModeTest, EachDistributionTypeLaysOutItsFilesAndAWebProductInstallsFromItsServer) {
  BuildMode b;
  const fs::path www = b.tmp_.path() / "www";
  fs::create_directories(www);
  LoopbackServer http({"http", www.string()});
  b.WriteProduct(NetProject(http.Address()));
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  // The server's part lies below the location's mirror directory: the host
  // name without its colon, then the directory.
  const fs::path mirror = fs::path("127.0.0.1" + std::to_string(http.Port())) / "dist";

  const fs::path traditional = b.tmp_.path() / "traditional";
  ASSERT_EQ(b.Build(traditional, {"--type", "traditional"}), 0) << b.out_ << b.err_;
  // The walk takes a container's groups before its files.
  EXPECT_THAT(MemberNames(traditional / "files.1"), ::testing::ElementsAre("manual.txt", "readme.txt", "data.bin"));
  EXPECT_FALSE(fs::exists(traditional / mirror));

  const fs::path net = b.tmp_.path() / "net";
  ASSERT_EQ(b.Build(net, {"--type", "net"}), 0) << b.out_ << b.err_;
  EXPECT_THAT(b.out_, HasSubstr((mirror / "filelist.lst").string()));
  EXPECT_THAT(b.out_, HasSubstr((mirror / "Docs.1").string()));
  EXPECT_THAT(MemberNames(net / "files.1"), ::testing::ElementsAre("readme.txt", "data.bin"));
  EXPECT_THAT(MemberNames(net / mirror / "Docs.1"), ::testing::ElementsAre("manual.txt"));

  // filelist.lst: every file the build compressed, in the order of the
  // project, with the size, date and version of its archive member.
  auto check_list = [](const fs::path& list, const std::vector<std::pair<std::string, TFileHeader>>& expected) {
    const std::string bytes = ReadHostFile(list);
    ASSERT_EQ(bytes.size(), 4 + 72 * expected.size());
    std::optional<std::vector<RemoteFileRecord>> records = DecodeFileList(bytes);
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(expected[i].first);
      EXPECT_EQ((*records)[i].name, expected[i].first);
      EXPECT_EQ((*records)[i].size, expected[i].second.FileSize);
      EXPECT_EQ((*records)[i].date, expected[i].second.FileDate);
      EXPECT_EQ((*records)[i].version, expected[i].second.FileVersion);
    }
  };
  {
    std::vector<TFileHeader> local = Members(net / "files.1");
    std::vector<TFileHeader> docs = Members(net / mirror / "Docs.1");
    ASSERT_EQ(local.size(), 2u);
    ASSERT_EQ(docs.size(), 1u);
    check_list(net / mirror / "filelist.lst", {{"Readme", local[0]}, {"Manual", docs[0]}, {"Data", local[1]}});
  }

  // A web product keeps nothing in files.1: setup.exe carries setup.1 alone.
  const fs::path web = b.tmp_.path() / "web";
  ASSERT_EQ(b.Build(web, {"--type", "web"}), 0) << b.out_ << b.err_;
  EXPECT_FALSE(fs::exists(web / "files.1"));
  EXPECT_THAT(MemberNames(web / mirror / "Install1.1"), ::testing::ElementsAre("readme.txt", "data.bin"));
  EXPECT_THAT(MemberNames(web / mirror / "Docs.1"), ::testing::ElementsAre("manual.txt"));
  {
    std::vector<TFileHeader> own = Members(web / mirror / "Install1.1");
    std::vector<TFileHeader> docs = Members(web / mirror / "Docs.1");
    ASSERT_EQ(own.size(), 2u);
    ASSERT_EQ(docs.size(), 1u);
    check_list(web / mirror / "filelist.lst", {{"Readme", own[0]}, {"Manual", docs[0]}, {"Data", own[1]}});
  }
  const std::string exe = ReadHostFile(web / "setup.exe");
  const std::string setup1 = ReadHostFile(web / "setup.1");
  const SelfExtractTrailer trailer = TrailerOf(exe);
  EXPECT_EQ(trailer.Setup1End - trailer.Setup1Start + 1, static_cast<std::int32_t>(setup1.size()));
  EXPECT_EQ(trailer.Files1Start, 0);
  EXPECT_EQ(trailer.Files1End, 0);
  EXPECT_EQ(exe.size(), static_cast<std::size_t>(trailer.Setup1End) + 1 + self_extract::kTrailerSize);

  // Built again as a traditional product into the same directory, the web
  // build's files stay, and they are not reported as built.
  ASSERT_EQ(b.Build(web, {"--type", "traditional"}), 0) << b.out_ << b.err_;
  EXPECT_THAT(b.out_, HasSubstr("files.1"));
  EXPECT_THAT(b.out_, Not(HasSubstr("filelist.lst")));
  EXPECT_TRUE(fs::exists(web / mirror / "filelist.lst"));
  ASSERT_EQ(b.Build(web, {"--type", "web"}), 0) << b.out_ << b.err_;
  EXPECT_FALSE(fs::exists(web / "files.1")) << "the traditional build's files.1 is emptied away";

  // The web product: the engine reads filelist.lst and fetches both
  // archives from the server.
  fs::create_directory_symlink(web / mirror, www / "dist");
  b.InstallWith(b.Alone(web / "setup.exe"));
  const std::string log = ReadHostFile(b.log());
  EXPECT_THAT(log, HasSubstr("good installation"));
  EXPECT_THAT(log, HasSubstr("/dist/filelist.lst"));
  EXPECT_THAT(log, HasSubstr("/dist/Docs.1"));
  EXPECT_EQ(ReadHostFile(b.Installed("readme.txt")), "read me\n");
  EXPECT_EQ(ReadHostFile(b.Installed("data.bin")), ReadHostFile(b.product() / "files" / "data.bin"));
  EXPECT_EQ(ReadHostFile(b.Installed("Docs\\manual.txt")), ReadHostFile(b.product() / "files" / "manual.txt"));
}

TEST(BuildModeTest, TheFilesCompressedOnEveryCoreAreTheSameAsOnOne) {
  BuildMode b;
  std::string components = R"({"class": "TInstall", "name": "Install1", "properties": {"DestDir": "\\Tool"}})";
  fs::create_directories(b.product() / "files");
  for (int i = 0; i < 40; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    WriteHostFile(b.product() / "files" / name, i % 3 == 0 ? std::string(50000 + i, 'z') : Noise(20000 + 997 * i, i));
    components += R"(, {"class": "TInstallFile", "name": "F)" + std::to_string(i) +
                  R"(", "properties": {"Container": "Install1", "UniqueID": )" + std::to_string(i) +
                  R"(, "IncludeFromDir": "files", "FileName": ")" + name + R"("}})";
  }
  WriteHostFile(b.product() / "project.json", R"({"format": "brimwell-project/1", "components": [)" + components + "]}");
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  ASSERT_EQ(b.Build(b.tmp_.path() / "one", {"--threads", "1"}), 0) << b.err_;
  ASSERT_EQ(b.Build(b.tmp_.path() / "four", {"--threads", "4"}), 0) << b.err_;
  const std::string one = ReadHostFile(b.tmp_.path() / "one" / "files.1");
  EXPECT_EQ(Members(b.tmp_.path() / "one" / "files.1").size(), 40u);
  EXPECT_TRUE(one == ReadHostFile(b.tmp_.path() / "four" / "files.1"));
  EXPECT_EQ(b.Build(b.tmp_.path() / "bad", {"--threads", "0"}), 2);
  EXPECT_EQ(b.Build(b.tmp_.path() / "bad", {"--type", "floppy"}), 2);
  EXPECT_THAT(b.err_, HasSubstr("--type is traditional, net or web, not floppy"));
}

// --- What stops a build --------------------------------------------------------------

TEST(BuildModeTest, WithoutTheToolkitDirectoryOrItsLoaderTheBuildStopsAfterSetup1) {
  BuildMode b;
  b.WriteProduct();
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  ASSERT_EQ(b.Brimwell({"reg", "delete", "HKCU\\Software\\Quarrystone\\B32V35\\Library", "/v", "SearchPath", "/f"}),
            0)
      << b.err_;
  EXPECT_EQ(b.Build(b.dist()), 1);
  EXPECT_THAT(b.err_, HasSubstr("The HKEY_LOCAL_MACHINE | \\Software\\Quarrystone\\B32V35 key in the registry is "
                                "either missing or points to an invalid Brimwell directory"));
  EXPECT_TRUE(fs::exists(b.dist() / "setup.1"));
  EXPECT_FALSE(fs::exists(b.dist() / "setup.exe"));
  EXPECT_FALSE(fs::exists(b.dist() / "files.1"));
  EXPECT_THAT(b.out_, Not(HasSubstr("built:")));

  // A directory with the marker but without the loader.
  const fs::path toolkit = b.tmp_.path() / "toolkit";
  WriteHostFile(toolkit / "B32V35.TXT", "");
  auto machine = OpenMachine(b.prefix(), PrefixCreation::kMustExist);
  const std::string windows = machine->GetPaths().ToWindows(toolkit.string());
  machine.reset();
  ASSERT_EQ(b.Brimwell({"reg", "add", "HKCU\\Software\\Quarrystone\\B32V35\\Library", "/v", "SearchPath", "/d",
                        "C:\\nowhere;" + windows, "/f"}),
            0)
      << b.err_;
  fs::remove_all(b.dist());
  EXPECT_EQ(b.Build(b.dist()), 1);
  EXPECT_THAT(b.err_, HasSubstr("The loader program " + windows + "\\BrimwellLoadProgram.exe was not found"));
  EXPECT_TRUE(fs::exists(b.dist() / "setup.1"));
  EXPECT_FALSE(fs::exists(b.dist() / "setup.exe"));
  EXPECT_THAT(b.out_, Not(HasSubstr("built:")));
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
  for (const char* text : {"", "\r\n", "   \nZ:\\tmp\\second-line\n"}) {
    WriteHostFile(engine.parent_path() / "BUILD.INF", text);
    EXPECT_NE(b.Run(engine, {"-b"}), 0);
    EXPECT_THAT(b.err_, HasSubstr("Must be 1 line in BUILD.INF. This line should specify the build directory"));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(engine.parent_path()), fs::directory_iterator()), 2);
}

// The build directory on a disk too small for setup.1: the build stops with
// the message that says so, and reports nothing as built.
TEST(BuildModeTest, AFullDiskWhileBuildingSetup1StopsWithItsMessage) {
  BuildMode b;
  b.WriteProduct();
  ASSERT_EQ(b.Brimwell({"prefix", "init"}), 0) << b.err_;
  const fs::path disk = b.tmp_.path() / "disk";
  fs::create_directories(disk);
  const fs::path result = b.tmp_.path() / "result";
  const int status = OnSmallDisk(disk, 256 << 10, [&] {
    const int built = b.Build(disk / "dist");
    WriteHostFile(result / "status", std::to_string(built));
    WriteHostFile(result / "out", b.out_);
    WriteHostFile(result / "err", b.err_);
    WriteHostFile(result / "setup.exe", fs::exists(disk / "dist" / "setup.exe") ? "yes" : "no");
    return 0;
  });
  if (status == kNoSmallDisk) GTEST_SKIP() << "this host cannot mount a small disk";
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadHostFile(result / "status"), "1");
  EXPECT_THAT(ReadHostFile(result / "err"),
              HasSubstr("The disk that you have specified has been determined to be either too full or is corrupt "
                        "while trying to copy the SETUP.1 archive file."));
  EXPECT_THAT(ReadHostFile(result / "out"), Not(HasSubstr("built:")));
  EXPECT_EQ(ReadHostFile(result / "setup.exe"), "no");
}

}  // namespace
}  // namespace brimwell::testing
