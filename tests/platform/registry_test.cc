#include "platform/registry.h"

#include <signal.h>
#include <map>
#include <thread>
#include <sqlite3.h>

#include "platform/platform_errors.h"
#include "platform/registry_wrapper.h"
#include "platform/registry_text.h"
#include "platform/sqlite_registry.h"
#include "tests/platform/small_disk.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::InChild;
using testing::PrefixTest;
using testing::WriteHostFile;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;

class RegistryTest : public PrefixTest {
 protected:
  std::vector<std::string> SubKeys(RegistryHive hive, const std::string& key) {
    auto keys = registry().SubKeys(hive, key);
    return keys ? *keys : std::vector<std::string>{"<missing>"};
  }
  std::vector<std::string> ValueNames(RegistryHive hive, const std::string& key) {
    auto names = registry().ValueNames(hive, key);
    return names ? *names : std::vector<std::string>{"<missing>"};
  }
};

TEST_F(RegistryTest, KeysEnumerateByNameWithoutCaseValuesInCreationOrder) {
  for (const char* name : {"beta", "Alpha", "_x", "Zeta", "alpha2"}) {
    ASSERT_TRUE(registry().CreateKey(kHKLM, std::string("SOFTWARE\\Order\\") + name).ok());
  }
  EXPECT_EQ(SubKeys(kHKLM, "SOFTWARE\\Order"), (std::vector<std::string>{"Alpha", "alpha2", "beta", "Zeta", "_x"}));

  const std::string key = "SOFTWARE\\Order";
  for (const char* name : {"b", "A", "c"}) ASSERT_TRUE(registry().WriteString(kHKLM, key, name, "1").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, key, "B", "2").ok());  // overwriting keeps the place and name
  ASSERT_TRUE(registry().DeleteValue(kHKLM, key, "a").ok());
  ASSERT_TRUE(registry().WriteDword(kHKLM, key, "A", 7).ok());  // recreated: at the end
  EXPECT_EQ(ValueNames(kHKLM, key), (std::vector<std::string>{"b", "c", "A"}));
  EXPECT_EQ(registry().ReadString(kHKLM, key, "b"), "2");

  // The order survives a restart of the engine.
  Reopen();
  EXPECT_EQ(ValueNames(kHKLM, key), (std::vector<std::string>{"b", "c", "A"}));
  EXPECT_EQ(SubKeys(kHKLM, "SOFTWARE\\Order").front(), "Alpha");
}

TEST_F(RegistryTest, KeyPathsWithOrWithoutLeadingBackslashNameOneKey) {
  ASSERT_TRUE(registry().WriteString(kHKLM, "\\SOFTWARE\\Brimwell\\Install\\Install0", "Path", "C:\\x").ok());
  EXPECT_TRUE(registry().KeyExists(kHKLM, "software\\BRIMWELL\\install\\install0\\"));
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Brimwell\\Install\\Install0", "PATH"), "C:\\x");
  EXPECT_EQ(SubKeys(kHKLM, "\\Software\\Brimwell\\Install"), (std::vector<std::string>{"Install0"}));
}

TEST_F(RegistryTest, ReadsThatFindNothingSaySoWithoutError) {
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Nothing"));
  EXPECT_EQ(registry().QueryValue(kHKLM, "SOFTWARE\\Nothing", "x"), std::nullopt);
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE", "Nothing"), std::nullopt);
  EXPECT_EQ(registry().ValueNames(kHKLM, "SOFTWARE\\Nothing").error(), kErrorFileNotFound);
  EXPECT_EQ(registry().SetValue(kHKLM, "SOFTWARE\\Nothing", "x", RegistryValue::String("y")).error(),
            kErrorFileNotFound);
  EXPECT_EQ(registry().DeleteValue(kHKLM, "SOFTWARE", "Nothing").error(), kErrorFileNotFound);
  EXPECT_EQ(registry().DeleteKey(kHKLM, "SOFTWARE\\Nothing").error(), kErrorFileNotFound);
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Nothing"));  // nothing was created on the way
}

