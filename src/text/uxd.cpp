// The UXD reader. A UXD file is a run of comment lines (';'), `_KEY=value` header lines and
// data blocks, each opened by one of four markers. `index` picks a block in file order; the
// header values given before its marker describe it. A block holds either x/intensity pairs or
// intensities only, whose x comes from _START and _STEPSIZE.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/spares.hpp"
#include "text/ascii.hpp"
#include "text/axis.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"

namespace vorlen {
namespace {

constexpr std::string_view kContext = "UXD";

Error fail(std::string_view message) { return Error::parse("UXD: " + std::string(message)); }

bool is_block_marker(std::string_view line) {
  return line == "_CPS" || line == "_COUNTS" || line == "_2THETACPS" || line == "_2THETACOUNTS";
}

bool marker_holds_pairs(std::string_view marker) { return marker.starts_with("_2THETA"); }

// The reader looks up only these three keys, so the running header keeps just their values, as
// views into the text: any other key would be stored and never read, and no header line costs
// an allocation.
struct Header {
  std::optional<std::string_view> drive;
  std::optional<std::string_view> start;
  std::optional<std::string_view> stepsize;
};

// A trimmed line that begins with '_' and is not a marker, into the running header. A line
// without '=' is some other marker, which this reader does not know.
Status apply_header_line(std::string_view line, Header& header) {
  const std::optional<HeaderField> field = uxd_header_field(line);
  if (!field) return fail("unsupported block marker " + text::quoted(line));
  const auto [key, value] = *field;
  if (text::equals_ignoring_ascii_case(key, "DRIVE")) {
    header.drive = value;
  } else if (text::equals_ignoring_ascii_case(key, "START")) {
    header.start = value;
  } else if (text::equals_ignoring_ascii_case(key, "STEPSIZE")) {
    header.stepsize = value;
  }
  return {};
}

// Intensity lines hold any number of values, separated by white space or commas.
Status read_counts_line(std::string_view line, std::vector<double>& y) {
  text::Fields fields(line);
  text::Token field;
  while (fields.next(field)) {
    VORLEN_ASSIGN(const double value, text::number(field));
    y.push_back(value);
  }
  return {};
}

// A counts block states no length. Once its first line is read, the list is sized for the rest
// of the text at that line's density (`line_bytes` with its line end), so that it is not grown
// by doubling; at most one value per two bytes of the rest.
void size_counts(std::vector<double>& y, std::size_t line_bytes, std::size_t rest_bytes) {
  const std::size_t per_line = y.size();
  if (per_line == 0) return;
  const std::size_t expected =
      per_line + std::min(rest_bytes / line_bytes * per_line + per_line, rest_bytes / 2);
  if (y.capacity() >= expected) return;
  std::vector<double> sized = values_for(expected);
  sized.assign(y.begin(), y.end());
  y = std::move(sized);
}

Result<Series> counts_with_computed_x(const Header& scan, std::vector<double> y) {
  if (!scan.start) return fail("missing _START for counts-only data");
  VORLEN_ASSIGN(const double start, text::number(*scan.start));
  if (!scan.stepsize) return fail("missing _STEPSIZE for counts-only data");
  VORLEN_ASSIGN(const double step, text::number(*scan.stepsize));
  if (step == 0.0) return fail("_STEPSIZE must be nonzero");
  std::vector<double> x = x_from_start_and_step(y.size(), start, step);
  return text::pattern(std::move(x), std::move(y), kContext);
}

// The block just ended: its axis checked, then its points.
Result<Series> ended_block(const Header& scan, std::vector<double>& x, std::vector<double>& y) {
  VORLEN_TRY(text::check_axis(scan.drive.value_or(std::string_view()), kContext));
  if (!x.empty() || y.empty()) return text::pattern(std::move(x), std::move(y), kContext);
  return counts_with_computed_x(scan, std::move(y));
}

// Walks the data blocks in file order (see pattern/scans.hpp); a block ends at the next marker
// or at the end of the text. Lines of blocks that are not wanted, or that have already failed,
// stay unread. Returns the number of blocks.
template <class Visitor>
Result<std::uint64_t> walk(std::string_view text, Visitor& visitor) {
  Header running;
  Header header;  // the running header as it stood at the open block's marker
  bool seen_marker = false;
  bool pairs = false;  // the open block holds x/intensity pairs
  std::uint64_t block = 0;
  OpenScan<Visitor> scan(visitor, text);

  text::Lines lines(text);
  std::string_view raw;
  for (;;) {
    if (pairs && scan.reading() && text::take_plain_row(lines, scan.x, scan.y)) continue;
    if (!lines.next(raw)) break;
    // Markers and header lines start with '_' and comments with ';' once trimmed.
    if (seen_marker && !scan.reading() && text::starts_as_row(raw, "_;")) continue;
    const std::string_view line = text::trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (is_block_marker(line)) {
      if (scan.reading() && scan.finish(ended_block(header, scan.x, scan.y))) return block + 1;
      if (seen_marker) ++block;
      if (scan.open(block, lines.rest().data())) header = running;
      seen_marker = true;
      pairs = marker_holds_pairs(line);
      continue;
    }
    if (line.front() == '_') {
      VORLEN_TRY(apply_header_line(line, running));
      continue;
    }
    if (!seen_marker) return fail("data precedes a counts block");
    if (!scan.reading()) continue;
    const bool first_counts = !pairs && scan.y.empty();
    const Status read = pairs ? text::append_xy_row(line, kContext, scan.x, scan.y)
                              : read_counts_line(line, scan.y);
    if (read && first_counts) size_counts(scan.y, raw.size() + 1, lines.rest().size());
    if (!read && scan.finish(read.error())) return block + 1;
  }

  if (scan.reading() && scan.finish(ended_block(header, scan.x, scan.y))) return block + 1;
  return seen_marker ? block + 1 : 0;
}

}  // namespace

std::optional<HeaderField> uxd_header_field(std::string_view line) {
  const std::string_view rest = line.substr(1);
  const std::size_t equals = rest.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return HeaderField{text::trim(rest.substr(0, equals)),
                     text::strip_quotes(text::trim(rest.substr(equals + 1)), "'\"")};
}

Result<Series> parse_uxd(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const Text text, decode(data));
  return parse_uxd(text, index);
}

Result<Series> parse_uxd(const Text& text, std::uint64_t index) {
  PickScan pick{index, std::nullopt};
  VORLEN_TRY(walk(text.view(), pick));
  if (pick.outcome) return std::move(*pick.outcome);
  return fail("scan " + std::to_string(index) + " is out of range");
}

Result<std::uint64_t> walk_uxd(Bytes data, TextScanVisitor& visitor) {
  VORLEN_ASSIGN(const Text text, decode(data));
  VisitEveryScan all{visitor};
  return walk(text.view(), all);
}

}  // namespace vorlen
