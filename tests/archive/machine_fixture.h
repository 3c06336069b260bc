// A fresh machine on a temporary prefix for the archive and version tests,
// with a headless application and the shared version reader. Everything is
// removed afterwards; nothing outside the temporary directory is touched.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "archive/brwl_compress.h"
#include "archive/version_resource.h"
#include "framework/date_time.h"
#include "framework/headless_application.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/pe_fixture.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path();
    std::filesystem::create_directories(root_ / "host");
    machine_ = OpenMachine(root_ / "prefix");
    versions_ = std::make_unique<TVersionResource>(nullptr, *machine_);
  }
  void TearDown() override {
    versions_.reset();
    machine_.reset();
  }

  FileSystem& Files() { return machine_->GetFileSystem(); }
  // The host directory for source files (reachable as Z:\...).
  std::filesystem::path HostDir() const { return root_ / "host"; }
  // The host path of a Windows path of the prefix.
  std::filesystem::path Host(const std::string& windows_path) {
    return machine_->GetPaths().ToHost(windows_path);
  }

  // Writes a host file with `content` and, when given, a last-write time.
  std::string WriteFile(const std::filesystem::path& path, const std::string& content,
                        std::optional<DateTimeParts> date = std::nullopt) {
    WriteHostFile(path, content);
    if (date) SetDate(path, *date);
    return path.string();
  }
  static void SetDate(const std::filesystem::path& path, const DateTimeParts& date) {
    struct utimbuf t {};
    t.actime = t.modtime = DateTimeToUnix(EncodeDateTime(date));
    ::utime(path.c_str(), &t);
  }
  static std::string ReadFile(const std::filesystem::path& path) { return ReadHostFile(path); }

  TempDir dir_;
  std::filesystem::path root_;
  std::unique_ptr<Machine> machine_;
  HeadlessApplication app_;
  std::unique_ptr<TVersionResource> versions_;
};

// A machine with an archive component bound to it, and the two calls most
// tests make of it.
class ArchiveTest : public MachineTest {
 protected:
  static constexpr char kArchive[] = "C:\\BUILD\\files.1";

  void SetUp() override {
    MachineTest::SetUp();
    compress_ = std::make_unique<TBrwlCompress>(nullptr);
    compress_->SetServices({machine_.get(), versions_.get(), &app_, {}});
  }
  void TearDown() override {
    compress_.reset();
    MachineTest::TearDown();
  }

  void Compress(const std::vector<std::string>& files, bool append = false, int id = 1,
                const std::string& archive = kArchive) {
    compress_->SetCompressedFile(archive);
    compress_->SetFilesToProcessLines(files);
    compress_->Compress(append, id);
  }
  void Extract(const std::vector<std::string>& members, const std::string& dir = "C:\\OUT",
               const std::string& archive = kArchive) {
    compress_->SetCompressedFile(archive);
    compress_->SetExtractDirectory(dir);
    compress_->SetFilesToProcessLines(members);
    compress_->Extract();
  }
  // The archive file's bytes.
  Bytes ArchiveBytes(const std::string& archive = kArchive) { return ReadHostBytes(Host(archive)); }
  // Gives the removable drive A: a disk of `bytes`.
  void SetDiskCapacity(std::int64_t bytes) {
    PrefixConfig c = machine_->Config();
    c.removable['A'] = bytes;
    machine_->UpdateConfig(c);
  }

  std::unique_ptr<TBrwlCompress> compress_;
};

}  // namespace brimwell::testing