TEST_F(RegistryTest, AValueOfAnotherTypeIsAClearError) {
  const std::string key = "SOFTWARE\\Types";
  ASSERT_TRUE(registry().WriteDword(kHKLM, key, "Size", 1234).ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, key, "Path", "C:\\a").ok());
  ASSERT_TRUE(registry().WriteBinary(kHKLM, key, "CreationDate", std::string("\x01\x00\x02\x00\x00\x00\x00\x00", 8)).ok());
  try {
    registry().ReadString(kHKLM, key, "Size");
    FAIL() << "a DWORD read as a string";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Size'");
  }
  EXPECT_THROW(registry().ReadDword(kHKLM, key, "Path"), ERegistryException);
  EXPECT_THROW(registry().ReadDword(kHKLM, key, "CreationDate"), ERegistryException);
  EXPECT_THROW(registry().ReadBinary(kHKLM, key, "Size"), ERegistryException);
  EXPECT_EQ(registry().ReadDword(kHKLM, key, "Size"), 1234u);
  EXPECT_EQ(registry().ReadBinary(kHKLM, key, "CreationDate")->size(), 8u);

  // The finding reads take another type as absence, and read the right one.
  EXPECT_EQ(registry().FindString(kHKLM, key, "Size"), std::nullopt);
  EXPECT_EQ(registry().FindDword(kHKLM, key, "Path"), std::nullopt);
  EXPECT_EQ(registry().FindDword(kHKLM, key, "CreationDate"), std::nullopt);
  EXPECT_EQ(registry().FindBinary(kHKLM, key, "Size"), std::nullopt);
  EXPECT_EQ(registry().FindString(kHKLM, key, "Missing"), std::nullopt);
  EXPECT_EQ(registry().FindString(kHKLM, "SOFTWARE\\NoSuchKey", "Path"), std::nullopt);
  EXPECT_EQ(registry().FindString(kHKLM, key, "Path"), "C:\\a");
  EXPECT_EQ(registry().FindDword(kHKLM, key, "Size"), 1234u);
  EXPECT_EQ(registry().FindBinary(kHKLM, key, "CreationDate")->size(), 8u);
}

// Values are remembered while this process writes; every change must show
// at once, however the key is spelt, and a dropped update must take its
// values with it.
TEST_F(RegistryTest, ValuesReadWhileWritingFollowEveryChange) {
  Registry& reg = registry();
  const std::string key = "SOFTWARE\\Kept";
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "Count", "1").ok());
  ASSERT_TRUE(reg.Flush().ok());
  reg.BeginUpdate();
  EXPECT_EQ(reg.FindString(kHKLM, key, "Count"), "1");
  ASSERT_TRUE(reg.WriteString(kHKLM, "\\software\\KEPT\\", "COUNT", "2").ok());
  EXPECT_EQ(reg.FindString(kHKLM, key, "count"), "2");
  ASSERT_TRUE(reg.WriteDword(kHKLM, key, "Count", 3).ok());
  EXPECT_EQ(reg.FindString(kHKLM, key, "Count"), std::nullopt);  // another type now
  EXPECT_EQ(reg.ReadDword(kHKLM, key, "Count"), 3u);
  EXPECT_FALSE(reg.ValueExists(kHKLM, key, "Later"));
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "Later", "x").ok());
  EXPECT_EQ(reg.FindString(kHKLM, key, "Later"), "x");
  ASSERT_TRUE(reg.DeleteValue(kHKLM, key, "LATER").ok());
  EXPECT_FALSE(reg.ValueExists(kHKLM, key, "Later"));
  ASSERT_TRUE(reg.WriteString(kHKLM, key + "\\Sub", "V", "y").ok());
  ASSERT_TRUE(reg.DeleteTree(kHKLM, key + "\\Sub").ok());
  EXPECT_FALSE(reg.ValueExists(kHKLM, key + "\\Sub", "V"));
  ASSERT_TRUE(reg.CreateKey(kHKLM, key + "\\Sub").ok());
  EXPECT_FALSE(reg.ValueExists(kHKLM, key + "\\Sub", "V"));  // a new key holds nothing
  ASSERT_TRUE(reg.WriteString(kHKLM, key + "\\Sub", "V", "z").ok());
  ASSERT_TRUE(reg.DeleteKey(kHKLM, key + "\\Sub").ok());
  EXPECT_FALSE(reg.ValueExists(kHKLM, key + "\\Sub", "V"));
  reg.EndUpdate(false);
  EXPECT_EQ(reg.FindString(kHKLM, key, "Count"), "1");

  // What another connection commits is seen once this one has committed.
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "Count", "4").ok());
  EXPECT_EQ(reg.FindString(kHKLM, key, "Count"), "4");
  ASSERT_TRUE(reg.Flush().ok());
  {
    SqliteRegistry other(prefix_dir() / "registry.db");
    ASSERT_TRUE(other.WriteString(kHKLM, key, "Count", "5").ok());
  }
  EXPECT_EQ(reg.FindString(kHKLM, key, "Count"), "5");
  // A key made anew by another connection is a new key here too.
  {
    SqliteRegistry other(prefix_dir() / "registry.db");
    ASSERT_TRUE(other.DeleteTree(kHKLM, key).ok());
    ASSERT_TRUE(other.WriteString(kHKLM, key, "Fresh", "6").ok());
  }
  EXPECT_FALSE(reg.ValueExists(kHKLM, key, "Count"));
  EXPECT_EQ(reg.FindString(kHKLM, key, "Fresh"), "6");
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "Count", "7").ok());
  ASSERT_TRUE(reg.Flush().ok());
  SqliteRegistry other(prefix_dir() / "registry.db");
  EXPECT_EQ(other.FindString(kHKLM, key, "Count"), "7");
}

