// Rows of line-oriented formats: the x/y row, the reader's lists as its result, and the quoted
// values of header lines.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/pattern.hpp"
#include "text/ascii.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/tokens.hpp"

namespace vorlen::text {

namespace detail {
// xy_row for every row.
Result<std::pair<double, double>> xy_row_any(std::string_view line, std::string_view context);
}  // namespace detail

// The common row, two plain finite decimals first: true and their values. Any other row gives
// false and is left to the general path, which gives the messages.
inline bool plain_xy_row(std::string_view line, double& x, double& y) {
  Fields fields(line);
  Token first, second;
  if (!fields.next(first) || !fields.next(second) || !first.has_value || !second.has_value ||
      !std::isfinite(first.value) || !std::isfinite(second.value)) {
    return false;
  }
  x = first.value;
  y = second.value;
  return true;
}

// The first two fields of a line as (x, y); "{context}: missing position" / "... intensity".
// Inline for the common row; any other row is read again by the general path.
inline Result<std::pair<double, double>> xy_row(std::string_view line, std::string_view context) {
  double x = 0, y = 0;
  if (plain_xy_row(line, x, y)) return std::pair{x, y};
  return detail::xy_row_any(line, context);
}

// The row's x and y appended to the reader's lists. Forced inline into the reader's loop, as a
// row read in place there is: the common row passes no Result through memory and costs no call.
[[gnu::always_inline]] inline Status append_xy_row(std::string_view line, std::string_view context,
                                                   std::vector<double>& x, std::vector<double>& y) {
  double row_x = 0, row_y = 0;
  if (!plain_xy_row(line, row_x, row_y)) {
    VORLEN_ASSIGN(const auto row, detail::xy_row_any(line, context));
    row_x = row.first;
    row_y = row.second;
  }
  x.push_back(row_x);
  y.push_back(row_y);
  return {};
}

// Rows read in place from the text, without finding the line's end first and splitting it.
// Where commas separate fields, as white space does, and where anything after the row's values
// is passed over (`Rest::Ignored`) or must be white space (`Rest::Blank`).
enum class Commas { Separate, Join };
enum class Rest { Ignored, Blank };

// A plain row at `p`, the start of a line: optional spaces, then N plain decimals, all finite,
// separated by runs of spaces and tabs (and commas where they separate), then the line's end (LF,
// CR LF or the end of the text) after optional spaces and tabs; or, where the rest is ignored,
// anything after a separator. Returns the start of the next line, the values in `values`; nullptr
// when the line is not such a row, which the reader then reads by its general path. That path
// reads every plain row to the same values, bit for bit (tests/test_fast_paths.cpp).
template <std::size_t N>
const char* plain_row(const char* p, const char* const end, double (&values)[N], Commas commas,
                      Rest rest) {
  const auto separates = [commas](char c) {
    return c == ' ' || c == '\t' || (c == ',' && commas == Commas::Separate);
  };
  p = skip_spaces(p, end);
  for (std::size_t i = 0;; ++i) {
    if (p == end || class_of(*p) != kOther) return nullptr;
    p = decimal_prefix(p, end, values[i]);
    if (p == nullptr || !std::isfinite(values[i])) return nullptr;
    const bool last = i + 1 == N;
    if (p == end) return last ? end : nullptr;
    if (*p == '\n') return last ? p + 1 : nullptr;
    if (*p == '\r') return last && end - p >= 2 && p[1] == '\n' ? p + 2 : nullptr;
    if (!separates(*p)) return nullptr;
    while (p < end && separates(*p)) ++p;
    if (last) break;
  }
  if (rest == Rest::Ignored) {
    const void* const lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    return lf != nullptr ? static_cast<const char*>(lf) + 1 : end;
  }
  if (p == end) return end;
  if (*p == '\n') return p + 1;
  return *p == '\r' && end - p >= 2 && p[1] == '\n' ? p + 2 : nullptr;
}

// A plain x/y row at the front of `lines`, as plain_row reads it, anything after the pair
// ignored: true, its values appended to x and y, and `lines` past it; false, nothing changed,
// for any other line.
inline bool take_plain_row(Lines& lines, std::vector<double>& x, std::vector<double>& y) {
  const std::string_view text = lines.rest();
  double values[2];
  const char* const next =
      plain_row(text.data(), text.data() + text.size(), values, Commas::Separate, Rest::Ignored);
  if (next == nullptr) return false;
  x.push_back(values[0]);
  y.push_back(values[1]);
  lines.skip_to(next);
  return true;
}

// The reader's lists as its result, or "{context}: no complete x/y pattern found" when x is
// empty or the lengths differ.
Result<Series> pattern(std::vector<double> x, std::vector<double> y, std::string_view context);

// True when the line, untrimmed, starts with a visible ASCII character other than the format's
// `structure` characters (which open its markers, header lines and comments): a data row. Rows
// of blocks a reader does not read are passed over by this test alone, without trimming.
inline bool starts_as_row(std::string_view line, std::string_view structure) {
  if (line.empty()) return false;
  const char c = line.front();
  return c > ' ' && c < '\x7f' && structure.find(c) == std::string_view::npos;
}

// A header value without the quote characters (any of `quotes`) at either end; white space
// inside the quotes stays.
inline std::string_view strip_quotes(std::string_view value, std::string_view quotes) {
  while (!value.empty() && quotes.find(value.front()) != std::string_view::npos)
    value.remove_prefix(1);
  while (!value.empty() && quotes.find(value.back()) != std::string_view::npos)
    value.remove_suffix(1);
  return value;
}

}  // namespace vorlen::text
