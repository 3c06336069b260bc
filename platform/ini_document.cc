#include "platform/ini_document.h"

#include "platform/text_encoding.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

IniDocument::Line IniDocument::Classify(std::string text) {
  Line line;
  line.text = std::move(text);
  std::string_view t = Trim(line.text);
  if (t.empty()) {
    line.kind = Kind::kBlank;
  } else if (t.front() == ';') {
    line.kind = Kind::kComment;
  } else if (t.front() == '[' && t.find(']') != std::string_view::npos) {
    line.kind = Kind::kSection;
    line.name = std::string(t.substr(1, t.find(']') - 1));
  } else {
    line.kind = Kind::kKey;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
      line.name = std::string(t);
    } else {
      line.has_equals = true;
      line.name = std::string(Trim(t.substr(0, eq)));
      line.value = std::string(Trim(t.substr(eq + 1)));
    }
  }
  return line;
}

std::optional<IniDocument> IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  std::string text;
  if (bytes.substr(0, 2) == kUtf16LeBom) {
    std::optional<std::string> decoded = Utf16LeToUtf8(bytes.substr(2));
    if (!decoded) return std::nullopt;
    text = std::move(*decoded);
    doc.encoding_ = Encoding::kUtf16Le;
  } else if (bytes.substr(0, 3) == kUtf8Bom) {
    text = std::string(bytes.substr(3));
    doc.encoding_ = Encoding::kUtf8Bom;
  } else {
    text = std::string(bytes);
  }
  if (text.find('\0') != std::string::npos) return std::nullopt;

  // The first line end decides how added lines end; a file without any
  // gets the Windows CRLF.
  std::size_t lf = text.find('\n');
  doc.line_end_ = (lf != std::string::npos && (lf == 0 || text[lf - 1] != '\r')) ? "\n" : "\r\n";

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t end = nl == std::string::npos ? text.size() : nl;
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    doc.lines_.push_back(Classify(std::move(line)));
    if (nl == std::string::npos) {
      doc.final_line_end_ = false;
      break;
    }
    pos = nl + 1;
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i].text;
    if (i + 1 < lines_.size() || final_line_end_) text += line_end_;
  }
  switch (encoding_) {
    case Encoding::kAnsi: return text;
    case Encoding::kUtf8Bom: return std::string(kUtf8Bom) + text;
    case Encoding::kUtf16Le: return std::string(kUtf16LeBom) + Utf8ToUtf16Le(text);
  }
  return text;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::kSection) ++i;
  return i;
}

std::optional<std::pair<std::size_t, std::size_t>> IniDocument::FindSection(
    std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection && WinNamesEqual(lines_[i].name, section)) {
      return std::make_pair(i + 1, SectionEnd(i));
    }
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  auto range = FindSection(section);
  if (!range) return std::nullopt;
  for (std::size_t i = range->first; i < range->second; ++i) {
    if (lines_[i].kind == Kind::kKey && WinNamesEqual(lines_[i].name, key)) return lines_[i].value;
  }
  return std::nullopt;
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    if (line.kind != Kind::kSection) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || WinNamesEqual(n, line.name);
    if (!seen) names.push_back(line.name);
  }
  return names;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  auto range = FindSection(section);
  if (!range) return names;
  for (std::size_t i = range->first; i < range->second; ++i) {
    if (lines_[i].kind != Kind::kKey) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || WinNamesEqual(n, lines_[i].name);
    if (!seen) names.push_back(lines_[i].name);
  }
  return names;
}

bool IniDocument::HasSection(std::string_view section) const {
  return FindSection(section).has_value();
}

std::vector<std::pair<std::string, std::string>> IniDocument::Entries(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != Kind::kSection || !WinNamesEqual(lines_[i].name, section)) continue;
    std::size_t end = SectionEnd(i);
    for (std::size_t k = i + 1; k < end; ++k) {
      if (lines_[k].kind == Kind::kKey && lines_[k].has_equals) {
        entries.emplace_back(lines_[k].name, lines_[k].value);
      }
    }
  }
  return entries;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  auto range = FindSection(section);
  if (!range) {
    if (!lines_.empty() && lines_.back().kind != Kind::kBlank) lines_.push_back(Classify(""));
    lines_.push_back(Classify("[" + std::string(section) + "]"));
    lines_.push_back(Classify(std::string(key) + "=" + std::string(value)));
    final_line_end_ = true;
    return;
  }
  for (std::size_t i = range->first; i < range->second; ++i) {
    if (lines_[i].kind == Kind::kKey && WinNamesEqual(lines_[i].name, key)) {
      lines_[i] = Classify(lines_[i].name + "=" + std::string(value));
      return;
    }
  }
  // After the last line of the section that is not blank, so that the blank
  // lines separating it from the next section stay where they are.
  std::size_t at = range->second;
  while (at > range->first && lines_[at - 1].kind == Kind::kBlank) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                Classify(std::string(key) + "=" + std::string(value)));
  if (at == lines_.size() - 1) final_line_end_ = true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  auto range = FindSection(section);
  if (!range) return false;
  bool removed = false;
  for (std::size_t i = range->second; i-- > range->first;) {
    if (lines_[i].kind == Kind::kKey && WinNamesEqual(lines_[i].name, key)) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
    }
  }
  return removed;
}

bool IniDocument::DeleteSection(std::string_view section) {
  bool removed = false;
  for (std::size_t i = 0; i < lines_.size();) {
    if (lines_[i].kind == Kind::kSection && WinNamesEqual(lines_[i].name, section)) {
      std::size_t end = SectionEnd(i);
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i),
                   lines_.begin() + static_cast<std::ptrdiff_t>(end));
      removed = true;
    } else {
      ++i;
    }
  }
  return removed;
}

}  // namespace brimwell
