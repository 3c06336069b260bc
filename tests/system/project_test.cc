// Registry and INI components in a project file: what the project check of
// `brimwell bind` refuses (naming component, entry and property), a save
// and reload that keeps every entry, and the stored defaults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/project_check.h"
#include "framework/class_registry.h"
#include "system/install_ini_file.h"
#include "system/install_registry.h"
#include "tests/system/system_fixture.h"

namespace brimwell::testing {
namespace {

class SystemProjectTest : public SystemTest {
 protected:
  // The project check's verdict on a project of a driver and `components`.
  std::string Check(const std::string& components) {
    const std::string text = R"({"format": "brimwell-project/1", "components": [
        {"class": "TInstall", "name": "Install1"}, )" + components + "]}";
    try {
      PrepareProjectForBinding(text, tmp_.path(), &RegisterSystemClasses);
    } catch (const EProjectError& e) {
      return e.Message();
    }
    return "accepted";
  }
};

TEST_F(SystemProjectTest, TheCheckNamesTheComponentTheEntryAndTheProperty) {
  struct Case {
    const char* component;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Entries": [{"Ident": "a"}, {"Integer": 2147483648}]}})",
       R"(component "Reg" (TInstallRegistry), property "Entries[1].Integer": value out of range for a 32-bit integer)"},
      {R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Entries": [{"EntryType": "retDword"}]}})",
       R"(component "Reg" (TInstallRegistry), property "Entries[0].EntryType": unknown value "retDword" of TRegistryEntryType (one of retText, retInteger, retBoolean))"},
      {R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Entries": [{}, {}, {"PathSpecifier": "Nowhere"}]}})",
       R"(component "Reg" (TInstallRegistry), property "Entries[2].PathSpecifier": no component named "Nowhere")"},
      {R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Entries": [{"Ident": "a\u0000b"}]}})",
       R"(component "Reg" (TInstallRegistry), property "Entries[0].Ident": A registry value name cannot hold a NUL character)"},
      {R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"RootKey": "hkLocal"}})",
       R"(component "Reg" (TInstallRegistry), property "RootKey": unknown value "hkLocal" of TRootKeys (one of hkClassesRoot, hkCurrentConfig, hkCurrentUser, hkDynData, hkLocalMachine, hkUsers))"},
      {R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Lines": [{"Value": "a\nb"}]}})",
       R"(component "Ini" (TInstallINIFile), property "Lines[0].Value": An INI file cannot hold line breaks or NUL characters in a section, key or value)"},
      {R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Lines": [{}, {"Section": "a]"}]}})",
       R"(component "Ini" (TInstallINIFile), property "Lines[1].Section": An INI section name cannot hold "]")"},
      {R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Lines": [{"Ident": "k=v"}]}})",
       R"(component "Ini" (TInstallINIFile), property "Lines[0].Ident": An INI key name cannot be blank, hold "=" or begin with "[" or ";")"},
      {R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Lines": [{"Key": "x"}]}})",
       R"(component "Ini" (TInstallINIFile), property "Lines[0].Key": unknown property)"},
      {R"({"class": "TInstallINIFile", "name": "Ini", "properties": {"Lines": {"Section": "x"}}})",
       R"(component "Ini" (TInstallINIFile), property "Lines": expected an array of objects, found object)"},
      {R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Include": false}})",
       R"(component "Reg" (TInstallRegistry), property "Include": unknown property)"},
  };
  for (const Case& c : cases) EXPECT_EQ(Check(c.component), c.expected) << c.component;
  EXPECT_EQ(Check(R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"KeySpecifierType": "ksVersion",
                      "Entries": [{"Ident": "a", "Integer": -2147483648, "EntryType": "retInteger"}]}},
                     {"class": "TInstallINIFile", "name": "Ini", "properties": {"Lines": [{"Value": "Grüße"}]}})"),
            "accepted");
}

TEST_F(SystemProjectTest, ASavedProjectLoadsWithTheSameEntries) {
  LoadWithDriver(R"(
    {"class": "TPathSpecifier", "name": "Spec"},
    {"class": "TInstallRegistry", "name": "Reg", "properties": {"Container": "Install1", "RootKey": "hkUsers",
      "KeySpecifierType": "ksProductName", "InstallTypes": ["itFull"], "Entries": [
        {"Ident": "T", "Text": "%p\\x", "PathSpecifier": "Spec"},
        {"Ident": "I", "EntryType": "retInteger", "Integer": -5},
        {"Ident": "B", "EntryType": "retBoolean", "Boolean": true}]}},
    {"class": "TInstallINIFile", "name": "Ini", "properties": {"Container": "Install1", "DestDirType": "psWindow",
      "FileName": "a.ini", "Lines": [{"Section": "S", "Ident": "K", "Value": "V", "PathSpecifier": "psSystem"}]}})");
  const std::string saved = SaveProject(*form_);
  Start({});
  LoadProject(saved, registry_, *form_);
  EXPECT_EQ(SaveProject(*form_), saved);

  auto* reg = Find<TInstallRegistry>("Reg");
  ASSERT_EQ(reg->Entries().Count(), 3);
  EXPECT_EQ(reg->KeySpecifierType(), TKeySpecifier::ksProductName);
  EXPECT_EQ(reg->RootKey(), TRootKeys::hkUsers);
  EXPECT_EQ(reg->Entries().Items(0).PathSpecifier(), Find<TCustomPathSpecifier>("Spec"));
  EXPECT_EQ(reg->Entries().Items(1).Integer(), -5);
  EXPECT_EQ(reg->Entries().Items(2).EntryType(), TRegistryEntryType::retBoolean);
  auto* ini = Find<TInstallINIFile>("Ini");
  ASSERT_EQ(ini->Lines().Count(), 1);
  EXPECT_EQ(ini->Lines().Items(0).PathSpecifier(), Find<TCustomPathSpecifier>("psSystem"));
  EXPECT_EQ(ini->Lines().Items(0).Value(), "V");
}

TEST_F(SystemProjectTest, StoredDefaultsMatchTheConstructors) {
  ClassRegistry classes;
  RegisterSystemClasses(classes);
  EXPECT_EQ(FindDefaultMismatches(classes), std::vector<std::string>{});
}

}  // namespace
}  // namespace brimwell::testing
