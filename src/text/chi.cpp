// CHI integrated profiles: a title, the x-axis label, the intensity label, a point-count line,
// then one x/y row per non-blank line.
#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "parser/decode.hpp"
#include "parser/readers.hpp"
#include "text/rules.hpp"

namespace vorlen {

namespace {

bool contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

bool is_letter_or_digit(utf8proc_int32_t c) {
  switch (utf8proc_category(c)) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO:
    case UTF8PROC_CATEGORY_ND:
    case UTF8PROC_CATEGORY_NL:
    case UTF8PROC_CATEGORY_NO:
      return true;
    default:
      return false;
  }
}

// True when one of the maximal letter-and-digit runs of `lower` is a word that names a
// quantity other than an angle.
bool has_other_axis_word(std::string_view lower) {
  static constexpr std::array<std::string_view, 5> words = {"d", "q", "pixel", "radial",
                                                            "channel"};
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(lower.data());
  std::size_t word_start = 0;
  std::size_t at = 0;
  while (at <= lower.size()) {
    std::size_t width = 1;
    bool in_word = false;
    if (at < lower.size()) {
      utf8proc_int32_t c = 0;
      const auto left = static_cast<utf8proc_ssize_t>(lower.size() - at);
      const auto n = utf8proc_iterate(bytes + at, left, &c);
      if (n > 0) width = static_cast<std::size_t>(n);
      in_word = n > 0 && is_letter_or_digit(c);
    }
    if (!in_word) {
      const std::string_view word = lower.substr(word_start, at - word_start);
      if (std::find(words.begin(), words.end(), word) != words.end()) return true;
      word_start = at + width;
    }
    at += width;
  }
  return false;
}

// Integration software labels the x axis freely; refuse the labels that name d-spacing, Q,
// pixels, channels or radial distance instead of 2theta, and angles in radians.
Status check_x_label(std::string_view label) {
  const std::string lower = text::lowercase(label);
  const std::string key = text::axis_key(lower);
  // "2th" also covers "2theta".
  const bool names_2theta = contains(key, "2th") || contains(key, "tth") || contains(key, "\u03b8");
  const bool names_other = has_other_axis_word(lower) || key.starts_with("qnm") ||
                           key.starts_with("qa");
  const bool in_radians = contains(lower, "radian") || contains(lower, "(rad)");
  if ((!names_2theta && (names_other || contains(key, "dspacing"))) || in_radians) {
    return Error::parse("CHI: x axis " + text::quoted(lower) + " is not 2theta in degrees");
  }
  return {};
}

// "N" or "N 1": the declared point count of the single dataset.
Result<std::uint64_t> declared_count(std::string_view line) {
  std::array<std::string_view, 3> tokens;
  const std::size_t count = text::take_tokens(line, tokens.data(), tokens.size());
  std::uint64_t points = 0;
  if (count == 0 || !text::parse_unsigned(tokens[0], points)) {
    return Error::parse("CHI: invalid point count");
  }
  if (count >= 2 && tokens[1] != "1") {
    return Error::parse("CHI: only one dataset per profile is supported");
  }
  if (count == 3) return Error::parse("CHI: invalid point-count header");
  return points;
}

}  // namespace

Result<Series> parse_chi(Bytes data) {
  VORLEN_ASSIGN(const Text decoded, decode(data));
  text::Lines lines(decoded.view());
  std::string_view line;
  if (!lines.next(line)) return Error::parse("CHI: missing four-line header");
  if (!lines.next(line)) return Error::parse("CHI: missing x axis label");
  VORLEN_TRY(check_x_label(line));
  if (!lines.next(line)) return Error::parse("CHI: missing intensity label");
  if (!lines.next(line)) return Error::parse("CHI: missing point count");
  VORLEN_ASSIGN(const std::uint64_t declared, declared_count(line));

  // A row takes at least three bytes ("1 2"), so this bounds the reservation by the input
  // rather than by the header's claim.
  const std::size_t room = lines.rest().size() / 3 + 1;
  std::vector<double> x;
  std::vector<double> y;
  x.reserve(std::min<std::uint64_t>(declared, room));
  y.reserve(std::min<std::uint64_t>(declared, room));
  while (lines.next(line)) {
    if (text::trim(line).empty()) continue;
    VORLEN_ASSIGN(const auto point, text::xy_row(line, "CHI"));
    x.push_back(point.first);
    y.push_back(point.second);
  }
  if (x.size() != declared) {
    return Error::parse("CHI: header declares " + std::to_string(declared) + " points but " +
                        std::to_string(x.size()) + " were read");
  }
  return text::pattern(std::move(x), std::move(y), "CHI");
}

}  // namespace vorlen
