#include "platform/win_path.h"

#include <vector>

#include "framework/text_case.h"

namespace brimwell {
namespace {

// Index just after the drive or UNC root ("C:", "\\server\share") that a
// path begins with; 0 when it has none.
std::size_t RootPrefixLength(std::string_view path) {
  if (WinDriveLetter(path)) return 2;
  if (IsWinUncPath(path)) {
    std::size_t i = 2;
    int parts = 0;
    while (i < path.size() && parts < 2) {
      std::size_t start = i;
      while (i < path.size() && !IsWinPathSeparator(path[i])) ++i;
      if (i > start) ++parts;
      if (parts < 2 && i < path.size()) ++i;
    }
    return i;
  }
  return 0;
}

// Position of the last separator or drive colon, npos when none.
std::size_t LastDelimiter(std::string_view path) {
  for (std::size_t i = path.size(); i-- > 0;) {
    if (IsWinPathSeparator(path[i]) || path[i] == ':') return i;
  }
  return std::string_view::npos;
}

bool MatchMask(std::string_view name, std::string_view mask) {
  // Iterative wildcard match with backtracking on the last '*'.
  std::size_t n = 0, m = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || AsciiUpper(mask[m]) == AsciiUpper(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      star = m++;
      mark = n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool IsWinPathSeparator(char c) { return c == '\\' || c == '/'; }

std::optional<char> WinDriveLetter(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') {
    char c = AsciiUpper(path[0]);
    if (c >= 'A' && c <= 'Z') return c;
  }
  return std::nullopt;
}

bool IsWinUncPath(std::string_view path) {
  return path.size() >= 2 && IsWinPathSeparator(path[0]) && IsWinPathSeparator(path[1]);
}

bool IsWinFullPath(std::string_view path) {
  return WinDriveLetter(path).has_value() && path.size() >= 3 && IsWinPathSeparator(path[2]);
}

bool WinNamesEqual(std::string_view a, std::string_view b) { return SameText(a, b); }

int WinCompareNames(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(AsciiUpper(a[i]));
    unsigned char y = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string WinUpperCase(std::string_view s) { return AsciiUpperCase(s); }

std::string WinLowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string ExtractFilePath(std::string_view path) {
  std::size_t i = LastDelimiter(path);
  return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileDir(std::string_view path) {
  std::size_t i = LastDelimiter(path);
  if (i == std::string_view::npos) return std::string();
  // Keep the separator of a root ("C:\", "\") and the colon of "C:".
  if (path[i] == ':' || i == 0 || (i == 2 && WinDriveLetter(path))) {
    return std::string(path.substr(0, i + 1));
  }
  return std::string(path.substr(0, i));
}

std::string ExtractFileName(std::string_view path) {
  std::size_t i = LastDelimiter(path);
  return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::size_t i = path.find_last_of(".\\/:");
  if (i == std::string_view::npos || path[i] != '.') return std::string();
  return std::string(path.substr(i));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::size_t i = path.find_last_of(".\\/:");
  std::string_view stem = (i == std::string_view::npos || path[i] != '.') ? path : path.substr(0, i);
  std::string out(stem);
  out += ext;
  return out;
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || !IsWinPathSeparator(out.back())) out += '\\';
  return out;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && IsWinPathSeparator(out.back())) {
    bool is_root = out.size() == 1 || (out.size() == 3 && WinDriveLetter(out));
    if (!is_root) out.pop_back();
  }
  return out;
}

std::string JoinWinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out(dir);
  if (!IsWinPathSeparator(out.back()) && !(out.size() == 2 && out[1] == ':')) out += '\\';
  std::size_t skip = 0;
  while (skip < name.size() && IsWinPathSeparator(name[skip])) ++skip;
  out += name.substr(skip);
  return out;
}

std::string NormalizeWinPath(std::string_view path) {
  std::size_t root_len = RootPrefixLength(path);
  std::string root(path.substr(0, root_len));
  for (char& c : root) {
    if (c == '/') c = '\\';
  }
  std::string_view rest = path.substr(root_len);
  bool absolute = !rest.empty() && IsWinPathSeparator(rest.front());
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsWinPathSeparator(rest[i])) ++i;
    std::size_t start = i;
    while (i < rest.size() && !IsWinPathSeparator(rest[i])) ++i;
    std::string_view part = rest.substr(start, i - start);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute && root_len == 0) {
        parts.push_back(part);  // a relative path keeps leading ".."
      }
      continue;
    }
    parts.push_back(part);
  }
  bool trailing = !rest.empty() && IsWinPathSeparator(rest.back()) && !parts.empty();
  std::string out = root;
  if (absolute) out += '\\';
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out += '\\';
    out += parts[k];
  }
  if (trailing) out += '\\';
  return out;
}

bool WinMatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  if (MatchMask(name, mask)) return true;
  // DOS rule: "NAME.*" and masks ending in ".*" also match a name without an
  // extension; "*." matches names without a dot.
  if (name.find('.') == std::string_view::npos) {
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
      return MatchMask(name, mask.substr(0, mask.size() - 2));
    }
    if (!mask.empty() && mask.back() == '.') return MatchMask(name, mask.substr(0, mask.size() - 1));
  }
  return false;
}

}  // namespace brimwell
