// Runs the real `brimwell classes`, `schema`, `completion`, `reg` and `bind`
// on temporary files: the reference agrees with the class registry, every
// sample project passes the schema under a real validator, the schema
// refuses what bind refuses, and failures are told in plain words.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine_classes.h"
#include "framework/class_reference.h"
#include "framework/class_registry.h"
#include "framework/persistent.h"
#include "presentation/presentation_classes.h"
#include "system/system_classes.h"

namespace brimwell {
namespace {

namespace fs = std::filesystem;

class ReferenceCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "brimwell-ref-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path Write(const std::string& name, std::string_view bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return dir_ / name;
  }
  static std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

  // Runs a shell command line with no prefix of the user's reachable;
  // returns the exit status, output in out_ and err_.
  int Run(const std::string& command) {
    std::string line = "env -u BRIMWELL_PREFIX XDG_DATA_HOME=" + Quote(dir_ / "data") + " " + command + " >" +
                       Quote(dir_ / "stdout") + " 2>" + Quote(dir_ / "stderr");
    int status = std::system(line.c_str());
    out_ = Read(dir_ / "stdout");
    err_ = Read(dir_ / "stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Brimwell(const std::string& args) { return Run(Quote(brimwell_) + " " + args); }

  fs::path dir_;
  const fs::path brimwell_ = fs::path(BRIMWELL_BIN_DIR) / "brimwell";
  const fs::path probe_ = BOUND_PROJECT_PROBE;
  std::string out_, err_;
};

// Every property of `info` with its dotted name and type, as the reference
// expands sub-objects and collection items.
void ExpectedLines(const ClassInfo& info, const std::string& path, std::vector<std::string>& out) {
  for (const PropertyInfo* p : info.AllProperties()) {
    if (p->kind == PropertyKind::kObject && p->object_class != nullptr) {
      ExpectedLines(p->object_class(), path + p->name + ".", out);
      continue;
    }
    out.push_back("  " + path + p->name + ": " + PropertyTypeText(*p));
    if (p->kind == PropertyKind::kCollection && p->object_class != nullptr) {
      ExpectedLines(p->object_class(), path + p->name + "[].", out);
    }
  }
}

TEST_F(ReferenceCommandTest, ClassesShowsEveryPropertyOfTheRegistry) {
  ClassRegistry registry;
  RegisterEngineClasses(registry);
  RegisterSystemClasses(registry);
  RegisterPresentationClasses(registry);

  ASSERT_EQ(Brimwell("classes"), 0) << err_;
  for (const ClassInfo* info : registry.Classes()) {
    bool listed = out_.find("\n" + info->name + " ") != std::string::npos || out_.starts_with(info->name + " ");
    EXPECT_EQ(listed, static_cast<bool>(info->create)) << info->name;
  }

  for (const char* name : {"TInstallFile", "TInstallRegistry", "TInstall"}) {
    ASSERT_EQ(Brimwell(std::string("classes ") + name), 0) << err_;
    std::vector<std::string> lines;
    ExpectedLines(*registry.Find(name), "", lines);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
  }
  // Defaults, values and reference targets, including one the constructor sets.
  ASSERT_EQ(Brimwell("classes tinstallfile"), 0);
  EXPECT_NE(out_.find("  OverwriteMode: TOverwriteType = \"owAlways\"\n      one of owAlways, owNever, owVersion, "
                      "owDate, owVersionDate\n"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("  Container: reference to TInstallContainer = none\n      the name of a TInstallContainer"),
            std::string::npos);
  ASSERT_EQ(Brimwell("classes TInstall"), 0);
  EXPECT_NE(out_.find("  DestDirType: reference to TCustomPathSpecifier = \"psProgramFiles\"\n"), std::string::npos);
  EXPECT_NE(out_.find("  Information.Version: String = \"1.0\"\n"), std::string::npos);
  ASSERT_EQ(Brimwell("classes TInstallRegistry"), 0);
  EXPECT_NE(out_.find("  Entries[].EntryType: TRegistryEntryType = \"retText\"\n"), std::string::npos) << out_;

  EXPECT_EQ(Brimwell("classes TNoSuchThing"), 1);
  EXPECT_EQ(err_, "brimwell classes: there is no class TNoSuchThing ('brimwell classes' lists them)\n");
}

TEST_F(ReferenceCommandTest, SamplesPassTheSchemaAndItRefusesWhatBindRefuses) {
  ASSERT_EQ(Brimwell("schema"), 0) << err_;
  const fs::path schema = Write("schema.json", out_);
  const fs::path validator = fs::path(BRIMWELL_SOURCE_DIR) / "tests" / "apps" / "validate_projects.py";
  auto validate = [&](const std::vector<fs::path>& files) {
    std::string args;
    for (const fs::path& f : files) args += " " + Quote(f);
    EXPECT_EQ(Run("python3 " + Quote(validator) + " " + Quote(schema) + args), 0) << out_ << err_;
    return out_;
  };

  std::vector<fs::path> samples;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(BRIMWELL_SOURCE_DIR) / "samples")) {
    if (entry.path().extension() == ".json") samples.push_back(entry.path());
  }
  samples.push_back(fs::path(BRIMWELL_SOURCE_DIR) / "doc" / "project.md");
  std::string verdicts = validate(samples);
  EXPECT_EQ(verdicts.find("refused"), std::string::npos) << verdicts;
  EXPECT_NE(verdicts.find("ok " + (fs::path(BRIMWELL_SOURCE_DIR) / "doc" / "project.md#1").string()),
            std::string::npos)
      << "the worked example was not found: " << verdicts;

  // Typical mistakes: bind refuses each (status 2), and so does the schema.
  const std::string head = R"({"format": "brimwell-project/1", "components": [)";
  const std::string install = R"({"class": "TInstall", "name": "Install1"})";
  const std::vector<std::string> mistakes = {
      R"({"class": "TInstallFle", "name": "Readme"})",                                          // class
      R"({"class": "TInstallFile", "name": "Readme", "properties": {"OverwriteMode": "owNewer"}})",  // value
      R"({"class": "TInstallFile", "name": "Readme", "properties": {"RunAfterInstall": "yes"}})",    // type
      R"({"class": "TInstallFile", "name": "Readme", "properties": {"FileNmae": "a.txt"}})",         // property
      R"({"class": "TInstallFile", "name": "Readme", "propreties": {}})",                            // member
      R"({"class": "TInstallFile", "name": "Read me"})",                                             // name
      R"({"class": "TInstallFile", "name": "Readme", "properties": {"InstallTypes": ["itAll"]}})",   // set value
      R"({"class": "TInstallRegistry", "name": "Reg", "properties": {"Entries": [{"Integr": 1}]}})",  // item
  };
  std::vector<fs::path> files;
  for (std::size_t i = 0; i < mistakes.size(); ++i) {
    files.push_back(Write("mistake" + std::to_string(i) + ".json", head + install + ", " + mistakes[i] + "]}"));
    EXPECT_EQ(Brimwell("bind " + Quote(files.back()) + " " + Quote(dir_ / "out") + " --engine " + Quote(probe_)), 2)
        << mistakes[i] << ": " << err_;
  }
  verdicts = validate(files);
  for (const fs::path& f : files) {
    EXPECT_NE(verdicts.find("refused " + f.string() + ":"), std::string::npos) << Read(f) << "\n" << verdicts;
  }
}

TEST_F(ReferenceCommandTest, TheCompletionScriptCompletesCommandsOptionsAndClasses) {
  ASSERT_EQ(Brimwell("completion bash"), 0) << err_;
  const fs::path script = Write("completion.bash", out_);
  // Completes `words` (the last one is being typed) and prints the choices.
  auto complete = [&](const std::string& words) {
    const fs::path driver = Write("driver.bash", "source " + Quote(script) + "\nCOMP_WORDS=(" + words +
                                                     ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                                                     "_brimwell\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n");
    EXPECT_EQ(Run("PATH=" + Quote(brimwell_.parent_path()) + ":$PATH bash " + Quote(driver)), 0) << err_;
    return out_;
  };
  EXPECT_EQ(complete("brimwell cl"), "classes\n");
  EXPECT_EQ(complete("brimwell classes TInstallFi"), "TInstallFile\nTInstallFileGroup\n");
  EXPECT_EQ(complete("brimwell archive li"), "list\n");
  EXPECT_EQ(complete("brimwell reg qu"), "query\n");
  EXPECT_EQ(complete("brimwell bind --en"), "--engine\n");
  EXPECT_EQ(complete("brimwell --vers"), "--version\n");
}

TEST_F(ReferenceCommandTest, FailuresAreToldInPlainWords) {
  ASSERT_EQ(Brimwell("--version"), 0);
  EXPECT_TRUE(out_.starts_with("brimwell ")) << out_;

  ASSERT_EQ(Run(Quote(brimwell_) + " prefix init " + Quote(dir_ / "prefix")), 0) << err_;
  EXPECT_EQ(Brimwell("reg add 'HKLM\\Software\\Tool' /v Level /t REG_DWORD /d abc --prefix " + Quote(dir_ / "prefix")), 1);
  EXPECT_EQ(err_,
            "brimwell reg: the REG_DWORD data \"abc\" is not a number from 0 to 4294967295 (decimal, or "
            "hexadecimal after 0x)\n");
  EXPECT_EQ(Brimwell("reg add 'HKLM\\Software\\Tool' /v Level /t REG_DWORD /d 0x10 --prefix " + Quote(dir_ / "prefix")), 0)
      << err_;

  const fs::path good = Write("good.json", R"({"format": "brimwell-project/1", "components": []})");
  EXPECT_EQ(Brimwell("bind " + Quote(good) + " " + Quote(dir_ / "out") + " --engine " + Quote(good)), 1);
  EXPECT_EQ(err_, "brimwell bind: " + good.string() + " is not a setup engine (give --engine the setupengine program)\n");
  EXPECT_FALSE(fs::exists(dir_ / "out"));
  EXPECT_EQ(Brimwell("bind " + Quote(dir_) + " " + Quote(dir_ / "out") + " --engine " + Quote(probe_)), 1);
  EXPECT_EQ(err_, "brimwell bind: " + dir_.string() + ": this is a directory, not a project file\n");

  const fs::path broken = Write("broken.json", "{\"format\": \"brimwell-project/1\",\n \"components\": [\n}");
  EXPECT_EQ(Brimwell("bind " + Quote(broken) + " " + Quote(dir_ / "out") + " --engine " + Quote(probe_)), 2);
  EXPECT_TRUE(err_.starts_with("brimwell bind: The project " + broken.string() + " is not a JSON document: line 3, column 1: "))
      << err_;
  EXPECT_EQ(err_.find("json.exception"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "data")) << "a command made a prefix";
}

}  // namespace
}  // namespace brimwell
