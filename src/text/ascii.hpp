// ASCII byte tests: the byte classes of the hot loops, letters, case changes and runs of
// spaces. Every other byte, UTF-8 included, is left as it is.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "text/words.hpp"

namespace vorlen::text {

// Byte classes for the hot loops: kOther bytes are ASCII that is neither white space nor a
// comma, so they end a trim or continue a token without further tests.
inline constexpr unsigned char kOther = 0, kSpace = 1, kComma = 2, kSpaceOrComma = kSpace | kComma,
                               kNonAscii = 4;
inline constexpr std::array<unsigned char, 256> byte_class = [] {
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 256; ++b) {
    if (b >= 0x80)
      table[b] = kNonAscii;
    else if (b == ' ' || (b >= 0x09 && b <= 0x0D))
      table[b] = kSpace;
    else if (b == ',')
      table[b] = kComma;
  }
  return table;
}();
inline unsigned char class_of(char c) { return byte_class[static_cast<unsigned char>(c)]; }

// Space, tab, LF, VT, FF or CR: the white space of ASCII.
inline bool is_ascii_space(char c) { return class_of(c) == kSpace; }

inline bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// No early exit, so that the loop is vectorised: lines are short and nearly always ASCII.
inline bool is_ascii(std::string_view s) {
  unsigned char bits = 0;
  for (const char c : s) bits |= static_cast<unsigned char>(c);
  return bits < 0x80;
}

inline char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

inline std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

inline bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return ascii_lower(x) == ascii_lower(y);
         });
}

// The first byte at or after p that is not an ASCII space (' '), or end. Column-aligned files
// pad with runs of spaces, which are skipped eight bytes at a time.
inline const char* skip_spaces(const char* p, const char* end) {
  if (p == end || *p != ' ') return p;  // no run at all: the common case between numbers
  while (static_cast<std::size_t>(end - p) >= words::kWordBytes) {
    const words::Word others = words::nonzero_bytes(words::load(p) ^ words::repeated(' '));
    if (others != 0) return p + words::first_flagged(others);
    p += words::kWordBytes;
  }
  while (p < end && *p == ' ') ++p;
  return p;
}

}  // namespace vorlen::text
