#include "platform/registry_text.h"

#include <sstream>

#include "platform/platform_errors.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell {
namespace {

using testing::PrefixTest;

constexpr RegistryHive kHKLM = RegistryHive::kLocalMachine;

class RegistryTextTest : public PrefixTest {
 protected:
  std::string Export(RegistryHive hive, const std::string& key) {
    std::ostringstream out;
    EXPECT_TRUE(ExportRegistryText(registry(), hive, key, out));
    return out.str();
  }
};

TEST_F(RegistryTextTest, ExportWritesTheRegistryEditorFormat) {
  const std::string key = "SOFTWARE\\Acme";
  ASSERT_TRUE(registry().WriteString(kHKLM, key, "", "default").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, key, "Name", "say \"hi\" in C:\\x").ok());
  ASSERT_TRUE(registry().WriteDword(kHKLM, key, "Count", 10).ok());
  ASSERT_TRUE(registry().WriteBinary(kHKLM, key, "Blob", std::string("\x01\x02\xff", 3)).ok());
  ASSERT_TRUE(registry().CreateKey(kHKLM, key + "\\Sub").ok());
  EXPECT_EQ(Export(kHKLM, "\\SOFTWARE\\Acme\\"),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme]\n"
            "@=\"default\"\n"
            "\"Name\"=\"say \\\"hi\\\" in C:\\\\x\"\n"
            "\"Count\"=dword:0000000a\n"
            "\"Blob\"=hex:01,02,ff\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Sub]\n"
            "\n");
  std::ostringstream none;
  EXPECT_FALSE(ExportRegistryText(registry(), kHKLM, "SOFTWARE\\Missing", none));
  EXPECT_TRUE(none.str().empty());
}

TEST_F(RegistryTextTest, ExportThenImportGivesBackEveryValue) {
  const std::string key = "SOFTWARE\\Round";
  ASSERT_TRUE(registry().CreateKey(kHKLM, key + "\\Deep\\Deeper").ok());
  std::vector<std::pair<std::string, RegistryValue>> values = {
      {"", RegistryValue::String("d")},
      {"quote\"and\\slash", RegistryValue::String("a \"b\" \\c\\")},
      {"lines", RegistryValue::String("one\r\ntwo\0three")},
      {"long", RegistryValue::Binary(std::string(300, '\xAB'))},
      {"multi", RegistryValue::MultiString({"\\??\\C:\\a", "", "\xC3\xA9t\xC3\xA9"})},
      {"expand", {RegistryValueType::kExpandString, "%TEMP%\\x"}},
      {"odd", {static_cast<RegistryValueType>(11), std::string(8, '\x07')}},
      {"max", RegistryValue::Dword(0xFFFFFFFF)},
  };
  for (const auto& [name, value] : values) ASSERT_TRUE(registry().SetValue(kHKLM, key + "\\Deep", name, value).ok());
  std::string text = Export(kHKLM, key);
  // Long data is wrapped as the registry editor wraps it.
  EXPECT_NE(text.find(",\\\n  ab,"), std::string::npos);

  ASSERT_TRUE(registry().DeleteTree(kHKLM, key).ok());
  RegistryImportResult result = ImportRegistryText(registry(), text);
  EXPECT_EQ(result.keys, 3);
  EXPECT_EQ(result.values, static_cast<int>(values.size()));
  for (const auto& [name, value] : values) {
    EXPECT_EQ(registry().QueryValue(kHKLM, key + "\\Deep", name), value) << name;
  }
  EXPECT_TRUE(registry().KeyExists(kHKLM, key + "\\Deep\\Deeper"));
  EXPECT_EQ(Export(kHKLM, key), text);
}

TEST_F(RegistryTextTest, ImportReadsUnicodeFilesAndDeletions) {
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Old\\Sub", "x", "1").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Keep", "gone", "1").ok());
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; a comment\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n\r\n"
      "[HKLM\\SOFTWARE\\Keep]\r\n"
      "\"gone\"=-\r\n"
      "\"wide\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"split\"=hex:01,\\\r\n"
      "  02\r\n";
  std::string wide = "\xFF\xFE";
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  ImportRegistryText(registry(), wide);
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Old"));
  EXPECT_FALSE(registry().ValueExists(kHKLM, "SOFTWARE\\Keep", "gone"));
  EXPECT_EQ(registry().QueryValue(kHKLM, "SOFTWARE\\Keep", "wide"),
            (RegistryValue{RegistryValueType::kExpandString, "%A%"}));
  EXPECT_EQ(registry().ReadBinary(kHKLM, "SOFTWARE\\Keep", "split"), std::string("\x01\x02", 2));

  // The older header: hex(1) data is ANSI there.
  ImportRegistryText(registry(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Old]\n\"a\"=hex(1):41,42,00\n");
  EXPECT_EQ(registry().ReadString(RegistryHive::kCurrentUser, "Software\\Old", "a"), "AB");
}

