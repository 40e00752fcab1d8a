// Tokens and fields of a line: the non-empty pieces between separators, as views into the
// line, each with its value when it is a plain decimal.
#pragma once

#include <cmath>
#include <cstddef>
#include <string_view>

#include "pattern/error.hpp"
#include "text/ascii.hpp"
#include "text/number.hpp"

namespace vorlen::text {

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

// The common token, a plain decimal between ASCII separators, is read here without further
// calls; every other token goes through the general scan.
inline bool Tokens::next(Token& token) {
  const unsigned char separators = comma_ ? kSpaceOrComma : kSpace;
  const char* const end = rest_.data() + rest_.size();
  const char* p = skip_spaces(rest_.data(), end);
  while (p < end && (class_of(*p) & separators) != 0) ++p;
  if (p == end) {
    rest_ = {};
    return false;
  }
  if (class_of(*p) == kOther) {
    const char* const number_end = decimal_prefix(p, end, token.value);
    if (number_end == end || (number_end != nullptr && (class_of(*number_end) & separators) != 0)) {
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

inline Result<double> number(const Token& token) {
  if (token.has_value && std::isfinite(token.value)) return token.value;
  return number(token.text);
}

}  // namespace vorlen::text
