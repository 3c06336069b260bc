// brimwell: the developer's tool. Dispatches to one subcommand.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>

#include "apps/brimwell/commands.h"
#include "framework/exception.h"
#include "framework/toolkit_version.h"

namespace brimwell::cli {

// Subcommand entry points, one file each.
int RunBind(Args args);
int RunBuild(Args args);
int RunPrefix(Args args);
int RunBoot(Args args);
int RunReg(Args args);
int RunArchive(Args args);
int RunVersion(Args args);
int RunIni(Args args);
int RunLanguage(Args args);
int RunUninstall(Args args);
int RunPlan(Args args);
int RunClasses(Args args);
int RunSchema(Args args);
int RunCompletion(Args args, std::span<const Command> commands);

bool WantsHelp(Args args) {
  for (const char* a : args) {
    if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) return true;
  }
  return false;
}

std::optional<int> AnswerHelp(Args args, const char* usage, bool needs_arguments) {
  bool missing = needs_arguments && args.empty();
  if (!missing && !WantsHelp(args)) return std::nullopt;
  std::fputs(usage, missing ? stderr : stdout);
  return missing ? 2 : 0;
}

std::string OptionValue(Args args, std::size_t& i) {
  if (i + 1 >= args.size()) throw brimwell::Exception(std::string("missing value after ") + args[i]);
  return args[++i];
}

namespace {

int RunCompletionOfAll(Args args);

constexpr Command kCommands[] = {
    {"help", "show this list", nullptr},
    {"bind", "bind a project to a copy of the engine", RunBind},
    {"build", "build a project's setup.exe, setup.1 and files.1", RunBuild},
    {"prefix", "make a prefix, show or change what it presents", RunPrefix},
    {"boot", "run the start-up sequence of a prefix", RunBoot},
    {"reg", "query, change, export and import the registry", RunReg},
    {"archive", "create, list, extract, verify and split archives", RunArchive},
    {"version", "show the version resource of a file", RunVersion},
    {"ini", "fill an INI component's Lines from an INI file", RunIni},
    {"language", "list, show, check and load language tables", RunLanguage},
    {"uninstall", "start an installed product's uninstall program", RunUninstall},
    {"plan", "list what an installation would change, on a copy of the prefix", RunPlan},
    {"classes", "list the classes of a project, or one class's properties", RunClasses},
    {"schema", "print the JSON Schema of the project file", RunSchema},
    {"completion", "print a shell completion script", RunCompletionOfAll},
};

int RunCompletionOfAll(Args args) { return RunCompletion(args, kCommands); }

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: brimwell COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& c : kCommands) {
    std::fprintf(out, "  %-10.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                 static_cast<int>(c.summary.size()), c.summary.data());
  }
  std::fprintf(out, "\n'brimwell COMMAND --help' describes one command; doc/project.md the project file.\n");
}

}  // namespace
}  // namespace brimwell::cli

int main(int argc, char** argv) {
  using namespace brimwell::cli;
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::string_view name = argv[1];
  if (name == "--version") {
    std::printf("brimwell %.*s\n", static_cast<int>(brimwell::ToolkitVersion().size()),
                brimwell::ToolkitVersion().data());
    return 0;
  }
  for (const Command& c : kCommands) {
    if (c.name == name && c.run != nullptr) {
      try {
        return c.run(Args(argv + 2, static_cast<std::size_t>(argc - 2)));
      } catch (const std::exception& e) {
        std::fprintf(stderr, "brimwell %s: %s\n", argv[1], e.what());
        return 1;
      }
    }
  }
  std::fprintf(stderr, "brimwell: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
