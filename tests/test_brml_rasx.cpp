#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parser/readers.hpp"
#include "xml/rasx.hpp"

namespace vorlen {
namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

void put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

// A ZIP archive of stored members, written by hand so that each test states its members.
std::string zip(const Members& members) {
  std::string out;
  std::string directory;
  for (const auto& [name, content] : members) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    const auto offset = static_cast<std::uint32_t>(out.size());
    const auto size = static_cast<std::uint32_t>(content.size());
    const auto name_size = static_cast<std::uint32_t>(name.size());
    put32(out, 0x04034b50);
    for (std::uint32_t v : {20u, 0u, 0u, 0u, 0u}) put16(out, v);  // version, flags, method, time, date
    put32(out, crc);
    put32(out, size);
    put32(out, size);
    put16(out, name_size);
    put16(out, 0);
    out += name;
    out += content;
    put32(directory, 0x02014b50);
    for (std::uint32_t v : {20u, 20u, 0u, 0u, 0u, 0u}) put16(directory, v);
    put32(directory, crc);
    put32(directory, size);
    put32(directory, size);
    for (std::uint32_t v : {name_size, 0u, 0u, 0u, 0u}) put16(directory, v);
    put32(directory, 0);
    put32(directory, offset);
    directory += name;
  }
  const auto directory_offset = static_cast<std::uint32_t>(out.size());
  out += directory;
  put32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<std::uint32_t>(members.size()));
  put16(out, static_cast<std::uint32_t>(members.size()));
  put32(out, static_cast<std::uint32_t>(directory.size()));
  put32(out, directory_offset);
  put16(out, 0);
  return out;
}

std::string message(const Error& error) { return error.detail(); }

// ---- BRML ----

constexpr std::string_view two_theta_views =
    R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="1">)"
    R"(<FieldDefinitions AxisId="TwoTheta"/></RawDataView>)"
    R"(<RawDataView xsi:type="RecordedRawDataView" Start="1" Length="1"/>)";

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

TEST(Brml, ReadsTheTwoUsedColumnsOfEveryDatum) {
  auto result = read_brml(brml(two_theta_views, datums({"10.0,5", " 10.5 , 7 ", "11,9,extra"})));
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, (std::vector<double>{10.0, 10.5, 11.0}));
  EXPECT_EQ(result->y, (std::vector<double>{5, 7, 9}));
}

TEST(Brml, ColumnsComeFromViewStartsAndFieldPositions) {
  // Varying view at 1 holding Time then TwoTheta puts 2theta at column 2; column 0 is text and
  // is never parsed.
  const std::string views =
      R"(<RawDataView xsi:type="FixedRawDataView" Start="0" Length="1"/>)"
      R"(<RawDataView xsi:type="VaryingRawDataView" Start="1" Length="2"><Varying>)"
      R"(<FieldDefinitions AxisId="Time"/><FieldDefinitions AxisId="TwoTheta"/></Varying>)"
      R"(</RawDataView><RawDataView type="p:RecordedRawDataView" Start="3" Length="1"/>)";
  auto result = read_brml(brml(views, datums({"abc,1.2,10.0,345", "x,,10.5,346"})));
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, (std::vector<double>{10.0, 10.5}));
  EXPECT_EQ(result->y, (std::vector<double>{345, 346}));
}

TEST(Brml, OneColumnCanServeAsBothAxes) {
  const std::string views =
      R"(<RawDataView xsi:type="VaryingRawDataView" Start="2" Length="1">)"
      R"(<FieldDefinitions FieldName="twotheta"/></RawDataView>)"
      R"(<RawDataView xsi:type="RecordedRawDataView" Start="2" Length="1"/>)";
  auto result = read_brml(brml(views, datums({"a,b,4.5"})));
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, std::vector<double>{4.5});
  EXPECT_EQ(result->y, std::vector<double>{4.5});
}

