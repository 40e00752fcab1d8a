// The UXD reader.
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

Outcome uxd(const std::string& text, std::uint64_t index = 0) {
  return testing_support::outcome(parse_uxd(as_bytes(text), index));
}

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
  const auto result =
      uxd("_start = '2.5'\n"
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
                         testing::Values(AxisCase{"_DRIVE='COUPLED'\n", true}, AxisCase{"", true},
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
        MessageCase{"PairMissingIntensity", "_2THETACOUNTS\n1.5\n", 0, "UXD: missing intensity"},
        MessageCase{"PairNonFinite", "_2THETACOUNTS\n1.5 1e400\n", 0,
                    "Non-finite numeric value \"1e400\""}),
    [](const testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vorlen