// A value rewritten many times in one transaction (a list's count) takes
// its data at the commit; everything that reads values sees the last data
// before that, and the value keeps its place.
TEST_F(RegistryTest, AValueRewrittenManyTimesShowsItsLastDataEverywhere) {
  Registry& reg = registry();
  const std::string key = "SOFTWARE\\List";
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "Entries", "0").ok());
  for (int i = 1; i <= 50; ++i) {
    ASSERT_EQ(reg.FindString(kHKLM, key, "Entries"), std::to_string(i - 1));
    ASSERT_TRUE(reg.WriteString(kHKLM, key, "File" + std::to_string(i), "f").ok());
    ASSERT_TRUE(reg.WriteString(kHKLM, key, "entries", std::to_string(i)).ok());
  }
  auto values = reg.Values(kHKLM, key);
  ASSERT_TRUE(values.ok());
  ASSERT_EQ(values->size(), 51u);
  EXPECT_EQ(values->front().name, "Entries");
  EXPECT_EQ(values->front().value.data, "50");
  // Rewritten after the listing, then read by another connection once
  // committed by the committer alone.
  ASSERT_EQ(reg.FindString(kHKLM, key, "Entries"), "50");
  ASSERT_TRUE(reg.WriteDword(kHKLM, key, "Entries", 51).ok());
  std::this_thread::sleep_for(SqliteRegistry::kCommitDelay * 4);
  {
    SqliteRegistry other(prefix_dir() / "registry.db");
    EXPECT_EQ(other.ReadDword(kHKLM, key, "Entries"), 51u);
  }
  // Deleted, or its key deleted, while its new data waits (a write opens
  // the transaction, in which values read are known).
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "Open", "1").ok());
  ASSERT_EQ(reg.FindString(kHKLM, key, "File1"), "f");
  ASSERT_TRUE(reg.WriteString(kHKLM, key, "File1", "g").ok());
  ASSERT_TRUE(reg.DeleteValue(kHKLM, key, "File1").ok());
  EXPECT_FALSE(reg.ValueExists(kHKLM, key, "File1"));
  ASSERT_TRUE(reg.WriteString(kHKLM, key + "\\Sub", "V", "1").ok());
  ASSERT_EQ(reg.FindString(kHKLM, key + "\\Sub", "V"), "1");
  ASSERT_TRUE(reg.WriteString(kHKLM, key + "\\Sub", "V", "2").ok());
  ASSERT_TRUE(reg.DeleteKey(kHKLM, key + "\\Sub").ok());
  ASSERT_TRUE(reg.Flush().ok());
  Reopen();
  EXPECT_FALSE(registry().ValueExists(kHKLM, key, "File1"));
  EXPECT_FALSE(registry().KeyExists(kHKLM, key + "\\Sub"));
  EXPECT_EQ(registry().ReadDword(kHKLM, key, "Entries"), 51u);
  EXPECT_EQ(ValueNames(kHKLM, key).front(), "Entries");
}

