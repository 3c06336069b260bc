#include "platform/file_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>

#include <regex>
#include <set>
#include <thread>

#include "platform/file_system_wrapper.h"
#include "platform/platform_errors.h"
#include "platform/startup_sequence.h"
#include "platform/target_directory.h"
#include "platform/win_path.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::Eventually;
using testing::InChild;
using testing::PrefixTest;
using testing::ReadHostFile;
using testing::WriteHostFile;

// Another process holding a lock on a file until the holder is destroyed.
class LockHolder {
 public:
  enum class Kind { kFlock, kFcntl };
  LockHolder(const std::filesystem::path& file, Kind kind) {
    int ready[2], release[2];
    EXPECT_EQ(::pipe(ready), 0);
    EXPECT_EQ(::pipe(release), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      int fd = ::open(file.c_str(), O_RDWR);
      bool locked;
      if (kind == Kind::kFlock) {
        locked = ::flock(fd, LOCK_EX) == 0;
      } else {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        locked = ::fcntl(fd, F_SETLK, &fl) == 0;
      }
      char c = locked ? '1' : '0';
      (void)!::write(ready[1], &c, 1);
      (void)!::read(release[0], &c, 1);  // returns when the test closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char c = 0;
    EXPECT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, '1');
    ::close(ready[0]);
  }
  ~LockHolder() {
    ::close(release_);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

class FileSystemTest : public PrefixTest {
 protected:
  void Write(const std::string& path, std::string_view text) {
    auto file = files().Open(path, FileAccess::kWrite, kShareNone, FileDisposition::kCreateAlways);
    ASSERT_TRUE(file.ok()) << path << ": " << file.error();
    IoResult r = (*file)->Write(text.data(), text.size());
    ASSERT_TRUE(r.ok());
  }
  std::string Read(const std::string& path) {
    auto file = files().Open(path, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!file) return "<error " + std::to_string(file.error()) + ">";
    std::string text(4096, '\0');
    IoResult r = (*file)->Read(text.data(), text.size());
    text.resize(r.bytes);
    return text;
  }
  void SetCapacity(char drive, std::int64_t capacity) {
    PrefixConfig config = machine().Config();
    config.removable[drive] = capacity;
    machine().UpdateConfig(config);
  }
};

TEST_F(FileSystemTest, ReadWriteSeekAndSize) {
  Write("C:\\data.bin", "0123456789");
  auto file = files().Open("C:\\DATA.BIN", FileAccess::kReadWrite, kShareRead, FileDisposition::kOpenExisting);
  ASSERT_TRUE(file.ok());
  EXPECT_EQ(*(*file)->Seek(-3, SeekOrigin::kEnd), 7u);
  char buf[8] = {};
  IoResult r = (*file)->Read(buf, sizeof buf);
  EXPECT_EQ(r.bytes, 3u);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ((*file)->Read(buf, sizeof buf).bytes, 0u);  // the end is no error
  EXPECT_EQ((*file)->Seek(-20, SeekOrigin::kCurrent).error(), kErrorNegativeSeek);
  ASSERT_TRUE((*file)->Seek(4, SeekOrigin::kBegin).ok());
  ASSERT_TRUE((*file)->SetEndOfFile().ok());
  EXPECT_EQ(*(*file)->Size(), 4u);
  EXPECT_EQ((*file)->Path(), "C:\\DATA.BIN");
}

TEST_F(FileSystemTest, DispositionsAnswerAsCreateFileDoes) {
  EXPECT_EQ(files().Open("C:\\none.txt", FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting).error(),
            kErrorFileNotFound);
  EXPECT_EQ(files().Open("C:\\nodir\\none.txt", FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting).error(),
            kErrorPathNotFound);
  EXPECT_EQ(files().Open("C:\\nodir\\new.txt", FileAccess::kWrite, kShareAll, FileDisposition::kCreateAlways).error(),
            kErrorPathNotFound);
  Write("C:\\x.txt", "abc");
  EXPECT_EQ(files().Open("C:\\X.TXT", FileAccess::kWrite, kShareAll, FileDisposition::kCreateNew).error(),
            kErrorFileExists);
  EXPECT_EQ(files().Open("C:\\WINDOWS", FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting).error(),
            kErrorAccessDenied);
  ASSERT_TRUE(files().Open("C:\\x.txt", FileAccess::kWrite, kShareAll, FileDisposition::kOpenAlways).ok());
  EXPECT_EQ(Read("C:\\x.txt"), "abc");  // open-always keeps the content
  ASSERT_TRUE(files().Open("C:\\x.txt", FileAccess::kWrite, kShareAll, FileDisposition::kTruncateExisting).ok());
  EXPECT_EQ(Read("C:\\x.txt"), "");
}

TEST_F(FileSystemTest, ShareModesRefuseConflictingOpens) {
  Write("C:\\shared.txt", "x");
  auto writer = files().Open("C:\\shared.txt", FileAccess::kWrite, kShareRead, FileDisposition::kOpenExisting);
  ASSERT_TRUE(writer.ok());
  // Readers are allowed, a second writer is not, and neither is a reader
  // that would deny the writer.
  EXPECT_TRUE(files().Open("C:\\shared.txt", FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting).ok());
  EXPECT_EQ(files().Open("C:\\shared.txt", FileAccess::kWrite, kShareAll, FileDisposition::kOpenExisting).error(),
            kErrorSharingViolation);
  EXPECT_EQ(files().Open("C:\\shared.txt", FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting).error(),
            kErrorSharingViolation);
  // A truncating open that is refused leaves the content alone.
  EXPECT_EQ(files().Open("C:\\shared.txt", FileAccess::kWrite, kShareAll, FileDisposition::kCreateAlways).error(),
            kErrorSharingViolation);
  writer->reset();
  EXPECT_EQ(Read("C:\\shared.txt"), "x");
  EXPECT_TRUE(files().Open("C:\\shared.txt", FileAccess::kWrite, kShareNone, FileDisposition::kOpenExisting).ok());
}

TEST_F(FileSystemTest, AFileLockedByAnotherProcessCannotBeDeleted) {
  for (auto kind : {LockHolder::Kind::kFlock, LockHolder::Kind::kFcntl}) {
    Write("C:\\app.dll", "library");
    {
      LockHolder holder(drive_c() / "app.dll", kind);
      EXPECT_TRUE(files().IsFileInUse("C:\\APP.DLL"));
      EXPECT_EQ(files().DeleteFile("C:\\APP.DLL").error(), kErrorSharingViolation);
      EXPECT_TRUE(files().FileExists("C:\\app.dll"));
      EXPECT_EQ(files().MoveFileEx("C:\\new.dll", "C:\\app.dll", kMoveReplaceExisting).error(), kErrorFileNotFound);
      Write("C:\\new.dll", "new");
      EXPECT_EQ(files().MoveFileEx("C:\\new.dll", "C:\\app.dll", kMoveReplaceExisting).error(),
                kErrorSharingViolation);
    }
    EXPECT_FALSE(files().IsFileInUse("C:\\app.dll"));
    EXPECT_TRUE(files().DeleteFile("C:\\app.dll").ok());
    EXPECT_FALSE(files().FileExists("C:\\app.dll"));
    ASSERT_TRUE(files().DeleteFile("C:\\new.dll").ok());
  }
}

TEST_F(FileSystemTest, AProgramThatRunsCannotBeDeleted) {
  std::filesystem::copy_file("/bin/sleep", drive_c() / "sleeper");
  std::filesystem::path program = drive_c() / "sleeper";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(program.c_str(), "sleeper", "60", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_TRUE(Eventually([&] { return files().IsFileInUse("C:\\SLEEPER"); }));
  EXPECT_EQ(files().DeleteFile("C:\\sleeper").error(), kErrorSharingViolation);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_TRUE(files().DeleteFile("C:\\sleeper").ok());
}

TEST_F(FileSystemTest, OpenHandlesKeepAFileInUseUnlessTheyShareDeleting) {
  Write("C:\\open.txt", "x");
  {
    auto reader = files().Open("C:\\open.txt", FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    ASSERT_TRUE(reader.ok());
    EXPECT_EQ(files().DeleteFile("C:\\open.txt").error(), kErrorSharingViolation);
    // Other processes see it too.
    EXPECT_EQ(InChild([&] { return files().IsFileInUse("C:\\open.txt") ? 0 : 1; }), 0);
  }
  auto sharing = files().Open("C:\\open.txt", FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting);
  ASSERT_TRUE(sharing.ok());
  EXPECT_TRUE(files().DeleteFile("C:\\open.txt").ok());
}

TEST_F(FileSystemTest, ReadOnlyFilesAreNeitherDeletedNorWritten) {
  Write("C:\\ro.txt", "keep");
  ASSERT_TRUE(files().SetAttributes("C:\\ro.txt", kFileAttributeReadOnly).ok());
  EXPECT_EQ(*files().GetAttributes("C:\\ro.txt") & kFileAttributeReadOnly, kFileAttributeReadOnly);
  EXPECT_EQ(files().DeleteFile("C:\\ro.txt").error(), kErrorAccessDenied);
  EXPECT_EQ(files().Open("C:\\ro.txt", FileAccess::kWrite, kShareAll, FileDisposition::kOpenExisting).error(),
            kErrorAccessDenied);
  ASSERT_TRUE(files().SetAttributes("C:\\ro.txt", kFileAttributeNormal).ok());
  EXPECT_TRUE(files().DeleteFile("C:\\ro.txt").ok());
  EXPECT_EQ(files().DeleteFile("C:\\ro.txt").error(), kErrorFileNotFound);
  EXPECT_EQ(files().DeleteFile("C:\\WINDOWS").error(), kErrorAccessDenied);
}

TEST_F(FileSystemTest, TempFileNamesAreUniqueAndCreated) {
  std::string temp = files().TempPath();
  EXPECT_EQ(temp, "C:\\WINDOWS\\TEMP\\");
  std::set<std::string> names;
  std::regex form(R"(C:\\WINDOWS\\TEMP\\bat[0-9A-F]{4}\.tmp)");
  for (int i = 0; i < 300; ++i) {
    auto name = files().GetTempFileName(temp, "bat", 0);
    ASSERT_TRUE(name.ok());
    EXPECT_TRUE(std::regex_match(*name, form)) << *name;
    EXPECT_TRUE(files().FileExists(*name));
    EXPECT_TRUE(names.insert(WinUpperCase(*name)).second) << *name;
  }
  EXPECT_EQ(*files().GetTempFileName("C:\\WINDOWS\\TEMP", "bwlx", 0xABCD), "C:\\WINDOWS\\TEMP\\bwlABCD.tmp");
  EXPECT_FALSE(files().FileExists("C:\\WINDOWS\\TEMP\\bwlABCD.tmp"));
  EXPECT_EQ(files().GetTempFileName("C:\\nowhere", "bat", 0).error(), kErrorDirectory);
}

TEST_F(FileSystemTest, TempFileNamesAreUniqueAcrossProcesses) {
  constexpr int kChildren = 4, kEach = 150;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = ::fork();
    if (pid == 0) {
      std::ofstream out(dir_.path() / ("names" + std::to_string(c)));
      for (int i = 0; i < kEach; ++i) {
        auto name = files().GetTempFileName("C:\\WINDOWS\\TEMP", "bwl", 0);
        out << (name ? *name : "error") << "\n";
      }
      out.close();  // _exit skips destructors
      ::_exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
  std::set<std::string> names;
  for (int c = 0; c < kChildren; ++c) {
    std::istringstream in(ReadHostFile(dir_.path() / ("names" + std::to_string(c))));
    for (std::string line; std::getline(in, line);) {
      EXPECT_NE(line, "error");
      EXPECT_TRUE(names.insert(line).second) << line;
    }
  }
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kChildren * kEach));
}

TEST_F(FileSystemTest, MovesAndCopies) {
  Write("C:\\a.txt", "A");
  Write("C:\\b.txt", "B");
  EXPECT_EQ(files().MoveFile("C:\\a.txt", "C:\\B.TXT").error(), kErrorAlreadyExists);
  EXPECT_EQ(files().MoveFile("C:\\missing", "C:\\c.txt").error(), kErrorFileNotFound);
  EXPECT_EQ(files().MoveFile("C:\\a.txt", "C:\\nodir\\a.txt").error(), kErrorPathNotFound);
  ASSERT_TRUE(files().MoveFileEx("C:\\a.txt", "C:\\b.txt", kMoveReplaceExisting).ok());
  EXPECT_EQ(Read("C:\\b.txt"), "A");
  EXPECT_FALSE(files().FileExists("C:\\a.txt"));
  // Changing only the letter case is a rename of the same file.
  ASSERT_TRUE(files().MoveFile("C:\\b.txt", "C:\\B.txt").ok());
  EXPECT_TRUE(std::filesystem::exists(drive_c() / "B.txt"));

  TDateTime stamp = EncodeDateTime({2001, 2, 3, 4, 5, 6, 0});
  ASSERT_TRUE(files().SetLastWriteTime("C:\\B.txt", stamp).ok());
  EXPECT_EQ(files().CopyFile("C:\\B.txt", "C:\\B.TXT", false).error(), kErrorSharingViolation);
  ASSERT_TRUE(files().CopyFile("C:\\B.txt", "C:\\copy.txt", true).ok());
  EXPECT_EQ(Read("C:\\copy.txt"), "A");
  EXPECT_NEAR(*files().LastWriteTime("C:\\copy.txt"), stamp, 1e-9);
  EXPECT_EQ(files().CopyFile("C:\\B.txt", "C:\\copy.txt", true).error(), kErrorFileExists);
}

TEST_F(FileSystemTest, LastWriteTimeKeepsMilliseconds) {
  Write("C:\\t.txt", "x");
  TDateTime stamp = EncodeDateTime({1999, 12, 31, 23, 59, 58, 250});
  ASSERT_TRUE(files().SetLastWriteTime("C:\\t.txt", stamp).ok());
  EXPECT_NEAR(*files().LastWriteTime("C:\\T.TXT"), stamp, 1e-9);
  auto file = files().Open("C:\\t.txt", FileAccess::kWrite, kShareNone, FileDisposition::kOpenExisting);
  ASSERT_TRUE((*file)->SetLastWriteTime(stamp + 1).ok());
  EXPECT_NEAR(*(*file)->LastWriteTime(), stamp + 1, 1e-9);
  EXPECT_EQ(files().LastWriteTime("C:\\none").error(), kErrorFileNotFound);
  // Size and time from one look answer as the two calls do.
  auto both = files().SizeAndTime("C:\\T.TXT");
  ASSERT_TRUE(both.ok());
  EXPECT_EQ(both->size, 1u);
  EXPECT_NEAR(both->last_write_time, stamp + 1, 1e-9);
  EXPECT_EQ(files().SizeAndTime("C:\\none").error(), kErrorFileNotFound);
  EXPECT_EQ(files().SizeAndTime("C:\\no\\t.txt").error(), kErrorPathNotFound);
  EXPECT_EQ(files().SizeAndTime("C:\\").error(), kErrorAccessDenied);
  // A link answers for its target; a name in another case for the file.
  Write("C:\\Long.txt", "longer");
  std::filesystem::create_symlink(drive_c() / "Long.txt", drive_c() / "link.txt");
  EXPECT_EQ(*files().FileSize("C:\\link.txt"), 6u);
  EXPECT_EQ(files().SizeAndTime("C:\\LINK.TXT")->size, 6u);
  EXPECT_EQ(*files().FileSize("C:\\LONG.TXT"), 6u);
  std::filesystem::create_symlink(drive_c() / "gone.txt", drive_c() / "dangling.txt");
  EXPECT_EQ(files().FileSize("C:\\dangling.txt").error(), kErrorFileNotFound);
}

TEST_F(FileSystemTest, DirectoriesAndListings) {
  EXPECT_TRUE(files().ForceDirectories("C:\\Program Files\\Acme\\Tool\\Bin"));
  EXPECT_TRUE(files().DirectoryExists("c:\\program files\\ACME\\tool\\bin\\"));
  EXPECT_EQ(files().CreateDirectory("C:\\Program Files\\Acme").error(), kErrorAlreadyExists);
  EXPECT_EQ(files().CreateDirectory("C:\\no\\such\\dir").error(), kErrorPathNotFound);
  Write("C:\\Program Files\\Acme\\readme.txt", "r");
  Write("C:\\Program Files\\Acme\\SETUP.1", "1");
  Write("C:\\Program Files\\Acme\\files.2", "2");
  EXPECT_EQ(files().RemoveDirectory("C:\\Program Files\\Acme").error(), kErrorDirNotEmpty);
  EXPECT_EQ(files().RemoveDirectory("C:\\Program Files\\Acme\\readme.txt").error(), kErrorDirectory);

  auto all = files().FindFiles("C:\\Program Files\\Acme\\*.*");
  ASSERT_TRUE(all.ok());
  std::vector<std::string> names;
  for (const FindData& f : *all) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"files.2", "readme.txt", "SETUP.1", "Tool"}));
  EXPECT_EQ((*all)[3].attributes & kFileAttributeDirectory, kFileAttributeDirectory);
  EXPECT_EQ((*all)[1].size, 1u);
  auto numbered = files().FindFiles("C:\\Program Files\\Acme\\*.?");
  ASSERT_EQ(numbered->size(), 2u);
  EXPECT_TRUE(files().FindFiles("C:\\Program Files\\Acme\\*.doc")->empty());
  EXPECT_EQ(files().FindFiles("C:\\nowhere\\*.*").error(), kErrorPathNotFound);
}

