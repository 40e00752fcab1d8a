// What a Bruker RAW file states: the file header of version 3, the key/value and X-ray source
// segments of version 4, and each range's step time. Every field is read only when it lies
// inside the file.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "describe/stated.hpp"
#include "text/decode.hpp"

namespace vorlen::stated {

namespace {

bool fits(Bytes data, std::size_t offset, std::size_t width) {
  return offset <= data.size() && width <= data.size() - offset;
}

std::optional<std::uint32_t> u32_at(Bytes data, std::size_t offset) {
  if (!fits(data, offset, 4)) return std::nullopt;
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | data[offset + static_cast<std::size_t>(i)];
  return value;
}

std::optional<double> f64_at(Bytes data, std::size_t offset) {
  if (!fits(data, offset, 8)) return std::nullopt;
  const std::uint64_t value =
      std::uint64_t{*u32_at(data, offset + 4)} << 32 | *u32_at(data, offset);
  const double number = std::bit_cast<double>(value);
  if (!std::isfinite(number) || !(number > 0)) return std::nullopt;
  return number;
}

// A 32-bit float as the shortest decimal that reads back to it: 0.1, not 0.10000000149011612.
std::optional<double> f32_at(Bytes data, std::size_t offset) {
  const std::optional<std::uint32_t> bits = u32_at(data, offset);
  if (!bits) return std::nullopt;
  const float value = std::bit_cast<float>(*bits);
  if (!std::isfinite(value) || !(value > 0)) return std::nullopt;
  char digits[32];
  const auto written = std::to_chars(digits, digits + sizeof digits, value);
  double shortest = 0;
  std::from_chars(digits, written.ptr, shortest);
  return shortest;
}

// Bytes up to the first zero within `width` (or the end of the file), as text.
std::optional<std::string> text_at(Bytes data, std::size_t offset, std::size_t width) {
  if (offset >= data.size()) return std::nullopt;
  Bytes field = data.subspan(offset, std::min(width, data.size() - offset));
  field = field.first(
      static_cast<std::size_t>(std::find(field.begin(), field.end(), 0) - field.begin()));
  const Result<Text> decoded = decode(field);
  if (!decoded) return std::nullopt;
  return text(decoded->view());
}

std::optional<std::string> date_and_time(Bytes data, std::size_t date, std::size_t date_width,
                                         std::size_t time, std::size_t time_width) {
  std::optional<std::string> started = text_at(data, date, date_width);
  const std::optional<std::string> clock = text_at(data, time, time_width);
  if (started && clock) *started += " " + *clock;
  return started;
}

void wavelengths_at(Bytes data, std::size_t alpha1, Metadata& m) {
  m.wavelength_alpha1 = f64_at(data, alpha1);
  m.wavelength_alpha2 = f64_at(data, alpha1 + 8);
  m.alpha_ratio = f64_at(data, alpha1 + 24);
}

Metadata version3(Bytes data) {
  Metadata m;
  m.started = date_and_time(data, 16, 10, 26, 10);
  m.sample = text_at(data, 326, 60);
  m.anode = text_at(data, 608, 4);
  wavelengths_at(data, 624, m);
  return m;
}

// Segments from offset 61 up to the first range header (first word 160 or 0).
Metadata version4(Bytes data) {
  constexpr std::uint32_t kKeyValue = 10, kSource = 30;
  Metadata m;
  m.started = date_and_time(data, 12, 12, 24, 10);
  for (std::size_t p = 61;;) {
    const std::optional<std::uint32_t> type = u32_at(data, p);
    const std::optional<std::uint32_t> length = u32_at(data, p + 4);
    if (!type || !length || *type == 160 || *type == 0 || *length < 8 || !fits(data, p, *length))
      break;
    const Bytes segment = data.subspan(p, *length);
    if (*type == kKeyValue && text_at(segment, 12, 24) == "SAMPLEID") {
      m.sample = text_at(segment, 36, segment.size());
    } else if (*type == kSource) {
      wavelengths_at(segment, 80, m);
      m.anode = text_at(segment, 116, 4);
    }
    p += *length;
  }
  return m;
}

bool is_version4(Bytes data) {
  return data.size() >= 7 && std::memcmp(data.data(), "RAW4.00", 7) == 0;
}

}  // namespace

Metadata bruker_raw(Bytes data) { return is_version4(data) ? version4(data) : version3(data); }

std::optional<double> bruker_raw_step_time(Bytes data, std::size_t range_header) {
  return f32_at(data, range_header + (is_version4(data) ? 92 : 192));
}

}  // namespace vorlen::stated
