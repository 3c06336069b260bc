#include "engine/command_line.h"

#include <cctype>

#include "engine/engine_context.h"
#include "engine/engine_errors.h"

namespace brimwell {

static_assert(sizeof(kSwitchLetters) - 1 == 7, "one letter per EngineSwitch");

namespace {

int SwitchIndex(char letter) {
  char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  for (int i = 0; kSwitchLetters[i] != '\0'; ++i) {
    if (kSwitchLetters[i] == lower) return i;
  }
  return -1;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool in_quotes = false;
  bool have = false;
  for (char c : line) {
    if (c == '"') {
      in_quotes = !in_quotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !in_quotes) {
      if (have) args.push_back(current);
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) args.push_back(current);
  return args;
}

CommandLine ParseCommandLine(const EngineContext* ctx, const std::vector<std::string>& arguments) {
  CommandLine result;
  for (const std::string& arg : arguments) {
    int index = arg.size() >= 2 && arg[0] == '-' ? SwitchIndex(arg[1]) : -1;
    if (index < 0) Raise<IEInstall>(ctx, kInvalidParameter, {arg});
    result.present[static_cast<std::size_t>(index)] = true;
    result.arguments[static_cast<std::size_t>(index)] = arg.substr(2);
  }
  return result;
}

std::string QuoteArgument(std::string_view argument) { return "\"" + std::string(argument) + "\""; }

}  // namespace brimwell
