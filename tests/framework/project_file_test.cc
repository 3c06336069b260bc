#include "framework/project_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framework/class_registry.h"
#include "tests/framework/test_classes.h"

namespace brimwell {
namespace {

using testing::TLine;
using testing::TRoot;
using testing::TWidget;

std::string Project(const std::string& components) {
  return R"({"format": "brimwell-project/1", "components": [)" + components + "]}";
}

class ProjectFileTest : public ::testing::Test {
 protected:
  ProjectFileTest() { testing::RegisterTestClasses(registry_); }

  void Load(const std::string& text) { LoadProject(text, registry_, root_, BRIMWELL_TEST_DATA "/framework"); }

  // Loads `text` expecting failure; returns the message.
  std::string LoadError(const std::string& text) {
    try {
      Load(text);
    } catch (const EProjectError& e) {
      return e.Message();
    }
    return "(loaded)";
  }

  TWidget* Widget(const char* name) { return dynamic_cast<TWidget*>(root_.FindComponent(name)); }

  ClassRegistry registry_;
  TRoot root_;
};

TEST_F(ProjectFileTest, LoadsEveryKindOfProperty) {
  Load(Project(R"(
    {"class": "TTarget", "name": "Tgt"},
    {"class": "TWidget", "name": "W1", "properties": {
       "Visible": false, "Order": 3, "Size": 4000000000, "Caption": "Hello",
       "Mode": "cmLoud", "Modes": ["cmPlain", "cmLoud"], "Lines": ["a", "", "c"],
       "Colour": 255, "Target": "Tgt",
       "Info": {"Company": "Acme"},
       "Entries": [{"Key": "k1"}, {"Key": "k2", "Enabled": false}],
       "Image": "tiny.bmp"}})"));
  TWidget* w = Widget("W1");
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(w->Visible());
  EXPECT_EQ(w->Order(), 3);
  EXPECT_EQ(w->Size(), 4000000000u);
  EXPECT_EQ(w->Caption(), "Hello");
  EXPECT_EQ(w->Mode(), testing::TColourMode::cmLoud);
  EXPECT_EQ(w->Modes(), (testing::TColourModes{testing::TColourMode::cmPlain, testing::TColourMode::cmLoud}));
  EXPECT_EQ(w->Lines(), (std::vector<std::string>{"a", "", "c"}));
  EXPECT_EQ(w->Colour(), 255);
  EXPECT_EQ(w->Target(), root_.FindComponent("Tgt"));
  EXPECT_EQ(w->Info().Company(), "Acme");
  EXPECT_EQ(w->Info().Revision(), 1);  // unstated: default
  ASSERT_EQ(w->Entries().Count(), 2);
  EXPECT_FALSE(dynamic_cast<TLine&>(w->Entries().Items(1)).Enabled());
  EXPECT_EQ(w->Image().Format(), PictureFormat::kBitmap);
  EXPECT_EQ(w->Image().Width(), 2);
  EXPECT_EQ(w->Image().Height(), 3);
}

TEST_F(ProjectFileTest, WritesWhileLoadingStoreOnlyAndLoadedRunsAfterReferences) {
  // SetOrder refuses -5 outside loading; while loading the value is stored.
  Load(Project(R"({"class": "TWidget", "name": "W", "properties": {"Order": -5, "Target": "Later"}},
                  {"class": "TTarget", "name": "Later"})"));
  TWidget* w = Widget("W");
  EXPECT_EQ(w->Order(), -5);
  EXPECT_EQ(w->order_at_loaded, -5);
  EXPECT_EQ(w->loaded_calls, 1);
  EXPECT_NE(w->Target(), nullptr);  // forward reference resolved before Loaded
  EXPECT_FALSE(w->Loading());
  EXPECT_FALSE(root_.Loading());
  EXPECT_THROW(w->SetOrder(-5), EPropertyError);
}

TEST_F(ProjectFileTest, ErrorsNameComponentAndProperty) {
  struct Case {
    const char* components;
    const char* message;
  } cases[] = {
      {R"({"class": "TGadget", "name": "G"})", R"(component "G" (TGadget): unknown class "TGadget")"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Colour1": 1}})",
       R"(component "W" (TWidget), property "Colour1": unknown property)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Visible": "yes"}})",
       R"(component "W" (TWidget), property "Visible": expected true or false, found string)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Order": 3000000000}})",
       R"(component "W" (TWidget), property "Order": value out of range for a 32-bit integer)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Size": -1}})",
       R"(component "W" (TWidget), property "Size": expected a non-negative integer, found number)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Mode": "cmQuiet"}})",
       R"(component "W" (TWidget), property "Mode": unknown value "cmQuiet" of TColourMode (one of cmPlain, cmFancy, cmLoud))"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Modes": ["cmPlain", 2]}})",
       R"(component "W" (TWidget), property "Modes": expected a value name in the set, found number)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Target": "Nobody"}})",
       R"(component "W" (TWidget), property "Target": no component named "Nobody")"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Target": "W2"}}, {"class": "TWidget", "name": "W2"})",
       R"(component "W" (TWidget), property "Target": "W2" is a TWidget, not a TTarget)"},
      {R"({"class": "TTarget", "name": "T"}, {"class": "TTarget", "name": "t"})",
       R"(component "t" (TTarget): a component named t already exists)"},
      {R"({"class": "TTarget", "name": "9lives"})",
       R"(component "9lives" (TTarget): "9lives" is not a valid component name)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Info": {"Company": 5}}})",
       R"(component "W" (TWidget), property "Info.Company": expected a string, found number)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Entries": [{}, {"Kye": "x"}]}})",
       R"(component "W" (TWidget), property "Entries[1].Kye": unknown property)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Image": "missing.bmp"}})",
       "component \"W\" (TWidget), property \"Image\": Cannot open file \"" BRIMWELL_TEST_DATA
       "/framework/missing.bmp\""},
      {R"({"class": "TWidget", "name": "W", "properties": {"Image": "data:image/bmp;base64,AAAA"}})",
       R"(component "W" (TWidget), property "Image": Unknown picture format)"},
      {R"({"class": "TWidget", "name": "W", "properties": {"Order": -9, "Target": null}, "extra": 1})",
       R"(component "W" (TWidget): unknown member "extra")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadError(Project(c.components)), c.message) << c.components;
    EXPECT_EQ(root_.ComponentCount(), 0) << "half-loaded after: " << c.components;
  }
}

