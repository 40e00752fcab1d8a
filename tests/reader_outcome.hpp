// Shared by the reader tests: a reader's outcome as a value to compare, and a case that
// expects a message.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "pattern/pattern.hpp"

namespace vorlen::testing_support {

struct Outcome {
  bool ok = false;
  Series series;
  std::string message;
};

inline Outcome outcome(Result<Series> result) {
  if (!result) return {false, {}, result.error().detail()};
  return {true, std::move(result).value(), {}};
}

// A named input that a reader refuses with the given message.
struct MessageCase {
  const char* name;
  std::string text;
  std::uint64_t index;
  std::string message;
};

}  // namespace vorlen::testing_support