TEST_F(RegistryTest, DataOfEveryTypeRoundTrips) {
  const std::string key = "SOFTWARE\\Data";
  ASSERT_TRUE(registry().CreateKey(kHKLM, key).ok());
  std::vector<RegistryValue> values = {
      RegistryValue::String(""),
      RegistryValue::String("text with \"quotes\" and \\ and \xC3\xA9"),
      RegistryValue::Dword(0xFFFFFFFF),
      RegistryValue::Binary(std::string("\0\1\2\xFF", 4)),
      RegistryValue::MultiString({"\\??\\C:\\a.1", "", "last"}),
      {RegistryValueType::kExpandString, "%SystemRoot%\\x"},
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(registry().SetValue(kHKLM, key, "v" + std::to_string(i), values[i]).ok());
  }
  ASSERT_TRUE(registry().SetValue(kHKLM, key, "", RegistryValue::String("default")).ok());
  Reopen();
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(registry().QueryValue(kHKLM, key, "V" + std::to_string(i)), values[i]) << i;
  }
  EXPECT_EQ(values[4].AsMultiString("v4"), (std::vector<std::string>{"\\??\\C:\\a.1", "", "last"}));
  EXPECT_EQ(registry().ReadString(kHKLM, key, ""), "default");
}

TEST_F(RegistryTest, DeletingKeys) {
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Del\\Unfinished\\Deep", "x", "1").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Del\\Unfinished", "App", "0").ok());
  EXPECT_EQ(registry().DeleteKey(kHKLM, "SOFTWARE\\Del\\Unfinished").error(), kErrorAccessDenied);
  ASSERT_TRUE(registry().DeleteKey(kHKLM, "SOFTWARE\\Del\\Unfinished\\Deep").ok());
  ASSERT_TRUE(registry().CreateKey(kHKLM, "SOFTWARE\\Del\\Unfinished\\Deep2\\Deeper").ok());
  ASSERT_TRUE(registry().DeleteTree(kHKLM, "\\SOFTWARE\\DEL").ok());
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Del"));
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Del\\Unfinished\\Deep2"));
  EXPECT_TRUE(registry().KeyExists(kHKLM, "SOFTWARE"));
  // Recreated keys start empty.
  ASSERT_TRUE(registry().CreateKey(kHKLM, "SOFTWARE\\Del\\Unfinished").ok());
  EXPECT_TRUE(ValueNames(kHKLM, "SOFTWARE\\Del\\Unfinished").empty());
  EXPECT_EQ(registry().DeleteTree(kHKLM, "").error(), kErrorAccessDenied);
  EXPECT_EQ(registry().DeleteKey(RegistryHive::kClassesRoot, "").error(), kErrorAccessDenied);
}

TEST_F(RegistryTest, HivesThatAreViewsShowTheirKeys) {
  ASSERT_TRUE(registry().WriteString(RegistryHive::kClassesRoot, ".brw", "", "Brimwell.Project").ok());
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Classes\\.brw", ""), "Brimwell.Project");
  ASSERT_TRUE(registry().WriteString(RegistryHive::kCurrentUser, "Software\\Acme", "Name", "me").ok());
  EXPECT_EQ(registry().ReadString(RegistryHive::kUsers, ".DEFAULT\\Software\\Acme", "Name"), "me");
  EXPECT_EQ(ParseRegistryPath("HKCU\\Software").first, RegistryHive::kCurrentUser);
  EXPECT_EQ(ParseRegistryPath("\\hkey_local_machine").first, kHKLM);
  EXPECT_EQ(ParseRegistryPath("HKLM\\A\\B").second, "A\\B");
  EXPECT_THROW(ParseRegistryPath("HKXX\\A"), ERegistryException);
}

