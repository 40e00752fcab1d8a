// The CIF tokenizer and blocks, and the powder CIF reader.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "text/cif.hpp"

namespace vorlen {
namespace {

using text::CifBlock;
using text::CifToken;

// ---------------------------------------------------------------- tokenizer

// Every token of the text, or the lexical error.
Result<std::vector<CifToken>> cif_tokens(std::string_view input) {
  text::CifLexer lexer(input);
  std::vector<CifToken> tokens;
  CifToken token;
  while (lexer.next(token)) tokens.push_back(token);
  if (lexer.error()) return *lexer.error();
  return tokens;
}

struct TokenCase {
  std::string text;
  std::vector<std::pair<std::string, bool>> tokens;  // text, quoted
};

void PrintTo(const TokenCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class CifTokenizer : public ::testing::TestWithParam<TokenCase> {};

TEST_P(CifTokenizer, SplitsTextIntoTokens) {
  const auto tokens = cif_tokens(GetParam().text);
  ASSERT_TRUE(tokens.ok()) << tokens.error().detail();
  std::vector<std::pair<std::string, bool>> got;
  for (const CifToken& t : *tokens) got.emplace_back(std::string(t.text()), t.quoted());
  EXPECT_EQ(got, GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Cif, CifTokenizer,
    ::testing::Values(
        TokenCase{"'it's' x", {{"it's", true}, {"x", false}}},
        TokenCase{"\"a'b\"", {{"a'b", true}}},  // closing quote as last byte
        TokenCase{"'' x", {{"", true}, {"x", false}}}, TokenCase{"'a'\r\n", {{"a", true}}},
        TokenCase{"a#b # comment 'x\nc", {{"a#b", false}, {"c", false}}},
        TokenCase{";\n1.5\n;", {{"\n1.5\n", true}}},
        TokenCase{";\r\n1.5\r\n; x", {{"\r\n1.5\r\n", true}, {"x", false}}},
        TokenCase{"_a\n;first\n;rest", {{"_a", false}, {"first\n", true}, {"rest", false}}},
        TokenCase{"x;y ;z", {{"x;y", false}, {";z", false}}},   // ';' not at a line start
        TokenCase{"a\vb\fc", {{"a\vb", false}, {"c", false}}},  // VT is not white space
        TokenCase{"", {}}));

// Long bare words with one odd byte at every place, near the end of the text or not: only
// the five CIF white-space bytes split them. '!' is the lowest byte that is part of a word.
TEST(CifTokenizer, SplitsBareWordsOnlyAtCifWhiteSpace) {
  const std::string spaces = " \t\n\f\r";
  const std::string others = std::string("\v\x01\x1f\x7f!#;'\"\x80\xff") + '\0';
  for (const char odd : spaces + others) {
    const bool splits = spaces.find(odd) != std::string::npos;
    for (std::size_t at = splits ? 0 : 1; at < 20; ++at) {
      for (const auto& [filler, tail] :
           {std::pair{'x', ""}, {'x', "\n"}, {'x', " y"}, {'!', ""}, {'!', " y"}}) {
        std::string word(20, filler);
        word[at] = odd;
        const std::string input = "ab " + word + tail;
        const auto tokens = cif_tokens(input);
        ASSERT_TRUE(tokens.ok()) << tokens.error().detail();
        std::vector<std::string> got;
        for (const CifToken& t : *tokens) got.emplace_back(t.text());
        std::vector<std::string> expected = {"ab"};
        if (!splits) {
          expected.push_back(word);
        } else {
          if (at > 0) expected.push_back(word.substr(0, at));
          if (at + 1 < word.size()) expected.push_back(word.substr(at + 1));
        }
        if (std::string_view(tail) == " y") expected.push_back("y");
        EXPECT_EQ(got, expected) << "byte " << int(odd) << " at " << at;
      }
    }
  }
}

TEST(CifTokenizerErrors, ReportsTheLexicalDefect) {
  const std::pair<std::string, std::string> cases[] = {
      {"'abc", "pdCIF: unterminated quoted value"},
      {"x '", "pdCIF: unterminated quoted value"},
      {"'abc\n'", "pdCIF: unterminated quoted value"},
      {"'a'b", "pdCIF: unterminated quoted value"},
      {"\"a'", "pdCIF: unterminated quoted value"},
      {";\nabc\n", "pdCIF: unterminated semicolon text field"},
      {"x\n;abc ;", "pdCIF: unterminated semicolon text field"},
  };
  for (const auto& [input, message] : cases) {
    const auto tokens = cif_tokens(input);
    ASSERT_FALSE(tokens.ok()) << input;
    EXPECT_EQ(tokens.error().detail(), message) << input;
  }
}

// ---------------------------------------------------------------- blocks

// The blocks point into `input`, which must outlive the result.
Result<std::vector<CifBlock>> blocks_of(const std::string& input) {
  return text::cif_blocks(input);
}

std::vector<std::string> column_texts(const text::CifColumn& column) {
  std::vector<std::string> out;
  column.each_loop_value([&](std::size_t at, std::string_view value) {
    if (at == column.index()) out.emplace_back(value);
    return true;
  });
  EXPECT_EQ(out.size(), column.size());
  return out;
}

TEST(CifBlocks, AssemblesItemsLoopsAndNames) {
  const std::string input =
      "DATA_Sample1\n_PD_X 'v' _c 1 _c 2\nloop_ _A _PD_MEAS_COUNTS_TOTAL 1 2 3 4\n"
      "save_frame _d x save_ global_ stop_\ndata_ _a 'loop_' loop_ _a 5\n";
  const auto blocks = blocks_of(input);
  ASSERT_TRUE(blocks.ok()) << blocks.error().detail();
  ASSERT_EQ(blocks->size(), 2u);
  const CifBlock& first = (*blocks)[0];
  EXPECT_EQ(first.name, "Sample1");
  EXPECT_EQ(first.items.at("_pd_x"), "v");
  EXPECT_EQ(first.items.at("_c"), "2");  // a repeated item replaces the earlier value
  EXPECT_EQ(first.items.at("_d"), "x");  // save frame contents join the block
  EXPECT_EQ(column_texts(first.loops.at("_a")), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(column_texts(first.loops.at("_pd_meas_counts_total")),
            (std::vector<std::string>{"2", "4"}));
  const CifBlock& second = (*blocks)[1];
  EXPECT_EQ(second.name, "");
  EXPECT_EQ(second.items.at("_a"), "loop_");  // quoted: an ordinary value
  EXPECT_EQ(column_texts(second.loops.at("_a")), std::vector<std::string>{"5"});
}

// Every keyword and a tag end a loop's values, in any letter case; a value that merely
// starts with a keyword's first letter does not.
TEST(CifBlocks, LoopValuesEndAtTheFirstControlToken) {
  const std::string enders[] = {"data_y",  "DATA_y",  "Data_",      "save_f",     "SAVE_",
                                "global_", "GLOBAL_", "loop_ _b 3", "LOOP_ _b 3", "stop_",
                                "STOP_",   "_c 4",    "_C 4"};
  for (const std::string& ender : enders) {
    const std::string input = "data_x loop_ _a 1 d s g l D S G L " + ender;
    const auto blocks = blocks_of(input);
    ASSERT_TRUE(blocks.ok()) << ender << ": " << blocks.error().detail();
    EXPECT_EQ(column_texts(blocks->front().loops.at("_a")),
              (std::vector<std::string>{"1", "d", "s", "g", "l", "D", "S", "G", "L"}))
        << ender;
  }
}

// A column's values are read again from the text: quoted values, text fields and words that
// merely hold a ';' or a quote come back as the tokenizer first saw them.
TEST(CifBlocks, ColumnsReadBackDelimitedValues) {
  const std::string input = "data_x loop_ _a _b 'q 1' ;x\n;\nfield\n; \"z\" w v'\n;y\n; ''";
  const auto blocks = blocks_of(input);
  ASSERT_TRUE(blocks.ok()) << blocks.error().detail();
  EXPECT_EQ(column_texts(blocks->front().loops.at("_a")),
            (std::vector<std::string>{"q 1", "\nfield\n", "w", "y\n"}));
  EXPECT_EQ(column_texts(blocks->front().loops.at("_b")),
            (std::vector<std::string>{";x", "z", "v'", ""}));
}

TEST(CifBlocks, ReportsStructuralErrors) {
  const std::pair<std::string, std::string> cases[] = {
      {"_tag 1", "pdCIF: tag precedes a data block"},
      {"loop_ _a 1", "pdCIF: loop precedes a data block"},
      {"data_x _A", "pdCIF: missing value for _a"},
      {"data_x _a loop_", "pdCIF: missing value for _a"},
      {"data_x _a _b 1", "pdCIF: missing value for _a"},
      {"data_x loop_ 1 2", "pdCIF: loop has no column tags"},
      {"data_x loop_ '_a' 1", "pdCIF: loop has no column tags"},
      {"data_x loop_ _a _b 1 2 3 4 5", "pdCIF: incomplete loop row"},
      {"data_x loop_ _a 1 loop_ _A 2", "pdCIF: duplicate loop tag _a"},
      {"data_x loop_ _a _a 1 2", "pdCIF: duplicate loop tag _a"},
      {"data_x 'q'", "pdCIF: unexpected token \"q\""},
      {"data_x loop_x", "pdCIF: unexpected token \"loop_x\""},
      {"stray data_x", "pdCIF: unexpected token \"stray\""},
      // Tokenizing ends before assembly, so the lexical error wins.
      {"_tag 1 'open", "pdCIF: unterminated quoted value"},
      {"data_x loop_ _a _b 1 2 3 ;x\n;text\n", "pdCIF: unterminated semicolon text field"},
  };
  for (const auto& [input, message] : cases) {
    const auto blocks = blocks_of(input);
    ASSERT_FALSE(blocks.ok()) << input;
    EXPECT_EQ(blocks.error().detail(), message) << input;
  }
}

TEST(CifBlocks, ColumnSkipsMissingAndEmptyTagsAndItems) {
  const std::string input = "data_x _b 9 loop_ _a _c loop_ _d 7 8 _e 1";
  const auto blocks = blocks_of(input);
  ASSERT_TRUE(blocks.ok()) << blocks.error().detail();
  const CifBlock& block = (*blocks)[0];
  EXPECT_TRUE(block.loops.at("_a").empty());
  const auto column = text::cif_column(block, {"_z", "_a", "_b", "_c", "_d"});
  ASSERT_TRUE(column.has_value());
  EXPECT_EQ(column_texts(*column), (std::vector<std::string>{"7", "8"}));
  EXPECT_FALSE(text::cif_column(block, {"_a", "_b", "_e"}).has_value());
}

TEST(CifNumber, DropsTheUncertainty) {
  const std::pair<std::string, double> values[] = {
      {"1.234(5)", 1.234},
      {"1.2(3)e-4", 1.2e-4},
      {"12", 12.0},
      {"-7(12)", -7.0},
      {"1234(56)", 1234.0},
      {"1.5D3", 1500.0},
      {"1e5(3)", 1e5},
      {"12(3)4", 124.0},
      {"1.5(2)D3", 1500.0},
      {"+0.25(10)", 0.25},
      // Longer than the stack buffer that joins the two parts.
      {"1(2)" + std::string(70, '0'), 1e70}};
  for (const auto& [input, value] : values) {
    const auto got = text::cif_number(input);
    ASSERT_TRUE(got.ok()) << input << ": " << got.error().detail();
    EXPECT_EQ(*got, value) << input;
  }
  const std::pair<std::string, std::string> failures[] = {
      {"12()", "pdCIF: malformed numeric uncertainty"},
      {"12(a)", "pdCIF: malformed numeric uncertainty"},
      {"12(", "pdCIF: malformed numeric uncertainty"},
      {"12(1 )", "pdCIF: malformed numeric uncertainty"},
      {"?", "Invalid numeric value \"?\""},
      {"1(2)x", "Invalid numeric value \"1x\""},
      {"12)(3", "pdCIF: malformed numeric uncertainty"},
      {"(5)", "Invalid numeric value \"\""},
      {"-(5)", "Invalid numeric value \"-\""},
      {"1(2)(3)", "Invalid numeric value \"1(3)\""},
      {"inf(1)", "Non-finite numeric value \"inf\""},
      {"1e999(1)", "Non-finite numeric value \"1e999\""},
  };
  for (const auto& [input, message] : failures) {
    const auto got = text::cif_number(input);
    ASSERT_FALSE(got.ok()) << input;
    EXPECT_EQ(got.error().detail(), message) << input;
  }
}

// ---------------------------------------------------------------- pdCIF reader

Result<Series> pdcif(const std::string& input) {
  return parse_pdcif(as_bytes(input), std::nullopt);
}

// A block with the given items and one loop of (tag, values) columns.
std::string cif_block(const std::string& name, const std::string& items,
                      const std::vector<std::pair<std::string, std::vector<std::string>>>& loop) {
  std::string out = "data_" + name + "\n" + items + "\n";
  if (loop.empty()) return out;
  out += "loop_\n";
  for (const auto& column : loop) out += column.first + "\n";
  for (std::size_t row = 0; row < loop.front().second.size(); ++row) {
    for (const auto& column : loop) out += column.second[row] + " ";
    out += "\n";
  }
  return out;
}

std::vector<std::string> repeat(const std::string& value, std::size_t n) {
  return std::vector<std::string>(n, value);
}

const std::vector<std::string> kAngles = {"10", "11", "12"};
const std::vector<std::string> kCounts = {"5", "6", "7"};

TEST(CifReader, PicksTheFirstBlockWithIntensityAndAngles) {
  const std::string input = cif_block("cell", "_cell_length_a 4.6", {}) +
                            cif_block("MySample2", "",
                                      {{"_pd_meas_2theta_scan", kAngles},
                                       {"_pd_meas_counts_total", kCounts},
                                       {"_pd_proc_intensity_total", {"1(1)", "2", "3"}}});
  const auto got = pdcif(input);
  ASSERT_TRUE(got.ok()) << got.error().detail();
  EXPECT_EQ(got->x, (std::vector<double>{10, 11, 12}));
  EXPECT_EQ(got->y, (std::vector<double>{1, 2, 3}));  // processed intensities first
}

TEST(CifReader, FallsBackPastAnEmptyIntensityColumn) {
  const std::string input =
      "data_x\nloop_ _pd_proc_intensity_total\n"
      "loop_ _pd_meas_2theta_scan _pd_meas_intensity_total 10 5 11 6 12 7\n";
  const auto got = pdcif(input);
  ASSERT_TRUE(got.ok()) << got.error().detail();
  EXPECT_EQ(got->y, (std::vector<double>{5, 6, 7}));
}

struct RangeCase {
  std::string items;
  std::string message;  // empty: expect x from 10 to 12 in 101 points
};

void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.items; }

class CifRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(CifRange, ComputesOrRefusesTheAxis) {
  const auto got =
      pdcif(cif_block("r", GetParam().items, {{"_pd_meas_counts_total", repeat("1", 101)}}));
  if (GetParam().message.empty()) {
    ASSERT_TRUE(got.ok()) << got.error().detail();
    ASSERT_EQ(got->x.size(), 101u);
    EXPECT_EQ(got->x.front(), 10.0);
    EXPECT_NEAR(got->x.back(), 12.0, 1e-12);
  } else {
    ASSERT_FALSE(got.ok());
    EXPECT_EQ(got.error().detail(), GetParam().message);
  }
}

const std::string kRangeMessage = "pdCIF: angular range disagrees with point count";

INSTANTIATE_TEST_SUITE_P(
    Cif, CifRange,
    ::testing::Values(RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02", ""},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 12",
                                ""},
                      RangeCase{"_pd_meas_2theta_range_min 10(1) _pd_meas_2theta_range_inc 0.02 "
                                "_pd_meas_2theta_range_max 12",
                                ""},
                      // The declared maximum may differ from the last angle by less than half a
                      // step, as it does when the increment is printed rounded.
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 12.0099",
                                ""},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 11.9901",
                                ""},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 12.0101",
                                kRangeMessage},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 12.02",
                                kRangeMessage},  // one point missing
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 12.5",
                                kRangeMessage},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0",
                                "pdCIF: 2theta increment must be positive"},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc -0.02",
                                "pdCIF: 2theta increment must be positive"},
                      RangeCase{"_pd_proc_2theta_range_min ? _pd_proc_2theta_range_inc 0.02",
                                "Invalid numeric value \"?\""},
                      RangeCase{"_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0.02 "
                                "_pd_proc_2theta_range_max 12(",
                                "pdCIF: malformed numeric uncertainty"},
                      RangeCase{"_pd_proc_2theta_range_min 10",
                                "pdCIF: no matching block with 2theta and intensity data"}));

