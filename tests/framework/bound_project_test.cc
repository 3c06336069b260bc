#include "framework/bound_project.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "framework/bound_project_format.h"
#include "framework/crc32.h"
#include "host/host_env_wrapper.h"
#include "tests/testutil/run.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& p, std::string_view bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::uint64_t LittleEndian(std::string_view bytes, std::size_t offset, std::size_t size) {
  std::uint64_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return v;
}

TEST(Crc32Test, StandardCheckValueAndPieces) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(""), 0u);
  EXPECT_EQ(Crc32("56789", Crc32("1234")), 0xCBF43926u);
}

class BoundProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(7);
    engine_bytes_.resize(10000);
    for (char& c : engine_bytes_) c = static_cast<char>(random());
    engine_bytes_.replace(0, 4, "\x7f" "ELF");
    engine_ = dir_ / "setupengine";
    WriteBytes(engine_, engine_bytes_);
    fs::permissions(engine_, fs::perms(0644));
  }

  // What a correctly bound file holds: the engine, the project, a trailer.
  std::string Bound(std::string_view project) {
    fs::path out = dir_ / "expected";
    BindProject(engine_, project, out);
    std::string bytes = ReadBytes(out);
    fs::remove(out);
    return bytes;
  }

  // Runs a program, returns its exit status; its output lands in run_.
  int Run(const fs::path& program) {
    run_ = testing::RunProgram(program, {}, testing::CleanEnvironment());
    return run_.status;
  }

  // Message of the EBoundProjectError that reading `file` raises.
  std::string ReadError(const fs::path& file) {
    try {
      ReadBoundProject(file);
    } catch (const EBoundProjectError& e) {
      return e.what();
    }
    return "<no error>";
  }

  testing::TempDir tmp_;
  const fs::path dir_ = tmp_.path();
  testing::RunResult run_;
  fs::path engine_;
  std::string engine_bytes_;
};

TEST_F(BoundProjectTest, RoundTripAndLayout) {
  const std::string project = R"({"format": "brimwell-project/1", "components": []})";
  fs::path out = dir_ / "product";
  BindProject(engine_, project, out);
  EXPECT_EQ(ReadBoundProject(out), project);

  std::string bytes = ReadBytes(out);
  ASSERT_EQ(bytes.size(), engine_bytes_.size() + project.size() + bound_trailer::kTrailerSize);
  EXPECT_EQ(bytes.substr(0, engine_bytes_.size()), engine_bytes_);
  EXPECT_EQ(bytes.substr(engine_bytes_.size(), project.size()), project);
  std::string_view trailer = std::string_view(bytes).substr(bytes.size() - bound_trailer::kTrailerSize);
  EXPECT_EQ(LittleEndian(trailer, bound_trailer::kTrailerProjectLengthOffset, 8), project.size());
  EXPECT_EQ(LittleEndian(trailer, bound_trailer::kTrailerProjectCrcOffset, 4), Crc32(project));
  EXPECT_EQ(LittleEndian(trailer, bound_trailer::kTrailerVersionOffset, 4), 1u);
  EXPECT_EQ(LittleEndian(trailer, bound_trailer::kTrailerCrcOffset, 4), Crc32(trailer.substr(0, 20)));
  EXPECT_EQ(trailer.substr(bound_trailer::kTrailerMagicOffset), "BRWLPROJ");

  EXPECT_EQ(fs::status(out).permissions() & fs::perms::mask, fs::perms(0755));
  EXPECT_EQ(ReadBoundProjectFromBytes(bytes, "memory"), project);
}

// The seeds are written by a Python script straight from the documented
// layout (with zlib's CRC-32), so reader and writer are checked against the
// document rather than against each other.
TEST_F(BoundProjectTest, ReaderAndWriterFollowTheDocumentedLayout) {
  const fs::path seeds = fs::path(BRIMWELL_SOURCE_DIR) / "fuzz" / "corpus" / "bound_project";
  const std::string project = "{\"format\": \"brimwell-project/1\",\r\n \"components\": []}\r\n";
  EXPECT_EQ(ReadBoundProject(seeds / "bound.bin"), project);
  EXPECT_EQ(ReadBoundProject(seeds / "empty_project.bin"), std::optional<std::string>(""));
  BindProject(seeds / "unbound.bin", project, dir_ / "product");
  EXPECT_EQ(ReadBytes(dir_ / "product"), ReadBytes(seeds / "bound.bin"));
}

TEST_F(BoundProjectTest, AnEmptyProjectIsStillAProject) {
  BindProject(engine_, "", dir_ / "product");
  EXPECT_EQ(ReadBoundProject(dir_ / "product"), std::optional<std::string>(""));
}

