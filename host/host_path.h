// Host paths as text: joining and taking apart paths with '/' separators.
// Pure string work; nothing here asks the host.
#pragma once

#include <string>
#include <string_view>

namespace brimwell::host {

// `dir` and `name` with one '/' between them; `name` alone when `dir` is
// empty. `name` is taken as relative even when it starts with '/'.
inline std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string path(dir);
  if (path.back() != '/') path += '/';
  path += name;
  return path;
}

// The directory part of `path` without trailing '/': "." for a bare name,
// "/" for a name in the root.
inline std::string ParentDirectory(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

// The part of `path` after its last '/'.
inline std::string_view BaseName(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace brimwell::host
