// XRDML: one scan of a PANalytical measurement document, chosen by index over all measurements,
// as 2theta positions and intensities (raw counts multiplied by their attenuation factors).
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/series.hpp"
#include "text/unicode.hpp"
#include "xml/tree.hpp"

namespace vorlen {

namespace {

using xml::Element;

// Every refusal of this reader: "XRDML " and what is wrong.
Error fail(std::string_view what) { return Error::parse("XRDML " + std::string(what)); }

// Scan axes whose positions are the 2theta of a powder profile, as axis keys.
constexpr std::array<std::string_view, 8> two_theta_scan_axes = {
    "gonio",       "2theta",      "twotheta",    "omegatheta",
    "2thetaomega", "omega2theta", "2thetatheta", "omegatwotheta"};

constexpr std::array<std::string_view, 4> degree_units = {"°", "deg", "degree", "degrees"};

template <std::size_t N>
bool is_one_of(std::string_view s, const std::array<std::string_view, N>& table) {
  for (std::string_view t : table)
    if (s == t) return true;
  return false;
}

// Scans are counted over all measurements, in document order.
std::vector<const Element*> scans(const Element& root) {
  std::vector<const Element*> out;
  for (const Element& measurement : root.children()) {
    if (measurement.name != "xrdMeasurement") continue;
    for (const Element& scan : measurement.children())
      if (scan.name == "scan") out.push_back(&scan);
  }
  return out;
}

Status check_scan_axis(const Element& scan) {
  const auto axis = scan.attr("scanAxis");
  if (axis && !is_one_of(xml::scan_axis_key(*axis), two_theta_scan_axes))
    return fail("scan axis " + text::quoted(*axis) + " is not 2theta");
  return {};
}

// The first `positions` child describing 2theta; a lower-case "2theta" is another axis.
const Element* two_theta_positions(const Element& data_points) {
  for (const Element& c : data_points.children())
    if (c.name == "positions" && c.attr("axis") == "2Theta") return &c;
  return nullptr;
}

Status check_unit(const Element& positions) {
  const auto unit = positions.attr("unit");
  if (unit && !is_one_of(text::lowercase(*unit), degree_units))
    return fail("2Theta unit " + text::quoted(*unit) + " is not degrees");
  return {};
}

// Listed positions, evenly spaced ones from a start and an end, or the one common position of a
// single-point scan.
Result<std::vector<double>> positions(const Element& axis, std::size_t n) {
  if (const Element* list = axis.child("listPositions")) {
    VORLEN_ASSIGN(std::vector<double> x, xml::numbers(list->text));
    if (x.size() != n) return fail("position/intensity lengths differ");
    return x;
  }
  const Element* start = axis.child("startPosition");
  const Element* end = axis.child("endPosition");
  if (start && end) {
    VORLEN_ASSIGN(const double s, xml::number(start->text));
    VORLEN_ASSIGN(const double e, xml::number(end->text));
    if (n == 1) return std::vector<double>{s};
    return x_from_start_and_end(n, s, e);
  }
  if (n == 1) {
    const Element* common = axis.child("commonPosition");
    if (!common) return fail("missing stepped 2Theta positions");
    VORLEN_ASSIGN(const double c, xml::number(common->text));
    return std::vector<double>{c};
  }
  return fail("has a fixed or missing 2Theta axis, not a powder profile");
}

// Factors are checked whenever present, but only raw counts are scaled by them: intensities
// are already corrected.
Status attenuate(const Element& data_points, bool raw_counts, std::vector<double>& y) {
  const Element* factors = data_points.child("beamAttenuationFactors");
  if (!factors) return {};
  VORLEN_ASSIGN(const std::vector<double> f, xml::numbers(factors->text));
  bool valid = f.size() == y.size();
  for (std::size_t i = 0; valid && i < f.size(); ++i) valid = f[i] > 0;
  if (!valid) return fail("attenuation factors must be positive and match intensity length");
  if (raw_counts)
    for (std::size_t i = 0; i < y.size(); ++i) y[i] *= f[i];
  return {};
}

Result<Series> read_scan(const Element& scan) {
  VORLEN_TRY(check_scan_axis(scan));

  const Element* data_points = scan.child("dataPoints");
  if (!data_points) return fail("scan has no dataPoints");
  const Element* intensities = data_points->child("intensities");
  const Element* source = intensities ? intensities : data_points->child("counts");
  if (!source) return fail("missing intensities/counts");
  VORLEN_ASSIGN(std::vector<double> y, xml::numbers(source->text));
  if (y.empty()) return fail("has no intensity points");

  const Element* axis = two_theta_positions(*data_points);
  if (!axis) return fail("missing 2Theta positions");
  VORLEN_TRY(check_unit(*axis));
  VORLEN_ASSIGN(std::vector<double> x, positions(*axis, y.size()));
  VORLEN_TRY(attenuate(*data_points, intensities == nullptr, y));
  return Series{std::move(x), std::move(y)};
}

Result<xml::Document> measurements(Bytes data) {
  VORLEN_ASSIGN(xml::Document document, xml::document(data));
  if (document.root().name != "xrdMeasurements") return Error::parse("not an XRDML measurement");
  return document;
}

}  // namespace

Result<Series> parse_xrdml(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const xml::Document document, measurements(data));
  const std::vector<const Element*> all_scans = scans(document.root());
  if (index >= all_scans.size()) return Error::parse(scan_out_of_range(index, all_scans.size()));
  return read_scan(*all_scans[index]);
}

Result<std::uint64_t> walk_xrdml(Bytes data, const XrdmlScanVisit& visit) {
  VORLEN_ASSIGN(const xml::Document document, measurements(data));
  const Element& root = document.root();
  std::uint64_t count = 0;
  for (const Element& measurement : root.children()) {
    if (measurement.name != "xrdMeasurement") continue;
    for (const Element& scan : measurement.children()) {
      if (scan.name != "scan") continue;
      visit(read_scan(scan), XrdmlScan{root, measurement, scan});
      ++count;
    }
  }
  return count;
}

}  // namespace vorlen
