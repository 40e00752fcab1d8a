#include "cli/format.hpp"

#include <charconv>

#include <utf8proc.h>

namespace vorlen::cli {

void append_number(std::string& out, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof(text), value);
  out.append(text, result.ptr);
}

void append_count(std::string& out, std::uint64_t value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof(text), value);
  out.append(text, result.ptr);
}

void append_header(std::string& out, TextLayout layout) {
  if (layout == TextLayout::Csv) out += "two_theta,intensity\n";
}

void append_row(std::string& out, TextLayout layout, double x, double y) {
  append_number(out, x);
  out += layout == TextLayout::Csv ? ',' : ' ';
  append_number(out, y);
  out += '\n';
}

namespace {

// How many bytes at the start of `bytes` (which do not start a valid character) one U+FFFD
// replaces: the longest start of a character, the maximal subpart, as Unicode recommends and
// Python and browsers decode.
std::size_t broken_character_length(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 1;
  // The second byte's range depends on the lead (no overlong forms, surrogates or values
  // past U+10FFFF); later bytes are plain continuation bytes.
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  std::size_t taken = 1;
  while (taken < length && taken < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[taken]);
    if (taken == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) break;
    ++taken;
  }
  return taken;
}

}  // namespace

std::string valid_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  for (std::size_t at = 0; at < text.size();) {
    utf8proc_int32_t code_point;
    const auto length =
        utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &code_point);
    if (length > 0) {
      out.append(text.substr(at, static_cast<std::size_t>(length)));
      at += static_cast<std::size_t>(length);
    } else {
      out += "\xEF\xBF\xBD";
      at += broken_character_length(text.substr(at));
    }
  }
  return out;
}

void append_json_string(std::string& out, std::string_view text) {
  constexpr char hex[] = "0123456789abcdef";
  out += '"';
  for (const char c : valid_utf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string one_line(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

}  // namespace vorlen::cli
