// Registry components: the key by KeySpecifierType, the three value types
// with %p, the veto event, the uninstall record, failures of the registry
// and of the record, and what the setters do outside loading.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "engine/path_specifier.h"
#include "engine/uninstall_record.h"
#include "platform/platform_errors.h"
#include "platform/registry_wrapper.h"
#include "system/install_ini_file.h"
#include "system/install_registry.h"
#include "system/system_errors.h"
#include "tests/system/system_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr RegistryHive kHKCU = RegistryHive::kCurrentUser;
constexpr RegistryHive kHKU = RegistryHive::kUsers;

class InstallRegistryTest : public SystemTest {
 protected:
  TInstallRegistry* Reg(const std::string& name = "Reg") { return Find<TInstallRegistry>(name); }
  std::optional<RegistryValue> Value(RegistryHive hive, const std::string& key, const std::string& name) {
    return registry().QueryValue(hive, key, name);
  }
};

TEST_F(InstallRegistryTest, TheKeyComesFromKeyOrFromTheProductInformation) {
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Abs", "properties": {"Container": "Install1",
      "Key": "\\SOFTWARE\\Vendor\\App\\", "RootKey": "hkCurrentUser",
      "Entries": [{"Ident": "A", "Text": "abs"}]}},
    {"class": "TInstallRegistry", "name": "Company", "properties": {"Container": "Install1",
      "KeySpecifierType": "ksCompanyName", "Entries": [{"Ident": "B", "Text": "company"}]}},
    {"class": "TInstallRegistry", "name": "Product", "properties": {"Container": "Install1",
      "KeySpecifierType": "ksProductName", "RootKey": "hkUsers", "Entries": [{"Ident": "C", "Text": "product"}]}},
    {"class": "TInstallRegistry", "name": "Version", "properties": {"Container": "Install1",
      "KeySpecifierType": "ksVersion", "Entries": [{"Ident": "D", "Text": "version"}]}},
    {"class": "TInstallRegistry", "name": "Relative", "properties": {"Container": "Install1",
      "Key": "SOFTWARE\\Vendor\\App", "RootKey": "hkCurrentUser", "Entries": [{"Ident": "E", "Text": "rel"}]}},
    {"class": "TInstallRegistry", "name": "Config", "properties": {"Container": "Install1",
      "Key": "\\Display", "RootKey": "hkCurrentConfig", "Entries": [{"Ident": "F", "Text": "config"}]}},
    {"class": "TInstallRegistry", "name": "Dyn", "properties": {"Container": "Install1",
      "Key": "\\PerfStats", "RootKey": "hkDynData", "Entries": [{"Ident": "G", "Text": "dyn"}]}})");
  EXPECT_EQ(Reg("Abs")->GetKeyPath(), "\\SOFTWARE\\Vendor\\App");
  EXPECT_EQ(Reg("Company")->GetKeyPath(), "\\SOFTWARE\\Acme");
  EXPECT_EQ(Reg("Product")->GetKeyPath(), "\\SOFTWARE\\Acme\\Tool");
  EXPECT_EQ(Reg("Version")->GetKeyPath(), "\\SOFTWARE\\Acme\\Tool\\2.1");
  for (const char* name : {"Abs", "Company", "Product", "Version", "Relative", "Config", "Dyn"}) {
    Reg(name)->Process();
  }

  EXPECT_EQ(registry().ReadString(kHKCU, "SOFTWARE\\Vendor\\App", "A"), "abs");
  EXPECT_EQ(registry().ReadString(kHKCU, "SOFTWARE\\Vendor\\App", "E"), "rel");  // the same key
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Acme", "B"), "company");
  // A composed key keeps the root that the project states.
  EXPECT_EQ(registry().ReadString(kHKU, "SOFTWARE\\Acme\\Tool", "C"), "product");
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Acme\\Tool\\2.1", "D"), "version");
  // The current configuration is a view of the machine's current hardware profile.
  EXPECT_EQ(registry().ReadString(kHKLM, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Display", "F"),
            "config");
  EXPECT_EQ(registry().ReadString(RegistryHive::kDynData, "PerfStats", "G"), "dyn");
  // The record stores each root's ordinal.
  EXPECT_EQ(registry().ReadDword(kHKLM, std::string(kToolRecord) + "\\RegistryKeys\\RegistryKey6", "Root"), 1u);
  EXPECT_EQ(registry().ReadDword(kHKLM, std::string(kToolRecord) + "\\RegistryKeys\\RegistryKey7", "Root"), 3u);
}

