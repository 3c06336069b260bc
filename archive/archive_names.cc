#include "archive/archive_names.h"

#include <algorithm>

#include "framework/text_case.h"

namespace brimwell {
namespace {

std::size_t NamePartStart(std::string_view path) {
  std::size_t pos = path.find_last_of("\\/:");
  return pos == std::string_view::npos ? 0 : pos + 1;
}

}  // namespace

std::string_view FileNamePart(std::string_view path) { return path.substr(NamePartStart(path)); }

std::string_view DirectoryPart(std::string_view path) {
  std::size_t start = NamePartStart(path);
  if (start == 0) return {};
  // Keep the colon of "C:name", drop a trailing separator.
  if (path[start - 1] == ':') return path.substr(0, start);
  return path.substr(0, start - 1);
}

std::string DiskFileName(std::string_view path, int disk) {
  std::size_t start = NamePartStart(path);
  std::size_t dot = path.find_last_of('.');
  std::string_view stem =
      dot != std::string_view::npos && dot >= start ? path.substr(0, dot) : path;
  return std::string(stem) + "." + std::to_string(disk);
}

bool SameArchiveSet(std::string_view a, std::string_view b) {
  return SameText(DiskFileName(a, 1), DiskFileName(b, 1));
}

std::string_view FirstToken(std::string_view line) { return line.substr(0, line.find(';')); }

}  // namespace brimwell
