#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "xml/tree.hpp"
#include "zip_builder.hpp"

namespace vorlen {
namespace {

using test::zip;

std::string message(const Error& error) { return error.detail(); }

std::string datums(std::initializer_list<std::string_view> rows) {
  std::string out;
  for (std::string_view row : rows) out += "<Datum>" + std::string(row) + "</Datum>";
  return out;
}

std::string raw_data(std::string_view routes) {
  return R"(<RawData xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><DataRoutes>)" +
         std::string(routes) + "</DataRoutes></RawData>";
}

std::string route(std::string_view attributes, std::string_view views, std::string_view rows) {
  return "<DataRoute " + std::string(attributes) + ">" + std::string(rows) + "<DataViews>" +
         std::string(views) + "</DataViews></DataRoute>";
}

std::string container(std::string_view references) {
  return "<DataContainer><RawDataReferenceList>" + std::string(references) +
         "</RawDataReferenceList></DataContainer>";
}

// An archive with one scan in RawData0.xml.
std::string brml(std::string_view views, std::string_view rows) {
  return zip({{"Experiment0/DataContainer.xml", container("<string>RawData0.xml</string>")},
              {"RawData0.xml", raw_data(route(R"(RouteFlag="Measured")", views, rows))}});
}

Result<Series> read_brml(const std::string& archive, std::uint64_t index = 0) {
  return parse_brml(as_bytes(archive), index);
}

struct ColumnCase {
  const char* what;
  std::string views;
  std::vector<std::string_view> rows;
  std::vector<double> x;
  std::vector<double> y;
};

class BrmlColumns : public testing::TestWithParam<ColumnCase> {};

TEST_P(BrmlColumns, ReadFromTheViews) {
  std::string rows;
  for (std::string_view row : GetParam().rows) rows += datums({row});
  auto result = read_brml(brml(GetParam().views, rows));
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, GetParam().x);
  EXPECT_EQ(result->y, GetParam().y);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrmlColumns,
    testing::Values(
        // Varying view at 1 holding Time then TwoTheta puts 2theta at column 2; column 0 is
        // text and is never parsed.
        ColumnCase{"view starts and field positions",
                   R"(<RawDataView xsi:type="FixedRawDataView" Start="0" Length="1"/>)"
                   R"(<RawDataView xsi:type="VaryingRawDataView" Start="1" Length="2"><Varying>)"
                   R"(<FieldDefinitions AxisId="Time"/><FieldDefinitions AxisId="TwoTheta"/>)"
                   R"(</Varying></RawDataView>)"
                   R"(<RawDataView type="p:RecordedRawDataView" Start="3" Length="1"/>)",
                   {"abc,1.2,10.0,345", "x,,10.5,346"},
                   {10.0, 10.5},
                   {345, 346}},
        ColumnCase{"one column serves as both axes",
                   R"(<RawDataView xsi:type="VaryingRawDataView" Start="2" Length="1">)"
                   R"(<FieldDefinitions FieldName="twotheta"/></RawDataView>)"
                   R"(<RawDataView xsi:type="RecordedRawDataView" Start="2" Length="1"/>)",
                   {"a,b,4.5"},
                   {4.5},
                   {4.5}},
        ColumnCase{
            "first matching field and first recorded view win",
            R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="2">)"
            R"(<FieldDefinitions AxisId="TwoTheta"/><FieldDefinitions AxisId="TWOTHETA"/>)"
            R"(</RawDataView><RawDataView xsi:type="VaryingRawDataView" Start="4" Length="1">)"
            R"(<FieldDefinitions AxisId="TwoTheta"/></RawDataView>)"
            R"(<RawDataView xsi:type="RecordedRawDataView" Start="2" Length="1"/>)"
            R"(<RawDataView xsi:type="RecordedRawDataView" Start="3" Length="1"/>)",
            {"1,2,3,4,5"},
            {1},
            {3}}),
    [](const testing::TestParamInfo<ColumnCase>& info) {
      std::string name;
      for (const char* c = info.param.what; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      return name;
    });

TEST(Brml, RefusesArchivesWithoutContainer) {
  // The dispatcher routes only archives with a container here; a direct call still checks.
  auto no_container = read_brml(zip({{"RawData0.xml", raw_data("")}, {"DataContainer.xm", ""}}));
  ASSERT_FALSE(no_container);
  EXPECT_EQ(message(no_container.error()), "BRML missing DataContainer.xml");

  auto not_zip = parse_brml(as_bytes("PK\x03\x04 not an archive"), 0);
  ASSERT_FALSE(not_zip);
  EXPECT_EQ(not_zip.error().kind(), ErrorKind::Zip);
}

// ---- The row scan against the general rule ----

// What the reader must make of one row, by the general path: the row cut at every comma and
// each used value, up to the last used column, through the XML number rule.
Result<std::pair<double, double>> general_row(std::string_view row, std::size_t two_theta,
                                              std::size_t intensity) {
  std::vector<std::string_view> values;
  for (std::size_t start = 0;;) {
    const std::size_t comma = row.find(',', start);
    values.push_back(row.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  std::optional<double> x;
  std::optional<double> y;
  for (std::size_t column = 0; column < values.size(); ++column) {
    if (column != two_theta && column != intensity) continue;
    VORLEN_ASSIGN(const double value, xml::number(values[column]));
    if (column == two_theta) x = value;
    if (column == intensity) y = value;
  }
  if (!x) return Error::parse("BRML datum missing TwoTheta column");
  if (!y) return Error::parse("BRML datum missing intensity column");
  return std::pair{*x, *y};
}

// Rows of numbers, near-numbers and padding, in any order.
std::string random_row(std::mt19937& random) {
  static constexpr std::string_view pieces[] = {
      "0",    "1",     "7",     "42",  "5.0", "-2.5",  "+3", ".5", "1e3",
      "2E-4", "1e999", "-0",    "inf", "nan", "1.5.2", "e5", "x",  " ",
      "\t",   "",      "00012", "1d2", "-",   ".",     "3,", ",",  ",,"};
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> count(0, 12);
  std::string row;
  for (int n = count(random); n > 0; --n) row += pieces[piece(random)];
  return row;
}

TEST(BrmlRows, ScanAgreesWithTheGeneralRule) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> column(0, 3);
  for (int round = 0; round < 3000; ++round) {
    const std::size_t two_theta = column(random);
    const std::size_t intensity = column(random);
    const std::string row = random_row(random);
    const std::string views = R"(<RawDataView xsi:type="VaryingRawDataView" Start=")" +
                              std::to_string(two_theta) +
                              R"(" Length="1"><FieldDefinitions AxisId="TwoTheta"/></RawDataView>)"
                              R"(<RawDataView xsi:type="RecordedRawDataView" Start=")" +
                              std::to_string(intensity) + R"(" Length="1"/>)";
    const Result<Series> read = read_brml(brml(views, datums({row})));
    const Result<std::pair<double, double>> expected = general_row(row, two_theta, intensity);
    SCOPED_TRACE("row \"" + row + "\" columns " + std::to_string(two_theta) + ", " +
                 std::to_string(intensity));
    ASSERT_EQ(read.ok(), expected.ok())
        << (read ? message(expected.error()) : message(read.error()));
    if (expected) {
      EXPECT_EQ(read->x, std::vector<double>{expected->first});
      EXPECT_EQ(read->y, std::vector<double>{expected->second});
    } else {
      EXPECT_EQ(message(read.error()), message(expected.error()));
    }
  }
}

}  // namespace
}  // namespace vorlen