TEST_F(FileSystemTest, MachineDirectoriesFollowTheWindowsPresented) {
  EXPECT_EQ(files().WindowsDirectory(), "C:\\WINDOWS");
  EXPECT_EQ(files().SystemDirectory(), "C:\\WINDOWS\\SYSTEM32");
  machine().SetWindowsFamily(WindowsFamily::kWindows95);
  EXPECT_EQ(files().SystemDirectory(), "C:\\WINDOWS\\SYSTEM");
  EXPECT_TRUE(files().DirectoryExists(files().SystemDirectory()));
  Write("C:\\WINDOWS\\SYSTEM\\x.dll", "x");
  EXPECT_EQ(*files().GetShortPathName("c:\\windows\\system\\x.dll"), "C:\\windows\\system\\x.dll");
  EXPECT_EQ(*files().GetLongPathName("c:\\windows\\system\\X.DLL"), "C:\\WINDOWS\\SYSTEM\\x.dll");
  EXPECT_EQ(files().GetShortPathName("C:\\WINDOWS\\none.dll").error(), kErrorFileNotFound);
}

TEST_F(FileSystemTest, FreeBytesByDriveNumber) {
  EXPECT_GT(files().DiskFree(3), 0);  // C:
  EXPECT_GT(files().DiskFree(0), 0);  // the current drive, C:
  EXPECT_EQ(files().DiskFree(4), -1);  // D: is not mapped
  EXPECT_EQ(files().DiskFree(27), -1);
  PrefixConfig config = machine().Config();
  config.free_bytes['C'] = 7999999;
  machine().UpdateConfig(config);
  EXPECT_EQ(files().DiskFree(3), 7999999);
}

