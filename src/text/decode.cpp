#include "text/decode.hpp"

#include <cstdint>

#include "text/unicode.hpp"
#include "text/words.hpp"

namespace vorlen {

namespace {

Result<Text> decode_utf16(Bytes units, bool little_endian) {
  if (units.size() % 2 != 0) return Error::parse("truncated UTF-16 text");
  std::string out;
  out.reserve(units.size() / 2 * 3);
  auto unit_at = [&](std::size_t i) -> char32_t {
    return little_endian ? (units[i] | (units[i + 1] << 8)) : ((units[i] << 8) | units[i + 1]);
  };
  for (std::size_t i = 0; i < units.size(); i += 2) {
    char32_t u = unit_at(i);
    if (u >= 0xDC00 && u <= 0xDFFF) return Error::parse("invalid UTF-16 text");
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 2 >= units.size()) return Error::parse("invalid UTF-16 text");
      char32_t low = unit_at(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return Error::parse("invalid UTF-16 text");
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    text::append_utf8(out, u);
  }
  return Text::owned(std::move(out));
}

// Length of the well-formed UTF-8 sequence at p, or 0 when it is ill-formed; `consumed` is then
// the length of its maximal subpart (at least 1), which one U+FFFD replaces.
std::size_t sequence_length(const unsigned char* p, std::size_t n, std::size_t& consumed) {
  unsigned char lead = p[0];
  std::size_t need;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead < 0x80) return consumed = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    consumed = 1;
    return 0;
  }
  std::size_t i = 1;
  for (; i < need && i < n; ++i) {
    unsigned char lo = i == 1 ? low : 0x80, hi = i == 1 ? high : 0xBF;
    if (p[i] < lo || p[i] > hi) break;
  }
  consumed = i;
  return i == need ? need : 0;
}

// Length of the longest valid UTF-8 prefix.
std::size_t valid_prefix(const unsigned char* p, std::size_t n) {
  using namespace text::words;
  std::size_t i = 0;
  while (i < n) {
    // 32, then eight ASCII bytes at a time: the common case of instrument text.
    if (n - i >= 4 * kWordBytes &&
        all_ascii(load(p + i) | load(p + i + 8) | load(p + i + 16) | load(p + i + 24))) {
      i += 4 * kWordBytes;
      continue;
    }
    if (n - i >= kWordBytes && all_ascii(load(p + i))) {
      i += kWordBytes;
      continue;
    }
    std::size_t consumed;
    if (sequence_length(p + i, n - i, consumed) == 0) return i;
    i += consumed;
  }
  return n;
}

std::string replace_invalid(const unsigned char* p, std::size_t n, std::size_t valid) {
  std::string out(reinterpret_cast<const char*>(p), valid);
  std::size_t i = valid;
  while (i < n) {
    std::size_t consumed;
    if (sequence_length(p + i, n - i, consumed) == 0) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(reinterpret_cast<const char*>(p + i), consumed);
    }
    i += consumed;
  }
  return out;
}

}  // namespace

Result<Text> decode(Bytes bytes) {
  if (bytes.size() >= 2 &&
      ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    return decode_utf16(bytes.subspan(2), bytes[0] == 0xFF);
  }
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes = bytes.subspan(3);
  }
  std::size_t valid = valid_prefix(bytes.data(), bytes.size());
  if (valid == bytes.size()) {
    return Text::borrowed({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  }
  return Text::owned(replace_invalid(bytes.data(), bytes.size(), valid));
}

}  // namespace vorlen
