// The result record, the caller's input bytes and the read options.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vorlen/error.hpp"

namespace vorlen {

// The caller's input: never copied, never modified.
using Bytes = std::span<const unsigned char>;

struct ReadOptions {
  std::uint64_t index = 0;
  std::optional<std::string> block;
};

// One diffraction pattern. Only `create` builds one, so every Pattern holds at least one
// point, a finite strictly increasing x and a finite y of the same length.
class Pattern {
 public:
  static Result<Pattern> create(std::vector<double> x, std::vector<double> y);

  Pattern(const Pattern&) = default;
  Pattern(Pattern&&) noexcept = default;
  Pattern& operator=(const Pattern&) = default;
  Pattern& operator=(Pattern&&) noexcept = default;
  // Leaves the memory of x and y to the thread for its next read.
  ~Pattern();

  const std::vector<double>& x() const { return x_; }
  const std::vector<double>& y() const { return y_; }

 private:
  Pattern(std::vector<double> x, std::vector<double> y) : x_(std::move(x)), y_(std::move(y)) {}
  std::vector<double> x_;
  std::vector<double> y_;
};

}  // namespace vorlen