TEST(Brml, FirstMatchingFieldAndFirstRecordedViewWin) {
  const std::string views =
      R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="2">)"
      R"(<FieldDefinitions AxisId="TwoTheta"/><FieldDefinitions AxisId="TWOTHETA"/></RawDataView>)"
      R"(<RawDataView xsi:type="VaryingRawDataView" Start="4" Length="1">)"
      R"(<FieldDefinitions AxisId="TwoTheta"/></RawDataView>)"
      R"(<RawDataView xsi:type="RecordedRawDataView" Start="2" Length="1"/>)"
      R"(<RawDataView xsi:type="RecordedRawDataView" Start="3" Length="1"/>)";
  auto result = read_brml(brml(views, datums({"1,2,3,4,5"})));
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, std::vector<double>{1});
  EXPECT_EQ(result->y, std::vector<double>{3});
}

struct BrmlFailure {
  const char* name;
  std::string views;
  std::string rows;
  const char* expected;
};

class BrmlColumnFailure : public testing::TestWithParam<BrmlFailure> {};

TEST_P(BrmlColumnFailure, NamesTheDefect) {
  auto result = read_brml(brml(GetParam().views, GetParam().rows));
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind(), ErrorKind::Parse);
  EXPECT_EQ(message(result.error()), GetParam().expected);
}

const std::string recorded = R"(<RawDataView xsi:type="RecordedRawDataView" Start="1" Length="1"/>)";

INSTANTIATE_TEST_SUITE_P(
    Cases, BrmlColumnFailure,
    testing::Values(
        BrmlFailure{"OtherViewWithoutStart", R"(<RawDataView Length="1"/>)" + std::string(two_theta_views),
                    datums({"1,2"}), "missing column Start/Length"},
        BrmlFailure{"RecordedWithoutLength", R"(<RawDataView xsi:type="RecordedRawDataView" Start="1"/>)",
                    datums({"1,2"}), "missing column Start/Length"},
        BrmlFailure{"NegativeStart", R"(<RawDataView xsi:type="FixedRawDataView" Start="-1" Length="1"/>)",
                    datums({"1,2"}), "invalid column Start/Length"},
        BrmlFailure{"DetectorFramesAfterOneColumn",
                    std::string(two_theta_views) +
                        R"(<RawDataView xsi:type="RecordedRawDataView" Start="2" Length="2"/>)",
                    datums({"1,2"}), "BRML detector frames are not integrated XRD profiles"},
        BrmlFailure{"FieldsBeyondLength",
                    R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="2">)"
                    R"(<FieldDefinitions AxisId="Time"/><FieldDefinitions AxisId="TwoTheta"/>)"
                    R"(<FieldDefinitions AxisId="Theta"/></RawDataView>)" + recorded,
                    datums({"1,2"}), "BRML fields exceed declared view length"},
        BrmlFailure{"ColumnOverflow",
                    R"(<RawDataView xsi:type="VaryingRawDataView" Start="18446744073709551615" Length="2">)"
                    R"(<FieldDefinitions AxisId="Time"/><FieldDefinitions AxisId="TwoTheta"/>)"
                    R"(</RawDataView>)" + recorded,
                    datums({"1,2"}), "BRML column overflow"},
        BrmlFailure{"LabelTwoThetaWithDigitIsNotTwoTheta",
                    R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="1">)"
                    R"(<FieldDefinitions AxisId="2Theta" FieldName="TwoTheta"/></RawDataView>)" + recorded,
                    datums({"1,2"}), "BRML has no varying TwoTheta column"},
        BrmlFailure{"TwoThetaInAnUntypedView",
                    R"(<RawDataView Start="0" Length="1"><FieldDefinitions AxisId="TwoTheta"/></RawDataView>)" +
                        recorded,
                    datums({"1,2"}), "BRML has no varying TwoTheta column"},
        BrmlFailure{"NoRecordedView",
                    R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="1">)"
                    R"(<FieldDefinitions AxisId="TwoTheta"/></RawDataView>)",
                    datums({"1,2"}), "BRML has no recorded intensity column"},
        BrmlFailure{"RowTooShortForIntensity", std::string(two_theta_views), datums({"1,2", "12.0"}),
                    "BRML datum missing intensity column"},
        BrmlFailure{"RowTooShortForTwoTheta",
                    R"(<RawDataView xsi:type="VaryingRawDataView" Start="3" Length="1">)"
                    R"(<FieldDefinitions AxisId="TwoTheta"/></RawDataView>)" + recorded,
                    datums({"1,2"}), "BRML datum missing TwoTheta column"},
        BrmlFailure{"EmptyValueAtTwoTheta", std::string(two_theta_views), datums({",5"}),
                    "invalid numeric value \"\""},
        BrmlFailure{"NonFiniteIntensity", std::string(two_theta_views), datums({"1.5,nan"}),
                    "non-finite numeric value"}),
    [](const testing::TestParamInfo<BrmlFailure>& info) { return info.param.name; });

