// A one-line progress bar on stderr, drawn only when stderr is a terminal:
// logs and pipes of a CI run get nothing from it.
#pragma once

#include <cstdint>
#include <string>

namespace sfxtool {

class ProgressBar {
 public:
  // `total` is the value that stands for 100 %; 0 shows a full bar at once.
  ProgressBar(std::string label, std::uint64_t total);
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Redraws the bar when the whole percentage changed; values beyond the
  // total show as 100 %.
  void Update(std::uint64_t done);

  // Ends the bar's line, so that what follows on stderr starts on a line of
  // its own. Later updates are ignored.
  void Finish();

 private:
  bool enabled_;
  std::string label_;
  std::uint64_t total_;
  int shownPercent_ = -1;
};

}  // namespace sfxtool
