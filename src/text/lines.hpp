// Lines of a text and trimming of white space: views into the caller's text.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "text/ascii.hpp"

namespace vorlen::text {

// Trimming of any text, Unicode white space included.
std::string_view trim_left_any(std::string_view s);
std::string_view trim_right_any(std::string_view s);

// A line that starts with a visible ASCII character, as data lines do, is returned at once.
inline std::string_view trim_left(std::string_view s) {
  if (!s.empty() && class_of(s.front()) != kSpace && class_of(s.front()) != kNonAscii) return s;
  return trim_left_any(s);
}
// A line that ends with a visible ASCII character is returned at once.
inline std::string_view trim_right(std::string_view s) {
  if (!s.empty() && class_of(s.back()) != kSpace && class_of(s.back()) != kNonAscii) return s;
  return trim_right_any(s);
}
inline std::string_view trim(std::string_view s) { return trim_right(trim_left(s)); }

// True when the first white-space separated word of the line is `word` (which holds no white
// space): after any leading white space, `word`, then white space or the line's end.
bool starts_with_word(std::string_view line, std::string_view word);

// Lines end at LF; a CR right before the LF goes with it; a final line without LF counts when
// it is not empty.
class Lines {
 public:
  explicit Lines(std::string_view text) : rest_(text) {}
  bool next(std::string_view& line) {
    if (rest_.empty()) return false;
    const char* const begin = rest_.data();
    const char* const end = begin + rest_.size();
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', rest_.size()));
    const char* const next = lf != nullptr ? lf + 1 : end;
    if (lf == nullptr)
      lf = end;
    else if (lf > begin && lf[-1] == '\r')
      --lf;
    line = std::string_view(begin, static_cast<std::size_t>(lf - begin));
    rest_ = std::string_view(next, static_cast<std::size_t>(end - next));
    return true;
  }
  // The text not yet returned as lines.
  std::string_view rest() const { return rest_; }
  // Passes over the rest up to `next`, the start of a line in it, for a caller that has read
  // the lines before it in place.
  void skip_to(const char* next) {
    rest_ = std::string_view(next, static_cast<std::size_t>(rest_.data() + rest_.size() - next));
  }

 private:
  std::string_view rest_;
};

// The number of lines of a text: an upper bound for the rows of any line-oriented reader.
std::size_t line_count(std::string_view text);

}  // namespace vorlen::text
