// Rigaku RASX: a ZIP archive whose root.xml lists, per measurement (Data0, Data1, ...), the
// members that belong to it: a text profile with one point per line and an optional XML member
// of measurement conditions that names the scanned axis.
#include "xml/rasx.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/series.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"
#include "xml/archive.hpp"
#include "xml/archive_scans.hpp"
#include "xml/tree.hpp"

namespace vorlen {
namespace {

// The members of one measurement, as archive paths.
struct ScanEntry {
  std::string profile;
  std::optional<std::string> conditions;
};

// "Data" followed by one or more ASCII digits and nothing else.
bool is_measurement(std::string_view name) {
  constexpr std::string_view prefix = "Data";
  if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
  return std::all_of(name.begin() + prefix.size(), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Member names of a measurement, relative to it: the Name of each ContentHashList child.
std::vector<std::string_view> member_names(const xml::Element& measurement) {
  std::vector<std::string_view> names;
  for (const xml::Element& child : measurement.children()) {
    if (child.name != "ContentHashList") continue;
    if (std::optional<std::string_view> name = child.attr("Name")) names.push_back(*name);
  }
  return names;
}

// Names are matched on their lower-cased form but kept as written.
std::optional<std::string_view> first_name(const std::vector<std::string_view>& names,
                                           bool (*matches)(std::string_view lowered)) {
  for (std::string_view name : names) {
    if (matches(text::lowercase(name))) return name;
  }
  return std::nullopt;
}

bool is_profile(std::string_view lowered) { return lowered.ends_with(".txt"); }

bool is_conditions(std::string_view lowered) {
  return lowered.ends_with(".xml") && lowered.find("conditions") != std::string_view::npos;
}

std::string member_path(const xml::Element& measurement, std::string_view name) {
  std::string path(measurement.name);
  path += '/';
  path += name;
  return path;
}

// One entry per measurement that has a profile, in document order of the index.
std::vector<ScanEntry> scan_entries(const xml::Element& root) {
  std::vector<ScanEntry> entries;
  for (const xml::Element& measurement : root.children()) {
    if (!is_measurement(measurement.name)) continue;
    std::vector<std::string_view> names = member_names(measurement);
    std::optional<std::string_view> profile = first_name(names, is_profile);
    if (!profile) continue;
    ScanEntry entry{member_path(measurement, *profile), std::nullopt};
    if (std::optional<std::string_view> conditions = first_name(names, is_conditions)) {
      entry.conditions = member_path(measurement, *conditions);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// The scan axis named in the conditions, when they name one. The axis is looked up within the
// first ScanInformation element, or in the whole document when there is none.
Status check_conditions(const xml::Element& conditions) {
  std::vector<const xml::Element*> scan_information = conditions.all("ScanInformation");
  const xml::Element& scope = scan_information.empty() ? conditions : *scan_information.front();
  std::vector<const xml::Element*> axis_names = scope.all("AxisName");
  if (axis_names.empty()) return {};
  return check_rigaku_axis(text::trim(axis_names.front()->text));
}

// One point per non-empty line: 2theta, intensity, then columns that are not used.
Result<Series> read_profile(std::string_view profile) {
  // No reserve from the line count: a member of blank lines would claim far more than it holds.
  Series series;
  text::Lines lines(profile);
  std::string_view line;
  while (lines.next(line)) {
    text::Tokens tokens(line);
    text::Token token;
    if (!tokens.next(token)) continue;  // a blank line
    VORLEN_ASSIGN(double x, xml::number(token));
    if (!tokens.next(token)) return Error::parse("RASX missing intensity");
    VORLEN_ASSIGN(double y, xml::number(token));
    series.x.push_back(x);
    series.y.push_back(y);
  }
  return series;
}

// The measurements of the archive's index, root.xml.
Result<std::vector<ScanEntry>> measurements(xml::Archive& archive) {
  VORLEN_ASSIGN(const xml::Document root, xml::member_document(archive, "root.xml"));
  return scan_entries(root.root());
}

Result<Series> read_profile(xml::Archive& archive, const std::string& path) {
  VORLEN_ASSIGN(xml::Buffer profile_bytes, archive.member(path));
  VORLEN_ASSIGN(Text profile, decode(profile_bytes.bytes()));
  return read_profile(profile.view());
}

}  // namespace

Status check_rigaku_axis(std::string_view label) {
  static constexpr std::array<std::string_view, 7> accepted = {
      "2theta",      "2thetaw",       "twotheta",     "2thetatheta",
      "2thetaomega", "twothetatheta", "twothetaomega"};
  const std::string key = xml::scan_axis_key(label);
  if (std::find(accepted.begin(), accepted.end(), key) != accepted.end()) return {};
  return Error::parse("scan axis " + text::quoted(label) + " is not a supported 2theta scan");
}

Result<Series> parse_rasx(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(xml::Archive archive, xml::Archive::open(data));
  VORLEN_ASSIGN(const std::vector<ScanEntry> entries, measurements(archive));
  if (index >= entries.size()) return Error::parse(scan_out_of_range(index, entries.size()));
  const ScanEntry& entry = entries[index];
  if (entry.conditions) {
    VORLEN_ASSIGN(const xml::Document conditions, xml::member_document(archive, *entry.conditions));
    VORLEN_TRY(check_conditions(conditions.root()));
  }
  return read_profile(archive, entry.profile);
}

Result<std::uint64_t> walk_rasx(Bytes data, const RasxScanVisit& visit) {
  VORLEN_ASSIGN(xml::Archive archive, xml::Archive::open(data));
  VORLEN_ASSIGN(const std::vector<ScanEntry> entries, measurements(archive));
  for (const ScanEntry& entry : entries) {
    if (!entry.conditions) {
      visit(read_profile(archive, entry.profile), nullptr);
      continue;
    }
    Result<xml::Document> conditions = xml::member_document(archive, *entry.conditions);
    if (!conditions) {
      visit(std::move(conditions).error(), nullptr);
      continue;
    }
    const xml::Element& root = conditions->root();
    if (Status axis = check_conditions(root); !axis) {
      visit(std::move(axis).error(), &root);
    } else {
      visit(read_profile(archive, entry.profile), &root);
    }
  }
  return entries.size();
}

}  // namespace vorlen