TEST_F(FileSystemTest, ARemovableDiskHoldsItsCapacityAndThenWritesFallShort) {
  SetCapacity('A', 1000);
  EXPECT_EQ(files().GetDriveType('a'), DriveType::kRemovable);
  EXPECT_EQ(files().InsertedDisk('A'), 1);
  EXPECT_EQ(files().DiskFree(1), 1000);
  Write("A:\\first.bin", std::string(300, 'x'));
  EXPECT_EQ(files().DiskFree(1), 700);

  auto file = files().Open("A:\\files.1", FileAccess::kWrite, kShareNone, FileDisposition::kCreateNew);
  ASSERT_TRUE(file.ok());
  std::string block(500, 'y');
  IoResult first = (*file)->Write(block.data(), block.size());
  EXPECT_TRUE(first.ok());
  EXPECT_EQ(first.bytes, 500u);
  IoResult second = (*file)->Write(block.data(), block.size());
  EXPECT_EQ(second.bytes, 200u);
  EXPECT_EQ(second.error, kErrorDiskFull);
  // Rewriting what is there takes no new room.
  ASSERT_TRUE((*file)->Seek(0, SeekOrigin::kBegin).ok());
  EXPECT_EQ((*file)->Write(block.data(), 100).bytes, 100u);
  file->reset();
  EXPECT_EQ(files().DiskFree(1), 0);
  // A copy that does not fit fails and leaves nothing behind.
  Write("C:\\big.bin", std::string(50, 'z'));
  EXPECT_EQ(files().CopyFile("C:\\big.bin", "A:\\big.bin", false).error(), kErrorDiskFull);
  EXPECT_FALSE(files().FileExists("A:\\big.bin"));
}

