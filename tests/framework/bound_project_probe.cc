// A stand-in engine for the tests: prints the project bound to its own
// executable. Exit status 0 with the project on standard output, 3 when none
// is bound, 4 with the message on standard error when reading failed.
#include <cstdio>
#include <exception>

#include "framework/bound_project.h"

// The probe stands in for the engine, so it carries the engine's mark.
[[gnu::used]] static const char kEngineMark[] = BRIMWELL_ENGINE_MARK;

int main() {
  try {
    std::optional<std::string> project = brimwell::ReadOwnBoundProject();
    if (!project) return 3;
    std::fwrite(project->data(), 1, project->size(), stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 4;
  }
}
