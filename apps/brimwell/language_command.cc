// brimwell language: the translator's sixteen languages and their standard
// tables; checks a language text file and loads one into a project.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "apps/brimwell/commands.h"
#include "framework/exception.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "translate/brwl_language.h"
#include "translate/language.h"
#include "translate/standard_tables.h"

namespace brimwell::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kUsage[] =
    "usage: brimwell language list\n"
    "       brimwell language show LANGUAGE\n"
    "       brimwell language check FILE [LANGUAGE]\n"
    "       brimwell language load PROJECT.json LANGUAGE FILE [--translator NAME]\n"
    "\n"
    "LANGUAGE is a table's name (German, Hebrew, ChineseSimplified, ...).\n"
    "'list' shows the languages, their text files and Windows language IDs.\n"
    "'show' prints the standard table the toolkit ships, as a language file.\n"
    "'check' reads a language file (UTF-8, UTF-16 with a byte-order mark, or the\n"
    "language's Windows code page) and reports its first error, the numbers of\n"
    "the standard table it lacks and the placeholders (%d, %s) it changes.\n"
    "Without LANGUAGE the file's name (brwiGerman.txt) names it.\n"
    "'load' replaces the lines of that language's table in the project's\n"
    "translator (NAME, else the first TTranslator, else a new MainTranslator)\n"
    "with the file's lines; the rest of the project stays as written.\n";

constexpr char kUnknownLanguage[] = "Unknown language %s; 'brimwell language list' names them";
constexpr char kCannotWriteProject[] = "Cannot write the project %s";
constexpr char kCannotReadProject[] = "Cannot read the project %s";
constexpr char kNotJson[] = "The project %s is not a JSON document: %s";
constexpr char kNoTranslator[] = "The project has no TTranslator named %s";

TBrwlLanguage Language(const std::string& name) {
  std::optional<TBrwlLanguage> language = LanguageByName(name);
  if (!language) throw Exception(Format(kUnknownLanguage, {name}));
  return *language;
}

// The language a file name such as ".../brwiGerman.txt" names.
std::optional<TBrwlLanguage> LanguageOfFileName(const std::string& file) {
  std::string name = file.substr(file.find_last_of('/') + 1);
  for (const LanguageTraits& t : AllLanguages()) {
    if (SameText(name, t.text_file)) return t.language;
  }
  return std::nullopt;
}

int List() {
  std::printf("%-3s %-18s %-26s %s\n", "#", "language", "text file", "LANGID");
  for (const LanguageTraits& t : AllLanguages()) {
    std::printf("%-3d %-18.*s %-26.*s 0x%04X%s\n", static_cast<int>(t.language), static_cast<int>(t.name.size()),
                t.name.data(), static_cast<int>(t.text_file.size()), t.text_file.data(), t.lang_id,
                t.right_to_left ? "  right to left" : "");
  }
  std::printf("%-3d %-18s %-26s %s\n", static_cast<int>(blUser), "User", "-", "the Windows user language");
  return 0;
}

std::vector<std::string> Placeholders(const std::string& text) {
  static const std::regex spec("%[-0-9.:*]*[a-zA-Z%]");
  std::vector<std::string> out;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), spec); it != std::sregex_iterator(); ++it) {
    out.push_back(it->str());
  }
  return out;
}

int Check(const std::string& file, std::optional<TBrwlLanguage> language) {
  if (!language) language = LanguageOfFileName(file);
  if (!language) throw Exception("Name the language of " + file + " (its file name names none)");
  TLanguage table(nullptr, *language);
  table.Strings().LoadFromFile(file);  // throws with the line index and the language
  TLanguage english(nullptr, blEnglish);
  english.SetStrings(StandardTableLines(blEnglish));
  int problems = 0;
  for (const auto& entry : english.StringEntries()) {
    const TLanguageString* own = table.FindString(entry->GLID());
    if (own == nullptr) {
      std::printf("%s: GLID %d is missing (\"%s\")\n", file.c_str(), entry->GLID(), entry->Text().c_str());
      ++problems;
    } else if (Placeholders(own->Text()) != Placeholders(entry->Text())) {
      std::printf("%s: GLID %d changes the placeholders of \"%s\"\n", file.c_str(), entry->GLID(),
                  entry->Text().c_str());
      ++problems;
    }
  }
  std::printf("%s: %zu strings, %zu memos%s\n", file.c_str(), table.StringEntries().size(),
              table.MemoEntries().size(), problems == 0 ? ", every standard number" : "");
  return problems == 0 ? 0 : 1;
}

Json* FindTranslator(Json& document, const std::string& name) {
  auto components = document.find("components");
  if (components == document.end() || !components->is_array()) return nullptr;
  for (Json& entry : *components) {
    if (!entry.is_object() || !entry.contains("class") || !entry.contains("name")) continue;
    if (!entry["class"].is_string() || !entry["name"].is_string()) continue;
    const bool is_translator = SameText(entry["class"].get<std::string>(), "TTranslator");
    if (is_translator && (name.empty() || SameText(entry["name"].get<std::string>(), name))) return &entry;
  }
  return nullptr;
}

int Load(const std::string& project_file, TBrwlLanguage language, const std::string& file,
         const std::string& translator_name) {
  TLanguage table(nullptr, language);
  table.Strings().LoadFromFile(file);
  host::Env& env = host::Env::Default();
  host::Result<std::string> text = env.ReadFile(project_file);
  if (!text) throw Exception(Format(kCannotReadProject, {project_file}));
  Json document;
  try {
    document = Json::parse(*text);
  } catch (const Json::parse_error& e) {
    throw Exception(Format(kNotJson, {project_file, e.what()}));
  }
  Json* translator = FindTranslator(document, translator_name);
  if (translator == nullptr) {
    if (!translator_name.empty()) throw Exception(Format(kNoTranslator, {translator_name}));
    if (!document.contains("components") || !document["components"].is_array()) {
      throw Exception(Format(kNotJson, {project_file, "it has no list of components"}));
    }
    document["components"].push_back(Json{{"class", "TTranslator"}, {"name", "MainTranslator"}});
    translator = &document["components"].back();
  }
  const LanguageTraits& traits = *TraitsOf(language);
  Json& properties = (*translator)["properties"];
  properties[std::string(traits.property)]["Strings"] = table.Lines();
  host::Result<unsigned> mode = env.FileMode(project_file);
  if (env.WriteFileAtomically(project_file, document.dump(2) + "\n",
                              mode ? std::optional<unsigned>(*mode) : std::nullopt)) {
    throw Exception(Format(kCannotWriteProject, {project_file}));
  }
  std::printf("%s: %s.%.*s holds %zu lines of %s\n", project_file.c_str(),
              (*translator)["name"].get<std::string>().c_str(), static_cast<int>(traits.property.size()),
              traits.property.data(), table.Lines().size(), file.c_str());
  return 0;
}

}  // namespace

int RunLanguage(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  std::vector<std::string> positional;
  std::string translator;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    if (a == "--translator") {
      translator = OptionValue(args, i);
    } else if (a.starts_with("-")) {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  const std::string verb = positional.empty() ? "" : positional[0];
  if (verb == "list" && positional.size() == 1) return List();
  if (verb == "show" && positional.size() == 2) {
    std::string_view text = StandardTableText(Language(positional[1]));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (verb == "check" && (positional.size() == 2 || positional.size() == 3)) {
    return Check(positional[1], positional.size() == 3 ? std::optional(Language(positional[2])) : std::nullopt);
  }
  if (verb == "load" && positional.size() == 4) {
    return Load(positional[1], Language(positional[2]), positional[3], translator);
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace brimwell::cli