TEST_F(FileSystemTest, InsertingTheNextDiskSwitchesWhatTheDriveShows) {
  SetCapacity('A', 1000);
  Write("A:\\files.1", "disk one");
  ASSERT_TRUE(files().InsertDisk('A', 2).ok());
  EXPECT_EQ(files().InsertedDisk('A'), 2);
  EXPECT_FALSE(files().FileExists("A:\\files.1"));
  EXPECT_EQ(files().DiskFree(1), 1000);
  Write("A:\\files.2", "disk two");
  // Another process of the prefix sees the disk now in the drive. (The
  // registry store is closed across the fork: a connection must not be
  // shared with a child.)
  machine_.reset();
  EXPECT_EQ(InChild([&] {
              auto other = OpenMachine(prefix_dir());
              return other->GetFileSystem().FileExists("A:\\FILES.2") && other->GetFileSystem().InsertedDisk('A') == 2
                         ? 0
                         : 1;
            }),
            0);
  Reopen();
  ASSERT_TRUE(files().InsertDisk('A', 1).ok());
  EXPECT_EQ(Read("A:\\files.1"), "disk one");

  ASSERT_TRUE(files().EjectDisk('A').ok());
  EXPECT_EQ(files().InsertedDisk('A'), std::nullopt);
  EXPECT_EQ(files().DiskFree(1), -1);
  EXPECT_FALSE(files().FileExists("A:\\files.1"));
  EXPECT_EQ(files().Open("A:\\files.1", FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting).error(),
            kErrorNotReady);
  EXPECT_EQ(files().InsertDisk('C', 2).error(), kErrorInvalidDrive);
}

