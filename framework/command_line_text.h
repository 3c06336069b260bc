// Taking a command-line text apart the way a started program's runtime
// does: blanks (space, tab) outside double quotes separate arguments and the
// quotes are removed, so "-sC:\My Build" in quotes stays one argument. The
// loader, the engine and the platform's program starter and batch
// interpreter all read command lines this way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

// The arguments of `line`. A pair of quotes with nothing between them is an
// empty argument; a quote left open runs to the end of the line.
std::vector<std::string> SplitCommandLine(std::string_view line);

}  // namespace brimwell
