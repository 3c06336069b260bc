#include "framework/command_line_text.h"

namespace brimwell {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool in_token = false, in_quotes = false;
  for (char c : line) {
    if (c == '"') {
      in_quotes = !in_quotes;
      in_token = true;
    } else if ((c == ' ' || c == '\t') && !in_quotes) {
      if (in_token) args.push_back(std::move(current));
      current.clear();
      in_token = false;
    } else {
      current += c;
      in_token = true;
    }
  }
  if (in_token) args.push_back(std::move(current));
  return args;
}

}  // namespace brimwell