TEST_F(FileSystemTest, DelayedMovesAreKeptAsWindowsKeepsThem) {
  Write("C:\\app.1", "new");
  ASSERT_TRUE(files().MoveFileEx("C:\\app.1", "C:\\app.dll", kMoveDelayUntilReboot | kMoveReplaceExisting).ok());
  ASSERT_TRUE(files().MoveFileEx("C:\\old.tmp", "", kMoveDelayUntilReboot).ok());
  auto value = registry().QueryValue(RegistryHive::kLocalMachine, kSessionManagerKey, kPendingRenamesValue);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, RegistryValueType::kMultiString);
  EXPECT_EQ(value->AsMultiString(kPendingRenamesValue),
            (std::vector<std::string>{"\\??\\C:\\app.1", "!\\??\\C:\\app.dll", "\\??\\C:\\old.tmp", ""}));
  // Nothing moved yet.
  EXPECT_TRUE(files().FileExists("C:\\app.1"));

  machine().SetWindowsFamily(WindowsFamily::kWindows95);
  EXPECT_EQ(files().MoveFileEx("C:\\app.1", "C:\\app.dll", kMoveDelayUntilReboot).error(), kErrorCallNotImplemented);
  machine().SetWindowsFamily(WindowsFamily::kWin32s);
  EXPECT_EQ(files().MoveFileEx("C:\\app.1", "C:\\app.dll", kMoveDelayUntilReboot).error(), kErrorCallNotImplemented);
}