TEST_F(InstallRegistryTest, ValuesOfEveryTypeAreWrittenExactly) {
  LoadWithDriver(R"(
    {"class": "TPathSpecifier", "name": "Odd"},
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1", "Key": "\\SOFTWARE\\T",
      "Entries": [
        {"Ident": "Lines", "Text": "one\r\ntwo\n"},
        {"Ident": "Nul", "Text": "a\u0000b"},
        {"Ident": "Wide", "Text": "Grüße, 日本語"},
        {"Ident": "Min", "EntryType": "retInteger", "Integer": -2147483648},
        {"Ident": "Max", "EntryType": "retInteger", "Integer": 2147483647},
        {"Ident": "Minus", "EntryType": "retInteger", "Integer": -1},
        {"Ident": "Yes", "EntryType": "retBoolean", "Boolean": true},
        {"Ident": "No", "EntryType": "retBoolean", "Boolean": false, "Text": "ignored"},
        {"Ident": "Data", "PathSpecifier": "psWindow", "Text": "%p\\data"},
        {"Ident": "Plain", "Text": "100%%"},
        {"Ident": "Expanded", "PathSpecifier": "Odd", "Text": "100%%"},
        {"Ident": "", "Text": "default value"}]}})");
  Reg()->Process();
  auto sz = [](std::string_view s) { return RegistryValue::String(s); };
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Lines"), sz("one\r\ntwo\n"));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Nul"), sz(std::string_view("a\0b", 3)));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Wide"), sz("Grüße, 日本語"));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Min"), RegistryValue::Dword(0x80000000u));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Max"), RegistryValue::Dword(0x7fffffffu));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Minus"), RegistryValue::Dword(0xffffffffu));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Yes"), RegistryValue::Dword(1));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "No"), RegistryValue::Dword(0));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Data"), sz("C:\\WINDOWS\\data"));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Plain"), sz("100%%"));  // no specifier: no expansion
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", "Expanded"), sz("100%"));
  EXPECT_EQ(Value(kHKLM, "SOFTWARE\\T", ""), sz("default value"));

  // The record lists every name with its resolved text, also for numbers.
  auto values = registry().Values(kHKLM, std::string(kToolRecord) + "\\RegistryKeys\\RegistryKey1\\Entries");
  ASSERT_TRUE(values.ok());
  ASSERT_EQ(values->size(), 12u);
  EXPECT_EQ((*values)[1].value, sz(std::string_view("a\0b", 3)));
  EXPECT_EQ((*values)[3].name, "Min");
  EXPECT_EQ((*values)[3].value, sz(""));
  EXPECT_EQ((*values)[8].value, sz("C:\\WINDOWS\\data"));
}

TEST_F(InstallRegistryTest, AVetoedValueIsSkippedButRecordedAndLogged) {
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1", "Key": "\\SOFTWARE\\V",
      "Entries": [{"Ident": "One", "Text": "1"}, {"Ident": "Two", "Text": "2"}, {"Ident": "Three", "EntryType": "retInteger", "Integer": 3}]}})");
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\V", "Two", "old").ok());
  std::vector<std::string> asked;
  Reg()->OnBeforeWriteEntry = [&](TCustomInstallRegistry* reg, TRegistryEntry* entry, bool& go_on) {
    EXPECT_EQ(reg, Reg());
    asked.push_back(entry->Ident());
    go_on = entry->Ident() != "Two";
  };
  Reg()->Process();
  EXPECT_THAT(asked, ElementsAre("One", "Two", "Three"));
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\V", "One"), "1");
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\V", "Two"), "old");
  EXPECT_EQ(registry().ReadDword(kHKLM, "SOFTWARE\\V", "Three"), 3u);
  EXPECT_EQ(RecordString("RegistryKeys\\RegistryKey1\\Entries", "Two"), "2");

  std::string log = Log();
  EXPECT_THAT(log, HasSubstr("registry\twrite HKEY_LOCAL_MACHINE\\SOFTWARE\\V \"One\" REG_SZ \"1\"\n"));
  EXPECT_THAT(log, HasSubstr("registry\tvetoed HKEY_LOCAL_MACHINE\\SOFTWARE\\V \"Two\" REG_SZ \"2\"\n"));
  EXPECT_THAT(log, HasSubstr("registry\twrite HKEY_LOCAL_MACHINE\\SOFTWARE\\V \"Three\" REG_DWORD 3\n"));
}

