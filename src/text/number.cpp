#include "text/number.hpp"

#include <limits>
#include <string>

#include "text/unicode.hpp"

namespace vorlen::text {

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

NumberFault read_number(std::string_view token, double& value) {
  bool parsed = parse_decimal(token, value);
  if (!parsed && token.find_first_of("Dd") != std::string_view::npos) {
    std::string exponent_form(token);
    for (char& c : exponent_form) {
      if (c == 'D' || c == 'd') c = 'E';
    }
    parsed = parse_decimal(exponent_form, value);
  }
  if (!parsed) return NumberFault::kInvalid;
  if (!std::isfinite(value)) return NumberFault::kNonFinite;
  return NumberFault::kNone;
}

Result<double> detail::number_retried(std::string_view token) {
  double value = 0;
  switch (read_number(token, value)) {
    case NumberFault::kNone: return value;
    case NumberFault::kInvalid: return Error::parse("Invalid numeric value " + quoted(token));
    case NumberFault::kNonFinite: break;
  }
  return Error::parse("Non-finite numeric value " + quoted(token));
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

}  // namespace vorlen::text
