// The text-number rule: a token to a finite 64-bit float, through fast_float.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include <fast_float/fast_float.h>

#include "pattern/error.hpp"
#include "text/ascii.hpp"

namespace vorlen::text {

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

// Why a token is not a number under the rule, or kNone when it is one (then `value` holds it).
enum class NumberFault { kNone, kInvalid, kNonFinite };

// The whole text-number rule, without building a message: decimal syntax, then a retry with
// D/d read as E, finite values only.
NumberFault read_number(std::string_view token, double& value);

// The value of a token that is a number under the rule, for callers that try another reading
// when it is not.
inline std::optional<double> try_number(std::string_view token) {
  double value = 0;
  if (read_number(token, value) != NumberFault::kNone) return std::nullopt;
  return value;
}

namespace detail {
// The text-number rule for a token that is not a finite decimal at first reading.
Result<double> number_retried(std::string_view token);
}  // namespace detail

// The text-number rule. Messages: "Invalid numeric value {quoted}", "Non-finite numeric value
// {quoted}". Inline so that the common case, a finite decimal, costs no Result passed through
// memory.
inline Result<double> number(std::string_view token) {
  double value = 0;
  if (parse_decimal(token, value) && std::isfinite(value)) return value;
  return detail::number_retried(token);
}

// A field that holds a finite plain decimal with only ASCII spaces around it, as column-aligned
// files write them, read in place: true and its value. Any other field gives false, also when
// the trimmed text-number rule would accept it; that rule gives the same value for the fields
// accepted here.
inline bool padded_decimal(std::string_view field, double& value) {
  const char* const end = field.data() + field.size();
  const char* const p = skip_spaces(field.data(), end);
  const char* const stop = decimal_prefix(p, end, value);
  if (stop == nullptr || !std::isfinite(value)) return false;
  return skip_spaces(stop, end) == end;
}

// An optional '+' then one or more ASCII digits, fitting 64 bits unsigned; nothing else.
bool parse_unsigned(std::string_view s, std::uint64_t& value);

}  // namespace vorlen::text
