// Fuzz target for the readers of server answers: the input, cut into lines
// as a transfer delivers them, goes to the HTTP head reader and to the FTP
// reply reader. Whatever arrives, the readers keep bounded state and give
// well-formed results.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/internet_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  brimwell::HttpAnswerHead head;
  brimwell::FtpReplyReader replies;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    end = end == std::string_view::npos ? bytes.size() : end + 1;
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end);
    head.AddLine(line);
    replies.AddLine(line);
    const int status = head.StatusCode();
    if (status != 0 && (status < 0 || status > 999)) std::abort();
    if (head.StatusLine().size() > brimwell::kMaxAnswerLine) std::abort();
    if (status == 0 && !head.StatusLine().empty()) std::abort();
    if (auto length = head.Field("Content-Length")) {
      if (length->size() > brimwell::kMaxAnswerLine) std::abort();
    }
    if (replies.LastCode() < 0 || replies.LastCode() > 999) std::abort();
    if ((replies.LastCode() == 0) != replies.LastReply().empty()) std::abort();
    if (replies.LastReply().size() > (brimwell::kMaxReplyLines + 1) * (brimwell::kMaxAnswerLine + 1)) std::abort();
  }
  return 0;
}