TEST(CifReader, TriesTheAxisChoicesInOrder) {
  // A processed range is tried before a measured scan column, so its bad increment ends
  // the call even though the column would serve.
  auto got =
      pdcif(cif_block("a", "_pd_proc_2theta_range_min 10 _pd_proc_2theta_range_inc 0",
                      {{"_pd_meas_2theta_scan", kAngles}, {"_pd_meas_counts_total", kCounts}}));
  ASSERT_FALSE(got.ok());
  EXPECT_EQ(got.error().detail(), "pdCIF: 2theta increment must be positive");
  // A minimum without an increment passes on to the measured scan column.
  got = pdcif(cif_block("a", "_pd_proc_2theta_range_min 10",
                        {{"_pd_meas_2theta_scan", kAngles}, {"_pd_meas_counts_total", kCounts}}));
  ASSERT_TRUE(got.ok()) << got.error().detail();
  EXPECT_EQ(got->x, (std::vector<double>{10, 11, 12}));
  // The corrected angle column comes before any range.
  got = pdcif(cif_block(
      "a", "_pd_proc_2theta_range_min 1 _pd_proc_2theta_range_inc 1",
      {{"_pd_proc_2theta_corrected", {"20", "21", "22"}}, {"_pd_meas_counts_total", kCounts}}));
  ASSERT_TRUE(got.ok()) << got.error().detail();
  EXPECT_EQ(got->x, (std::vector<double>{20, 21, 22}));
}

