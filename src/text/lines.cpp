#include "text/lines.hpp"

#include <algorithm>

#include "text/unicode.hpp"
#include "text/words.hpp"

namespace vorlen::text {

std::string_view trim_left_any(std::string_view s) {
  const char* const end = s.data() + s.size();
  const char* p = skip_spaces(s.data(), end);
  for (;;) {
    // ASCII white space, padding included, is settled by the table; only other bytes are decoded.
    while (p < end && class_of(*p) == kSpace) ++p;
    if (p == end || class_of(*p) != kNonAscii) break;
    const std::size_t n = white_space_at(std::string_view(p, static_cast<std::size_t>(end - p)), 0);
    if (n == 0) break;
    p += n;
  }
  return std::string_view(p, static_cast<std::size_t>(end - p));
}

std::string_view trim_right_any(std::string_view s) {
  const char* const begin = s.data();
  const char* end = begin + s.size();
  for (;;) {
    while (end > begin && class_of(end[-1]) == kSpace) --end;
    if (end == begin || class_of(end[-1]) != kNonAscii) break;
    const auto length = static_cast<std::size_t>(end - begin);
    const std::size_t n = white_space_before(std::string_view(begin, length), length);
    if (n == 0) break;
    end -= n;
  }
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

bool starts_with_word(std::string_view line, std::string_view word) {
  const std::string_view content = trim_left(line);
  return content.starts_with(word) &&
         (content.size() == word.size() || white_space_at(content, word.size()) != 0);
}

std::size_t line_count(std::string_view text) {
  using namespace words;
  std::size_t breaks = 0, at = 0;
  // One count per LF at the bottom of its byte: 1 where the byte equals LF, 0 elsewhere.
  auto line_feeds = [&](std::size_t from) {
    return bytes_equal(load(text.data() + from), '\n') >> 7;
  };
  // Four words summed per byte (at most 4 each), then across the bytes.
  for (; at + 4 * kWordBytes <= text.size(); at += 4 * kWordBytes) {
    breaks +=
        byte_sum(line_feeds(at) + line_feeds(at + 8) + line_feeds(at + 16) + line_feeds(at + 24));
  }
  for (; at + kWordBytes <= text.size(); at += kWordBytes) breaks += byte_sum(line_feeds(at));
  breaks += static_cast<std::size_t>(
      std::count(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), '\n'));
  return breaks + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

}  // namespace vorlen::text