TEST_F(RegistryTest, AStoreFailureReachesTheCallerThroughAWrapper) {
  struct FailingWrites : RegistryWrapper {
    using RegistryWrapper::RegistryWrapper;
    WinStatus SetValue(RegistryHive, std::string_view, std::string_view, const RegistryValue&) override {
      return WinStatus::Error(kErrorAccessDenied);
    }
  };
  machine().InterposeRegistry(std::make_unique<FailingWrites>(registry()));
  EXPECT_EQ(machine().GetRegistry().WriteString(kHKLM, "SOFTWARE\\W", "x", "y").error(), kErrorAccessDenied);
  EXPECT_TRUE(machine().GetRegistry().KeyExists(kHKLM, "SOFTWARE\\W"));  // the rest still forwards
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path prefix() const { return dir_.path() / "prefix"; }
  std::filesystem::path store() const { return prefix() / "registry.db"; }
  void MakePrefix(int values = 0) {
    auto machine = OpenMachine(prefix());
    for (int i = 0; i < values; ++i) {
      (void)machine->GetRegistry().WriteString(kHKLM, "SOFTWARE\\Bulk", "Value" + std::to_string(i),
                                               std::string(200, 'v'));
    }
  }
  // The message of the error opening the prefix raises ("" when none).
  std::string OpenError() {
    try {
      OpenMachine(prefix());
    } catch (const ERegistryStoreError& e) {
      return e.what();
    }
    return "";
  }
  testing::TempDir dir_;
};

TEST_F(RegistryStoreTest, ACorruptStoreIsAnErrorNamingTheFile) {
  MakePrefix();
  std::filesystem::remove(prefix() / "registry.db-wal");
  WriteHostFile(store(), std::string(8192, 'g'));
  std::string message = OpenError();
  EXPECT_NE(message.find(store().string()), std::string::npos) << message;
  EXPECT_NE(message.find("corrupt"), std::string::npos) << message;
}

