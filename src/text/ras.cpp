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

#include "parser/decode.hpp"
#include "parser/readers.hpp"
#include "parser/scans.hpp"
#include "text/rules.hpp"

namespace vorlen {
namespace {

constexpr std::string_view kContext = "RAS";

Error fail(std::string message) { return Error::parse("RAS: " + std::move(message)); }

// The two header keys the reader uses, as they stand for the scan being read. Views into the
// text: header lines cost no allocation.
struct ScanHeader {
  std::string_view axis;
  std::optional<std::uint64_t> declared_count;
};

std::string_view strip_double_quotes(std::string_view value) {
  while (!value.empty() && value.front() == '"') value.remove_prefix(1);
  while (!value.empty() && value.back() == '"') value.remove_suffix(1);
  return value;
}

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

// A data row takes at least four bytes ("1 2" and its LF), so a declared count within a quarter
// of the remaining text is a safe capacity; a larger one cannot be met and is not trusted.
void reserve_declared(const ScanHeader& header, std::string_view rest, std::vector<double>& x,
                      std::vector<double>& y) {
  if (!header.declared_count || *header.declared_count > rest.size() / 4) return;
  x.reserve(*header.declared_count);
  y.reserve(*header.declared_count);
}

// Every structure line starts with '*' once trimmed, so a line that starts with any other
// visible ASCII character is a data row; rows of other blocks are passed over without trimming.
bool starts_as_row(std::string_view raw) {
  if (raw.empty()) return false;
  const char c = raw.front();
  return c > ' ' && c < '\x7f' && c != '*';
}

Status read_row(std::string_view line, std::vector<double>& x, std::vector<double>& y) {
  VORLEN_ASSIGN(const auto row, text::xy_row(line, kContext));
  x.push_back(row.first);
  y.push_back(row.second);
  return {};
}

// The intensity block just closed, checked against its declared count.
Result<Series> closed_block(const ScanHeader& header, std::vector<double>& x, std::vector<double>& y) {
  if (header.declared_count && *header.declared_count != x.size()) {
    return fail("declared point count disagrees with intensity block");
  }
  return text::pattern(std::move(x), std::move(y), kContext);
}

// Walks the intensity blocks in file order (see parser/scans.hpp). Rows of blocks that are not
// wanted, or that have already failed, stay unread. Returns the number of blocks closed.
template <class Visitor>
Result<std::uint64_t> walk(std::string_view text, Visitor& visitor) {
  ScanHeader header;
  bool in_block = false;
  std::uint64_t block = 0;  // intensity blocks completed so far: the number of the open one
  OpenScan<Visitor> scan(visitor, text);

  text::Lines lines(text);
  std::string_view raw;
  while (lines.next(raw)) {
    if (in_block && !scan.reading() && starts_as_row(raw)) continue;
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
      if (Status row = read_row(line, scan.x, scan.y); !row && scan.finish(std::move(row).error())) {
        return block + 1;
      }
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
  return HeaderField{key, strip_double_quotes(text::trim(line.substr(key.size())))};
}

Result<Series> parse_ras(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const Text text, decode(data));
  PickScan pick{index, std::nullopt};
  VORLEN_ASSIGN(const std::uint64_t blocks, walk(text.view(), pick));
  if (pick.outcome) return std::move(*pick.outcome);
  return fail("scan " + std::to_string(index) + " is out of range (" + std::to_string(blocks) +
              " scans)");
}

Result<std::uint64_t> walk_ras(Bytes data, TextScanVisitor& visitor) {
  VORLEN_ASSIGN(const Text text, decode(data));
  VisitEveryScan all{visitor};
  return walk(text.view(), all);
}

}  // namespace vorlen
