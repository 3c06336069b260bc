// Reading what servers answer, line by line as a transfer delivers it: the
// head of an HTTP answer (status line and header fields) and the replies
// of an FTP server on its control connection. Both keep bounded state
// whatever a server sends: long lines are cut and only the first fields
// are kept.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brimwell {

// Limits on what is kept of an answer.
inline constexpr std::size_t kMaxAnswerLine = 8192;
inline constexpr std::size_t kMaxAnswerFields = 200;
inline constexpr std::size_t kMaxReplyLines = 64;

class HttpAnswerHead {
 public:
  // Takes one line of the head, with or without its CR LF. A status line
  // ("HTTP/1.1 200 OK") starts a new answer, dropping the fields of an
  // earlier one (a redirection, an interim 1xx answer); an empty line ends
  // the head.
  void AddLine(std::string_view line);

  // The status code of the latest answer; 0 before a valid status line.
  int StatusCode() const { return status_code_; }
  // The latest status line without CR LF; empty before one.
  const std::string& StatusLine() const { return status_line_; }
  // True once the empty line after a status line was seen.
  bool Complete() const { return complete_; }
  // The value of the first field named `name` (without case), trimmed of
  // blanks; nullopt when the answer has none.
  std::optional<std::string> Field(std::string_view name) const;

 private:
  int status_code_ = 0;
  std::string status_line_;
  bool complete_ = false;
  std::vector<std::pair<std::string, std::string>> fields_;
};

class FtpReplyReader {
 public:
  // Takes one line from the control connection, with or without CR LF. A
  // reply is one line "ddd text", or lines from "ddd-text" to a line
  // beginning "ddd " (or "ddd" alone) with the same code.
  void AddLine(std::string_view line);

  // The latest complete reply, its lines joined by "\n"; empty before one.
  const std::string& LastReply() const { return last_reply_; }
  // Its three-digit code; 0 before one.
  int LastCode() const { return last_code_; }
  // Forgets the latest reply (a new operation begins).
  void Clear();

 private:
  int pending_code_ = 0;  // code of an unfinished multi-line reply
  std::vector<std::string> pending_;
  int last_code_ = 0;
  std::string last_reply_;
};

// The line without its trailing CR and LF, cut to kMaxAnswerLine bytes.
std::string_view ChompAnswerLine(std::string_view line);

}  // namespace brimwell