TEST_F(RegistryStoreTest, DamageInsideTheStoreIsFoundAtOpening) {
  MakePrefix(2000);
  ASSERT_GT(std::filesystem::file_size(store()), 64 * 1024u);
  // Scribble over pages in the middle, leaving the header intact.
  {
    std::fstream f(store(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(16 * 1024);
    std::string junk(16 * 1024, '\x5A');
    f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  std::string message = OpenError();
  EXPECT_NE(message.find(store().string()), std::string::npos) << message;
}

TEST_F(RegistryStoreTest, AnotherDatabaseIsNotTakenForARegistry) {
  std::filesystem::create_directories(prefix());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(store().c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE songs(title TEXT)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  std::string message = OpenError();
  EXPECT_EQ(message, "The file " + store().string() + " is not a registry file of this toolkit");
}

TEST_F(RegistryStoreTest, AnUnreadableStoreIsAnError) {
  MakePrefix();
  std::filesystem::remove(store());
  std::filesystem::create_directory(store());  // a directory where the file should be
  std::string message = OpenError();
  EXPECT_NE(message.find(store().string()), std::string::npos) << message;
}

TEST_F(RegistryStoreTest, AKilledWriterLosesNothingItFlushed) {
  MakePrefix();
  // The writer is a separate process that dies without any clean-up after
  // its flush and after more writes that were never flushed.
  int status = InChild([&] {
    auto machine = OpenMachine(prefix());
    Registry& reg = machine->GetRegistry();
    // Each value, then the count, as the uninstall record appends.
    for (int i = 0; i < 1000; ++i) {
      if (!reg.WriteString(kHKLM, "SOFTWARE\\Uninstall\\Files", "File" + std::to_string(i), "C:\\f" + std::to_string(i)))
        return 2;
      if (!reg.WriteString(kHKLM, "SOFTWARE\\Uninstall\\Files", "Entries", std::to_string(i + 1))) return 2;
      if (i % 100 == 99 && !reg.Flush()) return 3;
    }
    for (int i = 1000; i < 1200; ++i) {
      (void)reg.WriteString(kHKLM, "SOFTWARE\\Uninstall\\Files", "File" + std::to_string(i), "late");
      (void)reg.WriteString(kHKLM, "SOFTWARE\\Uninstall\\Files", "Entries", std::to_string(i + 1));
    }
    ::raise(SIGKILL);
    return 4;
  });
  EXPECT_EQ(status, -1);  // killed
  auto machine = OpenMachine(prefix());
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(machine->GetRegistry().ReadString(kHKLM, "SOFTWARE\\Uninstall\\Files", "File" + std::to_string(i)),
              "C:\\f" + std::to_string(i));
  }
  // The count kept never counts a value that was lost.
  auto count = machine->GetRegistry().FindString(kHKLM, "SOFTWARE\\Uninstall\\Files", "Entries");
  ASSERT_TRUE(count.has_value());
  const int entries = std::stoi(*count);
  EXPECT_GE(entries, 1000);
  for (int i = 0; i < entries; ++i) {
    EXPECT_TRUE(machine->GetRegistry().ValueExists(kHKLM, "SOFTWARE\\Uninstall\\Files", "File" + std::to_string(i)));
  }
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceKeepEveryWrite) {
  MakePrefix();
  std::string tool = std::string(BRIMWELL_BIN_DIR) + "/brimwell";
  ASSERT_TRUE(std::filesystem::exists(tool));
  // `brimwell reg add` in a loop beside this process's own burst of writes.
  pid_t pid = ::fork();
  if (pid == 0) {
    std::string script = "for i in $(seq 1 40); do \"" + tool + "\" reg --prefix \"" + prefix().string() +
                         "\" add 'HKLM\\SOFTWARE\\Other' /v V$i /d x$i >/dev/null || exit 1; done";
    ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  {
    auto machine = OpenMachine(prefix());
    for (int i = 0; i < 3000; ++i) {
      ASSERT_TRUE(machine->GetRegistry().WriteString(kHKLM, "SOFTWARE\\Mine", "File" + std::to_string(i), "y").ok());
      if (i % 500 == 0) {
        ASSERT_TRUE(machine->GetRegistry().Flush().ok());
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  auto machine = OpenMachine(prefix());
  EXPECT_EQ(machine->GetRegistry().ValueNames(kHKLM, "SOFTWARE\\Mine")->size(), 3000u);
  EXPECT_EQ(machine->GetRegistry().ValueNames(kHKLM, "SOFTWARE\\Other")->size(), 40u);
  EXPECT_EQ(machine->GetRegistry().ReadString(kHKLM, "SOFTWARE\\Other", "V40"), "x40");
}

// Names, sizes, modification times and contents of the files in `dir`.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    auto time = std::filesystem::last_write_time(entry.path()).time_since_epoch().count();
    files[entry.path().filename().string()] = std::to_string(time) + ":" + testing::ReadHostFile(entry.path());
  }
  return files;
}

TEST_F(RegistryStoreTest, ReadingTheStoreWritesNothing) {
  MakePrefix(50);
  std::map<std::string, std::string> before = Snapshot(prefix());
  ASSERT_EQ(before.count("registry.db"), 1u);
  {
    auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
    Registry& reg = machine->GetRegistry();
    EXPECT_EQ(reg.ReadString(kHKLM, "SOFTWARE\\Bulk", "Value7"), std::string(200, 'v'));
    EXPECT_EQ(reg.ValueNames(kHKLM, "SOFTWARE\\Bulk")->size(), 50u);
    EXPECT_FALSE(reg.KeyExists(kHKLM, "SOFTWARE\\Nothing"));
    EXPECT_TRUE(reg.Flush().ok());
  }
  // No journal, no shared-memory file, not a byte or a date changed.
  EXPECT_EQ(Snapshot(prefix()), before);
}

TEST_F(RegistryStoreTest, AFullDiskLeavesTheStoreReadableAndRefusesWritesCleanly) {
  std::filesystem::path disk = dir_.path() / "disk";
  std::filesystem::create_directories(disk);
  int status = testing::OnSmallDisk(disk, 4 << 20, [&] {
    std::filesystem::path small_prefix = disk / "prefix";
    {
      auto machine = OpenMachine(small_prefix);
      if (!machine->GetRegistry().WriteString(kHKLM, "SOFTWARE\\Acme", "Path", "C:\\Acme")) return 2;
    }
    if (testing::FillDisk(disk) <= 0) return 3;
    std::map<std::string, std::string> before = Snapshot(small_prefix);
    {
      auto machine = OpenMachine(small_prefix, PrefixCreation::kMustExist);
      Registry& reg = machine->GetRegistry();
      if (reg.ReadString(kHKLM, "SOFTWARE\\Acme", "Path") != "C:\\Acme") return 4;
      // A write on the full disk fails as a store error, and the value
      // read before is still there afterwards.
      bool refused = false;
      try {
        (void)reg.WriteString(kHKLM, "SOFTWARE\\Acme", "Big", std::string(1 << 20, 'x'));
        (void)reg.Flush();
      } catch (const ERegistryStoreError&) {
        refused = true;
      }
      if (!refused) return 5;
      if (reg.ReadString(kHKLM, "SOFTWARE\\Acme", "Path") != "C:\\Acme") return 6;
    }
    if (Snapshot(small_prefix) != before) return 7;
    return 0;
  });
  if (status == testing::kNoSmallDisk) GTEST_SKIP() << "no tmpfs can be mounted here";
  EXPECT_EQ(status, 0);
}

TEST_F(RegistryStoreTest, AnUpdateIsCommittedWholeOrNotAtAll) {
  MakePrefix();
  {
    auto machine = OpenMachine(prefix());
    Registry& reg = machine->GetRegistry();
    ASSERT_TRUE(reg.WriteString(kHKLM, "SOFTWARE\\Kept", "Before", "1"));
    {
      RegistryUpdate update(reg);
      ASSERT_TRUE(reg.WriteString(kHKLM, "SOFTWARE\\Dropped", "A", "x"));
      // Neither a flush nor the committer's delay commits a part of it.
      ASSERT_TRUE(reg.Flush());
      std::this_thread::sleep_for(SqliteRegistry::kCommitDelay * 3);
      SqliteRegistry other(store());
      EXPECT_FALSE(other.KeyExists(kHKLM, "SOFTWARE\\Dropped"));
      EXPECT_TRUE(other.KeyExists(kHKLM, "SOFTWARE\\Kept"));  // committed when the update began
    }
    EXPECT_FALSE(reg.KeyExists(kHKLM, "SOFTWARE\\Dropped"));
    {
      RegistryUpdate update(reg);
      ASSERT_TRUE(reg.WriteString(kHKLM, "SOFTWARE\\Whole", "A", "x"));
      update.Commit();
    }
  }
  // A process killed inside an update leaves nothing of it.
  int status = InChild([&] {
    auto machine = OpenMachine(prefix());
    machine->GetRegistry().BeginUpdate();
    for (int i = 0; i < 500; ++i) (void)machine->GetRegistry().WriteString(kHKLM, "SOFTWARE\\Killed", "V" + std::to_string(i), "x");
    ::raise(SIGKILL);
    return 4;
  });
  EXPECT_EQ(status, -1);
  auto machine = OpenMachine(prefix());
  EXPECT_TRUE(machine->GetRegistry().KeyExists(kHKLM, "SOFTWARE\\Whole"));
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKLM, "SOFTWARE\\Killed"));
  EXPECT_FALSE(machine->GetRegistry().KeyExists(kHKLM, "SOFTWARE\\Dropped"));
}

}  // namespace
}  // namespace brimwell
