#include "platform/internet_replies.h"

#include <cctype>

namespace brimwell {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The code of an FTP reply line ("ddd" followed by end, blank or dash) and
// the character after it; 0 when the line does not start a reply.
std::pair<int, char> ReplyCode(std::string_view line) {
  if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return {0, 0};
  const char after = line.size() > 3 ? line[3] : ' ';
  if (after != ' ' && after != '-') return {0, 0};
  return {(line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'), after};
}

}  // namespace

std::string_view ChompAnswerLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() > kMaxAnswerLine) line = line.substr(0, kMaxAnswerLine);
  return line;
}

void HttpAnswerHead::AddLine(std::string_view raw) {
  const std::string_view line = ChompAnswerLine(raw);
  // "HTTP/x.y ddd reason": the version, one blank, three digits.
  if (line.size() >= 12 && line.substr(0, 5) == "HTTP/") {
    const std::size_t blank = line.find(' ');
    if (blank != std::string_view::npos && blank + 4 <= line.size() && IsDigit(line[blank + 1]) &&
        IsDigit(line[blank + 2]) && IsDigit(line[blank + 3]) &&
        (blank + 4 == line.size() || line[blank + 4] == ' ')) {
      status_code_ = (line[blank + 1] - '0') * 100 + (line[blank + 2] - '0') * 10 + (line[blank + 3] - '0');
      status_line_ = std::string(line);
      complete_ = false;
      fields_.clear();
      return;
    }
  }
  if (status_code_ == 0 || complete_) return;  // nothing before a status line, nothing after the head
  if (line.empty()) {
    complete_ = true;
    return;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0 || fields_.size() >= kMaxAnswerFields) return;
  fields_.emplace_back(std::string(Trim(line.substr(0, colon))), std::string(Trim(line.substr(colon + 1))));
}

std::optional<std::string> HttpAnswerHead::Field(std::string_view name) const {
  for (const auto& [field, value] : fields_) {
    if (EqualNoCase(field, name)) return value;
  }
  return std::nullopt;
}

void FtpReplyReader::AddLine(std::string_view raw) {
  const std::string_view line = ChompAnswerLine(raw);
  const auto [code, after] = ReplyCode(line);
  if (pending_code_ != 0) {
    const bool last = code == pending_code_ && after == ' ';
    // The closing line is kept even when the lines before it were cut.
    if (pending_.size() < kMaxReplyLines || last) pending_.emplace_back(line);
    if (!last) return;
  } else {
    if (code == 0) return;  // not a reply: no server sends text outside one
    pending_.assign(1, std::string(line));
    if (after == '-') {
      pending_code_ = code;
      return;
    }
  }
  last_code_ = code;
  last_reply_.clear();
  for (const std::string& l : pending_) {
    if (!last_reply_.empty()) last_reply_ += '\n';
    last_reply_ += l;
  }
  pending_.clear();
  pending_code_ = 0;
}

void FtpReplyReader::Clear() {
  last_code_ = 0;
  last_reply_.clear();
}

}  // namespace brimwell
