// What a reader hands back, and the rules readers share in building it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pattern/spares.hpp"

namespace vorlen {

// What a reader hands back: x (2theta in degrees) and y, not yet oriented or validated.
struct Series {
  std::vector<double> x;
  std::vector<double> y;
};

// Point i of an axis given by its start and step: i * step + start, rounded after the product
// and again after the sum, so every point is the value the instrument software wrote out. The
// build never lets the compiler fuse the two into one multiply-add (-ffp-contract=off).
inline double x_at(std::size_t i, double start, double step) {
  const double offset = static_cast<double>(i) * step;
  return offset + start;
}

// The first `count` points of such an axis.
inline std::vector<double> x_from_start_and_step(std::size_t count, double start, double step) {
  std::vector<double> x = values_for(count);
  for (std::size_t i = 0; i < count; ++i) x.push_back(x_at(i, start, step));
  return x;
}

// The `count` points (at least 2) of an axis given by its first and last point:
// i * (last - first) / (count - 1) + first, multiplied, divided and added in this order, each
// step rounded, as the instruments that state their axis this way compute it. The last point
// may differ from `last` in its last bits and is kept as computed.
inline std::vector<double> x_from_start_and_end(std::size_t count, double first, double last) {
  const double span = last - first;
  const double steps = static_cast<double>(count - 1);
  std::vector<double> x = values_for(count);
  // Two points per division instruction: the division is what this loop costs. Each lane
  // rounds exactly as the scalar expression does; the indices count up exactly below 2^53.
  using Pair = double __attribute__((vector_size(16)));
  x.resize(count);
  double* const out = x.data();
  Pair index = {0, 1};
  std::size_t i = 0;
  for (; count - i >= 2; i += 2) {
    const Pair at = index * span / steps + first;
    std::memcpy(out + i, &at, sizeof at);
    index += 2;
  }
  if (i < count) out[i] = static_cast<double>(i) * span / steps + first;
  return x;
}

// How many rows to reserve for a count a file declares: never more than the rest of the input
// can hold at `bytes_per_row` bytes at least per row, so a false count sizes nothing large.
inline std::size_t rows_to_reserve(std::uint64_t declared, std::size_t input_bytes,
                                   std::size_t bytes_per_row) {
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(declared, input_bytes / bytes_per_row + 1));
}

// "scan {index} is out of range ({count} scans)", for a reader asked for a scan it lacks.
inline std::string scan_out_of_range(std::uint64_t index, std::uint64_t count) {
  return "scan " + std::to_string(index) + " is out of range (" + std::to_string(count) + " scans)";
}

}  // namespace vorlen
