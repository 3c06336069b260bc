// brimwell ini PROJECT.json COMPONENT FILE.ini: fills the Lines of an INI
// component of a project with every value of an existing INI file, so a
// product's settings file need not be typed in by hand.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "apps/brimwell/commands.h"
#include "engine/engine_context.h"
#include "engine/project_check.h"
#include "engine/project_form.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "framework/project_file.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "system/install_ini_file.h"
#include "system/system_classes.h"

namespace brimwell::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kUsage[] =
    "usage: brimwell ini PROJECT.json COMPONENT FILE.ini\n"
    "\n"
    "Replaces the Lines of the INI component COMPONENT (a TInstallINIFile) in\n"
    "the project with every value of FILE.ini: its sections and keys in file\n"
    "order, read as the engine reads INI files (names without case, blanks\n"
    "around values and one pair of quotes removed). The rest of the project\n"
    "keeps its values; the file is rewritten whole or not at all.\n";

constexpr char kCannotReadFile[] = "Cannot read %s";
constexpr char kCannotWriteProject[] = "Cannot write the project %s";
constexpr char kNotJson[] = "The project %s is not a JSON document: %s";
constexpr char kNoIniComponent[] = "The project has no INI component named %s";

std::string ReadFile(const std::string& file) {
  host::Env& env = host::Env::Default();
  if (!env.FileExists(file)) throw Exception(Format(kCannotReadFile, {file}));
  host::Result<std::string> text = env.ReadFile(file);
  if (!text) throw Exception(Format(kCannotReadFile, {file}));
  return *text;
}

std::string Absolute(const std::string& path) {
  if (path.starts_with('/')) return path;
  host::Result<std::string> cwd = host::Env::Default().CurrentDirectory();
  return cwd ? host::JoinPath(*cwd, path) : path;
}

// The entry of component `name` in a project document, or nullptr.
Json* FindComponentEntry(Json& document, const std::string& name) {
  auto components = document.find("components");
  if (components == document.end() || !components->is_array()) return nullptr;
  for (Json& entry : *components) {
    auto n = entry.find("name");
    if (entry.is_object() && n != entry.end() && n->is_string() && SameText(n->get<std::string>(), name)) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

int RunIni(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  std::vector<std::string> positional;
  for (const char* a : args) {
    if (std::string_view(a).starts_with("-")) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    positional.emplace_back(a);
  }
  if (positional.size() != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string project_file = positional[0];
  const std::string& component = positional[1];
  const std::string ini_file = Absolute(positional[2]);

  const std::string text = ReadFile(project_file);
  if (!host::Env::Default().FileExists(ini_file)) throw Exception(Format(kCannotReadFile, {ini_file}));
  Json document;
  try {
    CheckProjectNesting(text);
    document = Json::parse(text);
  } catch (const Json::exception& e) {
    throw Exception(Format(kNotJson, {project_file, e.what()}));
  } catch (const EProjectError& e) {
    throw Exception(project_file + ": " + e.Message());
  }

  // The project is loaded as the engine loads it, the component reads the
  // file, and only its Lines go back into the document: pictures and every
  // other property stay as the developer wrote them.
  int count = 0;
  std::string saved;
  try {
    saved = EditProject(text, host::ParentDirectory(Absolute(project_file)), &RegisterSystemClasses,
                        [&](ProjectForm& form) {
                          auto* ini = dynamic_cast<TCustomInstallINIFile*>(form.FindComponent(component));
                          if (ini == nullptr) throw Exception(Format(kNoIniComponent, {component}));
                          ini->LoadFromINIFile(form.Context().GetMachine().GetPaths().ToWindows(ini_file));
                          count = ini->Lines().Count();
                        });
  } catch (const EProjectError& e) {
    throw Exception(project_file + ": " + e.Message());
  }
  Json* target = FindComponentEntry(document, component);
  Json saved_document = Json::parse(saved);
  const Json* source = FindComponentEntry(saved_document, component);
  if (target == nullptr || source == nullptr) throw Exception(Format(kNoIniComponent, {component}));
  Json& properties = (*target)["properties"];
  const Json empty = Json::object();
  const Json& saved_properties = source->contains("properties") ? source->at("properties") : empty;
  if (saved_properties.contains("Lines")) {
    Json lines = saved_properties.at("Lines");
    // A value read from a file names no path specifier.
    for (Json& line : lines) {
      if (line.contains("PathSpecifier") && line["PathSpecifier"].is_null()) line.erase("PathSpecifier");
    }
    properties["Lines"] = std::move(lines);
  } else {
    properties.erase("Lines");  // the file holds no values
  }
  host::Env& env = host::Env::Default();
  host::Result<unsigned> mode = env.FileMode(project_file);
  if (env.WriteFileAtomically(project_file, document.dump(2) + "\n",
                              mode ? std::optional<unsigned>(*mode) : std::nullopt)) {
    throw Exception(Format(kCannotWriteProject, {project_file}));
  }
  std::printf("%s: %d lines from %s\n", component.c_str(), count, ini_file.c_str());
  return 0;
}

}  // namespace brimwell::cli
