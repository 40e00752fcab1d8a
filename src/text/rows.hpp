// Rows of line-oriented formats: the x/y row, the reader's lists as its result, and the quoted
// values of header lines.
#pragma once

#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/pattern.hpp"
#include "text/tokens.hpp"

namespace vorlen::text {

namespace detail {
// xy_row for every row.
Result<std::pair<double, double>> xy_row_any(std::string_view line, std::string_view context);
}  // namespace detail

// The first two fields of a line as (x, y); "{context}: missing position" / "... intensity".
// Inline for the common row of two plain decimals; any other row is read again by the general
// path, which gives the messages.
inline Result<std::pair<double, double>> xy_row(std::string_view line, std::string_view context) {
  Fields fields(line);
  Token first, second;
  if (fields.next(first) && fields.next(second) && first.has_value && second.has_value &&
      std::isfinite(first.value) && std::isfinite(second.value)) {
    return std::pair{first.value, second.value};
  }
  return detail::xy_row_any(line, context);
}

// The row's x and y appended to the reader's lists.
inline Status append_xy_row(std::string_view line, std::string_view context, std::vector<double>& x,
                            std::vector<double>& y) {
  VORLEN_ASSIGN(const auto row, xy_row(line, context));
  x.push_back(row.first);
  y.push_back(row.second);
  return {};
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