TEST_F(BoundProjectTest, RebindingReplacesTheProjectInsteadOfStacking) {
  const std::string expected = Bound("second");
  BindProject(engine_, "the first, longer project", dir_ / "first");
  BindProject(dir_ / "first", "second", dir_ / "second");
  EXPECT_EQ(ReadBytes(dir_ / "second"), expected);
  // In place: the engine and the output are the same file.
  BindProject(dir_ / "first", "second", dir_ / "first");
  EXPECT_EQ(ReadBytes(dir_ / "first"), expected);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

TEST_F(BoundProjectTest, FilesWithoutATrailerCarryNoProject) {
  WriteBytes(dir_ / "empty", "");
  WriteBytes(dir_ / "short", "MZ");
  WriteBytes(dir_ / "inside", "BRWLPROJ and more");
  for (const char* name : {"empty", "short", "inside"}) {
    EXPECT_EQ(ReadBoundProject(dir_ / name), std::nullopt) << name;
  }
  EXPECT_EQ(ReadBoundProject(engine_), std::nullopt);
  EXPECT_THROW(ReadBoundProject(dir_ / "missing"), EStreamError);
}

TEST_F(BoundProjectTest, EveryDamagedTrailerByteIsCaught) {
  const std::string good = Bound("{\"components\": []}");
  const std::size_t trailer = good.size() - bound_trailer::kTrailerSize;
  for (std::size_t i = 0; i < bound_trailer::kTrailerSize; ++i) {
    for (int bit : {0, 7}) {
      std::string bad = good;
      bad[trailer + i] = static_cast<char>(bad[trailer + i] ^ (1 << bit));
      if (i >= bound_trailer::kTrailerMagicOffset) {
        // Without its magic the file simply carries no project.
        EXPECT_EQ(ReadBoundProjectFromBytes(bad, "x"), std::nullopt) << i;
      } else {
        EXPECT_THROW(ReadBoundProjectFromBytes(bad, "x"), EBoundProjectError) << i << " " << bit;
      }
    }
  }
  std::string bad = good;
  bad[engine_bytes_.size() + 3] ^= 0x20;
  WriteBytes(dir_ / "product", bad);
  EXPECT_EQ(ReadError(dir_ / "product"),
            "The project bound to " + (dir_ / "product").string() + " does not match its checksum");
}

TEST_F(BoundProjectTest, TruncatedFilesAndForeignVersionsAreErrors) {
  const std::string good = Bound("12345");
  // The front of the file is gone: the trailer counts more than is left.
  WriteBytes(dir_ / "cut", good.substr(good.size() - bound_trailer::kTrailerSize - 2));
  EXPECT_EQ(ReadError(dir_ / "cut"), "The project bound to " + (dir_ / "cut").string() +
                                         " is truncated: its trailer counts 5 bytes, the file holds 2");
  // Shorter than a trailer but ending like one.
  WriteBytes(dir_ / "stub", good.substr(good.size() - 12));
  EXPECT_EQ(ReadError(dir_ / "stub"),
            "The project trailer of " + (dir_ / "stub").string() + " is damaged");
  // A well-formed trailer of a later layout.
  std::string later = good;
  std::size_t t = later.size() - bound_trailer::kTrailerSize;
  later[t + bound_trailer::kTrailerVersionOffset] = 2;
  std::uint32_t crc = Crc32(std::string_view(later).substr(t, bound_trailer::kTrailerCrcOffset));
  for (int i = 0; i < 4; ++i) later[t + bound_trailer::kTrailerCrcOffset + i] = static_cast<char>(crc >> (8 * i));
  WriteBytes(dir_ / "later", later);
  EXPECT_EQ(ReadError(dir_ / "later"), "The project trailer of " + (dir_ / "later").string() +
                                           " has version 2, which this program does not read");
}

TEST_F(BoundProjectTest, AFailedBindLeavesTheOutputAsItWas) {
  fs::path out = dir_ / "product";
  EXPECT_THROW(BindProject(dir_ / "missing", "p", out), EStreamError);
  EXPECT_FALSE(fs::exists(out));

  WriteBytes(out, "previous build");
  std::string damaged = Bound("p");
  damaged[damaged.size() - bound_trailer::kTrailerSize] ^= 1;
  WriteBytes(dir_ / "damaged", damaged);
  EXPECT_THROW(BindProject(dir_ / "damaged", "p", out), EBoundProjectError);
  EXPECT_EQ(ReadBytes(out), "previous build");

  EXPECT_THROW(BindProject(engine_, "p", dir_ / "no-such-dir" / "product"), EStreamError);
  EXPECT_THROW(BindProject(engine_, "p", dir_), EStreamError);  // a directory is in the way
  // Nothing but the files this test wrote: no temporary copies left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);

  // The host fails half-way, on a write or on the final rename.
  for (host::HostCall call : {host::HostCall::kAtomicAppend, host::HostCall::kAtomicCommit}) {
    host::FaultyEnv env;
    env.Fail(call, ENOSPC);
    try {
      BindProject(engine_.string(), "p", out.string(), env);
      ADD_FAILURE() << "the bind went through";
    } catch (const EStreamError& e) {
      EXPECT_EQ(e.Message(), "Cannot write " + out.string() + ": No space left on device");
    }
    EXPECT_EQ(ReadBytes(out), "previous build");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
  }
}

TEST_F(BoundProjectTest, ARunningExecutableReadsItsOwnProject) {
  const fs::path probe = BOUND_PROJECT_PROBE;
  EXPECT_EQ(Run(probe), 3);  // the generic program carries none

  const std::string project = "{\"components\": [{\"class\": \"TInstall\"}]}\n";
  fs::path bound = dir_ / "probe";
  BindProject(probe, project, bound);
  ASSERT_EQ(Run(bound), 0) << run_.err;
  EXPECT_EQ(run_.out, project);

  std::string bytes = ReadBytes(bound);
  bytes[bytes.size() - bound_trailer::kTrailerSize - 1] ^= 1;
  WriteBytes(bound, bytes);
  EXPECT_EQ(Run(bound), 4);
  EXPECT_EQ(run_.err,
            "The project bound to " + bound.string() + " does not match its checksum\n");
}

}  // namespace
}  // namespace brimwell
