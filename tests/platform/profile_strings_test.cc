#include "platform/profile_strings.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/platform_errors.h"
#include "tests/platform/temp_prefix.h"
#include "tests/testutil/run.h"

namespace brimwell {
namespace {

using testing::PrefixTest;
using testing::ReadHostFile;
using testing::WriteHostFile;

// Python's own INI reader, set up to read what the Windows profile functions
// read: '=' only, ';' comments, names kept as written, no interpolation.
constexpr char kPythonReader[] = R"(
import configparser, json, sys
cp = configparser.RawConfigParser(delimiters=('=',), comment_prefixes=(';',),
                                  inline_comment_prefixes=None, strict=True,
                                  empty_lines_in_values=False, interpolation=None)
cp.optionxform = str
cp.read(sys.argv[1], encoding='utf-8')
print(json.dumps([[s, [[k, v] for k, v in cp.items(s, raw=True)]] for s in cp.sections()]))
)";

class ProfileStringsTest : public PrefixTest {
 protected:
  ProfileStrings& profile() { return machine().GetProfileStrings(); }

  // [[section, [[key, value], ...]], ...] as Python reads the host file.
  nlohmann::json PythonView(const std::filesystem::path& file) {
    std::filesystem::path script = dir_.path() / "reader.py";
    WriteHostFile(script, kPythonReader);
    testing::RunResult run = testing::RunProgram("/usr/bin/python3", {script.string(), file.string()},
                                                  testing::CleanEnvironment());
    EXPECT_EQ(run.status, 0) << run.err;
    return nlohmann::json::parse(run.out);
  }

  // The same view through the profile-string service.
  nlohmann::json OurView(const std::string& file) {
    nlohmann::json view = nlohmann::json::array();
    for (const std::string& section : profile().SectionNames(file)) {
      nlohmann::json keys = nlohmann::json::array();
      for (const std::string& key : profile().KeyNames(file, section)) {
        keys.push_back({key, profile().GetString(file, section, key, "<default>")});
      }
      view.push_back({section, keys});
    }
    return view;
  }
};

TEST_F(ProfileStringsTest, WrittenFilesReadTheSameInPython) {
  const std::string file = "C:\\Program Files\\Acme\\acme.ini";
  ASSERT_TRUE(files().ForceDirectories("C:\\Program Files\\Acme"));
  ASSERT_TRUE(profile().WriteString(file, "Settings", "Path", "C:\\Program Files\\Acme").ok());
  ASSERT_TRUE(profile().WriteString(file, "Settings", "Count", "3").ok());
  ASSERT_TRUE(profile().WriteString(file, "Fonts", "Main", "Arial,10").ok());
  ASSERT_TRUE(profile().WriteString(file, "settings", "PATH", "D:\\Elsewhere").ok());  // same key, other case
  ASSERT_TRUE(profile().WriteString(file, "Settings", "Empty", "").ok());
  ASSERT_TRUE(profile().WriteString(file, "Old", "Gone", "1").ok());
  ASSERT_TRUE(profile().WriteString(file, "OLD", std::nullopt, std::nullopt).ok());  // deletes the section
  ASSERT_TRUE(profile().WriteString(file, "Settings", "Count", std::nullopt).ok());  // deletes the key
  ASSERT_TRUE(profile().WriteString(file, "Fonts", "Title", "Times New Roman , 12").ok());

  nlohmann::json ours = OurView(file);
  EXPECT_EQ(ours, PythonView(drive_c() / "Program Files" / "Acme" / "acme.ini"));
  EXPECT_EQ(ours.dump(),
            R"([["Settings",[["Path","D:\\Elsewhere"],["Empty",""]]],["Fonts",[["Main","Arial,10"],)"
            R"(["Title","Times New Roman , 12"]]]])");
}

TEST_F(ProfileStringsTest, HandWrittenFilesReadTheSameInPython) {
  std::string text =
      "; settings of the tool\r\n"
      "[Main]\r\n"
      "  Name = Acme Tool  \r\n"
      "Version=2.1\r\n"
      "\r\n"
      "; fonts follow\r\n"
      "[ Fonts ]\r\n"
      "Face=Arial\r\n"
      "Empty=\r\n"
      "[Paths]\r\n"
      "Data=C:\\data;D:\\more\r\n";
  WriteHostFile(drive_c() / "WINDOWS" / "tool.ini", text);
  nlohmann::json ours = OurView("tool.ini");  // a bare name is in the Windows directory
  EXPECT_EQ(ours, PythonView(drive_c() / "WINDOWS" / "tool.ini"));
  EXPECT_EQ(profile().GetString("TOOL.INI", "main", "NAME", ""), "Acme Tool");
  EXPECT_EQ(profile().GetString("tool.ini", " Fonts ", "face", ""), "Arial");
}

TEST_F(ProfileStringsTest, OtherLinesStayAsTheyAre) {
  std::string text =
      "[Boot]\n"
      "shell=progman.exe   ; keep this comment\n"
      "odd line without equals\n"
      "\n"
      "[Other]\n"
      "x = 1\n";
  WriteHostFile(drive_c() / "WINDOWS" / "system.ini", text);
  ASSERT_TRUE(profile().WriteString("system.ini", "boot", "drivers", "mmsystem.dll").ok());
  ASSERT_TRUE(profile().WriteString("system.ini", "Other", "X", "2").ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "WINDOWS" / "system.ini"),
            "[Boot]\n"
            "shell=progman.exe   ; keep this comment\n"
            "odd line without equals\n"
            "drivers=mmsystem.dll\n"
            "\n"
            "[Other]\n"
            "x=2\n");
}

