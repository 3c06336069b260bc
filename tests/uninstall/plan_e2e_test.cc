// brimwell plan on the sample product's setup.exe: it lists what the real
// installation then does (the same folders, files, keys, values and INI
// values as the snapshots around the real run), and leaves the prefix as
// it was.
#include <sstream>

#include "tests/uninstall/proof_fixture.h"

namespace brimwell::testing {
namespace {

// The names in a difference listing, without the contents: a file's digest
// may name the prefix it was made in (the sample library writes its own
// path into the file it leaves).
std::string NamesOf(const std::string& listing) {
  std::istringstream lines(listing);
  std::string names;
  for (std::string line; std::getline(lines, line);) {
    for (const char* cut : {" = ", ": "}) {
      if (std::size_t at = line.find(cut, 2); at != std::string::npos) line.resize(at);
    }
    names += line + "\n";
  }
  return names;
}

TEST_F(UninstallProofTest, PlanListsWhatTheRealInstallationThenDoes) {
  ASSERT_EQ(Brimwell({"prefix", "init", prefix().string()}), 0) << err_;
  MakeSample();
  const fs::path before = Snapshot("before");
  ASSERT_EQ(Brimwell({"plan", (dist() / "setup.exe").string(), "--prefix", prefix().string()}), 0) << err_;
  const std::string plan = out_;
  EXPECT_THAT(plan, ::testing::HasSubstr("+ file C:\\Program Files\\Brimwell Sample Tool\\toolinfo.exe = "));
  EXPECT_THAT(plan, ::testing::HasSubstr(
                        "+ value HKEY_LOCAL_MACHINE\\SOFTWARE\\Brimwell Samples\\Sample Tool\\1.0\\Runs = REG_DWORD:0"));
  // The plan ran on a copy: the prefix is untouched.
  EXPECT_EQ(Diff(before, Snapshot("after-plan")), "");

  SetupSample();
  const std::string real = Diff(before, Snapshot("installed"));
  EXPECT_EQ(NamesOf(plan), NamesOf(real));
}

}  // namespace
}  // namespace brimwell::testing
