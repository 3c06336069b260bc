#include "loader/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace brimwell {
namespace {

constexpr char kTitle[] = "Initializing...";
constexpr int kBarWidth = 40;

}  // namespace

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::SetPosition(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == shown_) return;
  shown_ = percent;
  int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  std::fprintf(out_, "\r%s [%s] %3d%%", kTitle, bar.c_str(), percent);
  std::fflush(out_);
  open_line_ = true;
}

void ProgressBar::Finish() {
  if (!open_line_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  open_line_ = false;
}

int ProgressBar::Percent(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int>(std::lround(static_cast<double>(done) / static_cast<double>(total) * 100));
}

}  // namespace brimwell
