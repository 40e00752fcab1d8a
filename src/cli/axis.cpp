#include "cli/axis.hpp"

#include <charconv>
#include <cmath>

namespace vorlen::cli {

namespace {

constexpr int wanted_ticks = 6;

struct Step {
  double mantissa;  // 1, 2 or 5
  int exponent;
  double size() const { return mantissa * std::pow(10.0, exponent); }
};

// The round step that divides `span` into about `wanted_ticks` parts.
Step round_step(double span) {
  const double raw = span / wanted_ticks;
  int exponent = static_cast<int>(std::floor(std::log10(raw)));
  const double scaled = raw / std::pow(10.0, exponent);
  double mantissa = scaled < 1.5 ? 1 : scaled < 3.5 ? 2 : scaled < 7.5 ? 5 : 10;
  if (mantissa == 10) {
    mantissa = 1;
    ++exponent;
  }
  return {mantissa, exponent};
}

// The label of the tick at `multiple` steps of mantissa * 10^exponent: with as many decimals
// as the step has, so 0.1 * 3 shows as 0.3; for values far from 1, the multiple and a power of
// ten (2e-301), which no rounding of a decimal can spoil.
std::string tick_label(long long multiple, double mantissa, int exponent, double value) {
  const double size = std::abs(value);
  if (value == 0) return "0";
  if (size < 1e-4 || size >= 1e7 || exponent < -20) {
    return std::to_string(multiple * static_cast<long long>(mantissa)) + "e" +
           std::to_string(exponent);
  }
  char text[64];
  const auto result = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed,
                                    exponent < 0 ? -exponent : 0);
  return std::string(text, result.ptr);
}

// A span that is not zero, so every value has a place.
void widen_empty(double& low, double& high) {
  if (high > low) return;
  const double half = low == 0 ? 0.5 : std::abs(low) * 0.05;
  low -= half;
  high += half;
}

// Round ticks need a span that is a number and that is not lost beside the values' size
// (2theta from 1e22 to 1e22 + 1 has no round tick a long integer could count).
bool has_round_ticks(double low, double high) {
  const double span = high - low;
  return std::isfinite(span) && std::max(std::abs(low), std::abs(high)) / span < 1e12;
}

}  // namespace

Axis Axis::ends_only(double low, double high) {
  Axis axis(low, high, false);
  for (const double value : {low, high}) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof(text), value);
    axis.ticks_.push_back({value, std::string(text, result.ptr)});
  }
  return axis;
}

Axis Axis::linear(double low, double high, bool from_zero) {
  if (from_zero) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
  }
  widen_empty(low, high);
  if (!has_round_ticks(low, high)) return Axis::ends_only(low, high);
  const Step step = round_step(high - low);
  Axis axis(std::floor(low / step.size()) * step.size(),
            std::ceil(high / step.size()) * step.size(), false);
  axis.add_linear_ticks(step.mantissa, step.exponent);
  return axis;
}

Axis Axis::tight(double low, double high) {
  widen_empty(low, high);
  if (!has_round_ticks(low, high)) return Axis::ends_only(low, high);
  const Step step = round_step(high - low);
  Axis axis(low, high, false);
  axis.add_linear_ticks(step.mantissa, step.exponent);
  return axis;
}

Axis Axis::logarithmic(double low, double high) {
  const double first = std::floor(std::log10(low));
  double last = std::ceil(std::log10(high));
  if (last <= first) last = first + 1;
  Axis axis(first, last, true);
  // At most about ten labelled decades.
  const int every = static_cast<int>(std::ceil((last - first) / 10));
  for (int power = static_cast<int>(first); power <= static_cast<int>(last); power += every) {
    axis.ticks_.push_back({std::pow(10.0, power), std::to_string(power)});
  }
  return axis;
}

// Ticks are whole multiples of the step, computed from the multiple so that no rounding
// error accumulates across the axis.
void Axis::add_linear_ticks(double step_mantissa, int step_exponent) {
  const double size = step_mantissa * std::pow(10.0, step_exponent);
  const auto first = static_cast<long long>(std::ceil(low_ / size - 1e-9));
  const auto last = static_cast<long long>(std::floor(high_ / size + 1e-9));
  for (long long k = first; k <= last; ++k) {
    const double value =
        step_exponent < 0 ? static_cast<double>(k) * step_mantissa / std::pow(10.0, -step_exponent)
                          : static_cast<double>(k) * size;
    ticks_.push_back({value, tick_label(k, step_mantissa, step_exponent, value)});
  }
}

// Halves first, so that the span of two values far apart cannot overflow.
double Axis::fraction(double value) const {
  const double v = log_ ? std::log10(value) : value;
  return (v / 2 - low_ / 2) / (high_ / 2 - low_ / 2);
}

}  // namespace vorlen::cli
