// The subcommands of the developer's command-line tool. Each one is a thin
// wrapper: it parses its arguments and calls library code. A command returns
// the process exit status; it prints its own --help.
#pragma once

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

// `brimwell prefix products|snapshot|diff`; nullopt for the other verbs.
std::optional<int> RunPrefixProductVerbs(Args args);

}  // namespace brimwell::cli