// --- Target directories -----------------------------------------------------

// Writes `text` through a replacement made by `make` and commits it.
template <class Make>
WinStatus WriteReplacement(Make make, std::string_view text) {
  WinResult<std::unique_ptr<NewFile>> file = make();
  if (!file) return WinStatus::Error(file.error());
  IoResult r = (*file)->Write(text.data(), text.size());
  if (!r.ok()) return WinStatus::Error(r.error);
  return (*file)->Commit(false);
}

TEST_F(FileSystemTest, ATargetDirectoryFindsAndReplacesNamesWithoutCase) {
  ASSERT_TRUE(files().ForceDirectories("C:\\Out"));
  Write("C:\\Out\\Readme.TXT", "old");
  auto dir = OpenTargetDirectory(files(), "c:\\out\\");
  ASSERT_TRUE(dir.ok()) << dir.error();
  EXPECT_EQ((*dir)->Path(), "C:\\out");
  EXPECT_TRUE((*dir)->FileExists("README.txt"));
  EXPECT_FALSE((*dir)->FileExists("other.txt"));
  ASSERT_TRUE(files().CreateDirectory("C:\\Out\\Sub").ok());
  EXPECT_FALSE((*dir)->FileExists("sub"));  // a directory is no file

  // The file keeps the name it is stored under; a new one takes the name given.
  ASSERT_TRUE(WriteReplacement([&] { return (*dir)->CreateReplacement("README.txt"); }, "new").ok());
  ASSERT_TRUE(WriteReplacement([&] { return (*dir)->CreateReplacement("New.dat"); }, "n").ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "Readme.TXT"), "new");
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "New.dat"), "n");
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(drive_c() / "Out")) {
    names.insert(e.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"New.dat", "Readme.TXT", "Sub"}));

  // Files made by others since are seen, under any case.
  WriteHostFile(drive_c() / "Out" / "Later.Txt", "x");
  EXPECT_TRUE((*dir)->FileExists("LATER.TXT"));
  EXPECT_TRUE(files().FileExists("C:\\Out\\new.DAT"));  // and the machine's own lookups see ours

  EXPECT_EQ(OpenTargetDirectory(files(), "C:\\Missing").error(), kErrorPathNotFound);
  EXPECT_THROW((void)(*dir)->FileExists("a\\b"), EPathError);
}

