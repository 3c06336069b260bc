#include "loader/engine_command_line.h"

namespace brimwell {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(std::string_view piece) {
  std::string s = "\"";
  s += piece;
  s += '"';
  return s;
}

}  // namespace

std::string ComposeEngineCommandLine(EngineLaunch launch, std::string_view engine,
                                     std::string_view own_name, std::string_view own_dir) {
  std::string line(engine);
  line += " -c";
  const std::string e_piece = Quoted(std::string("-e") + std::string(own_name));
  switch (launch) {
    case EngineLaunch::kTransferToFloppies:
      // The opening quote of the directory stands after the -s here.
      line += " -f " + e_piece + " -s" + Quoted(own_dir);
      break;
    case EngineLaunch::kSelfExtracting:
      line += " " + e_piece + " " + Quoted(std::string("-s") + std::string(own_dir));
      break;
    case EngineLaunch::kBesideSetup1:
      line += " " + Quoted(std::string("-s") + std::string(own_dir));
      break;
  }
  return line;
}

ProgramInvocation ParseInvocation(std::string_view line,
                                  const std::function<bool(const std::string&)>& is_file) {
  std::size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  line.remove_prefix(start);

  // An unquoted path with blanks: try each prefix that ends before a blank,
  // up to the first quote, shortest first.
  std::size_t quote = line.find('"');
  std::size_t limit = quote == std::string_view::npos ? line.size() : quote;
  for (std::size_t i = line.find_first_of(" \t"); i != std::string_view::npos && i < limit;
       i = line.find_first_of(" \t", i + 1)) {
    std::string candidate(line.substr(0, i));
    if (!candidate.empty() && is_file(candidate)) {
      return {std::move(candidate), SplitCommandLine(line.substr(i))};
    }
  }
  ProgramInvocation invocation;
  std::vector<std::string> args = SplitCommandLine(line);
  if (!args.empty()) {
    invocation.program = std::move(args.front());
    invocation.arguments.assign(std::make_move_iterator(args.begin() + 1),
                                std::make_move_iterator(args.end()));
  }
  return invocation;
}

}  // namespace brimwell