TEST_F(ProfileStringsTest, ReadingFollowsTheProfileFunctions) {
  WriteHostFile(drive_c() / "WINDOWS" / "q.ini",
                "[S]\nquoted=\"  padded  \"\nsingle='x'\nhalf=\"open\nlong=" + std::string(2000, 'L') +
                    "\nfirst=1\nfirst=2\nnum= -42abc\nhex=0x1F\n[S]\nlater=3\n");
  EXPECT_EQ(profile().GetString("q.ini", "S", "quoted", ""), "  padded  ");
  EXPECT_EQ(profile().GetString("q.ini", "S", "single", ""), "x");
  EXPECT_EQ(profile().GetString("q.ini", "S", "half", ""), "\"open");
  EXPECT_EQ(profile().GetString("q.ini", "S", "long", "").size(), ProfileStrings::kMaxValueLength);
  EXPECT_EQ(profile().GetString("q.ini", "S", "first", ""), "1");  // the first of duplicates
  EXPECT_EQ(profile().GetString("q.ini", "S", "later", "none"), "none");  // only the first section counts
  EXPECT_EQ(profile().GetString("q.ini", "S", "missing", "default  "), "default");
  EXPECT_EQ(profile().GetString("C:\\none.ini", "S", "k", "d"), "d");
  EXPECT_EQ(profile().GetInt("q.ini", "S", "num", 5), -42);
  EXPECT_EQ(profile().GetInt("q.ini", "S", "hex", 5), 31);
  EXPECT_EQ(profile().GetInt("q.ini", "S", "quoted", 5), 0);
  EXPECT_EQ(profile().GetInt("q.ini", "S", "missing", 5), 5);
  EXPECT_EQ(profile().SectionNames("q.ini"), (std::vector<std::string>{"S"}));
  EXPECT_TRUE(profile().SectionNames("C:\\none.ini").empty());
  EXPECT_TRUE(profile().KeyNames("q.ini", "none").empty());
}

TEST_F(ProfileStringsTest, WritingCreatesWhatIsMissingAndReportsWhatCannotBe) {
  ASSERT_TRUE(profile().WriteString("C:\\new.ini", "Sec", "Key", "Value").ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "new.ini"), "[Sec]\r\nKey=Value\r\n");
  ASSERT_TRUE(profile().WriteString("C:\\new.ini", "Two", "K", "V").ok());
  EXPECT_EQ(ReadHostFile(drive_c() / "new.ini"), "[Sec]\r\nKey=Value\r\n\r\n[Two]\r\nK=V\r\n");
  EXPECT_EQ(profile().WriteString("C:\\no\\dir\\x.ini", "S", "K", "V").error(), kErrorPathNotFound);
  // Deleting from a missing file creates nothing.
  ASSERT_TRUE(profile().WriteString("C:\\gone.ini", "S", "K", std::nullopt).ok());
  EXPECT_FALSE(files().FileExists("C:\\gone.ini"));
  ASSERT_TRUE(files().SetAttributes("C:\\new.ini", kFileAttributeReadOnly).ok());
  EXPECT_EQ(profile().WriteString("C:\\new.ini", "Sec", "Key", "Other").error(), kErrorAccessDenied);
  EXPECT_EQ(profile().GetString("C:\\new.ini", "Sec", "Key", ""), "Value");
}

TEST_F(ProfileStringsTest, AFileThatIsNotTextIsAClearError) {
  WriteHostFile(drive_c() / "binary.ini", std::string("[S]\nk=v\n\0\x01\x02", 11));
  try {
    profile().GetString("C:\\binary.ini", "S", "k", "");
    FAIL() << "no error for a binary file";
  } catch (const EProfileError& e) {
    EXPECT_STREQ(e.what(), "The INI file C:\\binary.ini is not a text file");
  }
  EXPECT_THROW((void)profile().WriteString("C:\\binary.ini", "S", "k", "w"), EProfileError);
  EXPECT_EQ(ReadHostFile(drive_c() / "binary.ini").size(), 11u);  // untouched
}

TEST_F(ProfileStringsTest, UnicodeFilesStayUnicode) {
  // A UTF-16LE file with its byte-order mark, as Windows writes Unicode INI files.
  std::string wide = "\xFF\xFE";
  for (char c : std::string("[S]\r\nk=v\r\n")) {
    wide += c;
    wide += '\0';
  }
  WriteHostFile(drive_c() / "wide.ini", wide);
  EXPECT_EQ(profile().GetString("C:\\wide.ini", "S", "k", ""), "v");
  ASSERT_TRUE(profile().WriteString("C:\\wide.ini", "S", "n", "w").ok());
  std::string after = ReadHostFile(drive_c() / "wide.ini");
  EXPECT_EQ(after.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(profile().GetString("C:\\wide.ini", "S", "n", ""), "w");
}

}  // namespace
}  // namespace brimwell
