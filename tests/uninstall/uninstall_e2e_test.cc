// The install-then-uninstall proof with the real programs: a product made
// like the sample (files in a group, a self-registering library with a
// shared count, a help file, registry and INI values, links, the uninstall
// program and a link to it) installed through setup.exe on a fresh
// temporary prefix, then removed by the uninstall program started as its
// record's UninstallString gives it; the prefix's snapshots before and
// after must not differ. Two products sharing a library keep it until the
// last one goes, and a file the user changed survives and is reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/sha256.h"
#include "tests/uninstall/proof_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::HasSubstr;

class SampleProofTest : public UninstallProofTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleProofTest, InstallThenUninstallLeavesThePrefixAsItWas) {
  ASSERT_EQ(Brimwell({"prefix", "init", prefix().string(), "--windows", GetParam()}), 0) << err_;
  const fs::path before = Snapshot("before");
  SetupSample();
  const fs::path installed = Snapshot("installed");
  const std::string installed_changes = Diff(before, installed);
  EXPECT_THAT(installed_changes, HasSubstr("+ file C:\\Program Files\\Brimwell Sample Tool\\uninstall.exe"));
  EXPECT_THAT(installed_changes, HasSubstr("+ ini C:\\Program Files\\Brimwell Sample Tool\\sampletool.ini [Window] Maximized"));
  EXPECT_EQ(UninstallString(kSampleProduct), "C:\\Program Files\\Brimwell Sample Tool\\uninstall.exe Sample Tool");
  ASSERT_EQ(Brimwell({"prefix", "products", prefix().string()}), 0);
  EXPECT_THAT(out_, HasSubstr("Sample Tool 1.0\n  in C:\\Program Files\\Brimwell Sample Tool, 10 files"));

  // `brimwell uninstall` starts the record's UninstallString and waits.
  ASSERT_EQ(Brimwell({"uninstall", kSampleProduct, "--prefix", prefix().string()}), 0) << out_ << err_;
  EXPECT_THAT(out_, HasSubstr("removed: registration of C:\\Program Files\\Brimwell Sample Tool\\samplereg.dll"));
  EXPECT_THAT(out_, HasSubstr("Sample Tool was removed"));
  EXPECT_EQ(Diff(before, Snapshot("after")), "");

  EXPECT_EQ(Brimwell({"uninstall", kSampleProduct, "--prefix", prefix().string()}), 3);
  EXPECT_THAT(err_, HasSubstr("Sample Tool is not installed on this machine"));
}

// NT 4 makes .LNK files; NT 3.51 makes Program Manager items instead.
INSTANTIATE_TEST_SUITE_P(Shells, SampleProofTest, ::testing::Values("nt4", "nt351"));

TEST_F(UninstallProofTest, SharedLibraryStaysUntilTheLastProductGoesAndChangedFilesStay) {
  ASSERT_EQ(Brimwell({"prefix", "init", prefix().string()}), 0) << err_;
  const fs::path before = Snapshot("before");
  InstallSharing("Tool A");
  InstallSharing("Tool B");
  const std::string dll = "C:\\WINDOWS\\SYSTEM32\\acmeshared.dll";
  EXPECT_EQ(SharedCount(dll), 2u);

  // Started the way Windows starts it: the record's UninstallString.
  auto machine = OpenMachine(prefix(), PrefixCreation::kMustExist);
  fs::path program = machine->GetPaths().ToHost("C:\\Program Files\\Tool A\\uninstall.exe");
  machine.reset();
  EXPECT_EQ(UninstallString("Tool A"), "C:\\Program Files\\Tool A\\uninstall.exe Tool A");
  ASSERT_EQ(Run(program, {"Tool", "A"}), 0) << out_ << err_;
  EXPECT_THAT(out_, HasSubstr("kept (shared): file " + dll + " (still used by other products (count now 1))"));
  EXPECT_EQ(SharedCount(dll), 1u);
  EXPECT_FALSE(fs::exists(program));
  EXPECT_EQ(Diff(before, Snapshot("a-gone")).find("Tool A"), std::string::npos);

  // The user edits Tool B's file: it survives, reported, and the status says so.
  const fs::path own = tmp_.path() / "prefix/drive_c/Program Files/Tool B/own.txt";
  WriteHostFile(own, "the user's notes");
  EXPECT_EQ(Brimwell({"uninstall", "Tool", "B", "--prefix", prefix().string()}), 5) << out_ << err_;
  EXPECT_THAT(out_, HasSubstr("Kept C:\\Program Files\\Tool B\\own.txt: it was changed after the installation."));
  EXPECT_EQ(ReadHostFile(own), "the user's notes");
  EXPECT_EQ(Diff(before, Snapshot("b-gone")),
            "+ file C:\\Program Files\\Tool B\\own.txt = 16;" + Sha256Hex("the user's notes") + "\n"
            "+ folder C:\\Program Files\\Tool B\n");
}

}  // namespace
}  // namespace brimwell::testing