TEST_F(ProjectFileTest, DocumentShapeAndSyntaxErrors) {
  EXPECT_EQ(LoadError("{\"format\": \"brimwell-project/1\",\n \"components\": [\n  {\"class\": }\n]}"),
            "line 3, column 13: syntax error while parsing value - unexpected '}'; expected '[', '{', or a literal");
  // Found by fuzzing: this ended the program instead of the load.
  EXPECT_EQ(LoadError(R"({"format": "brimwell-project/1", "components": [], "x": 1e99999})"),
            "number overflow parsing '1e99999'");
  EXPECT_EQ(LoadError(R"({"format": "other/2", "components": []})"),
            R"(project: "format" must be "brimwell-project/1")");
  EXPECT_EQ(LoadError(R"({"format": "brimwell-project/1"})"), R"(project: "components" must be an array)");
  EXPECT_EQ(LoadError(Project(R"({"name": "X"})")), R"(components[0]: "class" must be a string)");
}

TEST_F(ProjectFileTest, NestingDeeperThanTheLimitIsRefusedWithItsLine) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  // 200,000 levels once overflowed the stack of the JSON code; the value
  // sits where the reader copies it into an error message.
  EXPECT_EQ(LoadError("{\"format\":\n\n" + nested(200000) + ", \"components\": []}"),
            "line 3: arrays and objects nest deeper than 512 levels");
  // The document's own braces count; the limit itself is accepted.
  EXPECT_EQ(LoadError("{\"format\": \"brimwell-project/1\", \"components\": [], \"x\": " + nested(511) + "}"),
            "(loaded)");
  EXPECT_EQ(LoadError("{\"format\": \"brimwell-project/1\", \"components\": [], \"x\": " + nested(512) + "}"),
            "line 1: arrays and objects nest deeper than 512 levels");
  // Brackets in strings are text, escaped quotes included.
  std::string in_strings = R"({"format": "brimwell-project/1", "components": [
      {"class": "TWidget", "name": "W", "properties": {"Caption": ")" + std::string(2000, '[') +
                           R"(\"[{"}}]})";
  Load(in_strings);
  ASSERT_NE(Widget("W"), nullptr);
  EXPECT_EQ(Widget("W")->Caption(), std::string(2000, '[') + "\"[{");
  EXPECT_NO_THROW(CheckProjectNesting("]]]}}}" + nested(512)));  // unmatched closers do not go below zero
}

