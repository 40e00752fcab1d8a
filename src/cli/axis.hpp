// An axis of a plot: the range it spans, where a value lands on it, and ticks at round values
// (1, 2 or 5 times a power of ten; powers of ten on a logarithmic axis) with their labels.
#pragma once

#include <string>
#include <vector>

namespace vorlen::cli {

struct Tick {
  double value;
  std::string label;  // a logarithmic tick's label is its power of ten: "3" for 1000
};

class Axis {
 public:
  // Spans [low, high] of the data: a linear axis widens it to round values (and to zero when
  // the data is all positive or all negative, so heights compare), a logarithmic one to
  // powers of ten. Both values must be finite; a logarithmic axis takes only positive ones.
  static Axis linear(double low, double high, bool from_zero);
  static Axis logarithmic(double low, double high);
  // The data range exactly, with round ticks inside it (the 2theta axis).
  static Axis tight(double low, double high);

  bool is_log() const { return log_; }
  // Where `value` lies, from 0 at the low end to 1 at the high end.
  double fraction(double value) const;
  const std::vector<Tick>& ticks() const { return ticks_; }

 private:
  // The two ends, labelled, when round ticks cannot be counted.
  static Axis ends_only(double low, double high);
  Axis(double low, double high, bool log) : low_(low), high_(high), log_(log) {}
  void add_linear_ticks(double step_mantissa, int step_exponent);
  double low_, high_;
  bool log_;
  std::vector<Tick> ticks_;
};

}  // namespace vorlen::cli
