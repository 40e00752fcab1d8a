#include "text/rules.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <fast_float/fast_float.h>
#include <utf8proc.h>

namespace vorlen::text {

using detail::byte_class, detail::kOther, detail::kSpace, detail::kSpaceOrComma,
    detail::kNonAscii;

namespace {

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_ascii_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Decodes the code point at s[at] (the text is valid UTF-8) and its byte length.
char32_t code_point_at(std::string_view s, std::size_t at, std::size_t& length) {
  utf8proc_int32_t c = 0;
  utf8proc_ssize_t n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + at),
                                        static_cast<utf8proc_ssize_t>(s.size() - at), &c);
  if (n <= 0) {  // not reached for decoded text; treat the byte as itself
    length = 1;
    return static_cast<unsigned char>(s[at]);
  }
  length = static_cast<std::size_t>(n);
  return static_cast<char32_t>(c);
}

void append_utf8(std::string& out, char32_t c) {
  utf8proc_uint8_t buffer[4];
  utf8proc_ssize_t n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), buffer);
  out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
}

bool is_letter(char32_t c) {
  switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_LU: case UTF8PROC_CATEGORY_LL: case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM: case UTF8PROC_CATEGORY_LO:
      return true;
    default:
      return false;
  }
}

bool is_printable(char32_t c) {
  if (c == ' ') return true;
  switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_CC: case UTF8PROC_CATEGORY_CF: case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO: case UTF8PROC_CATEGORY_CN: case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP: case UTF8PROC_CATEGORY_ZS:
      return false;
    default:
      return true;
  }
}

constexpr std::array<std::string_view, 16> refused_axis_keys = {
    "x",   "y",   "z",   "d",    "q",    "phi",   "chi",   "khi",
    "psi", "tof", "beta", "time", "theta", "omega", "alpha", "2thetarad"};

}  // namespace

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

std::size_t white_space_at(std::string_view s, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  std::size_t left = s.size() - at;
  unsigned char b = byte(at);
  if (b < 0x80) return is_ascii_space(b) ? 1 : 0;
  if (b == 0xC2) return left >= 2 && (byte(at + 1) == 0x85 || byte(at + 1) == 0xA0) ? 2 : 0;
  if (left < 3 || b < 0xE1 || b > 0xE3) return 0;
  char32_t c = ((b & 0x0F) << 12) | ((byte(at + 1) & 0x3F) << 6) | (byte(at + 2) & 0x3F);
  return is_white_space(c) ? 3 : 0;
}

std::size_t white_space_before(std::string_view s, std::size_t end) {
  if (end >= 1 && static_cast<unsigned char>(s[end - 1]) < 0x80) {
    return is_ascii_space(static_cast<unsigned char>(s[end - 1])) ? 1 : 0;
  }
  if (end >= 2 && static_cast<unsigned char>(s[end - 2]) == 0xC2) return white_space_at(s, end - 2);
  if (end >= 3) return white_space_at(s, end - 3) == 3 ? 3 : 0;
  return 0;
}

std::string_view detail::trim_left_any(std::string_view s) {
  const char* const end = s.data() + s.size();
  const char* p = skip_spaces(s.data(), end);
  for (;;) {
    // ASCII white space, padding included, is settled by the table; only other bytes are decoded.
    while (p < end && byte_class[static_cast<unsigned char>(*p)] == kSpace) ++p;
    if (p == end || byte_class[static_cast<unsigned char>(*p)] != kNonAscii) break;
    const std::size_t n = white_space_at(std::string_view(p, static_cast<std::size_t>(end - p)), 0);
    if (n == 0) break;
    p += n;
  }
  return std::string_view(p, static_cast<std::size_t>(end - p));
}

std::string_view detail::trim_right_any(std::string_view s) {
  const char* const begin = s.data();
  const char* end = begin + s.size();
  for (;;) {
    while (end > begin && byte_class[static_cast<unsigned char>(end[-1])] == kSpace) --end;
    if (end == begin || byte_class[static_cast<unsigned char>(end[-1])] != kNonAscii) break;
    const std::size_t n = white_space_before(std::string_view(begin, static_cast<std::size_t>(end - begin)),
                                             static_cast<std::size_t>(end - begin));
    if (n == 0) break;
    end -= n;
  }
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

std::size_t line_count(std::string_view text) {
  // Word by word: the bytes equal to LF become zero, and zero bytes are counted exactly.
  constexpr std::uint64_t ones = 0x0101010101010101ULL, low7 = 0x7F7F7F7F7F7F7F7FULL;
  std::size_t breaks = 0, at = 0;
  // One bit per LF at the bottom of its byte: 1 where the byte equals LF, 0 elsewhere.
  auto line_feeds = [&](std::size_t from) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + from, 8);
    word ^= ones * '\n';
    return (~(((word & low7) + low7) | word | low7)) >> 7;
  };
  // Four words summed per byte (at most 4 each) and then across bytes by one multiplication,
  // which needs no popcount instruction (the baseline x86-64 target lacks it).
  for (; at + 32 <= text.size(); at += 32) {
    const std::uint64_t sum = line_feeds(at) + line_feeds(at + 8) + line_feeds(at + 16) +
                              line_feeds(at + 24);
    breaks += static_cast<std::size_t>((sum * ones) >> 56);
  }
  for (; at + 8 <= text.size(); at += 8) {
    breaks += static_cast<std::size_t>((line_feeds(at) * ones) >> 56);
  }
  breaks += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), '\n'));
  return breaks + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