TEST_F(ProjectFileTest, FailedLoadFreesWhatItMadeButKeepsWhatWasThere) {
  Create<testing::TTarget>(&root_)->SetName("Existing");
  LoadError(Project(R"({"class": "TMaker", "name": "M"}, {"class": "TWidget", "name": "W", "properties": {"Oops": 1}})"));
  ASSERT_EQ(root_.ComponentCount(), 1);
  EXPECT_EQ(root_.Components(0)->Name(), "Existing");
  EXPECT_FALSE(root_.Loading());
}

TEST_F(ProjectFileTest, AutoMadeComponentsAreReusedNotDuplicated) {
  Load(Project(R"({"class": "TMaker", "name": "M"}, {"class": "TAutoMade", "name": "AutoOne"},
                  {"class": "TWidget", "name": "W", "properties": {"Target": "AutoOne"}})"));
  EXPECT_EQ(root_.ComponentCount(), 3);
  EXPECT_EQ(Widget("W")->Target(), root_.FindComponent("AutoOne"));
  // Saving leaves the automatic one out; loading the result makes it again.
  std::string saved = SaveProject(root_);
  EXPECT_EQ(saved.find("\"AutoOne\",\n"), std::string::npos);
  TRoot again;
  LoadProject(saved, registry_, again);
  EXPECT_EQ(again.ComponentCount(), 3);
}

TEST_F(ProjectFileTest, UnstatedReferenceKeepsConstructorValueAndNullStaysEmpty) {
  Load(Project(R"({"class": "TMaker", "name": "Kept"})"));
  auto* kept = dynamic_cast<testing::TMaker*>(root_.FindComponent("Kept"));
  EXPECT_EQ(kept->Made(), root_.FindComponent("AutoOne"));
  EXPECT_TRUE(kept->made_assigned);  // assigned while loading, like a stated one

  kept->SetMade(nullptr);  // emptied on purpose
  std::string saved = SaveProject(root_);
  EXPECT_NE(saved.find(R"("Made": null)"), std::string::npos);
  TRoot again;
  LoadProject(saved, registry_, again);
  EXPECT_EQ(dynamic_cast<testing::TMaker*>(again.FindComponent("Kept"))->Made(), nullptr);
}

TEST_F(ProjectFileTest, SaveWritesOnlyChangesAndReadsBackTheSameTree) {
  Load(Project(R"({"class": "TTarget", "name": "Tgt"},
    {"class": "TWidget", "name": "W1", "properties": {
       "Caption": "", "Modes": [], "Lines": ["x"], "Target": "Tgt", "Info": {"Revision": 7},
       "Entries": [{}, {"Key": "k", "Enabled": false}]}},
    {"class": "TWidget", "name": "Plain"})"));
  Widget("W1")->Image().LoadFromFile(BRIMWELL_TEST_DATA "/framework/tiny.bmp");
  std::string saved = SaveProject(root_);
  EXPECT_NE(saved.find(R"("name": "Plain")"), std::string::npos);
  EXPECT_EQ(saved.find(R"("Visible")"), std::string::npos);      // default
  EXPECT_NE(saved.find(R"("Caption": "")"), std::string::npos);  // differs from "Widget"
  EXPECT_NE(saved.find(R"("Modes": [])"), std::string::npos);

  TRoot copy;
  LoadProject(saved, registry_, copy);
  EXPECT_EQ(SaveProject(copy), saved);
  auto* w = dynamic_cast<TWidget*>(copy.FindComponent("W1"));
  EXPECT_EQ(w->Target(), copy.FindComponent("Tgt"));
  EXPECT_EQ(w->Info().Revision(), 7);
  EXPECT_EQ(w->Entries().Count(), 2);
  EXPECT_TRUE(w->Image() == Widget("W1")->Image());
}

TEST_F(ProjectFileTest, SaveFileReplacesAtomically) {
  auto dir = std::filesystem::temp_directory_path() / ("bw-project-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Load(Project(R"({"class": "TWidget", "name": "W"})"));
  SaveProjectFile(root_, dir / "p.json");
  TRoot copy;
  LoadProjectFile(dir / "p.json", registry_, copy);
  EXPECT_NE(copy.FindComponent("W"), nullptr);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary left
  try {
    LoadProjectFile(dir / "none.json", registry_, copy);
    FAIL();
  } catch (const EProjectError& e) {
    EXPECT_EQ(e.Message(), (dir / "none.json").string() + ": there is no such file");
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace brimwell
