// CHI integrated profiles: a title, the x-axis label, the intensity label, a point-count line,
// then one x/y row per non-blank line.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/spares.hpp"
#include "text/axis.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"

namespace vorlen {

namespace {

constexpr std::string_view kContext = "CHI";

Error fail(std::string_view message) { return Error::parse("CHI: " + std::string(message)); }

bool contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

// True when one of the maximal letter-and-digit runs of `lower` is a word that names a
// quantity other than an angle.
bool has_other_axis_word(std::string_view lower) {
  static constexpr std::array<std::string_view, 5> words = {"d", "q", "pixel", "radial", "channel"};
  std::size_t word_start = 0;
  std::size_t at = 0;
  while (at <= lower.size()) {
    std::size_t width = 1;
    const bool in_word =
        at < lower.size() && text::is_letter_or_number(text::code_point_at(lower, at, width));
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
  const bool names_other =
      has_other_axis_word(lower) || key.starts_with("qnm") || key.starts_with("qa");
  const bool in_radians = contains(lower, "radian") || contains(lower, "(rad)");
  if ((!names_2theta && (names_other || contains(key, "dspacing"))) || in_radians) {
    return fail("x axis " + text::quoted(lower) + " is not 2theta in degrees");
  }
  return {};
}

// "N" or "N 1": the declared point count of the single dataset.
Result<std::uint64_t> declared_count(std::string_view line) {
  std::array<std::string_view, 3> tokens;
  const std::size_t count = text::take_tokens(line, tokens.data(), tokens.size());
  std::uint64_t points = 0;
  if (count == 0 || !text::parse_unsigned(tokens[0], points)) {
    return fail("invalid point count");
  }
  if (count >= 2 && tokens[1] != "1") {
    return fail("only one dataset per profile is supported");
  }
  if (count == 3) return fail("invalid point-count header");
  return points;
}

}  // namespace

Result<Series> parse_chi(Bytes data) {
  VORLEN_ASSIGN(const Text text, decode(data));
  return parse_chi(text);
}

Result<Series> parse_chi(const Text& decoded) {
  text::Lines lines(decoded.view());
  std::string_view line;
  if (!lines.next(line)) return fail("missing four-line header");
  if (!lines.next(line)) return fail("missing x axis label");
  VORLEN_TRY(check_x_label(line));
  if (!lines.next(line)) return fail("missing intensity label");
  if (!lines.next(line)) return fail("missing point count");
  VORLEN_ASSIGN(const std::uint64_t declared, declared_count(line));

  // A row takes three bytes at least ("1 2").
  const std::size_t rows = rows_to_reserve(declared, lines.rest().size(), 3);
  std::vector<double> x = values_for(rows), y = values_for(rows);
  for (;;) {
    if (text::take_plain_row(lines, x, y)) continue;
    if (!lines.next(line)) break;
    if (text::trim(line).empty()) continue;
    VORLEN_TRY(text::append_xy_row(line, kContext, x, y));
  }
  if (x.size() != declared) {
    return fail("header declares " + std::to_string(declared) + " points but " +
                std::to_string(x.size()) + " were read");
  }
  return text::pattern(std::move(x), std::move(y), kContext);
}

}  // namespace vorlen
