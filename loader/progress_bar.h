// The loader's progress display: one line on a terminal, redrawn in place,
// showing the title "Initializing..." and the share of the presetup files
// written so far. The loader shows it only when standard error is a terminal
// and the run is not quiet.
#pragma once

#include <cstdint>
#include <cstdio>

namespace brimwell {

class ProgressBar {
 public:
  // Draws on `out`, which must outlive this object.
  explicit ProgressBar(std::FILE* out) : out_(out) {}
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  // Ends the line if anything was drawn.
  ~ProgressBar();

  // Draws the bar at `percent` (clamped to 0..100); nothing is redrawn when
  // the shown value does not change.
  void SetPosition(int percent);
  // Ends the line so that later output starts on a line of its own.
  void Finish();

  // The percentage of `done` out of `total`, rounded; 0 when total is 0.
  static int Percent(std::int64_t done, std::int64_t total);

 private:
  std::FILE* out_;
  int shown_ = -1;
  bool open_line_ = false;
};

}  // namespace brimwell
