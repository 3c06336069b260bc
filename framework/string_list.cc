#include "framework/string_list.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "framework/format.h"
#include "framework/text_case.h"
#include "host/host_env.h"

namespace brimwell {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool SameText(std::string_view a, std::string_view b, bool case_sensitive) {
  return case_sensitive ? a == b : brimwell::SameText(a, b);
}

std::string_view NameOf(std::string_view line) {
  return line.substr(0, line.find('='));
}

std::string SystemReason(int error) { return std::strerror(error); }

}  // namespace

void TStringList::CheckIndex(int index, bool end_allowed) const {
  if (index < 0 || index > Count() || (index == Count() && !end_allowed)) {
    throw EStringListError(Format(kListIndexError, {index}));
  }
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index);
  return lines_[index];
}

void TStringList::SetStrings(int index, std::string value) {
  CheckIndex(index);
  lines_[index] = std::move(value);
}

int TStringList::Add(std::string line) {
  lines_.push_back(std::move(line));
  return Count() - 1;
}

void TStringList::AddStrings(const TStringList& other) {
  // Copy first: other may be this list, whose storage grows while we append.
  std::vector<std::string> added = other.lines_;
  lines_.insert(lines_.end(), std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
}

void TStringList::Insert(int index, std::string line) {
  CheckIndex(index, true);
  lines_.insert(lines_.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  lines_.erase(lines_.begin() + index);
}

void TStringList::Move(int cur_index, int new_index) {
  CheckIndex(cur_index);
  CheckIndex(new_index);
  if (cur_index == new_index) return;
  std::string line = std::move(lines_[cur_index]);
  lines_.erase(lines_.begin() + cur_index);
  lines_.insert(lines_.begin() + new_index, std::move(line));
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(lines_[index1], lines_[index2]);
}

void TStringList::Clear() { lines_.clear(); }

void TStringList::Assign(const TStringList& other) {
  if (&other != this) lines_ = other.lines_;
}

int TStringList::IndexOf(std::string_view s, bool case_sensitive) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(lines_[i], s, case_sensitive)) return i;
  }
  return -1;
}

std::string TStringList::Text() const {
  std::size_t size = 0;
  for (const std::string& line : lines_) size += line.size() + kLineBreak.size();
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines_) {
    text += line;
    text += kLineBreak;
  }
  return text;
}

void TStringList::SetText(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find_first_of("\r\n", start);
    if (stop == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, stop - start));
    start = stop + 1;
    if (text[stop] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  lines_ = std::move(lines);
}

std::string TStringList::Names(int index) const {
  const std::string& line = Strings(index);
  std::size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = Strings(index);
  std::size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = lines_[i];
    // A line without "=" has no value and is never a name=value entry.
    if (line.find('=') != std::string::npos && SameText(NameOf(line), name, case_sensitive_)) {
      return i;
    }
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValues(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) lines_.erase(lines_.begin() + i);
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (i >= 0) {
    lines_[i] = std::move(line);
  } else {
    lines_.push_back(std::move(line));
  }
}

void TStringList::LoadFromFile(const std::string& path) {
  host::Result<std::string> bytes = host::Env::Default().ReadFile(path);
  if (!bytes) throw EStreamError(Format(kCannotOpenFile, {path, SystemReason(bytes.error().value())}));
  std::string_view text = *bytes;
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  TStringList::SetText(text);
}

void TStringList::SaveToFile(const std::string& path) const {
  if (std::error_code e = host::Env::Default().WriteFile(path, Text())) {
    throw EStreamError(Format(kCannotCreateFile, {path, SystemReason(e.value())}));
  }
}

}  // namespace brimwell
