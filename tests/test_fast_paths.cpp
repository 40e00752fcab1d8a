// Every fast path of the text rules against its general twin, on many random tokens and rows:
// both give the same value or the same message. The generator is seeded, so a failure repeats.
#include <gtest/gtest.h>

#include <utf8proc.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/series.hpp"
#include "text/ascii.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"

namespace {

namespace text = vorlen::text;

constexpr int kRounds = 20000;

// Pieces that random texts are made of: the bytes and characters that matter to the scans
// (digits, signs, points, exponents, the words of non-finite values, ASCII and Unicode
// separators, commas and other letters).
const std::vector<std::string> kPieces = {"0",
                                          "1",
                                          "7",
                                          "9",
                                          "12",
                                          "0.5",
                                          ".",
                                          "-",
                                          "+",
                                          "e",
                                          "E",
                                          "d",
                                          "D",
                                          "e5",
                                          "e-400",
                                          "e400",
                                          "inf",
                                          "nan",
                                          "Infinity",
                                          "x",
                                          "1,5",
                                          ",",
                                          " ",
                                          "  ",
                                          "        ",
                                          "\t",
                                          "\r",
                                          "\v",
                                          "\xC2\xA0",
                                          "\xE3\x80\x80",
                                          "\xE2\x80\x89",
                                          "\xC3\xA9",
                                          "_",
                                          "#"};

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}

  std::string text(int max_pieces) {
    std::string out;
    const int n = std::uniform_int_distribution<int>(0, max_pieces)(engine_);
    for (int i = 0; i < n; ++i) out += kPieces[index(kPieces.size())];
    return out;
  }

  std::string bytes(std::size_t max_size) {
    std::string out(index(max_size + 1), '\0');
    for (char& c : out) {
      // Mostly ASCII, as instrument text is, with lead and continuation bytes among it.
      const auto b =
          static_cast<unsigned char>(std::uniform_int_distribution<int>(0, 255)(engine_));
      c = static_cast<char>(index(4) == 0 ? b : b & 0x7F);
    }
    return out;
  }

  // A line built like a data row, and like the many near misses of one: values (plain, signed,
  // with exponents, out of range, words) between separators (ASCII and Unicode white space,
  // commas), with leading and trailing pieces; `n` values, or one to four when 0.
  std::string row(std::size_t n = 0) {
    static const std::vector<std::string> values = {
        "0",     "12",     "5.000000", "-3",  "+7",  ".5", "5.", "1e5",           "1.5E-3",
        "1e400", "1e-400", "nan",      "inf", "1d3", "x",  "",   "2.5000000E+02", "-0.0"};
    static const std::vector<std::string> separators = {" ",  "  ", "\t", " ",  "     ",    ",",
                                                        " ,", ",,", "\v", "\r", "\xC2\xA0", "x"};
    static const std::vector<std::string> ends = {"", "", " ", "\t", " x", ",", " 9", "\xC2\xA0"};
    std::string out(index(3), ' ');
    if (n == 0) n = 1 + index(4);
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) out += separators[index(separators.size())];
      out += values[index(values.size())];
    }
    return out + ends[index(ends.size())];
  }

  std::size_t index(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_);
  }

 private:
  std::mt19937 engine_;
};

// The same value to the bit, or the same message.
template <typename T>
void expect_same(const vorlen::Result<T>& fast, const vorlen::Result<T>& general,
                 std::string_view input) {
  ASSERT_EQ(fast.ok(), general.ok()) << '"' << input << '"';
  if (fast.ok()) {
    EXPECT_EQ(*fast, *general) << '"' << input << '"';
  } else {
    EXPECT_EQ(fast.error().detail(), general.error().detail()) << '"' << input << '"';
  }
}

void expect_same_bits(double fast, double general, std::string_view input) {
  EXPECT_EQ(std::bit_cast<std::uint64_t>(fast), std::bit_cast<std::uint64_t>(general))
      << '"' << input << '"';
}

class FastPath : public ::testing::TestWithParam<bool> {};  // commas separate, or not

// Tokens read with their value split a line as tokens read as text do, and a value read
// while the token was found is the value of the token's text.
TEST_P(FastPath, TokensWithValuesMatchTheTokensAsText) {
  Random random(1);
  for (int round = 0; round < kRounds; ++round) {
    const std::string line = random.text(12);
    text::Tokens with_values(line, GetParam()), as_text(line, GetParam());
    text::Token token;
    std::string_view expected;
    while (with_values.next(token)) {
      ASSERT_TRUE(as_text.next(expected)) << '"' << line << '"';
      ASSERT_EQ(token.text, expected) << '"' << line << '"';
      if (token.has_value) {
        double value = 0;
        ASSERT_TRUE(text::parse_decimal(token.text, value)) << '"' << line << '"';
        expect_same_bits(token.value, value, line);
      }
      expect_same(text::number(token), text::number(token.text), line);
    }
    EXPECT_FALSE(as_text.next(expected)) << '"' << line << '"';
  }
}

INSTANTIATE_TEST_SUITE_P(Separators, FastPath, ::testing::Values(false, true));

TEST(FastPaths, RowOfTwoDecimalsMatchesTheGeneralRow) {
  Random random(2);
  for (int round = 0; round < kRounds; ++round) {
    const std::string line = random.text(6);
    expect_same(text::xy_row(line, "CTX"), text::detail::xy_row_any(line, "CTX"), line);
  }
}

