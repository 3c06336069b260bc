// The uninstall record writer: numbered lists, the bounded retry over the
// installed-files list names, and the refusal to append after a count that
// cannot be read.
#include "engine/uninstall_record.h"

#include "platform/registry_wrapper.h"
#include "platform/win_path.h"
#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::HasSubstr;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;
constexpr char kRecord[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool";

// Refuses every write into keys whose last name is listed.
class RefusingRegistry : public RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  std::vector<std::string> refused;
  WinStatus SetValue(RegistryHive hive, std::string_view key, std::string_view name,
                     const RegistryValue& value) override {
    std::string last(key.substr(key.rfind('\\') + 1));
    for (const std::string& r : refused) {
      if (WinNamesEqual(r, last)) return WinStatus::Error(kErrorAccessDenied);
    }
    return RegistryWrapper::SetValue(hive, key, name, value);
  }
};

class UninstallRecordTest : public EngineTest {
 protected:
  RefusingRegistry* Refuse(std::vector<std::string> keys) {
    auto wrapper = std::make_unique<RefusingRegistry>(machine_->GetRegistry());
    wrapper->refused = std::move(keys);
    RefusingRegistry* raw = wrapper.get();
    machine_->InterposeRegistry(std::move(wrapper));
    return raw;
  }
  std::optional<std::string> Value(const std::string& sub, const std::string& name) {
    return registry().ReadString(kHKLM, std::string(kRecord) + "\\" + sub, name);
  }
};

TEST_F(UninstallRecordTest, ListsCountFromOneAndKeepCounting) {
  UninstallRecord record(*ctx_, kRecord);
  EXPECT_EQ(record.AppendInstalledFile("C:\\A\\one.txt"), "Files\\File1");
  EXPECT_EQ(record.AppendInstalledFile("C:\\A\\two.txt"), "Files\\File2");
  EXPECT_EQ(record.Append(kActiveXList, "C:\\A\\ctl.ocx;0"), "File1");
  EXPECT_EQ(Value("Files", "Entries"), "2");
  EXPECT_EQ(Value("Files", "File2"), "C:\\A\\two.txt");
  EXPECT_EQ(Value("ActiveX", "Entries"), "1");
  // A later run (a new writer) appends after what is there.
  UninstallRecord again(*ctx_, kRecord);
  EXPECT_EQ(again.AppendInstalledFile("C:\\A\\three.txt"), "Files\\File3");
}

TEST_F(UninstallRecordTest, AFailingFilesListMovesToTheNextName) {
  Refuse({"Files", "Files1"});
  UninstallRecord record(*ctx_, kRecord);
  EXPECT_EQ(record.AppendInstalledFile("C:\\A\\one.txt"), "Files2\\File1");
  EXPECT_EQ(Value("Files2", "File1"), "C:\\A\\one.txt");
  EXPECT_FALSE(Value("Files", "Entries"));
}

TEST_F(UninstallRecordTest, TheRetryIsBoundedAndReportsTheLastError) {
  std::vector<std::string> all{"Files"};
  for (int i = 1; i < 50; ++i) all.push_back("Files" + std::to_string(i));
  Refuse(all);
  UninstallRecord record(*ctx_, kRecord);
  try {
    record.AppendInstalledFile("C:\\A\\one.txt");
    FAIL() << "no error";
  } catch (const EIRCannotWriteValue& e) {
    EXPECT_EQ(e.Message(), std::string("Cannot install into registry. Key: ") + kRecord + "\\Files" +
                               std::to_string(kInstalledFilesListAttempts - 1) + " Ident: File1 Value C:\\A\\one.txt");
  }
}

TEST_F(UninstallRecordTest, ACountThatIsNoNumberIsNeverOverwritten) {
  ASSERT_TRUE(registry().WriteString(kHKLM, std::string(kRecord) + "\\Files", "Entries", "many").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, std::string(kRecord) + "\\Files", "File1", "C:\\kept").ok());
  UninstallRecord record(*ctx_, kRecord);
  EXPECT_EQ(record.AppendInstalledFile("C:\\A\\one.txt"), "Files1\\File1");
  EXPECT_EQ(Value("Files", "File1"), "C:\\kept");
  EXPECT_THROW(record.Append("Files", "x"), EIRCannotWriteValue);
}

}  // namespace
}  // namespace brimwell::testing
