// Plain two-column text: one point per line, anything that does not start with two numbers
// skipped, binary data and non-finite values refused.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "pattern/readers.hpp"
#include "pattern/spares.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"

namespace vorlen {

namespace {

constexpr std::string_view context = "ASCII";

bool is_comment_marker(char c) { return c == ';' || c == '!' || c == '#' || c == '\'' || c == '/'; }

// Byte-order marks left at the start of any line (concatenated exports) are ignored.
std::string_view drop_leading_byte_order_marks(std::string_view line) {
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  while (line.substr(0, bom.size()) == bom) line.remove_prefix(bom.size());
  return line;
}

}  // namespace

Result<Series> parse_xy(Bytes data) {
  VORLEN_ASSIGN(const Text text, decode(data));
  return parse_xy(text);
}

Result<Series> parse_xy(const Text& decoded) {
  const std::string_view text = decoded.view();
  // NUL is not white space, so the line holding the first NUL is the first line that fails.
  const char* const first_nul = static_cast<const char*>(std::memchr(text.data(), 0, text.size()));
  // One row per line at most; a data row takes about 8 bytes or more, so a text of blank or
  // tiny lines never reserves more than twice its own size.
  const std::size_t rows = rows_to_reserve(text::line_count(text), text.size(), 8);
  std::vector<double> x = values_for(rows), y = values_for(rows);
  text::Lines lines(text);
  std::string_view line;
  for (;;) {
    // The common row is read in place; one that holds the first NUL is left to the general
    // path, which refuses it.
    const std::string_view rest = lines.rest();
    double row[2];
    const char* const next = text::plain_row(rest.data(), rest.data() + rest.size(), row,
                                             text::Commas::Separate, text::Rest::Ignored);
    if (next != nullptr && (first_nul == nullptr || first_nul >= next)) {
      x.push_back(row[0]);
      y.push_back(row[1]);
      lines.skip_to(next);
      continue;
    }
    if (!lines.next(line)) break;
    // Fields skip trailing white space themselves, so only the left side is trimmed.
    line = drop_leading_byte_order_marks(text::trim_left(line));
    if (line.empty()) continue;
    if (first_nul != nullptr && first_nul >= line.data() && first_nul < line.data() + line.size()) {
      return Error::parse("Binary data supplied to an ASCII pattern reader");
    }
    if (is_comment_marker(line.front())) continue;
    text::Fields fields(line);
    text::Token first, second;
    if (!fields.next(first) || !fields.next(second)) continue;
    double vx = 0, vy = 0;
    bool x_ok = text::parse_decimal(first, vx);
    bool y_ok = text::parse_decimal(second, vy);
    if (!x_ok || !y_ok) continue;
    if (!std::isfinite(vx) || !std::isfinite(vy)) {
      return Error::parse("ASCII pattern contains a non-finite value");
    }
    x.push_back(vx);
    y.push_back(vy);
  }
  return text::pattern(std::move(x), std::move(y), context);
}

}  // namespace vorlen
