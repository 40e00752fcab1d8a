#include "pattern/pattern.hpp"

#include <bit>
#include <cstdint>

#include "pattern/spares.hpp"

namespace vorlen {

namespace {

// On x86-64 the scan below is also built for AVX2, picked when the processor has it: four
// values per instruction instead of two.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VORLEN_AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define VORLEN_AVX2_CLONE
#endif

struct Flaws {
  bool x;  // a non-finite x, or a step that is not up
  bool y;  // a non-finite y
};

// x and y of equal, nonzero length in one branch-free loop, which the compiler vectorises: the
// two sequences are read side by side, once. Each word ORed in has its top bit set by every
// offending value. The difference of two finite values is never NaN; a step that is not up is
// negative, -0 or +0, which the sign bit of the difference, or of the difference less one,
// shows.
VORLEN_AVX2_CLONE Flaws scan(const double* x, const double* y, std::size_t n) {
  std::uint64_t x_bad = non_finite_bit(x[0]);
  std::uint64_t y_bad = non_finite_bit(y[0]);
  for (std::size_t i = 1; i < n; ++i) {
    const auto step = std::bit_cast<std::uint64_t>(x[i] - x[i - 1]);
    x_bad |= non_finite_bit(x[i]) | step | (step - 1);
    y_bad |= non_finite_bit(y[i]);
  }
  return {any_non_finite(x_bad), any_non_finite(y_bad)};
}

}  // namespace

Pattern::~Pattern() {
  keep_spare(std::move(x_));
  keep_spare(std::move(y_));
}

Result<Pattern> Pattern::create(std::vector<double> x, std::vector<double> y) {
  if (x.size() != y.size()) return Error::parse("x and y must have the same length");
  if (x.empty()) return Error::parse("pattern contains no points");
  const Flaws flaws = scan(x.data(), y.data(), x.size());
  if (flaws.x) return Error::parse("x values must be finite and strictly increasing");
  if (flaws.y) return Error::parse("y values must be finite");
  return Pattern(std::move(x), std::move(y));
}

}  // namespace vorlen
