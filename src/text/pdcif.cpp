// Powder CIF: the first data block that carries an intensity column and a 2theta axis, the
// axis coming from a column of angles or from a declared range.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parser/decode.hpp"
#include "parser/readers.hpp"
#include "pattern/scans.hpp"
#include "text/cif.hpp"
#include "text/rules.hpp"

namespace vorlen {

namespace {

using text::CifBlock;
using text::CifColumn;
using text::cif_column;
using text::cif_number;

Result<std::vector<double>> numbers(const CifColumn& column) {
  std::vector<double> values;
  values.reserve(column.size());
  for (std::size_t row = 0; row < column.size(); ++row) {
    VORLEN_ASSIGN(const double value, cif_number(column[row]));
    values.push_back(value);
  }
  return values;
}

std::optional<std::string_view> item(const CifBlock& block, const std::string& tag) {
  const auto found = block.items.find(tag);
  if (found == block.items.end()) return std::nullopt;
  return found->second;
}

// x[i] = i * increment + minimum for `count` points, or nothing when the block lacks the
// minimum or the increment of this range.
Result<std::optional<std::vector<double>>> range_axis(const CifBlock& block,
                                                      const std::string& prefix,
                                                      std::size_t count) {
  const auto min_text = item(block, prefix + "_min");
  const auto inc_text = item(block, prefix + "_inc");
  if (!min_text || !inc_text) return std::optional<std::vector<double>>();

  VORLEN_ASSIGN(const double minimum, cif_number(*min_text));
  VORLEN_ASSIGN(const double increment, cif_number(*inc_text));
  if (increment <= 0) return Error::parse("pdCIF: 2theta increment must be positive");

  std::vector<double> x;
  x.reserve(count);
  for (std::size_t i = 0; i < count; ++i) x.push_back(static_cast<double>(i) * increment + minimum);

  if (const auto max_text = item(block, prefix + "_max")) {
    VORLEN_ASSIGN(const double maximum, cif_number(*max_text));
    // Published files print the increment rounded (often to five decimals), which over
    // thousands of points moves the last angle by a fraction of a step. A point count that
    // does not fit the range moves it by at least a whole step, so half a step separates
    // the two.
    if (std::fabs(x.back() - maximum) > increment * 0.5) {
      return Error::parse("pdCIF: angular range disagrees with point count");
    }
  }
  return std::optional<std::vector<double>>(std::move(x));
}

Result<std::optional<std::vector<double>>> column_axis(const CifBlock& block,
                                                       std::string_view tag) {
  const auto column = cif_column(block, {tag});
  if (!column) return std::optional<std::vector<double>>();
  VORLEN_ASSIGN(std::vector<double> x, numbers(*column));
  return std::optional<std::vector<double>>(std::move(x));
}

// The four ways a block gives its angles, in order of preference; nothing when none applies.
Result<std::optional<std::vector<double>>> cif_2theta_axis(const CifBlock& block,
                                                           std::size_t count) {
  VORLEN_ASSIGN(auto x, column_axis(block, "_pd_proc_2theta_corrected"));
  if (x) return x;
  VORLEN_ASSIGN(x, range_axis(block, "_pd_proc_2theta_range", count));
  if (x) return x;
  VORLEN_ASSIGN(x, column_axis(block, "_pd_meas_2theta_scan"));
  if (x) return x;
  return range_axis(block, "_pd_meas_2theta_range", count);
}

bool name_matches(const CifBlock& block, const std::optional<std::string>& wanted) {
  return !wanted || block.name.find(*wanted) != std::string_view::npos;
}

// The block's profile, or nothing when it carries no intensity column or no 2theta axis (the
// reader then looks further).
std::optional<Result<Series>> block_profile(const CifBlock& candidate) {
  const auto intensity = cif_column(candidate, {"_pd_proc_intensity_total",
                                                "_pd_meas_intensity_total",
                                                "_pd_meas_counts_total"});
  if (!intensity) return std::nullopt;
  Result<std::vector<double>> y = numbers(*intensity);
  if (!y) return Result<Series>(std::move(y).error());
  Result<std::optional<std::vector<double>>> x = cif_2theta_axis(candidate, y->size());
  if (!x) return Result<Series>(std::move(x).error());
  if (!*x) return std::nullopt;
  if ((*x)->size() != y->size()) {
    return Result<Series>(Error::parse("pdCIF: 2theta and intensity columns have different lengths"));
  }
  return text::pattern(std::move(**x), std::move(*y), "pdCIF");
}

}  // namespace

Result<Series> parse_pdcif(Bytes data, const std::optional<std::string>& block) {
  VORLEN_ASSIGN(const Text decoded, decode(data));
  VORLEN_ASSIGN(const std::vector<text::CifToken> tokens, text::cif_tokens(decoded.view()));
  VORLEN_ASSIGN(const std::vector<CifBlock> blocks, text::cif_blocks(tokens));

  for (const CifBlock& candidate : blocks) {
    if (!name_matches(candidate, block)) continue;
    if (std::optional<Result<Series>> profile = block_profile(candidate)) return std::move(*profile);
  }
  return Error::parse("pdCIF: no matching block with 2theta and intensity data");
}

Result<std::uint64_t> walk_pdcif(Bytes data, const CifBlockVisit& visit) {
  VORLEN_ASSIGN(const Text decoded, decode(data));
  VORLEN_ASSIGN(const std::vector<text::CifToken> tokens, text::cif_tokens(decoded.view()));
  VORLEN_ASSIGN(const std::vector<CifBlock> blocks, text::cif_blocks(tokens));

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
