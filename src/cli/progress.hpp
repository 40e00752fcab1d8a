// The progress line of a batch on a terminal: files done of the total, files per second and
// the time left, redrawn in place on standard error and cleared at the end. When standard
// error is not a terminal nothing of it is written, and messages pass through unchanged.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace vorlen::cli {

class Progress {
 public:
  explicit Progress(std::size_t total);
  ~Progress() { clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Redraws the line, at most ten times a second.
  void update(std::size_t done);
  // Writes a message line to standard error, keeping the progress line below it.
  void message(std::string_view line);
  void clear();

 private:
  void draw();
  using Clock = std::chrono::steady_clock;
  bool shown_;
  std::size_t total_;
  std::size_t done_ = 0;
  bool drawn_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_draw_{};
};

}  // namespace vorlen::cli
