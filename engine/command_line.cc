#include "engine/command_line.h"

#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "framework/text_case.h"

namespace brimwell {

static_assert(sizeof(kSwitchLetters) - 1 == 7, "one letter per EngineSwitch");

namespace {

int SwitchIndex(char letter) {
  char lower = AsciiLower(letter);
  for (int i = 0; kSwitchLetters[i] != '\0'; ++i) {
    if (kSwitchLetters[i] == lower) return i;
  }
  return -1;
}

}  // namespace

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
