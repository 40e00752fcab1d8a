// The RAS reader (Rigaku). A RAS file is a sequence of scans: a header section opened by
// *RAS_HEADER_START, whose lines are `*KEY value`, then an intensity block between
// *RAS_INT_START and *RAS_INT_END with one angle/intensity row (and further columns) per line.
// `index` picks an intensity block in file order.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "text/axis.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"

namespace vorlen {
namespace {

constexpr std::string_view kContext = "RAS";

Error fail(std::string_view message) { return Error::parse("RAS: " + std::string(message)); }

// The two header keys the reader uses, as they stand for the scan being read. Views into the
// text: header lines cost no allocation.
struct ScanHeader {
  std::string_view axis;
  std::optional<std::uint64_t> declared_count;
};

// Instruments write the count as a decimal with a zero fraction ("1401.0000000000"), so an
// unsigned integer may be followed by a point and zero digits only; any other fraction, a sign
// other than '+', an exponent or a word is refused.
bool parse_point_count(std::string_view value, std::uint64_t& count) {
  const std::size_t point = value.find('.');
  if (point != std::string_view::npos) {
    if (value.find_first_not_of('0', point + 1) != std::string_view::npos) return false;
    value = value.substr(0, point);
  }
  return text::parse_unsigned(value, count);
}

// A trimmed header line outside a block: the key runs to the first white space, the value is
// the rest, trimmed and unquoted. A line without white space carries no value.
Status apply_header_line(std::string_view line, ScanHeader& header) {
  text::Tokens tokens(line);
  std::string_view key;
  if (!tokens.next(key) || key.size() == line.size()) return {};
  const std::string_view value = text::strip_quotes(text::trim(line.substr(key.size())), "\"");
  if (key == "*MEAS_SCAN_AXIS_X") {
    header.axis = value;
  } else if (key == "*MEAS_DATA_COUNT") {
    std::uint64_t count = 0;
    if (!parse_point_count(value, count)) return fail("invalid point count");
    header.declared_count = count;
  }
  return {};
}

// A declared count sizes the lists only as far as the rest of the text can hold rows of four
// bytes at least ("1 2" and its LF).
void reserve_declared(const ScanHeader& header, std::string_view rest, std::vector<double>& x,
                      std::vector<double>& y) {
  if (!header.declared_count) return;
  x.reserve(rows_to_reserve(*header.declared_count, rest.size(), 4));
  y.reserve(x.capacity());
}

}  // namespace

Result<Series> parse_ras(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const Text text, decode(data));
  ScanHeader header;
  bool in_block = false;
  std::uint64_t block = 0;  // intensity blocks completed so far: the number of the open one
  std::vector<double> x;
  std::vector<double> y;

  text::Lines lines(text.view());
  std::string_view raw;
  while (lines.next(raw)) {
    // Every structure line starts with '*' once trimmed.
    if (in_block && block != index && text::starts_as_row(raw, "*")) continue;
    const std::string_view line = text::trim(raw);
    if (line.empty()) continue;
    if (line == "*RAS_INT_END") {
      if (!in_block) return fail("intensity block closes without an opening marker");
      if (block != index) {
        ++block;
        in_block = false;
        continue;
      }
      if (header.declared_count && *header.declared_count != x.size()) {
        return fail("declared point count disagrees with intensity block");
      }
      return text::pattern(std::move(x), std::move(y), kContext);
    }
    if (line == "*RAS_INT_START") {
      if (in_block) return fail("nested intensity blocks");
      in_block = true;
      if (block == index) {
        VORLEN_TRY(text::check_axis(header.axis, kContext));
        reserve_declared(header, lines.rest(), x, y);
      }
      continue;
    }
    if (line == "*RAS_HEADER_START") {
      header = ScanHeader{};
      continue;
    }
    if (in_block) {
      if (block == index) VORLEN_TRY(text::append_xy_row(line, kContext, x, y));  // rows of other blocks stay unread
      continue;
    }
    VORLEN_TRY(apply_header_line(line, header));
  }

  if (in_block) return fail("file ends before *RAS_INT_END");
  return fail(scan_out_of_range(index, block));
}

}  // namespace vorlen
