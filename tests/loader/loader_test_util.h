// Helpers of the loader tests: a temporary directory, files, SETUP.1 images
// built from the format, self-extracting programs and a stub engine that
// records how it was started.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "tests/archive/archive_builder.h"
#include "tests/testutil/temp_dir.h"

namespace brimwell::testing {

inline void WriteHostFile(const std::filesystem::path& path, const Bytes& content) {
  WriteHostFile(path, Text(content));
}
inline bool IsExecutable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0111) != 0;
}
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
inline std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A stub engine: a shell script writing its own path and its arguments, one
// per line, to `record` (in full or not at all).
inline std::string StubEngine(const std::string& record) {
  return "#!/bin/sh\n"
         "for a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + ".part'\n"
         "mv '" + record + ".part' '" + record + "'\n";
}

// Presetup members after the engine: n files with distinct contents.
inline std::vector<TestMember> PresetupFiles(int n) {
  std::vector<TestMember> members;
  for (int i = 1; i <= n; ++i) {
    members.push_back(Member("C:\\Product\\Presetup\\file" + std::to_string(i) + ".dat",
                             MixedContent(100 + 37 * static_cast<std::size_t>(i),
                                          static_cast<std::uint32_t>(i))));
  }
  return members;
}

// A self-extracting program: `loader`, the SETUP.1 image, the files.1 image
// (none when empty) and the trailer locating them.
inline Bytes SelfExtracting(const Bytes& loader, const Bytes& setup1, const Bytes& files1) {
  Bytes out = loader;
  SelfExtractTrailer t;
  t.Setup1Start = static_cast<std::int32_t>(out.size());
  Append(out, setup1);
  t.Setup1End = static_cast<std::int32_t>(out.size()) - 1;
  if (!files1.empty()) {
    t.Files1Start = static_cast<std::int32_t>(out.size());
    Append(out, files1);
    t.Files1End = static_cast<std::int32_t>(out.size()) - 1;
  }
  Append(out, EncodeTrailer(t));
  return out;
}

inline Bytes ReadBytes(const std::string& path) {
  std::string s = ReadHostFile(path);
  return Bytes(s.begin(), s.end());
}

}  // namespace brimwell::testing
