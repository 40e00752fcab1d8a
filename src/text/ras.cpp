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
#include "pattern/scans.hpp"
#include "pattern/spares.hpp"
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

// A trimmed header line outside a block.
Status apply_header_line(std::string_view line, ScanHeader& header) {
  const std::optional<HeaderField> field = ras_header_field(line);
  if (!field) return {};
  const auto [key, value] = *field;
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
  const std::size_t rows = rows_to_reserve(*header.declared_count, rest.size(), 4);
  x = values_for(rows);
  y = values_for(rows);
}

// The intensity block just closed, checked against its declared count.
Result<Series> closed_block(const ScanHeader& header, std::vector<double>& x,
                            std::vector<double>& y) {
  if (header.declared_count && *header.declared_count != x.size()) {
    return fail("declared point count disagrees with intensity block");
  }
  return text::pattern(std::move(x), std::move(y), kContext);
}

// Walks the intensity blocks in file order (see pattern/scans.hpp). Rows of blocks that are not
// wanted, or that have already failed, stay unread. Returns the number of blocks closed.
template <class Visitor>
Result<std::uint64_t> walk(std::string_view text, Visitor& visitor) {
  ScanHeader header;
  bool in_block = false;
  std::uint64_t block = 0;  // intensity blocks completed so far: the number of the open one
  OpenScan<Visitor> scan(visitor, text);

  text::Lines lines(text);
  std::string_view raw;
  for (;;) {
    if (in_block && scan.reading() && text::take_plain_row(lines, scan.x, scan.y)) continue;
    if (!lines.next(raw)) break;
    // Every structure line starts with '*' once trimmed.
    if (in_block && !scan.reading() && text::starts_as_row(raw, "*")) continue;
    const std::string_view line = text::trim(raw);
    if (line.empty()) continue;
    if (line == "*RAS_INT_END") {
      if (!in_block) return fail("intensity block closes without an opening marker");
      in_block = false;
      if (scan.reading() && scan.finish(closed_block(header, scan.x, scan.y))) return block + 1;
      ++block;
      continue;
    }
    if (line == "*RAS_INT_START") {
      if (in_block) return fail("nested intensity blocks");
      in_block = true;
      if (!scan.open(block, lines.rest().data())) continue;
      if (Status axis = text::check_axis(header.axis, kContext); !axis) {
        if (scan.finish(std::move(axis).error())) return block + 1;
        continue;
      }
      reserve_declared(header, lines.rest(), scan.x, scan.y);
      continue;
    }
    if (line == "*RAS_HEADER_START") {
      header = ScanHeader{};
      continue;
    }
    if (in_block) {
      if (!scan.reading()) continue;  // rows of other blocks stay unread
      const Status row = text::append_xy_row(line, kContext, scan.x, scan.y);
      if (!row && scan.finish(row.error())) return block + 1;
      continue;
    }
    VORLEN_TRY(apply_header_line(line, header));
  }

  if (in_block) return fail("file ends before *RAS_INT_END");
  return block;
}

}  // namespace

std::optional<HeaderField> ras_header_field(std::string_view line) {
  text::Tokens tokens(line);
  std::string_view key;
  if (!tokens.next(key) || key.size() == line.size()) return std::nullopt;
  return HeaderField{key, text::strip_quotes(text::trim(line.substr(key.size())), "\"")};
}

Result<Series> parse_ras(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const Text text, decode(data));
  return parse_ras(text, index);
}

Result<Series> parse_ras(const Text& text, std::uint64_t index) {
  PickScan pick{index, std::nullopt};
  VORLEN_ASSIGN(const std::uint64_t blocks, walk(text.view(), pick));
  if (pick.outcome) return std::move(*pick.outcome);
  return fail(scan_out_of_range(index, blocks));
}

Result<std::uint64_t> walk_ras(Bytes data, TextScanVisitor& visitor) {
  VORLEN_ASSIGN(const Text text, decode(data));
  VisitEveryScan all{visitor};
  return walk(text.view(), all);
}

}  // namespace vorlen