TEST(Brml, BlankAxisIdFallsBackToFieldName) {
  const std::string views =
      R"(<RawDataView xsi:type="VaryingRawDataView" Start="0" Length="1">)"
      R"(<FieldDefinitions AxisId="  " FieldName=" TWOTHETA "/></RawDataView>)" + recorded;
  auto result = read_brml(brml(views, datums({"20,30"})));
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, std::vector<double>{20});
}

struct BrmlRouteCase {
  const char* name;
  std::vector<std::string> flags;  // attributes of each DataRoute; route i holds x = i
  std::optional<double> expected_x;
};

class BrmlRoute : public testing::TestWithParam<BrmlRouteCase> {};

TEST_P(BrmlRoute, PicksTheOneMeasuredRoute) {
  std::string routes;
  for (std::size_t i = 0; i < GetParam().flags.size(); ++i) {
    routes += route(GetParam().flags[i], two_theta_views, datums({std::to_string(i) + ",1"}));
  }
  auto result = parse_brml(
      as_bytes(zip({{"DataContainer.xml", container("<s>r.xml</s>")}, {"r.xml", raw_data(routes)}})), 0);
  if (GetParam().expected_x) {
    ASSERT_TRUE(result) << message(result.error());
    EXPECT_EQ(result->x, std::vector<double>{*GetParam().expected_x});
  } else {
    ASSERT_FALSE(result);
    EXPECT_EQ(message(result.error()), "BRML requires one unambiguous measured data route");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrmlRoute,
    testing::Values(BrmlRouteCase{"OnlyRouteUnflagged", {""}, 0},
                    BrmlRouteCase{"FlaggedOneOfTwo", {R"(RouteFlag="Calculated")", R"(RouteFlag="Measured")"}, 1},
                    BrmlRouteCase{"FlagValueIsExact", {R"(RouteFlag="measured")", R"(RouteFlag="Measured")"}, 1},
                    BrmlRouteCase{"TwoFlagged", {R"(RouteFlag="Measured")", R"(RouteFlag="Measured")"}, std::nullopt},
                    BrmlRouteCase{"TwoUnflagged", {"", ""}, std::nullopt},
                    BrmlRouteCase{"NoRoute", {}, std::nullopt}),
    [](const testing::TestParamInfo<BrmlRouteCase>& info) { return info.param.name; });

TEST(Brml, ScanListSkipsBlankReferencesAndSelectsByIndex) {
  const std::string archive =
      zip({{"DataContainer.xml", container("<a> one.xml </a><b>\n  </b><c>two.xml</c>")},
           {"one.xml", raw_data(route("", two_theta_views, datums({"1,1"})))},
           {"two.xml", raw_data(route("", two_theta_views, datums({"2,2"})))}});
  auto second = read_brml(archive, 1);
  ASSERT_TRUE(second) << message(second.error());
  EXPECT_EQ(second->x, std::vector<double>{2});
  auto beyond = read_brml(archive, 2);
  ASSERT_FALSE(beyond);
  EXPECT_EQ(message(beyond.error()), "scan 2 is out of range (2 scans)");
}

TEST(Brml, ArchiveLevelFailures) {
  auto no_container = read_brml(zip({{"RawData0.xml", raw_data("")}, {"DataContainer.xm", ""}}));
  ASSERT_FALSE(no_container);
  EXPECT_EQ(message(no_container.error()), "BRML missing DataContainer.xml");

  auto missing_member = read_brml(zip({{"DataContainer.xml", container("<s>gone.xml</s>")}}));
  ASSERT_FALSE(missing_member);
  EXPECT_EQ(missing_member.error().kind(), ErrorKind::FileNotFoundInArchive);
  EXPECT_EQ(message(missing_member.error()), "gone.xml");

  auto not_zip = parse_brml(as_bytes("PK\x03\x04 not an archive"), 0);
  ASSERT_FALSE(not_zip);
  EXPECT_EQ(not_zip.error().kind(), ErrorKind::Zip);
}

// ---- RASX ----

struct AxisCase {
  const char* label;
  bool accepted;
};

class RasxAxis : public testing::TestWithParam<AxisCase> {};

TEST_P(RasxAxis, AcceptsOnlyTwoThetaScans) {
  Status status = check_rigaku_axis(GetParam().label);
  EXPECT_EQ(status.ok(), GetParam().accepted) << GetParam().label;
  if (!GetParam().accepted) {
    EXPECT_EQ(message(status.error()),
              "scan axis \"" + std::string(GetParam().label) + "\" is not a supported 2theta scan");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RasxAxis,
    testing::Values(AxisCase{"TwoThetaTheta", true}, AxisCase{"TwoThetaOmega", true},
                    AxisCase{"2Theta", true}, AxisCase{"2-Theta w", true},
                    AxisCase{"Two_Theta", true}, AxisCase{"2theta-theta", true},
                    AxisCase{"2Theta/Omega", false}, AxisCase{"Omega", false},
                    AxisCase{"TwoThetaChi", false}, AxisCase{"", false}));

TEST(RasxAxis, QuotesTheLabelInTheMessage) {
  Status status = check_rigaku_axis("Phi\t\"x\"");
  ASSERT_FALSE(status);
  EXPECT_EQ(message(status.error()), R"(scan axis "Phi\t\"x\"" is not a supported 2theta scan)");
}

std::string rasx_root(std::string_view measurements) {
  return R"(<?xml version="1.0" encoding="utf-8"?><Root>)" + std::string(measurements) + "</Root>";
}

std::string measurement(std::string_view name, std::initializer_list<std::string_view> members) {
  std::string out = "<" + std::string(name) + ">";
  for (std::string_view member : members) {
    out += R"(<ContentHashList Name=")" + std::string(member) + R"(" ContentHash="0"/>)";
  }
  return out + "</" + std::string(name) + ">";
}

std::string conditions(std::string_view axis) {
  return "<Conditions><AxisName>Omega</AxisName><ScanInformation><AxisName>" + std::string(axis) +
         "</AxisName></ScanInformation></Conditions>";
}

Result<Series> read_rasx(const Members& members, std::uint64_t index = 0) {
  return parse_rasx(as_bytes(zip(members)), index);
}

TEST(Rasx, ReadsTheSelectedMeasurementAfterItsAxisCheck) {
  auto result = read_rasx(
      {{"root.xml", rasx_root(measurement("Data0", {"a.txt", "a-conditions.xml"}) +
                              measurement("Data1", {"a.txt", "a-conditions.xml"}))},
       {"Data0/a.txt", "bad"},
       {"Data0/a-conditions.xml", conditions("Phi")},
       {"Data1/a.txt", "\xEF\xBB\xBF" "10.0\t5\t1\r\n\r\n  10.5 6\r\n"},
       {"Data1/a-conditions.xml", conditions("\n  TwoThetaOmega  \n")}},
      1);
  ASSERT_TRUE(result) << message(result.error());
  EXPECT_EQ(result->x, (std::vector<double>{10.0, 10.5}));
  EXPECT_EQ(result->y, (std::vector<double>{5, 6}));
}

TEST(Rasx, RefusedAxisStopsBeforeTheProfile) {
  auto result = read_rasx({{"root.xml", rasx_root(measurement("Data0", {"P.txt", "MesurementConditions0.xml"}))},
                           {"Data0/MesurementConditions0.xml", conditions(" Omega\n")}});
  ASSERT_FALSE(result);
  EXPECT_EQ(message(result.error()), R"(scan axis "Omega" is not a supported 2theta scan)");
}

TEST(Rasx, AxisIsFoundOutsideScanInformationWhenThereIsNone) {
  auto result = read_rasx({{"root.xml", rasx_root(measurement("Data0", {"P.txt", "Conditions.XML"}))},
                           {"Data0/Conditions.XML", "<c><x><AxisName>Chi</AxisName></x></c>"},
                           {"Data0/P.txt", "1 2\n"}});
  ASSERT_FALSE(result);
  EXPECT_EQ(message(result.error()), R"(scan axis "Chi" is not a supported 2theta scan)");
}

TEST(Rasx, MeasurementNamesAndProfileNames) {
  // data0, Data0a, Data and a nested Data1 are not measurements; Data2 has no profile and does
  // not count; Data3's profile keeps its letter case.
  const Members members = {
      {"root.xml", rasx_root(measurement("data0", {"a.txt"}) + measurement("Data0a", {"a.txt"}) +
                             measurement("Data", {"a.txt"}) + "<Other>" + measurement("Data1", {"a.txt"}) +
                             "</Other>" + measurement("Data2", {"a.csv", "cond.xml"}) +
                             measurement("Data3", {"readme.md", "A.TXT", "b.txt"}))},
      {"Data3/A.TXT", "1 2\n3 4"}};
  auto first = read_rasx(members, 0);
  ASSERT_TRUE(first) << message(first.error());
  EXPECT_EQ(first->x, (std::vector<double>{1, 3}));
  auto second = read_rasx(members, 1);
  ASSERT_FALSE(second);
  EXPECT_EQ(message(second.error()), "scan 1 is out of range (1 scans)");
}

struct ProfileCase {
  const char* name;
  const char* profile;
  const char* expected;
};

class RasxProfile : public testing::TestWithParam<ProfileCase> {};

TEST_P(RasxProfile, RefusesBadLines) {
  auto result = read_rasx({{"root.xml", rasx_root(measurement("Data0", {"Profile0.txt"}))},
                           {"Data0/Profile0.txt", GetParam().profile}});
  ASSERT_FALSE(result);
  EXPECT_EQ(message(result.error()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RasxProfile,
    testing::Values(ProfileCase{"OneToken", "1 2\n3\n", "RASX missing intensity"},
                    ProfileCase{"Word", "1 2\nangle 4\n", "invalid numeric value \"angle\""},
                    ProfileCase{"FortranExponent", "1 2D3\n", "invalid numeric value \"2D3\""},
                    ProfileCase{"Infinite", "1 1e400\n", "non-finite numeric value"}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return info.param.name; });

TEST(Rasx, MissingMembersAreReportedByName) {
  auto no_root = read_rasx({{"Data0/Profile0.txt", "1 2"}});
  ASSERT_FALSE(no_root);
  EXPECT_EQ(no_root.error().kind(), ErrorKind::FileNotFoundInArchive);
  EXPECT_EQ(message(no_root.error()), "root.xml");

  auto no_profile = read_rasx({{"root.xml", rasx_root(measurement("Data0", {"Profile0.txt"}))}});
  ASSERT_FALSE(no_profile);
  EXPECT_EQ(message(no_profile.error()), "Data0/Profile0.txt");
}

}  // namespace
}  // namespace vorlen
