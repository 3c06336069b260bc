// The machine's Program Manager over DDE: macros, answers, the registry it
// keeps its groups in, and the recording transport's faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/dde.h"
#include "platform/program_manager.h"
#include "tests/platform/temp_prefix.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;

class ProgramManagerTest : public ::testing::Test {
 protected:
  ProgramManagerTest() : machine_(OpenMachine(tmp_.path() / "prefix")) {
    conversation_ = DdeOf(*machine_).NewConversation();
  }

  bool Connect() { return conversation_->Connect("PROGMAN", "PROGMAN"); }
  std::vector<std::string> Lines(const std::string& item) {
    std::vector<std::string> lines;
    auto answer = conversation_->Request(item);
    if (!answer) return {"<no answer>"};
    std::istringstream in(*answer);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  TempDir tmp_;
  std::unique_ptr<Machine> machine_;
  std::unique_ptr<DdeConversation> conversation_;
};

TEST_F(ProgramManagerTest, GroupsAndItemsAreMadeListedAndKept) {
  EXPECT_FALSE(conversation_->Connect("PROGMAN", "Other"));
  EXPECT_FALSE(conversation_->Execute("[CreateGroup(\"Tools\")]"));  // not connected
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(conversation_->Execute("[CreateGroup(\"Tools\")]"));
  EXPECT_TRUE(conversation_->Execute("[ShowGroup(Tools,8)]"));
  EXPECT_TRUE(conversation_->Execute(
      "[AddItem(\"C:\\Program Files\\Tool\\tool.exe\" /a,Tool,,0,,,\"C:\\Program Files\\Tool\",)]"));
  EXPECT_TRUE(conversation_->Execute("[AddItem(C:\\WINDOWS\\notepad.exe,Readme, x.ico ,3,,,C:\\WINDOWS,)]"));
  // A second CreateGroup activates the group instead of making another.
  EXPECT_TRUE(conversation_->Execute("[CreateGroup(\"tools\")]"));
  EXPECT_THAT(Lines("Groups"), ElementsAre("Tools"));
  EXPECT_THAT(Lines("TOOLS"),
              ElementsAre("\"Tools\",2",
                          "\"Tool\",\"\"C:\\Program Files\\Tool\\tool.exe\" /a\",C:\\Program Files\\Tool,,,,0,,0",
                          "\"Readme\",\"C:\\WINDOWS\\notepad.exe\",C:\\WINDOWS,x.ico,,,3,,0"));
  EXPECT_THAT(Lines("Accessories"), ElementsAre("<no answer>"));

  // Another process sees the same groups: they live in the prefix's registry.
  machine_.reset();
  machine_ = OpenMachine(tmp_.path() / "prefix");
  ProgramManager again(machine_->GetRegistry());
  auto group = again.Group("Tools");
  ASSERT_TRUE(group);
  ASSERT_EQ(group->items.size(), 2u);
  EXPECT_EQ(group->items[1].name, "Readme");
  EXPECT_EQ(group->items[1].icon_index, 3);
  EXPECT_EQ(group->items[1].default_dir, "C:\\WINDOWS");
  EXPECT_TRUE(machine_->GetRegistry().ValueExists(RegistryHive::kCurrentUser, "Program Groups\\Tools", "Item2"));
}

TEST_F(ProgramManagerTest, ReplaceItemKeepsThePlaceForTheNextItem) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(conversation_->Execute("[CreateGroup(G)][AddItem(a.exe,A)][AddItem(b.exe,B)][AddItem(c.exe,C)]"));
  ASSERT_TRUE(conversation_->Execute("[ShowGroup(G,8)][ReplaceItem(\"B\")]"));
  ASSERT_TRUE(conversation_->Execute("[ShowGroup(G,8)][AddItem(b2.exe,B)]"));
  EXPECT_THAT(Lines("G"), ElementsAre("\"G\",3", "\"A\",\"a.exe\",,,,,0,,0", "\"B\",\"b2.exe\",,,,,0,,0",
                                      "\"C\",\"c.exe\",,,,,0,,0"));
}

TEST_F(ProgramManagerTest, BadMacrosFailAndChangeNothingAfterThem) {
  ASSERT_TRUE(Connect());
  for (const char* bad : {"[AddItem(a.exe,A)]",  // no active group
                          "[ShowGroup(Missing,8)]", "[CreateGroup(\"A\\B\")]", "[CreateGroup(\"\")]",
                          "[Nonsense(1)]", "[CreateGroup(\"X\"", "CreateGroup(X)", "[CreateGroup(\"X)]"}) {
    EXPECT_FALSE(conversation_->Execute(bad)) << bad;
  }
  EXPECT_THAT(Lines("Groups"), ElementsAre());
  ASSERT_TRUE(conversation_->Execute("[CreateGroup(G)]"));
  EXPECT_FALSE(conversation_->Execute("[ReplaceItem(Missing)]"));
  EXPECT_FALSE(conversation_->Execute("[AddItem(a.exe,A,,notanumber)]"));
  EXPECT_FALSE(conversation_->Execute("[AddItem(a.exe,A)][Nonsense][AddItem(b.exe,B)]"));
  EXPECT_THAT(Lines("G"), ElementsAre("\"G\",1", "\"A\",\"a.exe\",,,,,0,,0"));
  EXPECT_TRUE(conversation_->Execute("[DeleteGroup(G)]"));
  EXPECT_THAT(Lines("G"), ElementsAre("<no answer>"));
}

TEST_F(ProgramManagerTest, TheRecordingTransportWritesATranscriptAndInjectsFaults) {
  auto recording = std::make_unique<RecordingDde>(NewDde(*machine_));
  RecordingDde* dde = recording.get();
  machine_->Attach<Dde>(std::move(recording));
  auto c = DdeOf(*machine_).NewConversation();
  dde->RefuseConnect(true);
  EXPECT_FALSE(c->Connect("PROGMAN", "PROGMAN"));
  dde->RefuseConnect(false);
  ASSERT_TRUE(c->Connect("PROGMAN", "PROGMAN"));
  dde->RefuseExecuteContaining("AddItem");
  dde->SilenceRequest("G");
  EXPECT_TRUE(c->Execute("[CreateGroup(G)]"));
  EXPECT_FALSE(c->Execute("[AddItem(a.exe,A)]"));
  EXPECT_FALSE(c->Request("G"));
  EXPECT_TRUE(c->Request("Groups"));
  c->Disconnect();
  EXPECT_THAT(dde->Transcript(),
              ElementsAre("connect PROGMAN PROGMAN refused", "connect PROGMAN PROGMAN", "execute [CreateGroup(G)]",
                          "execute [AddItem(a.exe,A)] refused", "request G no answer", "request Groups",
                          "disconnect"));
}

}  // namespace
}  // namespace brimwell::testing
