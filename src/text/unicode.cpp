#include "text/unicode.hpp"

#include <cstdio>

#include <utf8proc.h>

#include "text/ascii.hpp"

namespace vorlen::text {

namespace {

bool is_letter_category(utf8proc_category_t category) {
  switch (category) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO: return true;
    default: return false;
  }
}

utf8proc_category_t category_of(char32_t c) {
  return utf8proc_category(static_cast<utf8proc_int32_t>(c));
}

bool is_printable(char32_t c) {
  if (c == ' ') return true;
  switch (category_of(c)) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
    case UTF8PROC_CATEGORY_ZS: return false;
    default: return true;
  }
}

}  // namespace

char32_t code_point_at(std::string_view s, std::size_t at, std::size_t& length) {
  utf8proc_int32_t c = 0;
  utf8proc_ssize_t n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + at),
                                        static_cast<utf8proc_ssize_t>(s.size() - at), &c);
  if (n <= 0) {  // not reached for decoded text; treat the byte as itself
    length = 1;
    return static_cast<unsigned char>(s[at]);
  }
  length = static_cast<std::size_t>(n);
  return static_cast<char32_t>(c);
}

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::size_t white_space_at(std::string_view s, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  std::size_t left = s.size() - at;
  unsigned char b = byte(at);
  if (b < 0x80) return is_ascii_space(static_cast<char>(b)) ? 1 : 0;
  if (b == 0xC2) return left >= 2 && (byte(at + 1) == 0x85 || byte(at + 1) == 0xA0) ? 2 : 0;
  if (left < 3 || b < 0xE1 || b > 0xE3) return 0;
  char32_t c = ((b & 0x0F) << 12) | ((byte(at + 1) & 0x3F) << 6) | (byte(at + 2) & 0x3F);
  return is_white_space(c) ? 3 : 0;
}

std::size_t white_space_before(std::string_view s, std::size_t end) {
  if (end >= 1 && static_cast<unsigned char>(s[end - 1]) < 0x80)
    return is_ascii_space(s[end - 1]) ? 1 : 0;
  if (end >= 2 && static_cast<unsigned char>(s[end - 2]) == 0xC2) return white_space_at(s, end - 2);
  if (end >= 3) return white_space_at(s, end - 3) == 3 ? 3 : 0;
  return 0;
}

bool is_letter(char32_t c) { return is_letter_category(category_of(c)); }

bool is_letter_or_number(char32_t c) {
  const utf8proc_category_t category = category_of(c);
  return is_letter_category(category) || category == UTF8PROC_CATEGORY_ND ||
         category == UTF8PROC_CATEGORY_NL || category == UTF8PROC_CATEGORY_NO;
}

std::string lowercase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  char32_t previous = 0;
  for (std::size_t at = 0; at < s.size();) {
    std::size_t length;
    char32_t c = code_point_at(s, at, length);
    at += length;
    if (c < 0x80) {
      out.push_back(ascii_lower(static_cast<char>(c)));
    } else if (c == 0x130) {  // capital I with dot above keeps its dot as a combining mark
      out += "i\xCC\x87";
    } else if (c == 0x3A3) {  // capital sigma ends a word as final sigma
      bool followed_by_letter = false;
      if (at < s.size()) {
        std::size_t next_length;
        followed_by_letter = is_letter(code_point_at(s, at, next_length));
      }
      append_utf8(out, is_letter(previous) && !followed_by_letter ? 0x3C2 : 0x3C3);
    } else {
      append_utf8(out, static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c))));
    }
    previous = c;
  }
  return out;
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (std::size_t at = 0; at < s.size();) {
    std::size_t length;
    char32_t c = code_point_at(s, at, length);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\0': out += "\\0"; break;
      default:
        if (is_printable(c)) {
          out.append(s.substr(at, length));
        } else {
          char hex[16];
          std::snprintf(hex, sizeof hex, "\\u{%x}", static_cast<unsigned>(c));
          out += hex;
        }
    }
    at += length;
  }
  out += '"';
  return out;
}

}  // namespace vorlen::text
