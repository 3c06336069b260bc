// brimwell bind PROJECT.json OUT [--engine PATH]: writes OUT, a copy of the
// generic engine carrying the project, so that the product's installer is a
// single executable.
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "apps/brimwell/commands.h"
#include "engine/project_check.h"
#include "framework/bound_project.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "framework/project_file.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "presentation/presentation_classes.h"
#include "system/system_classes.h"
#include "wizard/dialog_manager.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell bind PROJECT.json OUT [--engine PATH]\n"
    "\n"
    "Writes OUT: a copy of the engine with the project bound to it. A project\n"
    "the engine already carries is replaced. The engine is PATH, or else the\n"
    "setupengine installed beside this program.\n"
    "\n"
    "The project is first loaded as the engine will load it; an unknown class,\n"
    "property, value or reference is refused with the component and property\n"
    "named. Pictures given as files are carried inside the bound project.\n"
    "\n"
    "After binding it prints, for each file group, how many files and bytes\n"
    "a run of each install type the product offers would install (sizes of\n"
    "the source files as they are now).\n"
    "\n"
    "Exit status: 0 when bound, 2 for a usage error or a refused project,\n"
    "1 for any other failure (the engine missing, a file that cannot be\n"
    "read or written).\n";
// The status of a project the engine would refuse, as the engine's own.
constexpr int kExitProjectRefused = 2;
constexpr char kEngineFileName[] = "setupengine";

constexpr char kEngineNotFound[] = "The engine %s was not found";
constexpr char kNotAnEngine[] = "%s is not a setup engine (give --engine the setupengine program)";
constexpr char kProjectNotJson[] = "The project %s is not a JSON document: %s";

// A project file that cannot be read is a failure of its own (status 1),
// not a refused project.
std::string ReadProjectFile(const std::string& file) {
  try {
    return ReadProjectText(file);
  } catch (const EProjectError& e) {
    throw Exception(e.Message());
  }
}

// `path` made absolute against the current directory.
std::string Absolute(const std::string& path) {
  if (path.starts_with('/')) return path;
  host::Result<std::string> cwd = host::Env::Default().CurrentDirectory();
  return cwd ? host::JoinPath(*cwd, path) : path;
}

// The classes of the subsystems above the engine that a bound engine knows.
void RegisterAboveEngine(ClassRegistry& registry) {
  RegisterSystemClasses(registry);
  RegisterPresentationClasses(registry);
  RegisterWizardClasses(registry);
}

// Refuses a project that the engine would not load, before it is bound, and
// returns the document to bind: pictures given as paths relative to the
// project file are inlined, since the bound engine cannot find them.
// Throws EProjectError naming the file for a refused project.
std::string PrepareProject(const std::string& text, const std::string& file, std::vector<std::string>& report) {
  try {
    CheckProjectNesting(text);
  } catch (const EProjectError& e) {
    throw EProjectError(file + ": " + e.Message());
  }
  try {
    CheckProjectSyntax(text);
  } catch (const EProjectError& e) {
    throw EProjectError(Format(kProjectNotJson, {file, e.Message()}));
  }
  try {
    return PrepareProjectForBinding(text, host::ParentDirectory(Absolute(file)), &RegisterAboveEngine, &report);
  } catch (const EProjectError& e) {
    throw EProjectError(file + ": " + e.Message());
  }
}

std::string DefaultEngine() { return host::JoinPath(host::ParentDirectory(RunningExecutablePath()), kEngineFileName); }

}  // namespace

int BindProjectFile(const std::string& project_file, const std::string& out, const std::string& engine_arg,
                    const std::function<std::string(const std::string&)>& edit) {
  const std::string engine = engine_arg.empty() ? DefaultEngine() : engine_arg;
  if (!host::Env::Default().FileExists(engine)) throw Exception(Format(kEngineNotFound, {engine}));
  if (!IsEngineExecutable(engine)) throw Exception(Format(kNotAnEngine, {engine}));

  std::string project = ReadProjectFile(project_file);
  if (edit) project = edit(project);
  std::string prepared;
  std::vector<std::string> report;
  try {
    prepared = PrepareProject(project, project_file, report);
  } catch (const EProjectError& e) {
    std::fprintf(stderr, "brimwell bind: %s\n", e.what());
    return kExitProjectRefused;
  }
  BindProject(engine, prepared, out);
  std::printf("bound %s to a copy of %s: %s\n", project_file.c_str(), engine.c_str(), out.c_str());
  if (!report.empty()) {
    std::printf("what a run installs, per file group and install type:\n");
    for (const std::string& line : report) std::printf("  %s\n", line.c_str());
  }
  return 0;
}

int RunBind(Args args) {
  if (auto status = AnswerHelp(args, kUsage, false)) return *status;
  std::vector<std::string_view> positional;
  std::string_view engine_arg;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    if (a == "--engine" && i + 1 < args.size()) {
      engine_arg = args[++i];
    } else if (a.starts_with("--engine=")) {
      engine_arg = a.substr(9);
    } else if (a.starts_with("-")) {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return BindProjectFile(std::string(positional[0]), std::string(positional[1]), std::string(engine_arg), {});
}

}  // namespace brimwell::cli
