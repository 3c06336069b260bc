// brimwell-screens OUTDIR [CASE...]: renders windows of the engine offscreen
// to PNG files, one per case, for people to look at. Run it with
// QT_QPA_PLATFORM=offscreen (scripts/screenshots.sh does).
#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "apps/screens/screen_stage.h"
#include "host/host_env.h"

namespace {

constexpr char kUsage[] =
    "usage: brimwell-screens OUTDIR [CASE...]\n"
    "       brimwell-screens --list\n"
    "\n"
    "Renders each case (every case when none is named) offscreen to\n"
    "OUTDIR/CASE.png. --list prints the cases with what they show.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  const std::vector<brimwell::screens::ScreenCase> cases = brimwell::screens::AllCases();
  if (args[0] == "--list") {
    for (const auto& c : cases) std::printf("%-22s %s\n", c.name.c_str(), c.description.c_str());
    return 0;
  }
  const std::string out_dir = args[0];
  std::vector<std::string> wanted(args.begin() + 1, args.end());
  for (const std::string& name : wanted) {
    bool known = false;
    for (const auto& c : cases) known = known || c.name == name;
    if (!known) {
      std::fprintf(stderr, "brimwell-screens: no case named %s (see --list)\n", name.c_str());
      return 2;
    }
  }

  brimwell::host::Env& env = brimwell::host::Env::Default();
  if (std::error_code e = env.MakeDirectory(out_dir, false); e && !env.DirectoryExists(out_dir)) {
    std::fprintf(stderr, "brimwell-screens: cannot make %s: %s\n", out_dir.c_str(), e.message().c_str());
    return 1;
  }
  auto scratch = env.MakeTemporaryDirectory(env.TemporaryDirectory(), "brimwell-screens-");
  if (!scratch) {
    std::fprintf(stderr, "brimwell-screens: cannot make a scratch directory\n");
    return 1;
  }

  int qt_argc = 1;
  QApplication qt(qt_argc, argv);
  int failures = 0;
  int index = 0;
  for (const auto& c : cases) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), c.name) == wanted.end()) continue;
    const std::string png = out_dir + "/" + c.name + ".png";
    try {
      brimwell::screens::ScreenStage stage(qt, *scratch + "/prefix" + std::to_string(index++));
      c.build(stage);
      if (!stage.Capture(png)) throw std::runtime_error("cannot write " + png);
      std::printf("%s\n", png.c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "brimwell-screens: %s: %s\n", c.name.c_str(), e.what());
      ++failures;
    }
  }
  env.RemoveTree(*scratch);
  return failures == 0 ? 0 : 1;
}
