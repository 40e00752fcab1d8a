// Powder CIF: the first data block that carries an intensity column and a 2theta axis, the
// axis coming from a column of angles or from a declared range.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/series.hpp"
#include "text/cif.hpp"
#include "text/decode.hpp"
#include "text/rows.hpp"

namespace vorlen {

namespace {

using text::cif_column;
using text::cif_fail;
using text::cif_number;
using text::CifBlock;
using text::CifColumn;
using text::CifNumbers;

// Every loop tag this reader reads, the intensities and the angles below: their columns are read
// as numbers while the text is tokenized.
constexpr std::array<std::string_view, 5> number_tags = {
    "_pd_proc_intensity_total", "_pd_meas_intensity_total", "_pd_meas_counts_total",
    "_pd_proc_2theta_corrected", "_pd_meas_2theta_scan"};

// The column's values, taken out of its block, or its first refusal.
Result<std::vector<double>> values_of(const CifColumn& column) {
  CifNumbers& numbers = *column.numbers();
  if (numbers.failure) return *numbers.failure;
  return std::move(numbers.values);
}

std::optional<std::string_view> item(const CifBlock& block, const std::string& tag) {
  const auto found = block.items.find(tag);
  if (found == block.items.end()) return std::nullopt;
  return found->second;
}

// Whether the block declares this range: both its minimum and its increment.
bool has_range(const CifBlock& block, const std::string& prefix) {
  return item(block, prefix + "_min") && item(block, prefix + "_inc");
}

// x[i] = i * increment + minimum for `count` points, the block holding the range.
Result<std::vector<double>> range_axis(const CifBlock& block, const std::string& prefix,
                                       std::size_t count) {
  VORLEN_ASSIGN(const double minimum, cif_number(*item(block, prefix + "_min")));
  VORLEN_ASSIGN(const double increment, cif_number(*item(block, prefix + "_inc")));
  if (increment <= 0) return cif_fail("2theta increment must be positive");

  std::vector<double> x = x_from_start_and_step(count, minimum, increment);

  if (const auto max_text = item(block, prefix + "_max")) {
    VORLEN_ASSIGN(const double maximum, cif_number(*max_text));
    // Published files print the increment rounded (often to five decimals), which over
    // thousands of points moves the last angle by a fraction of a step. A point count that
    // does not fit the range moves it by at least a whole step, so half a step separates
    // the two.
    if (std::fabs(x.back() - maximum) > increment * 0.5) {
      return cif_fail("angular range disagrees with point count");
    }
  }
  return x;
}

// Where a block's angles come from, in order of preference: a column, or a declared range.
struct AxisSource {
  std::optional<CifColumn> column;
  std::string range;
};

// Which way the block gives its angles; nothing when none applies. Chosen by what the block
// holds, before any value is converted.
std::optional<AxisSource> axis_source(const CifBlock& block) {
  if (auto column = cif_column(block, {"_pd_proc_2theta_corrected"})) return AxisSource{column, {}};
  if (has_range(block, "_pd_proc_2theta_range")) return AxisSource{{}, "_pd_proc_2theta_range"};
  if (auto column = cif_column(block, {"_pd_meas_2theta_scan"})) return AxisSource{column, {}};
  if (has_range(block, "_pd_meas_2theta_range")) return AxisSource{{}, "_pd_meas_2theta_range"};
  return std::nullopt;
}

// The intensities, then the angles: an intensity failure wins over an angle failure, as when
// the columns are read one after the other.
Result<std::optional<Series>> block_series(const CifBlock& block, const CifColumn& intensity) {
  const std::optional<AxisSource> source = axis_source(block);
  VORLEN_ASSIGN(std::vector<double> y, values_of(intensity));
  if (!source) return std::optional<Series>();
  std::vector<double> x;
  if (source->column) {
    VORLEN_ASSIGN(x, values_of(*source->column));
  } else {
    VORLEN_ASSIGN(x, range_axis(block, source->range, y.size()));
  }
  return std::optional<Series>(Series{std::move(x), std::move(y)});
}

bool name_matches(const CifBlock& block, const std::optional<std::string>& wanted) {
  return !wanted || block.name.find(*wanted) != std::string_view::npos;
}

// The block's profile, or nothing when it carries no intensity column or no 2theta axis (the
// reader then looks further).
std::optional<Result<Series>> block_profile(const CifBlock& candidate) {
  const auto intensity = cif_column(
      candidate, {"_pd_proc_intensity_total", "_pd_meas_intensity_total", "_pd_meas_counts_total"});
  if (!intensity) return std::nullopt;
  Result<std::optional<Series>> series = block_series(candidate, *intensity);
  if (!series) return Result<Series>(std::move(series).error());
  if (!*series) return std::nullopt;
  if ((*series)->x.size() != (*series)->y.size()) {
    return Result<Series>(cif_fail("2theta and intensity columns have different lengths"));
  }
  return text::pattern(std::move((*series)->x), std::move((*series)->y), "pdCIF");
}

}  // namespace

Result<Series> parse_pdcif(Bytes data, const std::optional<std::string>& block) {
  VORLEN_ASSIGN(const Text decoded, decode(data));
  VORLEN_ASSIGN(const std::vector<CifBlock> blocks, text::cif_blocks(decoded.view(), number_tags));

  for (const CifBlock& candidate : blocks) {
    if (!name_matches(candidate, block)) continue;
    if (std::optional<Result<Series>> profile = block_profile(candidate))
      return std::move(*profile);
  }
  return cif_fail("no matching block with 2theta and intensity data");
}

Result<std::uint64_t> walk_pdcif(Bytes data, const CifBlockVisit& visit) {
  VORLEN_ASSIGN(const Text decoded, decode(data));
  VORLEN_ASSIGN(const std::vector<CifBlock> blocks, text::cif_blocks(decoded.view(), number_tags));

  std::vector<std::string_view> profiles;  // names of the blocks listed so far
  for (const CifBlock& candidate : blocks) {
    std::optional<Result<Series>> profile = block_profile(candidate);
    if (!profile) continue;
    // A read by this name takes the first listed block whose name contains it.
    const auto first = std::find_if(profiles.begin(), profiles.end(), [&](std::string_view name) {
      return name.find(candidate.name) != std::string_view::npos;
    });
    const auto position = static_cast<std::uint64_t>(first - profiles.begin());
    if (first == profiles.end()) {
      visit(candidate, position, std::move(*profile));
    } else {
      visit(candidate, position, std::nullopt);
    }
    profiles.push_back(candidate.name);
  }
  return profiles.size();
}

}  // namespace vorlen
