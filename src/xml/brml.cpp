// Bruker BRML: a ZIP archive whose data container lists one raw-data document per scan. Each
// raw-data document describes its comma-separated rows through column views and then holds the
// rows, one Datum element per point.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/series.hpp"
#include "text/ascii.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "xml/archive.hpp"
#include "xml/archive_scans.hpp"
#include "xml/tree.hpp"

namespace vorlen {
namespace {

constexpr std::string_view container_suffix = "DataContainer.xml";

// Every refusal of this reader: "BRML " and what is wrong.
Error fail(std::string_view what) { return Error::parse("BRML " + std::string(what)); }

// The two columns of a row that the reader returns.
struct Columns {
  std::uint64_t two_theta = 0;
  std::uint64_t intensity = 0;
};

// The first entry, in central-directory order, that is the data container (a folder or any
// other prefix before the suffix is allowed).
std::optional<std::string_view> container_name(const std::vector<std::string_view>& names) {
  for (std::string_view name : names) {
    if (name.ends_with(container_suffix)) return name;
  }
  return std::nullopt;
}

// The archive names of the raw-data members, in scan order: every non-blank child text of every
// RawDataReferenceList, in document order.
std::vector<std::string> raw_data_names(const xml::Element& container) {
  std::vector<std::string> scans;
  for (const xml::Element* list : container.all("RawDataReferenceList")) {
    for (const xml::Element& child : list->children()) {
      std::string_view name = text::trim(child.text);
      if (!name.empty()) scans.emplace_back(name);
    }
  }
  return scans;
}

// The flagged "Measured" route when there is exactly one, otherwise the only route.
Result<const xml::Element*> data_route(const xml::Element& raw_data) {
  std::vector<const xml::Element*> routes = raw_data.all("DataRoute");
  const xml::Element* measured = nullptr;
  std::size_t measured_count = 0;
  for (const xml::Element* route : routes) {
    if (route->attr("RouteFlag") == std::optional<std::string_view>("Measured")) {
      measured = route;
      ++measured_count;
    }
  }
  if (measured_count == 1) return measured;
  if (routes.size() == 1) return routes.front();
  return fail("requires one unambiguous measured data route");
}

// The view kind is the type value after its last colon, so that "xsi:" or any other prefix on
// the value does not matter.
std::string_view view_kind(const xml::Element& view) {
  std::string_view type = view.attr("type").value_or(std::string_view());
  std::size_t colon = type.rfind(':');
  return colon == std::string_view::npos ? type : type.substr(colon + 1);
}

bool is_two_theta_label(std::string_view label) {
  return text::equals_ignoring_ascii_case(label, "twotheta");
}

// A field is named by its AxisId unless that is absent or blank, then by its FieldName.
std::string_view field_label(const xml::Element& field) {
  std::string_view axis_id = text::trim(field.attr("AxisId").value_or(std::string_view()));
  if (!axis_id.empty()) return axis_id;
  return text::trim(field.attr("FieldName").value_or(std::string_view()));
}

// Sets the 2theta column from the first matching field of the first varying view that has one.
Status read_varying_view(const xml::Element& view, std::uint64_t start, std::uint64_t length,
                         std::optional<std::uint64_t>& two_theta) {
  std::vector<const xml::Element*> fields = view.all("FieldDefinitions");
  if (length < fields.size()) return fail("fields exceed declared view length");
  if (two_theta) return {};
  for (std::uint64_t k = 0; k < fields.size(); ++k) {
    if (!is_two_theta_label(field_label(*fields[k]))) continue;
    if (k > std::numeric_limits<std::uint64_t>::max() - start) {
      return fail("column overflow");
    }
    two_theta = start + k;
    return {};
  }
  return {};
}

// Works out the 2theta and intensity columns from the views at or below the route. Every view
// must carry a valid Start and Length, whatever its kind.
Result<Columns> find_columns(const xml::Element& route) {
  std::optional<std::uint64_t> two_theta;
  std::optional<std::uint64_t> intensity;
  for (const xml::Element* view : route.all("RawDataView")) {
    VORLEN_ASSIGN(std::uint64_t start, xml::index(view->attr("Start")));
    VORLEN_ASSIGN(std::uint64_t length, xml::index(view->attr("Length")));
    std::string_view kind = view_kind(*view);
    if (kind == "RecordedRawDataView") {
      // A recorded view over several columns holds detector frames, not one intensity.
      if (length != 1) {
        return fail("detector frames are not integrated XRD profiles");
      }
      if (!intensity) intensity = start;
    } else if (kind == "VaryingRawDataView") {
      VORLEN_TRY(read_varying_view(*view, start, length, two_theta));
    }
  }
  if (!two_theta) return fail("has no varying TwoTheta column");
  if (!intensity) return fail("has no recorded intensity column");
  return Columns{*two_theta, *intensity};
}

// Converts the two used values of one comma-separated row; other values are never parsed, and
// the walk stops after the last used column. A used value that is a plain decimal right against
// its comma (or the row's end) is read in the scan that finds that comma; any other is cut at the
// comma and goes through the XML number rule, which trims it and gives the messages.
Status read_row(std::string_view row, const Columns& columns, std::vector<double>& x,
                std::vector<double>& y) {
  std::optional<double> row_x;
  std::optional<double> row_y;
  const std::uint64_t last = std::max(columns.two_theta, columns.intensity);
  const char* value = row.data();
  const char* const end = value + row.size();
  for (std::uint64_t column = 0;; ++column) {
    const char* comma = nullptr;
    if (column == columns.two_theta || column == columns.intensity) {
      double number = 0;
      comma = text::decimal_prefix(value, end, number);
      if (comma == nullptr || (comma != end && *comma != ',') || !std::isfinite(number)) {
        comma = std::find(value, end, ',');
        VORLEN_ASSIGN(
            number, xml::number(std::string_view(value, static_cast<std::size_t>(comma - value))));
      }
      if (column == columns.two_theta) row_x = number;
      if (column == columns.intensity) row_y = number;
    } else {
      // Values are a few bytes long: a plain loop finds the comma sooner than a library call.
      comma = std::find(value, end, ',');
    }
    if (column == last || comma == end) break;
    value = comma + 1;
  }
  if (!row_x) return fail("datum missing TwoTheta column");
  if (!row_y) return fail("datum missing intensity column");
  x.push_back(*row_x);
  y.push_back(*row_y);
  return {};
}

// Rows are the Datum elements below the route (itself a DataRoute), in document order.
Result<Series> read_rows(const xml::Element& route, const Columns& columns) {
  std::span<const xml::Element> below = route.children().descendants();
  const auto is_row = [](const xml::Element& e) { return e.name == "Datum"; };
  const auto rows = static_cast<std::size_t>(std::count_if(below.begin(), below.end(), is_row));
  Series series;
  series.x = values_for(rows);
  series.y = values_for(rows);
  for (const xml::Element& e : below) {
    if (is_row(e)) VORLEN_TRY(read_row(e.text, columns, series.x, series.y));
  }
  return series;
}

Result<Series> read_raw_data(const xml::Element& raw_data) {
  VORLEN_ASSIGN(const xml::Element* route, data_route(raw_data));
  VORLEN_ASSIGN(Columns columns, find_columns(*route));
  return read_rows(*route, columns);
}

// The raw-data member names that the archive's data container lists.
Result<std::vector<std::string>> scan_members(xml::Archive& archive) {
  std::optional<std::string_view> container = container_name(archive.names());
  if (!container) return fail("missing DataContainer.xml");
  VORLEN_ASSIGN(const xml::Document container_tree, xml::member_document(archive, *container));
  return raw_data_names(container_tree.root());
}

}  // namespace

Result<Series> parse_brml(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(xml::Archive archive, xml::Archive::open(data));
  VORLEN_ASSIGN(const std::vector<std::string> members, scan_members(archive));
  if (index >= members.size()) return Error::parse(scan_out_of_range(index, members.size()));
  VORLEN_ASSIGN(const xml::Document raw_data, xml::member_document(archive, members[index]));
  return read_raw_data(raw_data.root());
}

Result<std::uint64_t> walk_brml(Bytes data, const BrmlScanVisit& visit) {
  VORLEN_ASSIGN(xml::Archive archive, xml::Archive::open(data));
  VORLEN_ASSIGN(const std::vector<std::string> members, scan_members(archive));
  for (const std::string& member : members) {
    Result<xml::Document> raw_data = xml::member_document(archive, member);
    if (!raw_data) {
      visit(std::move(raw_data).error(), nullptr, nullptr);
      continue;
    }
    const xml::Element& root = raw_data->root();
    const Result<const xml::Element*> route = data_route(root);
    visit(read_raw_data(root), &root, route ? *route : nullptr);
  }
  return members.size();
}

}  // namespace vorlen
