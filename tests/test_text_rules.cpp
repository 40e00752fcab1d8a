#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "text/axis.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"

namespace {

namespace text = vorlen::text;

// --- number -----------------------------------------------------------------------------------

struct NumberCase {
  std::string token;
  double value;
  std::string message;  // empty: the value is expected
};

class TextNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(TextNumber, ValueOrMessage) {
  const auto& c = GetParam();
  auto result = text::number(c.token);
  if (c.message.empty()) {
    ASSERT_TRUE(result.ok()) << result.error().detail();
    EXPECT_EQ(*result, c.value);
    EXPECT_EQ(std::signbit(*result), std::signbit(c.value));
  } else {
    ASSERT_FALSE(result.ok()) << *result;
    EXPECT_EQ(result.error().detail(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextNumber,
    ::testing::Values(
        NumberCase{"+.5", 0.5, ""}, NumberCase{"5.", 5, ""}, NumberCase{"-0", -0.0, ""},
        NumberCase{"1e3", 1000, ""}, NumberCase{"1E+3", 1000, ""}, NumberCase{"2.5e-1", 0.25, ""},
        NumberCase{"1.5D3", 1500, ""}, NumberCase{"2d-1", 0.2, ""}, NumberCase{"1.0D+01", 10, ""},
        NumberCase{"1e-400", 0, ""}, NumberCase{"4.9e-324", 4.9e-324, ""},
        // exact rounding of long significands
        NumberCase{"0.1000000000000000055511151231257827021181583404541015625", 0.1, ""},
        NumberCase{"9007199254740993", 9007199254740992.0, ""},
        NumberCase{".", 0, "Invalid numeric value \".\""},
        NumberCase{"", 0, "Invalid numeric value \"\""},
        NumberCase{"1,5", 0, "Invalid numeric value \"1,5\""},
        NumberCase{" 1", 0, "Invalid numeric value \" 1\""},
        NumberCase{"1e", 0, "Invalid numeric value \"1e\""},
        NumberCase{"--1", 0, "Invalid numeric value \"--1\""},
        NumberCase{"+-1", 0, "Invalid numeric value \"+-1\""},
        NumberCase{"1_000", 0, "Invalid numeric value \"1_000\""},
        NumberCase{"0x1D", 0, "Invalid numeric value \"0x1D\""},
        NumberCase{"nan(1)", 0, "Invalid numeric value \"nan(1)\""},
        NumberCase{"1DD3", 0, "Invalid numeric value \"1DD3\""},
        NumberCase{"1e400", 0, "Non-finite numeric value \"1e400\""},
        NumberCase{"1D400", 0, "Non-finite numeric value \"1D400\""},
        NumberCase{"-1e400", 0, "Non-finite numeric value \"-1e400\""},
        NumberCase{"NaN", 0, "Non-finite numeric value \"NaN\""},
        NumberCase{"inf", 0, "Non-finite numeric value \"inf\""},
        NumberCase{"-Infinity", 0, "Non-finite numeric value \"-Infinity\""}));

// --- quoted form
// ----------------------------------------------------------------------------------

TEST(QuotedForm, EscapesControlsAndKeepsPrintables) {
  EXPECT_EQ(text::quoted("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(text::quoted(std::string("\t\r\n\0'", 5)), R"("\t\r\n\0'")");
  EXPECT_EQ(text::quoted("\x1b"), R"("\u{1b}")");
  EXPECT_EQ(text::quoted("\xC2\x85"), R"("\u{85}")");        // NEL, a control
  EXPECT_EQ(text::quoted("\xE2\x80\xA8"), R"("\u{2028}")");  // line separator
  EXPECT_EQ(text::quoted("2\xCE\xB8 \xC3\xA9"), "\"2\xCE\xB8 \xC3\xA9\"");
}

// --- lines, trimming, fields
// ------------------------------------------------------------------------

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> out;
  text::Lines lines(s);
  std::string_view line;
  while (lines.next(line)) out.emplace_back(line);
  return out;
}

TEST(TextLines, SplitAtLineFeeds) {
  using V = std::vector<std::string>;
  EXPECT_EQ(lines_of(""), V{});
  EXPECT_EQ(lines_of("a\n"), V{"a"});
  EXPECT_EQ(lines_of("a\r\nb"), (V{"a", "b"}));
  EXPECT_EQ(lines_of("a\rb\r"), V{"a\rb\r"});  // CR elsewhere stays
  EXPECT_EQ(lines_of("\n\n"), (V{"", ""}));
}

TEST(TextTrim, UnicodeWhiteSpace) {
  EXPECT_EQ(text::trim(" \t\xC2\xA0x y\xE3\x80\x80\xE2\x80\x8A\r\n"), "x y");
  EXPECT_EQ(text::trim("\xE2\x80\x8B"
                       "x"),
            "\xE2\x80\x8B"
            "x");  // zero-width space is not white space
  EXPECT_EQ(text::trim("\xC2\x85"), "");
  EXPECT_EQ(text::trim(""), "");
}

std::vector<std::string> fields_of(const std::string& s) {
  std::vector<std::string> out;
  text::Fields fields(s);
  std::string_view field;
  while (fields.next(field)) out.emplace_back(field);
  return out;
}

TEST(TextFields, WhiteSpaceAndCommasSeparate) {
  using V = std::vector<std::string>;
  EXPECT_EQ(fields_of("1.0,,2.0"), (V{"1.0", "2.0"}));
  EXPECT_EQ(fields_of(" , ,\t"), V{});
  EXPECT_EQ(fields_of("1;2 3"), (V{"1;2", "3"}));
  EXPECT_EQ(fields_of("a\xE2\x80\x83"
                      "b"),
            (V{"a", "b"}));  // em space
  std::vector<std::string> tokens;
  text::Tokens t("1,2 3");
  std::string_view token;
  while (t.next(token)) tokens.emplace_back(token);
  EXPECT_EQ(tokens, (V{"1,2", "3"}));
}

// A token read with its value must be the token the plain scan finds, and its value the one
// parse_decimal gives that token; a token read without a value must not be a plain decimal.
class TokenValue : public ::testing::TestWithParam<std::string> {};

void expect_same_tokens(const std::string& line, bool comma) {
  text::Tokens plain(line, comma);
  text::Tokens valued(line, comma);
  std::string_view expected;
  text::Token token;
  while (plain.next(expected)) {
    ASSERT_TRUE(valued.next(token)) << line;
    EXPECT_EQ(token.text, expected) << line;
    double value = 0;
    const bool decimal = text::parse_decimal(expected, value);
    if (token.has_value) {
      ASSERT_TRUE(decimal) << expected;
      EXPECT_TRUE(token.value == value || (std::isnan(value) && std::isnan(token.value)))
          << expected;
      EXPECT_EQ(std::signbit(token.value), std::signbit(value)) << expected;
    } else if (decimal) {
      EXPECT_FALSE(std::isfinite(value)) << expected;  // only inf/nan words are left to the caller
    }
  }
  EXPECT_FALSE(valued.next(token)) << line;
}

TEST_P(TokenValue, SameTokensAsThePlainScan) {
  expect_same_tokens(GetParam(), false);
  expect_same_tokens(GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TokenValue,
    ::testing::Values("5.000100 262", "  1.5e3\t-2.5E-3  ", "1,5 2", "1.5,2.5,,3", "+.5 -.5 .",
                      "1e 1e+ 1.5e3x 1..2 0x10 -", "1e400 -1e400 1e-400 -1e-400",
                      "1.5\xC2\xA0"
                      "2\xE3\x80\x80"
                      "3",
                      "1.5\xE2\x80\x8B"
                      "2",
                      "nan -inf Infinity +nan", "1d3 2D-1", "200(14) 7", "5;6 7#",
                      "12345678901234567890123",
                      "\xC2\xA0\xC2\xA0"
                      "4",
                      "",
                      "       249       214        7                 \t 8,       \xC2\xA0 9  "));

// Space runs of every length, starting at every offset, ending at any byte.
TEST(SkipSpaces, StopsAtTheFirstOtherByte) {
  for (std::size_t lead = 0; lead < 3; ++lead) {
    for (std::size_t run = 0; run < 20; ++run) {
      for (const char stop : {'x', '\t', '\0', '\x80', '!'}) {
        const std::string line = std::string(lead, 'a') + std::string(run, ' ') + stop + "  ";
        const char* const from = line.data() + lead;
        EXPECT_EQ(text::skip_spaces(from, line.data() + line.size()) - from,
                  static_cast<std::ptrdiff_t>(run));
        // Cut right after the run: the end is returned.
        EXPECT_EQ(text::skip_spaces(from, from + run), from + run);
      }
    }
  }
}

TEST(LineCount, CountsEveryLineFeedAcrossWordBoundaries) {
  for (std::size_t size = 0; size <= 80; ++size) {
    for (std::size_t step : {1, 3, 7, 8, 31, 32, 33}) {
      std::string textual(size, 'x');
      std::size_t feeds = 0;
      for (std::size_t i = step - 1; i < size; i += step, ++feeds) textual[i] = '\n';
      const bool open_line = !textual.empty() && textual.back() != '\n';
      EXPECT_EQ(text::line_count(textual), feeds + (open_line ? 1 : 0)) << size << " " << step;
    }
  }
  EXPECT_EQ(text::line_count(std::string(64, '\n')), 64u);
  EXPECT_EQ(text::line_count("\x8A\x0A\xFF\n"), 2u);  // only LF itself counts, high bytes never
}

// --- rows and patterns
// --------------------------------------------------------------------------------

TEST(XyRow, FirstTwoFields) {
  auto row = text::xy_row("10.5 3 7", "UXD");
  ASSERT_TRUE(row.ok());
  EXPECT_EQ(row->first, 10.5);
  EXPECT_EQ(row->second, 3);
  EXPECT_EQ(text::xy_row("10.5", "UXD").error().detail(), "UXD: missing intensity");
  EXPECT_EQ(text::xy_row(",,", "RAS").error().detail(), "RAS: missing position");
  EXPECT_EQ(text::xy_row("1 counts", "RAS").error().detail(), "Invalid numeric value \"counts\"");
}

TEST(PatternHelper, NeedsPointsOfEqualCount) {
  EXPECT_EQ(text::pattern({}, {}, "CHI").error().detail(), "CHI: no complete x/y pattern found");
  EXPECT_EQ(text::pattern({1, 2}, {1}, "CHI").error().detail(),
            "CHI: no complete x/y pattern found");
  EXPECT_TRUE(text::pattern({1}, {1}, "CHI").ok());
}

// --- axis keys
// ----------------------------------------------------------------------------------------

TEST(AxisKey, DropsSeparatorsAndLowerCases) {
  EXPECT_EQ(text::axis_key("2-Theta"), "2theta");
  EXPECT_EQ(text::axis_key("Two_Theta"), "twotheta");
  EXPECT_EQ(text::axis_key("2Theta rad"), "2thetarad");
  EXPECT_EQ(text::axis_key("\xC4\xB0"), "i\xCC\x87");                 // full mapping of U+0130
  EXPECT_EQ(text::axis_key("\xCE\x9F\xCE\xA3"), "\xCE\xBF\xCF\x82");  // final sigma
  EXPECT_EQ(text::axis_key("\xCE\xA3\xCE\x9F"), "\xCF\x83\xCE\xBF");
}

class RefusedAxis : public ::testing::TestWithParam<const char*> {};
TEST_P(RefusedAxis, Fails) {
  auto status = text::check_axis(GetParam(), "RAS");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().detail(),
            "RAS: axis " + text::quoted(GetParam()) + " is not 2theta in degrees");
}
INSTANTIATE_TEST_SUITE_P(Labels, RefusedAxis,
                         ::testing::Values("Omega", "2-Theta-Rad", "TOF", "D", "Phi", "KHI", "q",
                                           "Time", " theta ", "ALPHA", "Beta", "psi", "chi", "x",
                                           "Y", "z"));

class AcceptedAxis : public ::testing::TestWithParam<const char*> {};
TEST_P(AcceptedAxis, Passes) { EXPECT_TRUE(text::check_axis(GetParam(), "UXD").ok()); }
INSTANTIATE_TEST_SUITE_P(Labels, AcceptedAxis,
                         ::testing::Values("2Theta", "TwoTheta", "2\xCE\xB8", "Coupled", "",
                                           "2Theta(rad)", "TwoThetaTheta"));

TEST(UnsignedInteger, Strict) {
  std::uint64_t v = 0;
  EXPECT_TRUE(text::parse_unsigned("+12", v));
  EXPECT_EQ(v, 12u);
  EXPECT_TRUE(text::parse_unsigned("18446744073709551615", v));
  EXPECT_EQ(v, UINT64_MAX);
  for (const char* bad : {"", "+", "-1", "1.0", " 1", "18446744073709551616", "++1", "1e3"}) {
    EXPECT_FALSE(text::parse_unsigned(bad, v)) << bad;
  }
}

}  // namespace