// The inline number rule, its general path and the rule without messages agree.
TEST(FastPaths, NumberMatchesTheRetriedRuleAndTheTry) {
  Random random(3);
  for (int round = 0; round < kRounds; ++round) {
    const std::string token = random.text(3);
    const auto number = text::number(token);
    expect_same(number, text::detail::number_retried(token), token);
    const std::optional<double> tried = text::try_number(token);
    ASSERT_EQ(tried.has_value(), number.ok()) << '"' << token << '"';
    if (tried) expect_same_bits(*tried, *number, token);
  }
}

// A padded field read in place has the value the trimmed number rule gives it.
TEST(FastPaths, PaddedDecimalMatchesTheTrimmedNumber) {
  Random random(4);
  int read_in_place = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string field = random.text(4);
    double value = 0;
    if (!text::padded_decimal(field, value)) continue;
    ++read_in_place;
    const auto general = text::number(text::trim(field));
    ASSERT_TRUE(general.ok()) << '"' << field << '"';
    expect_same_bits(value, *general, field);
  }
  EXPECT_GT(read_in_place, kRounds / 20);
}

// A row read in place is the text's first line, and the general rules read that line to the
// same values: the x/y row (commas separate, anything after the pair ignored) and the three
// tokens of a GSAS FXYE record (white space only, nothing after them).
TEST(FastPaths, PlainRowsMatchTheGeneralRows) {
  Random random(8);
  const std::vector<std::string> line_ends = {"\n", "\r\n", "", "\r", "\r\r\n", "\n\r"};
  int pairs = 0, records = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string input = random.row(round % 2 == 0 ? 3 : 0) +
                              line_ends[random.index(line_ends.size())] + random.text(3);
    text::Lines lines(input);
    std::string_view line;
    lines.next(line);
    const char* const begin = input.data();
    const char* const end = begin + input.size();

    double pair[2];
    if (const char* next =
            text::plain_row(begin, end, pair, text::Commas::Separate, text::Rest::Ignored)) {
      ++pairs;
      EXPECT_EQ(next, lines.rest().data()) << '"' << input << '"';
      const auto general = text::detail::xy_row_any(line, "CTX");
      ASSERT_TRUE(general.ok()) << '"' << input << '"';
      expect_same_bits(pair[0], general->first, input);
      expect_same_bits(pair[1], general->second, input);
    }

    double record[3];
    if (const char* next =
            text::plain_row(begin, end, record, text::Commas::Join, text::Rest::Blank)) {
      ++records;
      EXPECT_EQ(next, lines.rest().data()) << '"' << input << '"';
      text::Token tokens[4];
      ASSERT_EQ(text::take_tokens(line, tokens, 4), 3u) << '"' << input << '"';
      for (int i = 0; i < 3; ++i) {
        const auto value = text::number(tokens[i]);
        ASSERT_TRUE(value.ok()) << '"' << input << '"';
        expect_same_bits(record[i], *value, input);
      }
    }
  }
  EXPECT_GT(pairs, kRounds / 20);
  EXPECT_GT(records, kRounds / 200);
}

TEST(FastPaths, TrimsMatchTheUnicodeTrims) {
  Random random(5);
  for (int round = 0; round < kRounds; ++round) {
    const std::string s = random.text(6);
    EXPECT_EQ(text::trim_left(s), text::trim_left_any(s)) << '"' << s << '"';
    EXPECT_EQ(text::trim_right(s), text::trim_right_any(s)) << '"' << s << '"';
  }
}

TEST(FastPaths, WordScansMatchByteByByteScans) {
  Random random(6);
  for (int round = 0; round < kRounds; ++round) {
    const std::string s = random.bytes(80);
    std::size_t lines = 0;
    text::Lines split(s);
    for (std::string_view line; split.next(line);) ++lines;
    EXPECT_EQ(text::line_count(s), lines);
    const std::size_t spaces = s.find_first_not_of(' ');
    EXPECT_EQ(text::skip_spaces(s.data(), s.data() + s.size()) - s.data(),
              static_cast<std::ptrdiff_t>(spaces == std::string::npos ? s.size() : spaces));
  }
}

// Valid UTF-8 (as utf8proc reads it, one character at a time) is borrowed, anything else copied.
TEST(FastPaths, Utf8CheckMatchesACharacterByCharacterCheck) {
  Random random(7);
  for (int round = 0; round < kRounds; ++round) {
    std::string s = random.bytes(80);
    if (s.starts_with("\xEF\xBB\xBF") || s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF")) {
      s.insert(0, "x");
    }
    bool valid = true;
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
    for (std::size_t at = 0; at < s.size() && valid;) {
      utf8proc_int32_t c = 0;
      const auto n = utf8proc_iterate(p + at, static_cast<utf8proc_ssize_t>(s.size() - at), &c);
      valid = n > 0;
      at += valid ? static_cast<std::size_t>(n) : 0;
    }
    const auto decoded = vorlen::decode(vorlen::as_bytes(s));
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->is_borrowed(), valid);
  }
}

TEST(FastPaths, EvenAxisMatchesThePointByPointFormula) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> position(-50.0, 150.0);
  for (std::size_t count : {2, 3, 4, 5, 1000, 1001}) {
    const double first = position(random);
    const double last = position(random);
    const std::vector<double> x = vorlen::x_from_start_and_end(count, first, last);
    ASSERT_EQ(x.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
      const double expected =
          static_cast<double>(i) * (last - first) / static_cast<double>(count - 1) + first;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(x[i]), std::bit_cast<std::uint64_t>(expected))
          << count << " " << i;
    }
  }
}
}  // namespace