TEST_F(FileSystemTest, ATargetDirectoryTakesTheExactNameBeforeOneInAnotherCase) {
  ASSERT_TRUE(files().ForceDirectories("C:\\Out"));
  WriteHostFile(drive_c() / "Out" / "Readme.TXT", "upper");
  WriteHostFile(drive_c() / "Out" / "readme.txt", "lower");
  auto dir = OpenTargetDirectory(files(), "C:\\Out");
  ASSERT_TRUE(dir.ok());
  EXPECT_FALSE((*dir)->FileExists("other.txt"));  // the directory is listed now
  // Both forms are listed; the exact one is replaced, and a third form goes
  // to the first in byte order.
  EXPECT_TRUE((*dir)->FileExists("readme.txt"));
  ASSERT_TRUE(WriteReplacement([&] { return (*dir)->CreateReplacement("readme.txt"); }, "1").ok());
  ASSERT_TRUE(WriteReplacement([&] { return (*dir)->CreateReplacement("README.txt"); }, "2").ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "readme.txt"), "1");
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "Readme.TXT"), "2");
  // A name the listing lacks is free, and once taken it is found.
  EXPECT_FALSE((*dir)->FileExists("new.txt"));
  ASSERT_TRUE(WriteReplacement([&] { return (*dir)->CreateReplacement("new.txt"); }, "n").ok());
  EXPECT_TRUE((*dir)->FileExists("NEW.TXT"));
  // One made meanwhile by someone else, just after ours, is seen.
  WriteHostFile(drive_c() / "Out" / "theirs.txt", "t");
  EXPECT_TRUE((*dir)->FileExists("theirs.txt"));
}

TEST_F(FileSystemTest, ATargetDirectoryShowsANewFileOnlyWhole) {
  ASSERT_TRUE(files().ForceDirectories("C:\\Out"));
  auto dir = OpenTargetDirectory(files(), "C:\\Out");
  ASSERT_TRUE(dir.ok());
  auto entries = [&] {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(drive_c() / "Out")) {
      names.insert(e.path().filename().string());
    }
    return names;
  };
  // While it is written, nothing of it is in the directory, under any name.
  auto a = (*dir)->CreateReplacement("a.txt");
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE((*a)->Write("half", 4).ok());
  EXPECT_TRUE(entries().empty());
  EXPECT_FALSE(files().FileExists("C:\\Out\\a.txt"));
  // Dropped, it leaves nothing; committed, it is there whole, executable if asked.
  a->reset();
  EXPECT_TRUE(entries().empty());
  auto b = (*dir)->CreateReplacement("run.sh");
  ASSERT_TRUE(b.ok());
  ASSERT_TRUE((*b)->Write("#!", 2).ok());
  ASSERT_TRUE((*b)->Commit(true).ok());
  EXPECT_EQ(entries(), (std::set<std::string>{"run.sh"}));
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "run.sh"), "#!");
  EXPECT_NE(std::filesystem::status(drive_c() / "Out" / "run.sh").permissions() &
                std::filesystem::perms::owner_exec,
            std::filesystem::perms::none);
  EXPECT_TRUE((*dir)->FileExists("RUN.SH"));
}

TEST_F(FileSystemTest, ATargetDirectoryNeverWritesThroughWhatAppearsAtTheName) {
  ASSERT_TRUE(files().ForceDirectories("C:\\Out"));
  WriteHostFile(drive_c() / "victim.txt", "keep");
  auto dir = OpenTargetDirectory(files(), "C:\\Out");
  ASSERT_TRUE(dir.ok());

  // A link planted at the name is replaced; its target stays as it was.
  std::filesystem::create_symlink(drive_c() / "victim.txt", drive_c() / "Out" / "a.txt");
  ASSERT_TRUE(WriteReplacement([&] { return (*dir)->CreateReplacement("a.txt"); }, "A").ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "victim.txt"), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(drive_c() / "Out" / "a.txt"));
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "a.txt"), "A");

  // The name was free when tested; what appears there before the commit is
  // judged as any file at the name: a read-only one is not replaced, and a
  // link is replaced, not followed.
  EXPECT_FALSE((*dir)->FileExists("b.txt"));
  auto b = (*dir)->CreateReplacement("b.txt");
  ASSERT_TRUE(b.ok());
  WriteHostFile(drive_c() / "Out" / "b.txt", "theirs");
  std::filesystem::permissions(drive_c() / "Out" / "b.txt", std::filesystem::perms::owner_read);
  EXPECT_EQ((*b)->Commit(false).error(), kErrorAccessDenied);
  b->reset();
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "b.txt"), "theirs");

  EXPECT_FALSE((*dir)->FileExists("c.txt"));
  auto c = (*dir)->CreateReplacement("c.txt");
  ASSERT_TRUE(c.ok());
  std::filesystem::create_symlink(drive_c() / "victim.txt", drive_c() / "Out" / "c.txt");
  ASSERT_TRUE((*c)->Write("C", 1).ok());
  ASSERT_TRUE((*c)->Commit(false).ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "victim.txt"), "keep");
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "c.txt"), "C");

  // Nothing but the committed files is left behind.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(drive_c() / "Out")) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 3);

  // A directory removed after it was opened makes creations fail.
  std::filesystem::remove_all(drive_c() / "Out");
  EXPECT_FALSE((*dir)->CreateReplacement("d.txt").ok());
}

