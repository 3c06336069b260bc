// The loader's own command line. Only the first argument counts, and only
// when it begins with a star: the word after the star, in any letter case,
// asks for a quiet run (no progress shown) or for the transfer to floppies.
#pragma once

#include <span>

namespace brimwell {

enum class StarWord {
  kNone,    // no star argument, or a star followed by another word
  kQuiet,   // "*QUIET": no progress is shown
  kToDisk,  // "*TODISK": the engine starts in floppy-transfer mode
};

// `args` are the arguments after the program name.
StarWord ParseStarWord(std::span<const char* const> args);

}  // namespace brimwell
