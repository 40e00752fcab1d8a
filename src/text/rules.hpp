// Rules shared by the text readers: white space, lines, fields, numbers, rows, axis labels and
// the quoted form of a value in messages. All functions are pure; all views point into the
// caller's text. Texts handed in are valid UTF-8 (the output of decode).
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fast_float/fast_float.h>

#include "pattern/error.hpp"
#include "pattern/pattern.hpp"

namespace vorlen::text {

namespace detail {
// Byte classes for the hot loops: kOther bytes are ASCII that is neither white space nor a
// comma, so they end a trim or continue a token without further tests.
inline constexpr unsigned char kOther = 0, kSpace = 1, kComma = 2,
                               kSpaceOrComma = kSpace | kComma, kNonAscii = 4;
inline constexpr std::array<unsigned char, 256> byte_class = [] {
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 256; ++b) {
    if (b >= 0x80) table[b] = kNonAscii;
    else if (b == ' ' || (b >= 0x09 && b <= 0x0D)) table[b] = kSpace;
    else if (b == ',') table[b] = kComma;
  }
  return table;
}();
inline unsigned char class_of(char c) { return byte_class[static_cast<unsigned char>(c)]; }

// The first byte at or after p that is not an ASCII space, or end. Column-aligned files pad
// with runs of spaces, which are skipped eight bytes at a time.
inline const char* skip_spaces(const char* p, const char* end) {
  constexpr std::uint64_t spaces = 0x2020202020202020ULL, low7 = 0x7F7F7F7F7F7F7F7FULL;
  if (p == end || *p != ' ') return p;  // no run at all: the common case between numbers
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    word ^= spaces;
    // The top bit of each byte that is not a space.
    const std::uint64_t others = (((word & low7) + low7) | word) & ~low7;
    if (others == 0) {
      p += 8;
      continue;
    }
    const int skipped = std::endian::native == std::endian::little ? std::countr_zero(others)
                                                                    : std::countl_zero(others);
    return p + skipped / 8;
  }
  while (p < end && *p == ' ') ++p;
  return p;
}

std::string_view trim_left_any(std::string_view s);
std::string_view trim_right_any(std::string_view s);
}  // namespace detail

// Unicode White_Space.
bool is_white_space(char32_t c);
// Byte length of the white-space character that starts at `s[at]`, or 0 when there is none.
std::size_t white_space_at(std::string_view s, std::size_t at);
// Byte length of the white-space character that ends just before `s[end]`, or 0.
std::size_t white_space_before(std::string_view s, std::size_t end);

// A line that starts with a visible ASCII character, as data lines do, is returned at once.
inline std::string_view trim_left(std::string_view s) {
  if (!s.empty() && detail::class_of(s.front()) != detail::kSpace &&
      detail::class_of(s.front()) != detail::kNonAscii) {
    return s;
  }
  return detail::trim_left_any(s);
}
// A line that ends with a visible ASCII character is returned at once.
inline std::string_view trim_right(std::string_view s) {
  if (!s.empty() && detail::class_of(s.back()) != detail::kSpace &&
      detail::class_of(s.back()) != detail::kNonAscii) {
    return s;
  }
  return detail::trim_right_any(s);
}
inline std::string_view trim(std::string_view s) { return trim_right(trim_left(s)); }

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
    if (lf == nullptr) lf = end;
    else if (lf > begin && lf[-1] == '\r') --lf;
    line = std::string_view(begin, static_cast<std::size_t>(lf - begin));
    rest_ = std::string_view(next, static_cast<std::size_t>(end - next));
    return true;
  }
  // The text not yet returned as lines.
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// The number of lines of a text: an upper bound for the rows of any line-oriented reader.
std::size_t line_count(std::string_view text);

// A token and, when it is a plain decimal, the value `parse_decimal` gives it, read while the
// token was found. `has_value` false says nothing: the token may still be a number in another
// form (inf, nan, a D exponent), which the number rules then try on `text`.
struct Token {
  std::string_view text;
  bool has_value = false;
  double value = 0;
};

// The non-empty pieces of a line split at white space (Tokens) or at white space and commas
// (Fields).
class Tokens {
 public:
  explicit Tokens(std::string_view line, bool comma_separates = false)
      : rest_(line), comma_(comma_separates) {}
  bool next(std::string_view& token);
  // The same token, with its value when it is a plain decimal: a number is scanned once, by
  // the float parser, instead of once to find its end and again to convert it.
  bool next(Token& token);

 private:
  // next(Token&) for any token, from the first byte that is not an ASCII separator.
  bool next_any(Token& token);
  // First byte of the next token, or the end.
  const char* skip_separators(const char* p, const char* end) const;
  // End of the token that continues at `p`, and the length of the separator after it.
  const char* token_end(const char* p, const char* end, std::size_t& separator) const;
  void advance(const char* token_end, std::size_t separator, const char* end);

  std::string_view rest_;
  bool comma_;
};