TEST_F(FileSystemTest, AFileWrittenAheadIsShownOnlyOnceAdoptedUnderItsName) {
  ASSERT_TRUE(files().ForceDirectories("C:\\Out\\Sub"));
  auto out = OpenTargetDirectory(files(), "C:\\Out");
  auto sub = OpenTargetDirectory(files(), "C:\\Out\\Sub");
  ASSERT_TRUE(out.ok() && sub.ok());
  auto entries = [&](const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
  };
  // Made and written in one directory, on another thread, it shows nowhere.
  std::unique_ptr<File> ahead;
  std::thread([&] {
    ahead = (*out)->CreateUnnamed();
    ASSERT_NE(ahead, nullptr);
    ASSERT_TRUE(ahead->Write("made ahead", 10).ok());
    ASSERT_TRUE(ahead->SetLastWriteTime(EncodeDateTime({2001, 2, 3, 4, 5, 6, 0})).ok());
  }).join();
  EXPECT_EQ(entries(drive_c() / "Out"), (std::set<std::string>{"Sub"}));
  // Adopted in another directory of the same file system, under a name
  // standing there in another case: it replaces that file when committed.
  WriteHostFile(drive_c() / "Out" / "Sub" / "NAME.TXT", "old");
  auto adopted = (*sub)->Adopt(std::move(ahead), "name.txt");
  ASSERT_TRUE(adopted.ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "Sub" / "NAME.TXT"), "old");
  ASSERT_TRUE((*adopted)->Commit(false).ok());
  EXPECT_EQ(entries(drive_c() / "Out" / "Sub"), (std::set<std::string>{"NAME.TXT"}));
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "Sub" / "NAME.TXT"), "made ahead");
  EXPECT_EQ(*files().LastWriteTime("C:\\Out\\Sub\\name.txt"), EncodeDateTime({2001, 2, 3, 4, 5, 6, 0}));
  // A read-only file at the name is not replaced; one dropped unadopted,
  // or adopted and not committed, leaves nothing.
  WriteHostFile(drive_c() / "Out" / "ro.txt", "theirs");
  std::filesystem::permissions(drive_c() / "Out" / "ro.txt", std::filesystem::perms::owner_read);
  auto refused = (*out)->Adopt((*out)->CreateUnnamed(), "ro.txt");
  ASSERT_TRUE(refused.ok());
  EXPECT_EQ((*refused)->Commit(false).error(), kErrorAccessDenied);
  refused->reset();
  (void)(*out)->CreateUnnamed();
  auto uncommitted = (*out)->Adopt((*out)->CreateUnnamed(), "never.txt");
  ASSERT_TRUE(uncommitted.ok());
  uncommitted->reset();
  EXPECT_EQ(entries(drive_c() / "Out"), (std::set<std::string>{"Sub", "ro.txt"}));
  EXPECT_EQ(ReadHostFile(drive_c() / "Out" / "ro.txt"), "theirs");
  // Only a file made by a directory can be adopted.
  EXPECT_EQ((*out)->Adopt(nullptr, "x.txt").error(), kErrorNotSameDevice);
}

TEST_F(FileSystemTest, AWrappedFileSystemsTargetDirectoryGoesThroughTheWrapper) {
  struct NoRoom : FileSystemWrapper {
    using FileSystemWrapper::FileSystemWrapper;
    WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view) override {
      return WinResult<std::unique_ptr<NewFile>>::Error(kErrorDiskFull);
    }
  } wrapped(files());
  ASSERT_TRUE(files().ForceDirectories("C:\\Out"));
  Write("C:\\Out\\x.txt", "x");
  auto dir = OpenTargetDirectory(wrapped, "C:\\Out\\");
  ASSERT_TRUE(dir.ok());
  EXPECT_EQ((*dir)->Path(), "C:\\Out");
  EXPECT_TRUE((*dir)->FileExists("X.TXT"));
  EXPECT_EQ((*dir)->CreateReplacement("y.txt").error(), kErrorDiskFull);
  EXPECT_EQ(OpenTargetDirectory(wrapped, "C:\\None").error(), kErrorPathNotFound);
}

}  // namespace
}  // namespace brimwell
