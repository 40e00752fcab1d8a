// The result record, the read options and the two library entry points.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/error.hpp"

namespace vorlen {

// A word whose top bit is set when v is infinite or NaN (only an all-ones exponent carries into
// it): ORed over many values, it checks them all without a branch per value.
inline std::uint64_t non_finite_bit(double v) {
  constexpr std::uint64_t exponent = 0x7FF0000000000000ULL, exponent_unit = 0x0010000000000000ULL;
  return (std::bit_cast<std::uint64_t>(v) & exponent) + exponent_unit;
}
inline bool any_non_finite(std::uint64_t bits) { return bits >> 63 != 0; }

// The caller's input: never copied, never modified.
using Bytes = std::span<const unsigned char>;

inline Bytes as_bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// What a reader hands back: x (2theta in degrees) and y, not yet oriented or validated.
struct Series {
  std::vector<double> x;
  std::vector<double> y;
};

struct ReadOptions {
  std::uint64_t index = 0;
  std::optional<std::string> block;
};

// One diffraction pattern. Only `create` builds one, so every Pattern holds at least one
// point, a finite strictly increasing x and a finite y of the same length.
class Pattern {
 public:
  static Result<Pattern> create(std::vector<double> x, std::vector<double> y);

  const std::vector<double>& x() const { return x_; }
  const std::vector<double>& y() const { return y_; }

 private:
  Pattern(std::vector<double> x, std::vector<double> y) : x_(std::move(x)), y_(std::move(y)) {}
  std::vector<double> x_;
  std::vector<double> y_;
};

// Reads the whole file at `path` and parses it; `path` doubles as the file-name hint.
Result<Pattern> read_with_options(std::string_view path, const ReadOptions& options);

// Parses the caller's bytes in place; `filename` is only a hint for format detection.
Result<Pattern> read_bytes_with_options(Bytes data, std::string_view filename,
                                        const ReadOptions& options);

}  // namespace vorlen