TEST_F(InstallRegistryTest, ASilentAbortFromTheHandlerEndsTheComponentWithoutARecord) {
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1", "Key": "\\SOFTWARE\\A",
      "Entries": [{"Ident": "One", "Text": "1"}, {"Ident": "Two", "Text": "2"}, {"Ident": "Three", "Text": "3"}]}})");
  Reg()->OnBeforeWriteEntry = [](TCustomInstallRegistry*, TRegistryEntry* entry, bool&) {
    if (entry->Ident() == "Two") throw EAbort();
  };
  EXPECT_NO_THROW(Reg()->Process());
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\A", "One"), "1");
  EXPECT_FALSE(registry().ValueExists(kHKLM, "SOFTWARE\\A", "Three"));
  EXPECT_FALSE(registry().KeyExists(kHKLM, std::string(kToolRecord) + "\\RegistryKeys"));
}

TEST_F(InstallRegistryTest, EachRunAddsOneNumberedRecord) {
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1",
      "Key": "\\SOFTWARE\\R", "RootKey": "hkCurrentUser", "Entries": [{"Ident": "N", "Text": "v"}]}},
    {"class": "TInstallRegistry", "name": "Empty", "properties": {"Container": "Install1", "Key": "\\SOFTWARE\\Nothing"}})");
  Reg()->Process();
  Reg()->Process();
  EXPECT_EQ(RecordString("RegistryKeys", "Entries"), "2");
  for (const char* item : {"RegistryKeys\\RegistryKey1", "RegistryKeys\\RegistryKey2"}) {
    EXPECT_EQ(RecordString(item, "Key"), "\\SOFTWARE\\R") << item;
    EXPECT_EQ(registry().ReadDword(kHKLM, std::string(kToolRecord) + "\\" + item, "Root"), 2u) << item;
    EXPECT_EQ(RecordString(std::string(item) + "\\Entries", "N"), "v") << item;
  }

  // No entries: no key under the root, a record without Entries.
  Reg("Empty")->Process();
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Nothing"));
  EXPECT_EQ(RecordString("RegistryKeys\\RegistryKey3", "Key"), "\\SOFTWARE\\Nothing");
  EXPECT_EQ(registry().ReadDword(kHKLM, std::string(kToolRecord) + "\\RegistryKeys\\RegistryKey3", "Root"), 4u);
  EXPECT_FALSE(registry().KeyExists(kHKLM, std::string(kToolRecord) + "\\RegistryKeys\\RegistryKey3\\Entries"));

  // A damaged or lost count never overwrites an earlier record.
  ASSERT_TRUE(registry().WriteString(kHKLM, std::string(kToolRecord) + "\\RegistryKeys", "Entries", "x").ok());
  Reg("Empty")->Process();
  EXPECT_EQ(RecordString("RegistryKeys", "Entries"), "4");
  EXPECT_EQ(RecordString("RegistryKeys\\RegistryKey1", "Key"), "\\SOFTWARE\\R");
  ASSERT_TRUE(registry().WriteDword(kHKLM, std::string(kToolRecord) + "\\RegistryKeys", "Entries", 1).ok());
  Reg("Empty")->Process();
  EXPECT_EQ(RecordString("RegistryKeys", "Entries"), "5");
}