TEST(CifReader, ReportsDataFaults) {
  const std::pair<std::string, std::string> cases[] = {
      // Two loops: 3 intensities, 2 angles.
      {cif_block("a", "", {{"_pd_meas_counts_total", kCounts}}) +
           "loop_ _pd_meas_2theta_scan 10 11\n",
       "pdCIF: 2theta and intensity columns have different lengths"},
      // The intensities are converted before the axis is looked for.
      {cif_block("a", "", {{"_pd_meas_counts_total", {"1", "?", "3"}}}),
       "Invalid numeric value \"?\""},
      {cif_block("a", "",
                 {{"_pd_meas_2theta_scan", {"10", "x", "12"}}, {"_pd_meas_counts_total", kCounts}}),
       "Invalid numeric value \"x\""},
      // Angles and intensities of one loop are read together, but every intensity comes first.
      {cif_block("a", "",
                 {{"_pd_meas_2theta_scan", {"x", "11", "y"}},
                  {"_pd_meas_counts_total", {"1", "2", "?"}}}),
       "Invalid numeric value \"?\""},
      {cif_block("a", "",
                 {{"_pd_meas_counts_total", {"1", "2", "3"}},
                  {"_pd_meas_2theta_scan", {"10", "y", "x"}}}),
       "Invalid numeric value \"y\""},
      // A selected block that fails ends the search.
      {cif_block("a", "_pd_meas_2theta_range_min 1 _pd_meas_2theta_range_inc -1",
                 {{"_pd_meas_counts_total", kCounts}}) +
           cif_block("b", "",
                     {{"_pd_meas_2theta_scan", kAngles}, {"_pd_meas_counts_total", kCounts}}),
       "pdCIF: 2theta increment must be positive"},
      {"# nothing here\n", "pdCIF: no matching block with 2theta and intensity data"},
      // A structural fault in a later block fails the file although an earlier block serves.
      {cif_block("a", "", {{"_pd_meas_2theta_scan", kAngles}, {"_pd_meas_counts_total", kCounts}}) +
           "data_b loop_ _x _y 1\n",
       "pdCIF: incomplete loop row"},
  };
  for (const auto& [input, message] : cases) {
    const auto got = pdcif(input);
    ASSERT_FALSE(got.ok()) << input;
    EXPECT_EQ(got.error().detail(), message) << input;
  }
}

}  // namespace
}  // namespace vorlen