TEST_F(RegistryTextTest, ALineBreakInANameCannotPlantAKeyThroughExportAndImport) {
  // The name would export as "[...\Evil" and a line of its own naming the
  // RunOnce key, which an import would then create and fill.
  const std::string run_once = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  const std::string evil = "SOFTWARE\\Evil]\n[HKEY_LOCAL_MACHINE\\" + run_once + "]\n\"Boom\"=\"/bin/false\"\n[x";
  EXPECT_EQ(registry().CreateKey(kHKLM, evil).error(), kErrorInvalidParameter);
  EXPECT_EQ(registry().WriteString(kHKLM, evil, "v", "x").error(), kErrorInvalidParameter);
  for (const std::string& name : {std::string("a\rb"), std::string("tab\there"), std::string("del\x7f"),
                                 std::string("nul\0", 4)}) {
    EXPECT_EQ(registry().CreateKey(kHKLM, std::string("SOFTWARE\\") + name).error(), kErrorInvalidParameter) << name;
  }
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Evil]"));
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Evil"));

  // Value names may hold one (as on Windows), but the export refuses them.
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Acme", "ok", "fine").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Acme", "x\"=\"\"\n[HKEY_LOCAL_MACHINE\\" + run_once + "]\n\"Boom",
                                     "/bin/false").ok());
  std::ostringstream out;
  try {
    ExportRegistryText(registry(), kHKLM, "SOFTWARE\\Acme", out);
    ADD_FAILURE() << out.str();
  } catch (const ERegistryTextError& e) {
    EXPECT_EQ(std::string(e.what()), "the value name \"x\"=\"\"\\x0a[HKEY_LOCAL_MACHINE\\" + run_once +
                                         "]\\x0a\"Boom\" of the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme holds a "
                                         "line break, which registry text cannot carry");
  }
  EXPECT_THROW(ExportAllRegistryText(registry(), out), ERegistryTextError);
  // Data with line breaks still goes out as hex and comes back the same.
  ASSERT_TRUE(registry().DeleteValue(kHKLM, "SOFTWARE\\Acme", "x\"=\"\"\n[HKEY_LOCAL_MACHINE\\" + run_once +
                                                                  "]\n\"Boom").ok());
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Acme", "lines", "a\n[HKEY_LOCAL_MACHINE\\X]\n").ok());
  std::string text = Export(kHKLM, "SOFTWARE\\Acme");
  EXPECT_NE(text.find("\"lines\"=hex(1):"), std::string::npos) << text;
  ASSERT_TRUE(registry().DeleteTree(kHKLM, "SOFTWARE\\Acme").ok());
  ImportRegistryText(registry(), text);
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Acme", "lines"), "a\n[HKEY_LOCAL_MACHINE\\X]\n");
  EXPECT_FALSE(registry().KeyExists(kHKLM, run_once) && registry().ValueExists(kHKLM, run_once, "Boom"));
  EXPECT_FALSE(registry().KeyExists(kHKLM, "X"));
}

TEST_F(RegistryTextTest, BadLinesAreErrorsWithTheirNumber) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"[HKLM\\SOFTWARE\\x]\n", "line 1: the file does not begin with \"Windows Registry Editor Version 5.00\""},
      {"Windows Registry Editor Version 5.00\n\n\"a\"=\"b\"\n", "line 3: a value before any [key]"},
      {"Windows Registry Editor Version 5.00\n[HKXX\\a]\n", "line 2: Invalid registry key HKXX\\a"},
      {"Windows Registry Editor Version 5.00\n[HKLM\\a]\n\"a\"=dword:123456789\n", "line 3: bad dword data"},
      {"Windows Registry Editor Version 5.00\n[HKLM\\a]\n\"a\"=\"open\n", "line 3: a string without its closing quote"},
      {"Windows Registry Editor Version 5.00\n[HKLM\\a]\n\"a\"=hex:1,zz\n", "line 3: bad hexadecimal data"},
      {"Windows Registry Editor Version 5.00\n[HKLM\\a\n", "line 2: a key without its closing ]"},
      {"Windows Registry Editor Version 5.00\n[HKLM\\a\x1b[2Jb]\n",
       "line 2: cannot create the key HKLM\\a\\x1b[2Jb: The parameter is incorrect."},
  };
  for (const Case& c : cases) {
    try {
      ImportRegistryText(registry(), c.text);
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const ERegistryTextError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST_F(RegistryTextTest, AnImportIsAllOrNothing) {
  ASSERT_TRUE(registry().WriteString(kHKLM, "SOFTWARE\\Acme", "Kept", "old"));
  // Thousands of good keys, then a bad line: not one key of the file stays,
  // and the value it would have overwritten keeps its old data.
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme]\n\"Kept\"=\"new\"\n";
  for (int i = 0; i < 3000; ++i) text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\K" + std::to_string(i) + "]\n\"v\"=dword:1\n";
  std::string bad = text + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\Last]\n\"v\"=dword:zz\n";
  EXPECT_THROW(ImportRegistryText(registry(), bad), ERegistryTextError);
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Bulk"));
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Acme", "Kept"), "old");
  // The same with a write that the store refuses late in the file.
  std::string refused = text + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\a\x01b]\n";
  EXPECT_THROW(ImportRegistryText(registry(), refused), ERegistryTextError);
  EXPECT_FALSE(registry().KeyExists(kHKLM, "SOFTWARE\\Bulk"));
  // And the good file is applied whole.
  RegistryImportResult result = ImportRegistryText(registry(), text);
  EXPECT_EQ(result.keys, 3001);
  EXPECT_EQ(registry().SubKeys(kHKLM, "SOFTWARE\\Bulk")->size(), 3000u);
  EXPECT_EQ(registry().ReadString(kHKLM, "SOFTWARE\\Acme", "Kept"), "new");
}

}  // namespace
}  // namespace brimwell
