// BrimwellLoadProgram, shipped as setup.exe: unpacks SETUP.1 and starts the
// setup engine (loader/loader.h).
#include <cstdio>
#include <span>

#include "loader/loader.h"

int main(int argc, char** argv) {
  return brimwell::RunLoaderProgram(
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)),
      stderr);
}
