// What every layer below the entry points shares: the x/y pair a reader hands back, bytes
// seen as text and text as bytes, and the bit trick that checks many values for finiteness at
// once.
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

#include "pattern/error.hpp"
#include "pattern/series.hpp"
#include "vorlen/pattern.hpp"

namespace vorlen {

// A word whose top bit is set when v is infinite or NaN (only an all-ones exponent carries into
// it): ORed over many values, it checks them all without a branch per value.
inline std::uint64_t non_finite_bit(double v) {
  constexpr std::uint64_t exponent = 0x7FF0000000000000ULL, exponent_unit = 0x0010000000000000ULL;
  return (std::bit_cast<std::uint64_t>(v) & exponent) + exponent_unit;
}
inline bool any_non_finite(std::uint64_t bits) { return bits >> 63 != 0; }

inline Bytes as_bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// True when the bytes begin with `prefix`.
inline bool starts_with(Bytes data, std::string_view prefix) {
  return data.size() >= prefix.size() &&
         std::string_view(reinterpret_cast<const char*>(data.data()), prefix.size()) == prefix;
}

}  // namespace vorlen
