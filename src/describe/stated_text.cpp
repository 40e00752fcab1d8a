// What the text formats state: RAS and UXD header lines, powder CIF data names.
#include <string>
#include <string_view>
#include <vector>

#include "describe/stated.hpp"
#include "text/ascii.hpp"
#include "text/cif.hpp"
#include "text/lines.hpp"

namespace vorlen::stated {

std::optional<double> number(std::string_view text) {
  const Result<double> value = text::number(text::trim(text));
  if (!value || !(*value > 0)) return std::nullopt;
  return *value;
}

std::optional<std::string> text(std::string_view text) {
  const std::string_view trimmed = text::trim(text);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

std::optional<std::string> y_unit(std::string_view unit) {
  const std::string lowered = text::ascii_lower(text::trim(unit));
  if (lowered == "counts") return "counts";
  if (lowered == "cps" || lowered == "counts per second" || lowered == "counts/s") return "cps";
  return std::nullopt;
}

namespace {

std::optional<std::string> joined(const std::optional<std::string>& date,
                                  const std::optional<std::string>& time) {
  if (!date) return std::nullopt;
  if (!time) return date;
  return *date + " " + *time;
}

}  // namespace

// A header section resets what the scan states; rows of the previous block do not start with
// '*' and are passed over.
void RasHeader::apply(std::string_view preamble) {
  text::Lines lines(preamble);
  std::string_view raw;
  while (lines.next(raw)) {
    const std::string_view line = text::trim(raw);
    if (line == "*RAS_HEADER_START") {
      *this = RasHeader{};
      continue;
    }
    if (!line.starts_with('*')) continue;
    const std::optional<HeaderField> field = ras_header_field(line);
    if (!field) continue;
    Metadata& m = current_.metadata;
    const auto [key, value] = *field;
    if (key == "*HW_XG_WAVE_LENGTH_ALPHA1")
      m.wavelength_alpha1 = number(value);
    else if (key == "*HW_XG_WAVE_LENGTH_ALPHA2")
      m.wavelength_alpha2 = number(value);
    else if (key == "*HW_XG_TARGET_NAME")
      m.anode = text(value);
    else if (key == "*FILE_SAMPLE")
      m.sample = text(value);
    else if (key == "*MEAS_SCAN_START_TIME")
      m.started = text(value);
    else if (key == "*MEAS_SCAN_SPEED")
      speed_ = text(value);
    else if (key == "*MEAS_SCAN_SPEED_UNIT")
      speed_in_seconds_ = text::trim(value) == "sec";
    else if (key == "*MEAS_SCAN_UNIT_Y")
      current_.y_unit = y_unit(value);
  }
  // Only in step mode is the speed a counting time per step.
  current_.metadata.step_time = speed_ && speed_in_seconds_ ? number(*speed_) : std::nullopt;
}

// Keys before the first block describe the file, later ones the blocks after them; each block
// takes the latest value of every key before its marker, the last line of its preamble.
void UxdHeader::apply(std::string_view preamble) {
  current_.y_unit.reset();
  text::Lines lines(preamble);
  std::string_view raw;
  while (lines.next(raw)) {
    const std::string_view line = text::trim(raw);
    if (!line.starts_with('_')) continue;
    if (line == "_COUNTS" || line == "_2THETACOUNTS") current_.y_unit = "counts";
    if (line == "_CPS" || line == "_2THETACPS") current_.y_unit = "cps";
    const std::optional<HeaderField> field = uxd_header_field(line);
    if (!field) continue;
    Metadata& m = current_.metadata;
    const auto is = [&](std::string_view key) {
      return text::equals_ignoring_ascii_case(field->key, key);
    };
    if (is("WL1"))
      m.wavelength_alpha1 = number(field->value);
    else if (is("WL2"))
      m.wavelength_alpha2 = number(field->value);
    else if (is("WLRATIO"))
      m.alpha_ratio = number(field->value);
    else if (is("ANODE") || is("ANODE_MATERIAL"))
      m.anode = text(field->value);
    else if (is("SAMPLE"))
      m.sample = text(field->value);
    else if (is("STEPTIME"))
      m.step_time = number(field->value);
    else if (is("DATEMEASURED")) {
      m.started = text(field->value);
      dated_ = true;
    } else if (is("DATE"))
      date_ = text(field->value);
    else if (is("TIME"))
      time_ = text(field->value);
  }
  if (!dated_) current_.metadata.started = joined(date_, time_);
}

namespace {

// A CIF value: '?' and '.' stand for unknown.
std::optional<std::string_view> cif_value(std::string_view value) {
  if (value == "?" || value == ".") return std::nullopt;
  return value;
}

std::optional<std::string_view> item(const text::CifBlock& block, const std::string& tag) {
  const auto found = block.items.find(tag);
  if (found == block.items.end()) return std::nullopt;
  return cif_value(found->second);
}

std::optional<double> cif_number(std::optional<std::string_view> value) {
  if (!value) return std::nullopt;
  const Result<double> parsed = text::cif_number(text::trim(*value));
  if (!parsed || !(*parsed > 0)) return std::nullopt;
  return *parsed;
}

std::optional<std::string> cif_text(std::optional<std::string_view> value) {
  return value ? text(*value) : std::nullopt;
}

// The values of a loop column of at most two rows.
std::vector<std::string_view> short_column(const text::CifColumn& column) {
  std::vector<std::string_view> values;
  if (column.size() > 2) return values;
  column.each_loop_value([&](std::size_t at, std::string_view value) {
    if (at == column.index()) values.push_back(value);
    return values.size() < column.size();
  });
  return values;
}

// A loop of two wavelengths with ids 1 and 2 is K-alpha1 and K-alpha2; the ratio is the second
// weight when the first is 1. A loop of one row is one wavelength.
void wavelength_loop(const text::CifBlock& block, Metadata& m) {
  const auto column = text::cif_column(block, {"_diffrn_radiation_wavelength"});
  if (!column) return;
  const std::vector<std::string_view> wavelengths = short_column(*column);
  if (wavelengths.size() == 1) {
    m.wavelength = cif_number(cif_value(wavelengths[0]));
    return;
  }
  if (wavelengths.size() != 2) return;
  if (const auto ids = text::cif_column(block, {"_diffrn_radiation_wavelength_id"})) {
    if (short_column(*ids) != std::vector<std::string_view>{"1", "2"}) return;
  }
  m.wavelength_alpha1 = cif_number(cif_value(wavelengths[0]));
  m.wavelength_alpha2 = cif_number(cif_value(wavelengths[1]));
  if (const auto column_wt = text::cif_column(block, {"_diffrn_radiation_wavelength_wt"})) {
    const std::vector<std::string_view> weights = short_column(*column_wt);
    if (weights.size() == 2 && cif_number(cif_value(weights[0])) == 1.0) {
      m.alpha_ratio = cif_number(cif_value(weights[1]));
    }
  }
}

}  // namespace

Stated pdcif(const text::CifBlock& block) {
  Stated out;
  Metadata& m = out.metadata;
  m.wavelength = cif_number(item(block, "_diffrn_radiation_wavelength"));
  if (!m.wavelength) wavelength_loop(block, m);
  m.anode = cif_text(item(block, "_diffrn_source_target"));
  m.sample = cif_text(item(block, "_pd_spec_id"));
  m.started = cif_text(item(block, "_pd_meas_datetime_initiated"));
  m.step_time = cif_number(item(block, "_pd_meas_step_count_time"));
  // The reader prefers the other two intensity columns to raw counts.
  if (!text::cif_column(block, {"_pd_proc_intensity_total", "_pd_meas_intensity_total"}) &&
      text::cif_column(block, {"_pd_meas_counts_total"})) {
    out.y_unit = "counts";
  }
  return out;
}

}  // namespace vorlen::stated
