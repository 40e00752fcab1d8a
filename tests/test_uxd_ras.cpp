#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pattern/readers.hpp"

namespace vorlen {
namespace {

struct Outcome {
  bool ok = false;
  Series series;
  std::string message;
};

Outcome uxd(const std::string& text, std::uint64_t index = 0) {
  auto result = parse_uxd(as_bytes(text), index);
  if (!result) return {false, {}, result.error().detail()};
  return {true, std::move(result).value(), {}};
}

Outcome ras(const std::string& text, std::uint64_t index = 0) {
  auto result = parse_ras(as_bytes(text), index);
  if (!result) return {false, {}, result.error().detail()};
  return {true, std::move(result).value(), {}};
}

// ---------------------------------------------------------------------------------------------
// UXD

// Two counts-only scans: the second inherits _STEPSIZE, overrides _START, and a header line
// after its marker must not reach it.
const std::string kTwoUxdScans =
    "; converted file\n"
    "_DRIVE='COUPLED'\n"
    "_START=10.0\n"
    "_STEPSIZE=0.5\n"
    "_COUNTS\n"
    "1 2 3\n"
    "_START=20.0\n"
    "_CPS\n"
    "_STEPSIZE=100\n"
    "4, 5\n"
    "6\n";

TEST(UxdSelection, EachScanGetsTheHeaderInForceAtItsMarker) {
  const auto first = uxd(kTwoUxdScans, 0);
  ASSERT_TRUE(first.ok) << first.message;
  EXPECT_EQ(first.series.x, (std::vector<double>{10.0, 10.5, 11.0}));
  EXPECT_EQ(first.series.y, (std::vector<double>{1, 2, 3}));

  const auto second = uxd(kTwoUxdScans, 1);
  ASSERT_TRUE(second.ok) << second.message;
  EXPECT_EQ(second.series.x, (std::vector<double>{20.0, 20.5, 21.0}));
  EXPECT_EQ(second.series.y, (std::vector<double>{4, 5, 6}));
}

TEST(UxdSelection, DataOfOtherBlocksIsNeverParsed) {
  const std::string text =
      "_2THETACOUNTS\n"
      "not numbers at all\n"
      "\xc2\xa0_2THETACOUNTS\n"  // behind a no-break space
      "5 50\n"
      "6 60 extra columns\n"
      "_2THETACOUNTS\n"
      "garbage\n"
      "_UNKNOWNMARKER\n";  // after the selected block: never reached
  const auto result = uxd(text, 1);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{5, 6}));
  EXPECT_EQ(result.series.y, (std::vector<double>{50, 60}));
}

