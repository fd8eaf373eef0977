#include "tools/sfxtool/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sfxtool {
namespace {

constexpr int kBarWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::string label, std::uint64_t total)
    : enabled_(::isatty(STDERR_FILENO) == 1), label_(std::move(label)), total_(total) {}

void ProgressBar::Update(std::uint64_t done) {
  if (!enabled_) return;
  const std::uint64_t clamped = std::min(done, total_);
  const int percent = total_ == 0 ? 100 : static_cast<int>(clamped * 100 / total_);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, ' ').c_str(), percent);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (enabled_ && shownPercent_ >= 0) std::fputc('\n', stderr);
  enabled_ = false;
}

}  // namespace sfxtool
