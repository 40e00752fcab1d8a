#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/readers.hpp"

namespace vorlen {
namespace {

Result<Series> read(std::string_view text, std::uint64_t index = 0) {
  return parse_gsas(as_bytes(text), index);
}

// The failure message of a read, or "ok" when it succeeds.
std::string outcome(std::string_view text, std::uint64_t index = 0) {
  const Result<Series> result = read(text, index);
  return result ? "ok" : result.error().detail();
}

std::vector<double> intensities(std::string_view text, std::uint64_t index = 0) {
  const Result<Series> result = read(text, index);
  EXPECT_TRUE(result) << result.error().detail();
  return result ? result->y : std::vector<double>{};
}

// One fixed STD field: a 2-character counter number and a 6-character value, right-aligned.
std::string field(std::string_view counter, std::string_view value) {
  return std::string(2 - counter.size(), ' ') + std::string(counter) +
         std::string(6 - value.size(), ' ') + std::string(value);
}

std::string padded(std::string line, std::size_t width) {
  line.resize(width, ' ');
  return line;
}

// ---- banks --------------------------------------------------------------------------------

constexpr std::string_view kTwoBanks =
    "title line\n"
    "BANK 1 2 1 CONS 1000 5\n"
    "1 2\n"
    "  BANK 2 3 1 CONS 2000 5 0 0 STD\n"
    "7 8 9\n";

TEST(GsasBanks, IndexSelectsBankInFileOrderAndDataStopsAtNextHeader) {
  EXPECT_EQ(intensities(kTwoBanks, 0), (std::vector<double>{1, 2}));
  EXPECT_EQ(intensities(kTwoBanks, 1), (std::vector<double>{7, 8, 9}));
}

struct MessageCase {
  std::string name;
  std::string text;
  std::uint64_t index;
  std::string message;
};

class GsasMessages : public testing::TestWithParam<MessageCase> {};

TEST_P(GsasMessages, ReportsTheDefect) {
  EXPECT_EQ(outcome(GetParam().text, GetParam().index), GetParam().message);
}

std::string bank(std::string_view header, std::string_view data) {
  return "title\n" + std::string(header) + "\n" + std::string(data);
}

INSTANTIATE_TEST_SUITE_P(
    Banks, GsasMessages,
    testing::Values(
        MessageCase{"IndexPastLast", std::string(kTwoBanks), 2,
                    "GSAS: bank index 2 is out of range (2 banks)"},
        MessageCase{"NoBankLine", "1 2\n3 4\n", 0, "GSAS: bank index 0 is out of range (0 banks)"},
        MessageCase{"NoBankLineAnyIndex", "1 2\n", 7,
                    "GSAS: bank index 7 is out of range (0 banks)"},
        MessageCase{"LowerCaseIsNoHeader", "bank 1 2 1 CONS 1000 5\n1 2\n", 0,
                    "GSAS: bank index 0 is out of range (0 banks)"},
        MessageCase{"LowerCaseInDataIsData", bank("BANK 1 2 1 CONS 1000 5", "1 2\nbank 2\n"), 0,
                    "Invalid numeric value \"bank\""},
        MessageCase{"GluedInDataIsData", bank("BANK 1 2 1 CONS 1000 5", "BANK1 2\n"), 0,
                    "Invalid numeric value \"BANK1\""}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Header, GsasMessages,
    testing::Values(
        MessageCase{"FourTokens", bank("BANK 1 2 1", "1 2"), 0, "GSAS: incomplete BANK header"},
        MessageCase{"Ralf", bank("BANK 1 2 1 RALF 1 2 3 4 ALT", "1 2"), 0,
                    "GSAS: RALF binning does not provide a supported 2theta axis"},
        MessageCase{"BinningUpperCased", bank("BANK 1 2 1 tof", "1 2"), 0,
                    "GSAS: TOF binning does not provide a supported 2theta axis"},
        MessageCase{"NoStep", bank("BANK 1 2 1 CONS 1000", "1 2"), 0,
                    "GSAS: CONS/CONST requires a start and step"},
        MessageCase{"NegativeCount", bank("BANK 1 -2 1 CONS 1000 5", "1 2"), 0,
                    "GSAS: invalid channel count"},
        MessageCase{"DecimalCount", bank("BANK 1 2.0 1 CONS 1000 5", "1 2"), 0,
                    "GSAS: invalid channel count"},
        MessageCase{"CountOverflows", bank("BANK 1 18446744073709551616 1 CONS 1000 5", "1 2"), 0,
                    "GSAS: invalid channel count"},
        MessageCase{"ZeroCount", bank("BANK 1 +0 1 CONS 1000 5", "1 2"), 0, "GSAS: zero channels"},
        MessageCase{"StartBeforeStep", bank("BANK 1 2 1 CONS start step", "1 2"), 0,
                    "Invalid numeric value \"start\""},
        MessageCase{"BadStep", bank("BANK 1 2 1 CONS 1000 1,5", "1 2"), 0,
                    "Invalid numeric value \"1,5\""},
        MessageCase{"CoefficientIsTypeWord", bank("BANK 1 2 1 CONS 1000 5 x1 0 STD", "1 2"), 0,
                    "GSAS: unsupported record type X1"},
        MessageCase{"AltRecords", bank("BANK 1 2 1 CONST 1000 5 0 0 alt", "1 2"), 0,
                    "GSAS: unsupported record type ALT"},
        MessageCase{"BadCoefficient", bank("BANK 1 2 1 CONS 1000 5 0 1,5 STD", "1 2"), 0,
                    "Invalid numeric value \"1,5\""}),
    [](const auto& info) { return info.param.name; });

// ---- record type --------------------------------------------------------------------------

// Two channels over the values 10 20 0 0: STD reads 10 and 20 (two zeros of surplus), ESD
// reads the pairs (10, 20) and (0, 0).
struct TypeCase {
  std::string tail;
  std::vector<double> y;
};

class GsasRecordType : public testing::TestWithParam<TypeCase> {};

TEST_P(GsasRecordType, FollowsTheCoefficients) {
  const std::string header = "BANK 1 2 1 CONS 1000 5" + GetParam().tail;
  EXPECT_EQ(intensities(bank(header, "10 20 0 0\n")), GetParam().y);
}

INSTANTIATE_TEST_SUITE_P(Tails, GsasRecordType,
                         testing::Values(TypeCase{"", {10, 20}}, TypeCase{" 0 0 STD", {10, 20}},
                                         TypeCase{" 0 0 ESD", {10, 0}}, TypeCase{" esd", {10, 0}},
                                         TypeCase{" 0 1.5D2 Esd trailing words", {10, 0}},
                                         TypeCase{" 0 0 !ESD", {10, 20}},
                                         TypeCase{" 0 0 # ESD", {10, 20}}));

// ---- axis ---------------------------------------------------------------------------------

TEST(GsasAxis, StartAndStepAreCentidegrees) {
  const Result<Series> result = read(bank("BANK 1 4 1 Cons 1000 5", "1 2 3 4\n"));
  ASSERT_TRUE(result) << result.error().detail();
  std::vector<double> expected;
  for (int j = 0; j < 4; ++j) {
    const double offset = j * 0.05;
    expected.push_back(offset + 10.0);
  }
  EXPECT_EQ(result->x, expected);
}

TEST(GsasAxis, ZeroStepFailsBeforeDataForStdAndEsdButNotFxye) {
  EXPECT_EQ(outcome(bank("BANK 1 2 1 CONS 1000 0", "not data\n")), "GSAS: step must be nonzero");
  EXPECT_EQ(outcome(bank("BANK 1 2 1 CONS 1000 -0.0 0 0 ESD", "1 2 3 4\n")),
            "GSAS: step must be nonzero");
  const Result<Series> fxye = read(bank("BANK 1 2 2 CONS 1000 0 0 0 FXYE", "1000 5 1\n1005 6 1\n"));
  ASSERT_TRUE(fxye) << fxye.error().detail();
  EXPECT_EQ(fxye->x, (std::vector<double>{10, 10.05}));
  EXPECT_EQ(fxye->y, (std::vector<double>{5, 6}));
}

// ---- STD ----------------------------------------------------------------------------------

struct StdCase {
  std::string name;
  std::string line;
  std::vector<double> y;
};

class GsasStdLine : public testing::TestWithParam<StdCase> {};

// The declared channel count is the number of values expected, so that every case reads exactly
// its own line.
TEST_P(GsasStdLine, ReadsValues) {
  const auto& expected = GetParam().y;
  const std::string header = "BANK 1 " + std::to_string(expected.size()) + " 1 CONS 1000 5 0 0 STD";
  EXPECT_EQ(intensities(bank(header, GetParam().line + "\r\n")), expected);
}

std::string ten_fields(std::string_view counter) {
  std::string line;
  for (int i = 1; i <= 10; ++i) line += field(counter, std::to_string(100 + i));
  return line;
}

const std::vector<double> kHundreds{101, 102, 103, 104, 105, 106, 107, 108, 109, 110};

INSTANTIATE_TEST_SUITE_P(
    Forms, GsasStdLine,
    testing::Values(
        StdCase{"TenBlankCounters", ten_fields(""), kHundreds},
        StdCase{"CountersAreNotRepeats", ten_fields("2"), kHundreds},
        StdCase{"CounterTwenty", ten_fields("20"), kHundreds},
        StdCase{"CounterWithPlus", ten_fields("+3"), kHundreds},
        StdCase{"CounterRunsIntoValue", "12345.67 1123456", {345.67, 123456}},
        StdCase{"DecimalValues", field("1", "1.5e2") + field("", "-0.25"), {150, -0.25}},
        StdCase{"PaddedLastRecord", padded(field("", "368") + field("", "0"), 80), {368, 0}},
        StdCase{"PaddedLastRecordWithCounters",
                padded(field("3", "368") + field("2", "0"), 80),
                {368, 0}},
        // A blank value with a counter in front is no padding: the line is read token by token.
        StdCase{"BlankValueAfterCounter", padded(field("3", "368") + " 2      ", 80), {3, 368, 2}},
        StdCase{"BlankValueInside", field("", "1") + " 1      " + field("", "2"), {1, 1, 2}},
        StdCase{"NegativeCounterIsFreeForm", field("-1", "150"), {-1, 150}},
        StdCase{"NotFieldAligned", "1 2 3", {1, 2, 3}},
        StdCase{"SpacedTokens", "  1.0\t2.0   3.0E1   4", {1, 2, 30, 4}}),
    [](const auto& info) { return info.param.name; });

TEST(GsasStd, SurplusZerosAreAcceptedUpToNine) {
  const std::string header = "BANK 1 1 1 CONS 1000 5";
  EXPECT_EQ(intensities(bank(header, "5 0 0 0 0 0 0 0 0 -0\n")), (std::vector<double>{5}));
  EXPECT_EQ(outcome(bank(header, "5 0 0 0 0 0 0 0 0 0 0\n")),
            "GSAS STD: unexpected data beyond the declared channel count");
  EXPECT_EQ(outcome(bank(header, "5 0 1\n")),
            "GSAS STD: unexpected data beyond the declared channel count");
}

TEST(GsasStd, FewerValuesThanChannelsFail) {
  EXPECT_EQ(outcome(bank("BANK 1 4 1 CONS 1000 5", "1 2\n3\n")),
            "GSAS STD: data is shorter than the declared 4 channels");
  // Compressed records (a value standing for several channels) leave the data short.
  EXPECT_EQ(outcome(bank("BANK 1 20 1 CONS 1000 5", ten_fields("2") + "\n")),
            "GSAS STD: data is shorter than the declared 20 channels");
}

TEST(GsasStd, HugeDeclaredCountFailsOnTheData) {
  for (const std::string count : {"1000000000000000000", "18446744073709551615"}) {
    EXPECT_EQ(outcome(bank("BANK 1 " + count + " 1 CONS 1000 5", "1 2\n3 4\n5 6\n")),
              "GSAS STD: data is shorter than the declared " + count + " channels");
    EXPECT_EQ(outcome(bank("BANK 1 " + count + " 1 CONS 1000 5 0 0 ESD", "1 2\n")),
              "GSAS ESD: data is shorter than the declared " + count + " channels");
    EXPECT_EQ(outcome(bank("BANK 1 " + count + " 1 CONS 1000 5 0 0 FXYE", "1000 2 1\n")),
              "GSAS FXYE: BANK declares " + count + " points but 1 were read");
  }
}

// ---- ESD ----------------------------------------------------------------------------------

const std::string kThreePairs = "  927.65   29.15  866.33   28.27  860.29   28.07";

TEST(GsasEsd, FixedFieldsAndSurplus) {
  const std::string header = "BANK 1 3 1 CONST 1000 5 0 0 ESD";
  EXPECT_EQ(intensities(bank(header, padded(kThreePairs, 80))),
            (std::vector<double>{927.65, 866.33, 860.29}));
  EXPECT_EQ(intensities(bank(header, kThreePairs + "       0       0\n")),
            (std::vector<double>{927.65, 866.33, 860.29}));
  EXPECT_EQ(outcome(bank(header, kThreePairs + "\n0 5\n")),
            "GSAS ESD: unexpected data beyond the declared channel count");
  EXPECT_EQ(outcome(bank(header, kThreePairs + "\n0 0 0 0 0 0 0 0 0 0\n")),
            "GSAS ESD: unexpected data beyond the declared channel count");
}

TEST(GsasEsd, OddValueCountDependsOnLineLength) {
  const std::string header = "BANK 1 3 1 CONS 1000 5 0 0 ESD";
  const std::string seven = kThreePairs + "       0";
  EXPECT_EQ(outcome(bank(header, padded(seven, 80))),
            "GSAS ESD: data is shorter than the declared 3 channels");
  EXPECT_EQ(outcome(bank(header, padded(seven, 60))), "GSAS ESD: incomplete intensity/esd pair");
}

struct EsdCase {
  std::string name;
  std::string line;
  std::string outcome;
};

class GsasEsdLine : public testing::TestWithParam<EsdCase> {};

TEST_P(GsasEsdLine, ReadsOrRefuses) {
  EXPECT_EQ(outcome(bank("BANK 1 2 1 CONS 1000 5 0 0 ESD", GetParam().line)), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GsasEsdLine,
    testing::Values(EsdCase{"FreeFormShortLine", "1 2 3 4", "ok"},
                    EsdCase{"FieldsShorterThanEight", "     1.0     0.1     2.0     0.2  ", "ok"},
                    EsdCase{"FreeFormOdd", "1 2 3 4 5", "GSAS ESD: incomplete intensity/esd pair"},
                    EsdCase{"FixedFieldNotANumber", "     abc       1       2       3",
                            "Invalid numeric value \"abc\""},
                    EsdCase{"FreeFormNotANumber", "1 2 x 4 5", "Invalid numeric value \"x\""},
                    EsdCase{"NonAscii", "1 2 3 4 \xc2\xb5", "GSAS ESD: non-ASCII numeric record"}),
    [](const auto& info) { return info.param.name; });

// ---- FXYE ---------------------------------------------------------------------------------

std::string fxye_bank(std::size_t declared, std::size_t records) {
  std::string data;
  for (std::size_t i = 0; i < records; ++i) data += std::to_string(1000 + 5 * i) + " 7.5 0.5\n";
  return bank("BANK 1 " + std::to_string(declared) + " 1 CONS 1000 5 0 0 FXYE", data);
}

TEST(GsasFxye, EveryRecordIsAPointAndTheCountIsAMinimum) {
  const Result<Series> result = read(fxye_bank(10, 12));
  ASSERT_TRUE(result) << result.error().detail();
  ASSERT_EQ(result->x.size(), 12u);
  EXPECT_EQ(result->x.front(), 10.0);
  EXPECT_EQ(result->x.back(), 10.55);
  EXPECT_EQ(result->y.back(), 7.5);
  EXPECT_EQ(outcome(fxye_bank(10, 8)), "GSAS FXYE: BANK declares 10 points but 8 were read");
}

INSTANTIATE_TEST_SUITE_P(
    Fxye, GsasMessages,
    testing::Values(MessageCase{"OneColumn", bank("BANK 1 1 1 CONS 0 0 FXYE", "1000\n"), 0,
                                "GSAS FXYE: missing intensity"},
                    MessageCase{"TwoColumnsCheckedBeforeNumbers",
                                bank("BANK 1 1 1 CONS 0 0 FXYE", "x y\n"), 0,
                                "GSAS FXYE: missing third column"},
                    MessageCase{"FourColumns", bank("BANK 1 1 1 CONS 0 0 FXYE", "1 2 3 4\n"), 0,
                                "GSAS FXYE: each record must have exactly three columns"},
                    MessageCase{"CommaStaysInToken",
                                bank("BANK 1 1 1 CONS 0 0 FXYE", "1000,5 2 3\n"), 0,
                                "Invalid numeric value \"1000,5\""},
                    MessageCase{"BadDeviation", bank("BANK 1 1 1 CONS 0 0 FXYE", "1000 5 inf\n"), 0,
                                "Non-finite numeric value \"inf\""}),
    [](const auto& info) { return info.param.name; });

// ---- comments and blank lines -------------------------------------------------------------

TEST(GsasComments, SkippedInEveryRecordType) {
  const std::string noise = "\n# comment 1 2\n   ! note\n \t \n";
  EXPECT_EQ(intensities(bank("BANK 1 2 1 CONS 1000 5", noise + "1" + noise + "2\n")),
            (std::vector<double>{1, 2}));
  EXPECT_EQ(intensities(bank("BANK 1 2 1 CONS 1000 5 ESD", noise + "1 0.1" + noise + "2 0.2")),
            (std::vector<double>{1, 2}));
  EXPECT_EQ(
      intensities(bank("BANK 1 2 1 CONS 1000 5 FXYE", noise + "1000 1 1" + noise + "1005 2 1")),
      (std::vector<double>{1, 2}));
}

}  // namespace
}  // namespace vorlen
