// Helpers shared by the files of TBrwlCompress (common parts, adding,
// extracting, splitting); not part of the component's interface.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "archive/brwl_compress.h"
#include "framework/exception.h"

namespace brimwell::brwl_compress {

// Compression and extraction move 64 KB blocks; splitting and copying move
// 8 KB chunks.
inline constexpr std::size_t kCompressBlock = 64 * 1024;
inline constexpr std::size_t kCopyChunk = 8192;

// Percent of `whole` that `part` makes, rounded; 0 for an empty whole.
inline std::uint8_t Percent(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return 0;
  double p = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
  return static_cast<std::uint8_t>(std::clamp(p, 0.0, 255.0));
}

inline std::int32_t Ratio(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return 0;
  return static_cast<std::int32_t>(
      std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole)));
}

inline std::string WithBackslash(std::string_view dir) {
  std::string s(dir);
  if (!s.empty() && s.back() != '\\' && s.back() != '/') s += '\\';
  return s;
}

inline std::span<const std::uint8_t> Bytes(const auto& array) {
  return std::span<const std::uint8_t>(array.data(), array.size());
}

// Runs `undo` when the scope ends, however it ends: what an operation must
// leave behind after success and error alike (the list of files cleared, an
// archive closed).
template <class Undo>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(Undo undo) : undo_(std::move(undo)) {}
  ~AtScopeEnd() { undo_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  Undo undo_;
};

// Runs an operation body under the component's error rules: a stop through
// Abort raises OnAborted and ends quietly; the silent abort ends quietly when
// `quiet_silent_abort`; any other error sets Abort and passes on. What the
// body must undo on an error, its own RAII objects undo while the error
// unwinds, before these rules apply.
template <class Body>
void RunOperation(TBrwlCompress& c, bool quiet_silent_abort, Body body) {
  try {
    body();
  } catch (const EbcAborted&) {
    if (c.OnAborted) c.OnAborted(c);
  } catch (const EAbort&) {
    if (!quiet_silent_abort) {
      c.SetAbort(true);
      throw;
    }
  } catch (...) {  // every other error: note it in Abort and pass it on
    c.SetAbort(true);
    throw;
  }
}

}  // namespace brimwell::brwl_compress
