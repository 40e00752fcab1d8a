#include "cli/progress.hpp"

#include <unistd.h>
#include <cmath>
#include <string>

#include "cli/files.hpp"

namespace vorlen::cli {

namespace {

constexpr std::string_view clear_line = "\r\x1b[K";
constexpr auto redraw_interval = std::chrono::milliseconds(100);

}  // namespace

Progress::Progress(std::size_t total) : shown_(::isatty(STDERR_FILENO) == 1), total_(total) {}

void Progress::update(std::size_t done) {
  done_ = done;
  if (!shown_ || Clock::now() - last_draw_ < redraw_interval) return;
  draw();
}

void Progress::message(std::string_view line) {
  if (drawn_) {
    write_all(STDERR_FILENO, std::string(clear_line) + std::string(line));
    drawn_ = false;
    draw();
  } else {
    write_all(STDERR_FILENO, line);
  }
}

void Progress::clear() {
  if (drawn_) write_all(STDERR_FILENO, clear_line);
  drawn_ = false;
}

void Progress::draw() {
  if (!shown_) return;
  last_draw_ = Clock::now();
  const double seconds = std::chrono::duration<double>(last_draw_ - start_).count();
  std::string line(clear_line);
  line += "vorlen: " + std::to_string(done_) + "/" + std::to_string(total_) + " files";
  if (seconds > 0.5 && done_ > 0) {
    const double rate = static_cast<double>(done_) / seconds;
    const double left = static_cast<double>(total_ - done_) / rate;
    line += ", " + std::to_string(std::lround(rate)) + " files/s, " +
            std::to_string(std::lround(std::ceil(left))) + " s left";
  }
  write_all(STDERR_FILENO, line);
  drawn_ = true;
}

}  // namespace vorlen::cli
