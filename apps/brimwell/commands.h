// The subcommands of the developer's command-line tool. Each one is a thin
// wrapper: it parses its arguments and calls library code. A command returns
// the process exit status; it prints its own --help.
#pragma once

#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace brimwell::cli {

using Args = std::span<char* const>;  // the arguments after the subcommand name

struct Command {
  std::string_view name;
  std::string_view summary;
  int (*run)(Args args);
};

// True when args hold -h or --help.
bool WantsHelp(Args args);

// Answers --help (usage on standard output, status 0) and, when the command
// needs arguments, a call without any (usage on standard error, status 2).
// nullopt: go on with the command.
std::optional<int> AnswerHelp(Args args, const char* usage, bool needs_arguments);

// The value that follows the option at args[i]; moves i onto it. Throws
// Exception "missing value after <option>" when the option comes last.
std::string OptionValue(Args args, std::size_t& i);

// Binds the project file to a copy of the engine (`engine`, or the
// setupengine beside this program when empty) at `out`, as `brimwell bind`
// does, printing what it prints; `edit`, when given, changes the project's
// text before it is checked. The exit status of `brimwell bind`.
int BindProjectFile(const std::string& project_file, const std::string& out, const std::string& engine,
                    const std::function<std::string(const std::string&)>& edit);

// `brimwell prefix products|snapshot|diff`; nullopt for the other verbs.
std::optional<int> RunPrefixProductVerbs(Args args);

// A whole number written in decimal or, after "0x", in hexadecimal, with an
// optional minus sign; nullopt for anything else (letters, trailing text,
// an empty text, a value outside 64 bits).
inline std::optional<std::int64_t> ParseNumber(std::string_view text) {
  bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  return negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
}

}  // namespace brimwell::cli
