// The RAS reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pattern/readers.hpp"
#include "reader_outcome.hpp"

namespace vorlen {
namespace {

using testing_support::MessageCase;
using testing_support::Outcome;

Outcome ras(const std::string& text, std::uint64_t index = 0) {
  return testing_support::outcome(parse_ras(as_bytes(text), index));
}

std::string ras_scan(const std::string& header, const std::string& rows) {
  return "*RAS_HEADER_START\n" + header + "*RAS_HEADER_END\n*RAS_INT_START\n" + rows +
         "*RAS_INT_END\n";
}

TEST(RasSelection, SecondScanIsReadAndFirstBlockSkippedUnread) {
  const std::string text =
      "*RAS_DATA_START\n" + ras_scan("*MEAS_DATA_COUNT \"99\"\n", "bad row\nx\n") +
      ras_scan("*MEAS_DATA_COUNT \"2.0000000000\"\n", "10.00 100 1.000\n10.02 110 1.000\n") +
      "*RAS_DATA_END\n";
  const auto result = ras(text, 1);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.series.x, (std::vector<double>{10.0, 10.02}));
  EXPECT_EQ(result.series.y, (std::vector<double>{100, 110}));
}

TEST(RasSelection, MarkersBehindWhiteSpaceCloseUnselectedBlocks) {
  const auto result =
      ras("*RAS_INT_START\nbad\n\xe3\x80\x80*RAS_INT_END\n"  // behind an ideographic space
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
  const auto counted = ras(
      ras_scan("*MEAS_DATA_COUNT 1\n", "1 2\n") + "*RAS_INT_START\n1 2\n2 3\n*RAS_INT_END\n", 1);
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
        MessageCase{"LowerCaseEndIsData", "*RAS_INT_START\n1 2\n*ras_int_end\n*RAS_INT_END\n", 0,
                    "RAS: missing intensity"},
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