TEST(UxdSelection, MarkersAreRecognisedWithSurroundingWhiteSpaceAndCrLf) {
  const auto result = uxd("_START=1\r\n_STEPSIZE=1\r\n  \t_COUNTS  \r\n 7 8 \r\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{1, 2}));
  EXPECT_EQ(result.series.y, (std::vector<double>{7, 8}));
}

TEST(UxdHeader, KeysAreUpperCasedAndValuesUnquoted) {
  const auto result = uxd(
      "_start = '2.5'\n"
      "_StepSize\t=\t\"'0.25'\"\n"
      "_drive = \"2THETA\"\n"
      "_COUNTS\n1 1\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{2.5, 2.75}));
}

TEST(UxdHeader, PairsBlockNeedsNoStartOrStep) {
  const auto result = uxd("_STEPSIZE=0\n_2THETACPS\n10.0 1.5\n10.1 2.5\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{10.0, 10.1}));
  EXPECT_EQ(result.series.y, (std::vector<double>{1.5, 2.5}));
}

struct AxisCase {
  const char* drive_line;
  bool accepted;
};

class UxdAxis : public testing::TestWithParam<AxisCase> {};

TEST_P(UxdAxis, DriveLabelDecides) {
  const auto result = uxd(std::string(GetParam().drive_line) + "_2THETACOUNTS\n1 1\n");
  EXPECT_EQ(result.ok, GetParam().accepted) << result.message;
}

INSTANTIATE_TEST_SUITE_P(Labels, UxdAxis,
                         testing::Values(AxisCase{"_DRIVE='COUPLED'\n", true},
                                         AxisCase{"", true},
                                         AxisCase{"_DRIVE=''\n", true},
                                         AxisCase{"_DRIVE='THETA'\n", false},
                                         AxisCase{"_drive=phi\n", false}));

TEST(UxdCounts, XIsStepTimesIndexPlusStart) {
  const auto result = uxd("_START=10\n_STEPSIZE=0.02\n_COUNTS\n5\n6,7\n,\n");
  ASSERT_TRUE(result.ok) << result.message;
  const double step = 0.02;
  // Each product rounded on its own before the sum.
  volatile double p1 = 1.0 * step;
  volatile double p2 = 2.0 * step;
  EXPECT_EQ(result.series.x, (std::vector<double>{10.0, p1 + 10.0, p2 + 10.0}));
  EXPECT_EQ(result.series.y, (std::vector<double>{5, 6, 7}));
}

TEST(UxdCounts, NegativeStepGivesDescendingX) {
  const auto result = uxd("_START=3\n_STEPSIZE=-1\n_CPS\n1 2 3\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{3, 2, 1}));
}

struct MessageCase {
  const char* name;
  std::string text;
  std::uint64_t index;
  std::string message;
};

class UxdMessages : public testing::TestWithParam<MessageCase> {};

TEST_P(UxdMessages, NamesTheDefect) {
  const auto result = uxd(GetParam().text, GetParam().index);
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UxdMessages,
    testing::Values(
        MessageCase{"LowerCaseMarker", "_counts\n1\n", 0,
                    "UXD: unsupported block marker \"_counts\""},
        MessageCase{"UnknownMarkerInUnselectedBlock", "_COUNTS\n1\n_RANGE \t\n_COUNTS\n2\n", 1,
                    "UXD: unsupported block marker \"_RANGE\""},
        MessageCase{"DataBeforeMarker", "_START=1\n1 2\n_COUNTS\n3\n", 1,
                    "UXD: data precedes a counts block"},
        MessageCase{"NoMarker", "; only a comment\n_START=1\n", 0, "UXD: scan 0 is out of range"},
        MessageCase{"IndexPastLastBlock", "_COUNTS\n1\n_COUNTS\n2\n", 3,
                    "UXD: scan 3 is out of range"},
        MessageCase{"RefusedDrive", "_DRIVE='THETA'\n_START=a\n_COUNTS\n1\n", 0,
                    "UXD: axis \"THETA\" is not 2theta in degrees"},
        MessageCase{"DriveAfterMarkerIgnored", "_COUNTS\n_DRIVE=PHI\n1\n", 0,
                    "UXD: missing _START for counts-only data"},
        MessageCase{"AxisBeforeEmptyBlock", "_DRIVE=PHI\n_COUNTS\n_COUNTS\n1\n", 0,
                    "UXD: axis \"PHI\" is not 2theta in degrees"},
        MessageCase{"EmptyCountsBlock", "_COUNTS\n;\n_COUNTS\n1\n", 0,
                    "UXD: no complete x/y pattern found"},
        MessageCase{"EmptyPairsBlock", "_2THETACPS\n", 0, "UXD: no complete x/y pattern found"},
        MessageCase{"MissingStart", "_STEPSIZE=1\n_COUNTS\n1\n", 0,
                    "UXD: missing _START for counts-only data"},
        MessageCase{"StartWithSpacesInQuotes", "_START=' 1 0'\n_COUNTS\n1\n", 0,
                    "Invalid numeric value \" 1 0\""},
        MessageCase{"BadStartBeforeMissingStep", "_START=x\n_COUNTS\n1\n", 0,
                    "Invalid numeric value \"x\""},
        MessageCase{"MissingStep", "_START=1\n_COUNTS\n1\n", 0,
                    "UXD: missing _STEPSIZE for counts-only data"},
        MessageCase{"BadStep", "_START=1\n_STEPSIZE=inf\n_COUNTS\n1\n", 0,
                    "Non-finite numeric value \"inf\""},
        MessageCase{"ZeroStep", "_START=1\n_STEPSIZE=-0.0\n_COUNTS\n1\n", 0,
                    "UXD: _STEPSIZE must be nonzero"},
        MessageCase{"BadIntensity", "_START=1\n_STEPSIZE=1\n_COUNTS\n1 x2\n", 0,
                    "Invalid numeric value \"x2\""},
        MessageCase{"PairMissingIntensity", "_2THETACOUNTS\n1.5\n", 0,
                    "UXD: missing intensity"},
        MessageCase{"PairNonFinite", "_2THETACOUNTS\n1.5 1e400\n", 0,
                    "Non-finite numeric value \"1e400\""}),
    [](const testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// RAS

std::string ras_scan(const std::string& header, const std::string& rows) {
  return "*RAS_HEADER_START\n" + header + "*RAS_HEADER_END\n*RAS_INT_START\n" + rows +
         "*RAS_INT_END\n";
}

TEST(RasSelection, SecondScanIsReadAndFirstBlockSkippedUnread) {
  const std::string text = "*RAS_DATA_START\n" +
                           ras_scan("*MEAS_DATA_COUNT \"99\"\n", "bad row\nx\n") +
                           ras_scan("*MEAS_DATA_COUNT \"2.0000000000\"\n",
                                    "10.00 100 1.000\n10.02 110 1.000\n") +
                           "*RAS_DATA_END\n";
  const auto result = ras(text, 1);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{10.0, 10.02}));
  EXPECT_EQ(result.series.y, (std::vector<double>{100, 110}));
}

TEST(RasSelection, MarkersBehindWhiteSpaceCloseUnselectedBlocks) {
  const auto result = ras(
      "*RAS_INT_START\nbad\n\xe3\x80\x80*RAS_INT_END\n"  // behind an ideographic space
      "*RAS_INT_START\n1 2\n\t*RAS_INT_END\n",
      1);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.y, (std::vector<double>{2}));
}

TEST(RasSelection, ReadingStopsAtTheSelectedBlocksEnd) {
  const auto result = ras(ras_scan("", "1 2\n") + "*RAS_INT_END\n*RAS_INT_START\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.y, (std::vector<double>{2}));
}

TEST(RasSelection, MarkersWithSurroundingWhiteSpaceAndCrLf) {
  const auto result =
      ras("  *RAS_HEADER_START \r\n*MEAS_SCAN_AXIS_X\t\"TwoTheta\"\r\n\t*RAS_INT_START\r\n"
          "1 2\r\n3 4\r\n *RAS_INT_END\t\r\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{1, 3}));
}

TEST(RasHeader, AxisAndCountCarryOverOnlyWithoutHeaderStart) {
  const std::string phi_scan = ras_scan("*MEAS_SCAN_AXIS_X \"Phi\"\n*MEAS_DATA_COUNT 1\n", "1 2\n");
  // Without a new header section, the second block inherits axis Phi.
  const auto inherited = ras(phi_scan + "*RAS_INT_START\n1 2\n*RAS_INT_END\n", 1);
  ASSERT_FALSE(inherited.ok);
  EXPECT_EQ(inherited.message, "RAS: axis \"Phi\" is not 2theta in degrees");
  // ... and the declared count 1.
  const auto counted = ras(ras_scan("*MEAS_DATA_COUNT 1\n", "1 2\n") +
                               "*RAS_INT_START\n1 2\n2 3\n*RAS_INT_END\n",
                           1);
  ASSERT_FALSE(counted.ok);
  EXPECT_EQ(counted.message, "RAS: declared point count disagrees with intensity block");
  // A header section clears both.
  const auto reset = ras(phi_scan + ras_scan("", "1 2\n2 3\n"), 1);
  EXPECT_TRUE(reset.ok) << reset.message;
}

struct ValueCase {
  const char* value;
  bool accepted;
};

class RasPointCount : public testing::TestWithParam<ValueCase> {};

// Real instruments write the count with a zero fraction ("1401.0000000000"); such a count is
// read as the integer, while other non-integers stay refused.
TEST_P(RasPointCount, ValueRule) {
  const auto result =
      ras(ras_scan(std::string("*MEAS_DATA_COUNT ") + GetParam().value + "\n", "1 2\n2 3\n"));
  if (GetParam().accepted) {
    EXPECT_TRUE(result.ok) << result.message;
  } else {
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.message, "RAS: invalid point count");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, RasPointCount,
    testing::Values(ValueCase{"2", true}, ValueCase{"+2", true}, ValueCase{"\"2\"", true},
                    ValueCase{"\"\"2\"\"", true}, ValueCase{"2.", true},
                    ValueCase{"2.0000000000", true}, ValueCase{"\"+2.0\"", true},
                    ValueCase{"00002", true}, ValueCase{"-2", false}, ValueCase{"2.5", false},
                    ValueCase{"2.01", false}, ValueCase{"2.0.0", false}, ValueCase{"1e3", false},
                    ValueCase{"2e0", false}, ValueCase{"\"\"", false}, ValueCase{".0", false},
                    ValueCase{"+", false}, ValueCase{"two", false}, ValueCase{"2 points", false},
                    ValueCase{"0x2", false}, ValueCase{"18446744073709551616", false},
                    ValueCase{"18446744073709551616.0", false}));

TEST(RasPointCount, ZeroFractionCountIsComparedWithTheBlock) {
  const auto result = ras(ras_scan("*MEAS_DATA_COUNT \"3.0000000000\"\n", "1 2\n2 3\n"));
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.message, "RAS: declared point count disagrees with intensity block");
}

TEST(RasPointCount, HugeDeclaredCountIsRefusedWithoutAllocating) {
  const auto result = ras(ras_scan("*MEAS_DATA_COUNT 18446744073709551615\n", "1 2\n"));
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.message, "RAS: declared point count disagrees with intensity block");
}

class RasAxis : public testing::TestWithParam<ValueCase> {};

TEST_P(RasAxis, ScanAxisDecides) {
  const std::string header =
      GetParam().value[0] ? std::string("*MEAS_SCAN_AXIS_X \"") + GetParam().value + "\"\n" : "";
  const auto result = ras(ras_scan(header, "1 2\n"));
  EXPECT_EQ(result.ok, GetParam().accepted) << result.message;
}

INSTANTIATE_TEST_SUITE_P(Labels, RasAxis,
                         testing::Values(ValueCase{"2-Theta", true},
                                         ValueCase{"Theta/2-Theta", true}, ValueCase{"", true},
                                         ValueCase{"Theta", false}, ValueCase{"Phi", false}));

class RasMessages : public testing::TestWithParam<MessageCase> {};

TEST_P(RasMessages, NamesTheDefect) {
  const auto result = ras(GetParam().text, GetParam().index);
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RasMessages,
    testing::Values(
        MessageCase{"CloseWithoutOpen", "*RAS_HEADER_START\n*RAS_INT_END\n", 0,
                    "RAS: intensity block closes without an opening marker"},
        MessageCase{"Nested", "*RAS_INT_START\n1 2\n*RAS_INT_START\n", 0,
                    "RAS: nested intensity blocks"},
        MessageCase{"NestedInUnselectedBlock", "*RAS_INT_START\n*RAS_INT_START\n", 5,
                    "RAS: nested intensity blocks"},
        MessageCase{"InvalidCountBeforeSelectedScan",
                    "*RAS_HEADER_START\n*MEAS_DATA_COUNT 1.5\n*RAS_INT_START\n*RAS_INT_END\n", 1,
                    "RAS: invalid point count"},
        MessageCase{"CountDisagrees",
                    "*RAS_HEADER_START\n*MEAS_DATA_COUNT 3\n*RAS_INT_START\n1 1\n2 2\n3 3\n4 4\n"
                    "*RAS_INT_END\n",
                    0, "RAS: declared point count disagrees with intensity block"},
        MessageCase{"EndsInsideBlock", "*RAS_HEADER_START\n*RAS_INT_START\n1 2\n", 0,
                    "RAS: file ends before *RAS_INT_END"},
        MessageCase{"EndsInsideUnselectedBlock", "*RAS_INT_START\nx\n", 3,
                    "RAS: file ends before *RAS_INT_END"},
        MessageCase{"OutOfRange",
                    "*RAS_INT_START\n1 2\n*RAS_INT_END\n*RAS_INT_START\n1 2\n*RAS_INT_END\n", 2,
                    "RAS: scan 2 is out of range (2 scans)"},
        MessageCase{"NoBlocks", "*RAS_HEADER_START\n*MEAS_DATA_COUNT 3\n", 0,
                    "RAS: scan 0 is out of range (0 scans)"},
        MessageCase{"AxisCheckedWhenBlockOpens",
                    "*RAS_HEADER_START\n*MEAS_SCAN_AXIS_X Phi\n*RAS_INT_START\nbad\n", 0,
                    "RAS: axis \"Phi\" is not 2theta in degrees"},
        MessageCase{"EmptyBlockWithoutCount", "*RAS_INT_START\n*RAS_INT_END\n", 0,
                    "RAS: no complete x/y pattern found"},
        MessageCase{"EmptyBlockWithZeroCount",
                    "*MEAS_DATA_COUNT \"0.000\"\n*RAS_INT_START\n*RAS_INT_END\n", 0,
                    "RAS: no complete x/y pattern found"},
        MessageCase{"LowerCaseEndIsData", "*RAS_INT_START\n1 2\n*ras_int_end\n*RAS_INT_END\n",
                    0, "RAS: missing intensity"},
        MessageCase{"MarkerWithTrailingTextIsData",
                    "*RAS_INT_START\n1 2\n*RAS_INT_END now\n*RAS_INT_END\n", 0,
                    "Invalid numeric value \"*RAS_INT_END\""},
        MessageCase{"NonFiniteRow", "*RAS_INT_START\n1 nan\n*RAS_INT_END\n", 0,
                    "Non-finite numeric value \"nan\""}),
    [](const testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

TEST(RasHeader, LowerCaseMarkerOutsideBlockIsAnIgnoredHeaderLine) {
  const auto result = ras("*ras_int_start\n*RAS_INT_START\n1 2\n*RAS_INT_END\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.y, (std::vector<double>{2}));
}

}  // namespace
}  // namespace vorlen
