#include "framework/string_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace brimwell {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

Lines Split(std::string_view text) {
  TStringList list;
  list.SetText(text);
  return list.Lines();
}

TEST(StringListTest, SetTextSplitsAtEveryKindOfLineBreak) {
  EXPECT_EQ(Split("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(Split(""), Lines{});
  EXPECT_EQ(Split("a"), Lines{"a"});
  // A break at the very end ends the last line; it does not start another.
  EXPECT_EQ(Split("a\r\n"), Lines{"a"});
  EXPECT_EQ(Split("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(Split("\n"), Lines{""});
  // CR CR LF is an empty line; LF CR is two breaks, not one.
  EXPECT_EQ(Split("a\r\r\nb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(Split("\n\r"), (Lines{"", ""}));
  EXPECT_EQ(Split(std::string_view("a\0b\n", 4)), Lines{std::string("a\0b", 3)});
}

TEST(StringListTest, TextEndsEveryLineSoEmptyLastLinesSurvive) {
  EXPECT_EQ(TStringList({"a", "b"}).Text(), "a\r\nb\r\n");
  EXPECT_EQ(TStringList().Text(), "");
  for (const Lines& lines : {Lines{"a", "", ""}, Lines{""}, Lines{"", "x"}}) {
    TStringList list{std::vector<std::string>(lines)};
    EXPECT_EQ(Split(list.Text()), lines);
  }
}

TEST(StringListTest, IndexOfIgnoresAsciiCaseUnlessAsked) {
  TStringList list{"Readme.TXT", "readme.txt", "\xC3\x84pfel"};
  EXPECT_EQ(list.IndexOf("README.txt"), 0);
  EXPECT_EQ(list.IndexOf("readme.txt", true), 1);
  EXPECT_EQ(list.IndexOf("README.TXT", true), -1);
  EXPECT_EQ(list.IndexOf("readme"), -1);
  EXPECT_EQ(list.IndexOf("\xC3\xA4pfel"), -1);  // only ASCII letters fold
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("README.txt"), -1);
  EXPECT_EQ(list.IndexOf("readme.txt"), 1);
}

TEST(StringListTest, BadIndexesRaiseWithTheIndex) {
  TStringList list{"a", "b"};
  auto expect_error = [](auto&& call, const char* message) {
    try {
      call();
      ADD_FAILURE() << "no error for " << message;
    } catch (const EStringListError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  };
  expect_error([&] { list.Strings(2); }, "List index out of bounds (2)");
  expect_error([&] { list.Strings(-1); }, "List index out of bounds (-1)");
  expect_error([&] { list.Delete(2); }, "List index out of bounds (2)");
  expect_error([&] { list.Insert(3, "x"); }, "List index out of bounds (3)");
  expect_error([&] { list.Move(0, 2); }, "List index out of bounds (2)");
  expect_error([&] { list.SetStrings(5, "x"); }, "List index out of bounds (5)");
  expect_error([&] { list.Names(2); }, "List index out of bounds (2)");
  EXPECT_EQ(list.Lines(), (Lines{"a", "b"}));
  list.Insert(2, "c");  // inserting at Count appends
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "c"}));
}

TEST(StringListTest, EditingOperations) {
  TStringList list{"a", "b", "c", "d"};
  list.Move(0, 2);
  EXPECT_EQ(list.Lines(), (Lines{"b", "c", "a", "d"}));
  list.Move(3, 0);
  EXPECT_EQ(list.Lines(), (Lines{"d", "b", "c", "a"}));
  list.Exchange(0, 3);
  list.Delete(1);
  EXPECT_EQ(list.Add("e"), 3);
  EXPECT_EQ(list.Lines(), (Lines{"a", "c", "d", "e"}));
  list.AddStrings(list);  // adding a list to itself doubles it once
  EXPECT_EQ(list.Count(), 8);
  list.Assign(TStringList{"x"});
  EXPECT_EQ(list, TStringList({"x"}));
  list.Assign(list);
  EXPECT_EQ(list.Lines(), Lines{"x"});
  EXPECT_NE(list, TStringList({"X"}));  // equality is exact
}

TEST(StringListTest, NameValueLines) {
  TStringList list{"Path=C:\\App", "Flag", "Key=a=b", "Empty="};
  EXPECT_EQ(list.Values("path"), "C:\\App");
  EXPECT_EQ(list.Values("Key"), "a=b");  // the first "=" splits
  EXPECT_EQ(list.Values("Flag"), "");     // a line without "=" is no entry
  EXPECT_EQ(list.IndexOfName("Flag"), -1);
  EXPECT_EQ(list.IndexOfName("empty"), 3);
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.Names(2), "Key");
  EXPECT_EQ(list.ValueFromIndex(2), "a=b");
  list.SetValues("PATH", "D:\\");
  list.SetValues("New", "1");
  list.SetValues("key", "");  // an empty value deletes the entry
  list.SetValues("Missing", "");
  EXPECT_EQ(list.Lines(), (Lines{"PATH=D:\\", "Flag", "Empty=", "New=1"}));
}

class StringListFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brimwell-string-list-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteBytes(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }

  fs::path dir_;
};

TEST_F(StringListFileTest, SaveWritesCrLfAndLoadReadsItBack) {
  TStringList list{"[Setup]", "", "Title=Tool"};
  list.SaveToFile(dir_ / "out.txt");
  EXPECT_EQ(ReadBytes(dir_ / "out.txt"), "[Setup]\r\n\r\nTitle=Tool\r\n");
  TStringList back;
  back.LoadFromFile(dir_ / "out.txt");
  EXPECT_EQ(back, list);
}

TEST_F(StringListFileTest, LoadAcceptsUnixLinesAndDropsAByteOrderMark) {
  WriteBytes(dir_ / "in.txt", "\xEF\xBB\xBFone\ntwo\n");
  TStringList list;
  list.LoadFromFile(dir_ / "in.txt");
  EXPECT_EQ(list.Lines(), (Lines{"one", "two"}));
}

TEST_F(StringListFileTest, FailuresNameTheFileAndLeaveTheListAlone) {
  TStringList list{"kept"};
  try {
    list.LoadFromFile(dir_ / "missing.txt");
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + (dir_ / "missing.txt").string() + "\". No such file or directory");
  }
  EXPECT_EQ(list.Lines(), Lines{"kept"});
  EXPECT_THROW(list.SaveToFile(dir_ / "no-dir" / "x.txt"), EStreamError);
  EXPECT_THROW(list.LoadFromFile(dir_), EStreamError);  // a directory is no text file
}

// A derived list (a language table, say) re-parses after each change; each
// operation must reach it once and not again through another virtual call.
class CountingList : public TStringList {
 public:
  using TStringList::TStringList;
  void SetText(std::string_view text) override {
    ++calls;
    TStringList::SetText(text);
  }
  int Add(std::string line) override {
    ++calls;
    return TStringList::Add(std::move(line));
  }
  void LoadFromFile(const std::string& path) override {
    ++calls;
    TStringList::LoadFromFile(path);
  }
  int calls = 0;
};

TEST_F(StringListFileTest, BulkOperationsDoNotCallOtherOverrides) {
  WriteBytes(dir_ / "in.txt", "a\nb\nc\n");
  CountingList list;
  list.LoadFromFile(dir_ / "in.txt");
  list.AddStrings(TStringList{"d", "e"});
  list.Assign(TStringList{"f"});
  EXPECT_EQ(list.calls, 1);
}

}  // namespace
}  // namespace brimwell
