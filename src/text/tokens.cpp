#include "text/tokens.hpp"

#include "text/unicode.hpp"

namespace vorlen::text {

[[gnu::always_inline]] inline const char* Tokens::skip_separators(const char* p,
                                                                  const char* end) const {
  const unsigned char separator = comma_ ? kSpaceOrComma : kSpace;
  for (;;) {
    while (p < end && (class_of(*p) & separator) != 0) ++p;
    if (p == end || class_of(*p) != kNonAscii) return p;
    const std::size_t n = white_space_at(std::string_view(p, static_cast<std::size_t>(end - p)), 0);
    if (n == 0) return p;
    p += n;
  }
}

const char* Tokens::token_end(const char* p, const char* end, std::size_t& separator) const {
  const unsigned char separators = comma_ ? kSpaceOrComma : kSpace;
  separator = 0;
  for (;;) {
    // Plain ASCII token characters, the bulk of any number, need one lookup each.
    while (p < end && class_of(*p) == kOther) ++p;
    if (p == end) return p;
    const unsigned char kind = class_of(*p);
    if ((kind & separators) != 0) {
      separator = 1;
      return p;
    }
    if (kind == kNonAscii) {
      separator = white_space_at(std::string_view(p, static_cast<std::size_t>(end - p)), 0);
      if (separator != 0) return p;
    }
    ++p;  // a comma inside a token, or a byte of a non-space character
  }
}

[[gnu::always_inline]] inline void Tokens::advance(const char* token_end, std::size_t separator,
                                                   const char* end) {
  rest_ = std::string_view(token_end + separator,
                           static_cast<std::size_t>(end - token_end) - separator);
}

bool Tokens::next(std::string_view& token) {
  const char* const end = rest_.data() + rest_.size();
  const char* const first = skip_separators(rest_.data(), end);
  if (first == end) {
    rest_ = {};
    return false;
  }
  std::size_t separator = 0;
  const char* const last = token_end(first, end, separator);
  token = std::string_view(first, static_cast<std::size_t>(last - first));
  advance(last, separator, end);
  return true;
}

bool Tokens::next_any(Token& token) {
  const char* const end = rest_.data() + rest_.size();
  const char* const first = skip_separators(rest_.data(), end);
  if (first == end) {
    rest_ = {};
    return false;
  }
  // The float parser finds where a number ends; when an ASCII separator (or the end) follows,
  // that is the token. Anything else continues the token, which then holds more than the
  // number, or ends at a Unicode space; the bytes read so far are all plain ASCII.
  const unsigned char separators = comma_ ? kSpaceOrComma : kSpace;
  const char* const number_end = decimal_prefix(first, end, token.value);
  std::size_t separator = 0;
  const char* last = number_end;
  if (number_end != nullptr && number_end < end && (class_of(*number_end) & separators) != 0) {
    separator = 1;
  } else if (number_end == nullptr || number_end < end) {
    last = token_end(number_end != nullptr ? number_end : first, end, separator);
  }
  token.has_value = number_end == last;
  token.text = std::string_view(first, static_cast<std::size_t>(last - first));
  advance(last, separator, end);
  return true;
}

namespace {

template <typename T>
std::size_t take(std::string_view line, T* out, std::size_t n) {
  Tokens tokens(line);
  std::size_t count = 0;
  while (count < n && tokens.next(out[count])) ++count;
  return count;
}

}  // namespace

std::size_t take_tokens(std::string_view line, std::string_view* out, std::size_t n) {
  return take(line, out, n);
}

std::size_t take_tokens(std::string_view line, Token* out, std::size_t n) {
  return take(line, out, n);
}

}  // namespace vorlen::text