[[gnu::always_inline]] inline const char* Tokens::skip_separators(const char* p,
                                                                  const char* end) const {
  const unsigned char separator = comma_ ? kSpaceOrComma : kSpace;
  for (;;) {
    while (p < end && (byte_class[static_cast<unsigned char>(*p)] & separator) != 0) ++p;
    if (p == end || byte_class[static_cast<unsigned char>(*p)] != kNonAscii) return p;
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
    while (p < end && byte_class[static_cast<unsigned char>(*p)] == kOther) ++p;
    if (p == end) return p;
    const unsigned char kind = byte_class[static_cast<unsigned char>(*p)];
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

[[gnu::always_inline]] inline void Tokens::advance(const char* token_end, std::size_t separator, const char* end) {
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
  if (number_end != nullptr && number_end < end &&
      (byte_class[static_cast<unsigned char>(*number_end)] & separators) != 0) {
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

bool parse_decimal(std::string_view token, double& value) {
  const char* const end = token.data() + token.size();
  if (const char* number_end = decimal_prefix(token.data(), end, value)) return number_end == end;
  std::string_view body = token;
  const bool negative = !body.empty() && body.front() == '-';
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
  if (equals_ignoring_ascii_case(body, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (equals_ignoring_ascii_case(body, "inf") ||
             equals_ignoring_ascii_case(body, "infinity")) {
    value = std::numeric_limits<double>::infinity();
  } else {
    return false;
  }
  if (negative) value = -value;
  return true;
}

Result<double> detail::number_retried(std::string_view token) {
  double value = 0;
  bool parsed = parse_decimal(token, value);
  if (!parsed && token.find_first_of("Dd") != std::string_view::npos) {
    std::string exponent_form(token);
    for (char& c : exponent_form) {
      if (c == 'D' || c == 'd') c = 'E';
    }
    parsed = parse_decimal(exponent_form, value);
  }
  if (!parsed) return Error::parse("Invalid numeric value " + quoted(token));
  if (!std::isfinite(value)) return Error::parse("Non-finite numeric value " + quoted(token));
  return value;
}

bool parse_unsigned(std::string_view s, std::uint64_t& value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (v > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

Result<std::pair<double, double>> detail::xy_row_any(std::string_view line,
                                                   std::string_view context) {
  Fields fields(line);
  Token first, second;
  if (!fields.next(first)) return Error::parse(std::string(context) + ": missing position");
  if (!fields.next(second)) return Error::parse(std::string(context) + ": missing intensity");
  VORLEN_ASSIGN(double x, number(first));
  VORLEN_ASSIGN(double y, number(second));
  return std::pair{x, y};
}

Result<Series> pattern(std::vector<double> x, std::vector<double> y, std::string_view context) {
  if (x.empty() || x.size() != y.size()) {
    return Error::parse(std::string(context) + ": no complete x/y pattern found");
  }
  return Series{std::move(x), std::move(y)};
}

std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

std::string lowercase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  char32_t previous = 0;
  for (std::size_t at = 0; at < s.size();) {
    std::size_t length;
    char32_t c = code_point_at(s, at, length);
    at += length;
    if (c < 0x80) {
      out.push_back(ascii_lower(static_cast<char>(c)));
    } else if (c == 0x130) {  // capital I with dot above keeps its dot as a combining mark
      out += "i\xCC\x87";
    } else if (c == 0x3A3) {  // capital sigma ends a word as final sigma
      bool followed_by_letter = false;
      if (at < s.size()) {
        std::size_t next_length;
        followed_by_letter = is_letter(code_point_at(s, at, next_length));
      }
      append_utf8(out, is_letter(previous) && !followed_by_letter ? 0x3C2 : 0x3C3);
    } else {
      append_utf8(out, static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c))));
    }
    previous = c;
  }
  return out;
}

std::string axis_key(std::string_view label) {
  std::string kept;
  kept.reserve(label.size());
  for (std::size_t at = 0; at < label.size();) {
    std::size_t space = white_space_at(label, at);
    if (space != 0) {
      at += space;
      continue;
    }
    std::size_t length;
    char32_t c = code_point_at(label, at, length);
    if (c != '-' && c != '_') kept.append(label.substr(at, length));
    at += length;
  }
  return lowercase(kept);
}

Status check_axis(std::string_view label, std::string_view context) {
  std::string key = axis_key(label);
  for (std::string_view refused : refused_axis_keys) {
    if (key == refused) {
      return Error::parse(std::string(context) + ": axis " + quoted(label) +
                          " is not 2theta in degrees");
    }
  }
  return {};
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (std::size_t at = 0; at < s.size();) {
    std::size_t length;
    char32_t c = code_point_at(s, at, length);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\0': out += "\\0"; break;
      default:
        if (is_printable(c)) {
          out.append(s.substr(at, length));
        } else {
          char hex[16];
          std::snprintf(hex, sizeof hex, "\\u{%x}", static_cast<unsigned>(c));
          out += hex;
        }
    }
    at += length;
  }
  out += '"';
  return out;
}

}  // namespace vorlen::text