// A registry that refuses to set the value `name` and every value below a
// key holding `key_part`.
class RefusingRegistry : public RegistryWrapper {
 public:
  RefusingRegistry(Registry& target, std::string name, std::string key_part)
      : RegistryWrapper(target), name_(std::move(name)), key_part_(std::move(key_part)) {}
  WinStatus SetValue(RegistryHive hive, std::string_view key, std::string_view name,
                     const RegistryValue& value) override {
    if (name == name_ || (!key_part_.empty() && key.find(key_part_) != std::string_view::npos)) {
      return WinStatus::Error(kErrorAccessDenied);
    }
    return RegistryWrapper::SetValue(hive, key, name, value);
  }

 private:
  std::string name_;
  std::string key_part_;
};

TEST_F(InstallRegistryTest, ARefusedKeyOrValueStopsTheComponentAndKeepsWhatWasWritten) {
  const std::string long_name(256, 'k');
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Long", "properties": {"Container": "Install1",
      "Key": "\\SOFTWARE\\)" + long_name + R"(", "Entries": [{"Ident": "A", "Text": "a"}]}},
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1", "Key": "\\SOFTWARE\\F",
      "Entries": [{"Ident": "First", "Text": "1"}, {"Ident": "Refused", "Text": "2"}, {"Ident": "Last", "Text": "3"}]}})");
  machine_->InterposeRegistry(std::make_unique<RefusingRegistry>(machine_->GetRegistry(), "Refused", ""));
  EXPECT_EQ(ErrorOf<IERegistryEntry>([&] { Reg("Long")->Process(); }),
            "Long cannot create the key \\SOFTWARE\\" + long_name + " in the registry");
  EXPECT_EQ(ErrorOf<ERegistryException>([&] { Reg()->Process(); }), "Failed to set data for 'Refused'");
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\F", "First"), "1");
  EXPECT_FALSE(registry().ValueExists(kHKLM, "SOFTWARE\\F", "Last"));
  EXPECT_FALSE(registry().KeyExists(kHKLM, std::string(kToolRecord) + "\\RegistryKeys"));  // no record
}

TEST_F(InstallRegistryTest, ARecordThatCannotBeWrittenNamesItsKeyValueAndData) {
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1", "Key": "\\SOFTWARE\\W",
      "Entries": [{"Ident": "A", "Text": "a"}]}})");
  Registry& original = machine_->GetRegistry();
  machine_->InterposeRegistry(std::make_unique<RefusingRegistry>(original, "Root", ""));
  EXPECT_EQ(ErrorOf<EIRCannotWriteValue>([&] { Reg()->Process(); }),
            "Cannot install into registry. Key: " + std::string(kToolRecord) +
                "\\RegistryKeys\\RegistryKey1 Ident: Root Value 4");
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\W", "A"), "a");  // the value stays

  // The message passes the translator before it is formatted.
  machine_->InterposeRegistry(std::make_unique<RefusingRegistry>(original, "", "Uninstall"));
  ctx_->SetTranslator({[](std::string_view text) {
                         return text == kCannotWriteUninstallValue ? std::string("Refused. Key: %s Ident: %s Value %s")
                                                                : std::string(text);
                       },
                       nullptr, nullptr});
  EXPECT_EQ(ErrorOf<EIRCannotWriteValue>([&] { Reg()->Process(); }),
            "Refused. Key: " + std::string(kToolRecord) + "\\RegistryKeys Ident: Entries Value 2");
}

