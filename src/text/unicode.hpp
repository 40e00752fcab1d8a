// Unicode rules on valid UTF-8 text (the output of decode): code points, the one UTF-8
// encoder, white space, letters, full lower-casing and the quoted form of a value in messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlen::text {

// Appends the UTF-8 form of the code point c (at most U+10FFFF).
inline void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The code point at s[at] and, in `length`, its byte length.
char32_t code_point_at(std::string_view s, std::size_t at, std::size_t& length);

// Unicode White_Space.
bool is_white_space(char32_t c);
// Byte length of the white-space character that starts at `s[at]`, or 0 when there is none.
std::size_t white_space_at(std::string_view s, std::size_t at);
// Byte length of the white-space character that ends just before `s[end]`, or 0.
std::size_t white_space_before(std::string_view s, std::size_t end);

// Letters: the general categories Lu, Ll, Lt, Lm and Lo.
bool is_letter(char32_t c);
// Letters and the numbers: Nd, Nl and No besides.
bool is_letter_or_number(char32_t c);

// Full Unicode lower-casing (U+0130 becomes "i̇", final sigma is context dependent).
std::string lowercase(std::string_view s);

// The value in double quotes with backslash escapes (\" \\ \t \r \n \0 \u{hex}).
std::string quoted(std::string_view s);

}  // namespace vorlen::text