class Fields : public Tokens {
 public:
  explicit Fields(std::string_view line) : Tokens(line, true) {}
};

// Up to `n` tokens of a line, for callers that need to count them.
std::size_t take_tokens(std::string_view line, std::string_view* out, std::size_t n);
std::size_t take_tokens(std::string_view line, Token* out, std::size_t n);

// Step 1 of the number rule: the whole token in decimal float syntax (optional sign, digits with
// an optional point, optional exponent; or inf/infinity/nan in any case), correctly rounded.
// Returns false when the syntax is refused; the value may be infinite or NaN.
bool parse_decimal(std::string_view token, double& value);

// The decimal at the front of [p, end): an optional sign, a digit or a point, then as much as
// the float parser takes, rounded as `parse_decimal` rounds. Returns where the number ends, or
// nullptr when no decimal starts at p.
// Inline: it sits on the path of every number of every text reader.
inline const char* decimal_prefix(const char* p, const char* end, double& value) {
  const bool negative = p < end && *p == '-';
  const char* const body = p < end && (*p == '+' || *p == '-') ? p + 1 : p;
  if (body == end || !((*body >= '0' && *body <= '9') || *body == '.')) return nullptr;
  const auto result = fast_float::from_chars(body, end, value, fast_float::chars_format::general);
  // fast_float reports out-of-range values as errors; the rule wants the rounded value.
  if (result.ec == std::errc::result_out_of_range) {
    if (std::abs(value) < 1) value = 0;
  } else if (result.ec != std::errc()) {
    return nullptr;
  }
  if (negative) value = -value;
  return result.ptr;
}

// The common token, a plain decimal between ASCII separators, is read here without further
// calls; every other token goes through the general scan.
inline bool Tokens::next(Token& token) {
  const unsigned char separators = comma_ ? detail::kSpaceOrComma : detail::kSpace;
  const char* const end = rest_.data() + rest_.size();
  const char* p = detail::skip_spaces(rest_.data(), end);
  while (p < end && (detail::class_of(*p) & separators) != 0) ++p;
  if (p == end) {
    rest_ = {};
    return false;
  }
  if (detail::class_of(*p) == detail::kOther) {
    const char* const number_end = decimal_prefix(p, end, token.value);
    if (number_end == end ||
        (number_end != nullptr && (detail::class_of(*number_end) & separators) != 0)) {
      token.has_value = true;
      token.text = std::string_view(p, static_cast<std::size_t>(number_end - p));
      const char* const rest = number_end == end ? end : number_end + 1;
      rest_ = std::string_view(rest, static_cast<std::size_t>(end - rest));
      return true;
    }
  }
  rest_ = std::string_view(p, static_cast<std::size_t>(end - p));
  return next_any(token);
}

// The token's decimal value (`parse_decimal`), taken from the token when it was read with it.
inline bool parse_decimal(const Token& token, double& value) {
  if (token.has_value) {
    value = token.value;
    return true;
  }
  return parse_decimal(token.text, value);
}

namespace detail {
// The text-number rule for a token that is not a finite decimal at first reading.
Result<double> number_retried(std::string_view token);
// xy_row for every row.
Result<std::pair<double, double>> xy_row_any(std::string_view line, std::string_view context);
}  // namespace detail

// The text-number rule: decimal syntax, then a retry with D/d read as E, finite values only.
// Messages: "Invalid numeric value {quoted}", "Non-finite numeric value {quoted}".
// Inline so that the common case, a finite decimal, costs no Result passed through memory.
inline Result<double> number(std::string_view token) {
  double value = 0;
  if (parse_decimal(token, value) && std::isfinite(value)) return value;
  return detail::number_retried(token);
}

inline Result<double> number(const Token& token) {
  if (token.has_value && std::isfinite(token.value)) return token.value;
  return number(token.text);
}

// An optional '+' then one or more ASCII digits, fitting 64 bits unsigned; nothing else.
bool parse_unsigned(std::string_view s, std::uint64_t& value);

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

// The reader's lists as its result, or "{context}: no complete x/y pattern found" when x is
// empty or the lengths differ.
Result<Series> pattern(std::vector<double> x, std::vector<double> y, std::string_view context);

// Case changes of the ASCII letters only; every other byte, UTF-8 included, stays as it is.
std::string ascii_upper(std::string_view s);
std::string ascii_lower(std::string_view s);
bool equals_ignoring_ascii_case(std::string_view a, std::string_view b);

// Full Unicode lower-casing (U+0130 becomes "i̇", final sigma is context dependent).
std::string lowercase(std::string_view s);

// White space, '-' and '_' removed, the rest lower-cased: "2-Theta" -> "2theta".
std::string axis_key(std::string_view label);

// Fails with "{context}: axis {quoted label} is not 2theta in degrees" for a refused axis.
Status check_axis(std::string_view label, std::string_view context);

// The value in double quotes with backslash escapes (\" \\ \t \r \n \0 \u{hex}).
std::string quoted(std::string_view s);

}  // namespace vorlen::text