TEST_F(InstallRegistryTest, SettersOutsideLoadingFollowTheValueAndTheSpecifier) {
  LoadWithDriver(R"(
    {"class": "TPathSpecifier", "name": "Spec"},
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1",
      "Entries": [{"Ident": "Loaded", "Integer": 5, "PathSpecifier": "Spec"}]}})");
  TRegistryEntry& loaded = Reg()->Entries().Items(0);
  // While loading, values are only stored.
  EXPECT_EQ(loaded.EntryType(), TRegistryEntryType::retText);
  EXPECT_EQ(loaded.Text(), "");
  EXPECT_EQ(loaded.PathSpecifier(), Find<TCustomPathSpecifier>("Spec"));

  TRegistryEntry& e = Reg()->Entries().Add();  // linked at once
  e.SetInteger(7);
  EXPECT_EQ(e.EntryType(), TRegistryEntryType::retInteger);
  e.SetBoolean(true);
  EXPECT_EQ(e.EntryType(), TRegistryEntryType::retBoolean);
  e.SetText("t");
  EXPECT_EQ(e.EntryType(), TRegistryEntryType::retText);
  e.SetInteger(1);
  e.SetPathSpecifier(Find<TCustomPathSpecifier>("psSystem"));
  EXPECT_EQ(e.Text(), "%p");
  EXPECT_EQ(e.EntryType(), TRegistryEntryType::retText);
  EXPECT_EQ(e.GetResolvedText(), "C:\\WINDOWS\\SYSTEM32");
  e.SetPathSpecifier(nullptr);
  EXPECT_EQ(e.Text(), "%p");

  // A removed specifier leaves the entries that named it, types unchanged.
  loaded.SetInteger(5);
  delete Find<TCustomPathSpecifier>("Spec");
  EXPECT_EQ(loaded.PathSpecifier(), nullptr);
  EXPECT_EQ(loaded.EntryType(), TRegistryEntryType::retInteger);

  EXPECT_THROW(e.SetIdent(std::string("a\0b", 3)), IERegistryEntry);

  // A specifier that refuses the component leaves the entry as it was.
  delete ctx_->Driver();
  e.SetInteger(9);
  EXPECT_THROW(e.SetPathSpecifier(Find<TCustomPathSpecifier>("psMainInstall")), IException);
  EXPECT_EQ(e.EntryType(), TRegistryEntryType::retInteger);
  EXPECT_EQ(e.PathSpecifier(), nullptr);
  EXPECT_EQ(ErrorOf<IERegistryEntries>([] { TRegistryEntries entries(nullptr); }),
            "Cannot create a TRegistryEntries component with a Nil Owner");
}

TEST_F(InstallRegistryTest, AComposedKeyNeedsTheDriver) {
  LoadWithDriver(R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1",
                     "Key": "\\SOFTWARE\\Mine", "RootKey": "hkCurrentUser"}})");
  Reg()->SetKeySpecifierType(TKeySpecifier::ksProductName);
  EXPECT_EQ(Reg()->Key(), "");
  EXPECT_EQ(Reg()->RootKey(), TRootKeys::hkLocalMachine);
  Reg()->SetKey("\\SOFTWARE\\Ignored");
  EXPECT_EQ(Reg()->Key(), "");

  delete ctx_->Driver();
  EXPECT_EQ(Reg()->KeySpecifierType(), TKeySpecifier::ksAbsolute);
  EXPECT_EQ(ErrorOf<IEInstallRegistry>([&] { Reg()->SetKeySpecifierType(TKeySpecifier::ksVersion); }),
            "There is no TInstall component in your project");
  EXPECT_EQ(Reg()->KeySpecifierType(), TKeySpecifier::ksAbsolute);

  // Loaded without a driver: the stored form fails when the key is needed.
  Start({});
  Load(R"([{"class": "TInstallRegistry", "name": "Reg", "properties": {"KeySpecifierType": "ksCompanyName",
            "Entries": [{"Ident": "A", "Text": "a"}]}}])");
  EXPECT_EQ(ErrorOf<IEInstallRegistry>([&] { Reg()->InstallObjects(); }),
            "There is no TInstall component in your project");
}

TEST_F(InstallRegistryTest, ContainersRunIniFilesBeforeRegistryEntries) {
  LoadWithDriver(R"(
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1"}},
    {"class": "TInstallFileGroup", "name": "Group", "properties": {"Container": "Install1"}},
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1", "DestDirType": "psWindow"}},
    {"class": "TTestEntry", "name": "Other", "properties": {"Container": "Install1"}})");
  std::vector<std::string> order;
  for (TInstallContainer* h : ctx_->Driver()->HelperList()) order.push_back(h->Name());
  EXPECT_THAT(order, ElementsAre("Group", "Ini", "Reg", "Other"));
}

}  // namespace
}  // namespace brimwell::testing
