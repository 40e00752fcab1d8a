// Scanning text eight bytes at a time: a machine word is loaded from any address, its bytes
// are tested all at once and the top bit of each byte carries the answer for that byte.
// Instrument files are long runs of plain ASCII digits, points and padding, where a scan that
// looks at one byte per step spends most of its time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vorlen::text::words {

using Word = std::uint64_t;
inline constexpr std::size_t kWordBytes = sizeof(Word);

inline constexpr Word kOnes = 0x0101010101010101ULL;
inline constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7FULL;
inline constexpr Word kHighBits = 0x8080808080808080ULL;

// The eight bytes at p, in memory order whatever the machine's byte order.
inline Word load(const char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
inline Word load(const unsigned char* p) { return load(reinterpret_cast<const char*>(p)); }

// A word whose every byte is b.
constexpr Word repeated(unsigned char b) { return kOnes * b; }

// The top bit of exactly each byte that is not zero (no carry crosses a byte: the low seven
// bits are added apart from the top one).
constexpr Word nonzero_bytes(Word word) { return (((word & kLow7) + kLow7) | word) & ~kLow7; }

// The top bit of exactly each byte that is zero.
constexpr Word zero_bytes(Word word) { return ~(nonzero_bytes(word) | kLow7); }

// The top bit of exactly each byte equal to c.
constexpr Word bytes_equal(Word word, unsigned char c) { return zero_bytes(word ^ repeated(c)); }

// The top bit of each byte below n (n at most 0x80). A borrow out of a flagged byte may also
// flag the byte after it, so only the first flagged byte is certain.
constexpr Word bytes_below(Word word, unsigned char n) {
  return (word - repeated(n)) & ~word & kHighBits;
}

// True when none of the eight bytes is above 0x7F.
constexpr bool all_ascii(Word word) { return (word & kHighBits) == 0; }

// The position, in memory order, of the first byte whose top bit is set in `flags` (nonzero).
inline std::size_t first_flagged(Word flags) {
  const int bits = std::endian::native == std::endian::little ? std::countr_zero(flags)
                                                              : std::countl_zero(flags);
  return static_cast<std::size_t>(bits) / 8;
}

// The sum of the bytes of a word whose bytes each hold a small count, by one multiplication:
// it needs no popcount instruction, which the baseline x86-64 target lacks. The counts must
// add up to less than 256.
constexpr std::size_t byte_sum(Word counts) {
  return static_cast<std::size_t>((counts * kOnes) >> 56);
}

}  // namespace vorlen::text::words
