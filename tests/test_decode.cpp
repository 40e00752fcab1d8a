#include <gtest/gtest.h>

#include <string>

#include "text/decode.hpp"

namespace {

using vorlen::decode;

std::string decoded(const std::string& bytes) {
  auto result = decode(vorlen::as_bytes(bytes));
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().detail());
  return result.ok() ? std::string(result->view()) : std::string();
}

std::string failure(const std::string& bytes) {
  auto result = decode(vorlen::as_bytes(bytes));
  EXPECT_FALSE(result.ok());
  return result.ok() ? std::string() : result.error().detail();
}

struct DecodeCase {
  std::string input;
  std::string expected;
};

class DecodeText : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeText, GivesExpectedText) { EXPECT_EQ(decoded(GetParam().input), GetParam().expected); }

const std::string fffd = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Encodings, DecodeText,
    ::testing::Values(DecodeCase{"", ""}, DecodeCase{"\xFF\xFE", ""},                // mark alone
                      DecodeCase{std::string("\xFE\xFF\x00\x41\x00\x42", 6), "AB"},  // big-endian
                      DecodeCase{std::string("\xFF\xFE\x41\x00\x42\x00", 6),
                                 "AB"},  // little-endian
                      DecodeCase{std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6),
                                 "\xF0\x9F\x98\x80"},  // surrogate pair
                      DecodeCase{std::string("\xFF\xFE\xE9\x00", 4), "\xC3\xA9"},
                      DecodeCase{"\xEF\xBB\xBF", ""},  // UTF-8 mark alone
                      DecodeCase{"\xEF\xBB\xBFx", "x"},
                      DecodeCase{"\xEF\xBB", fffd},  // a cut-off mark is one invalid subpart
                      DecodeCase{"ab\xE9"
                                 "cd",
                                 "ab" + fffd + "cd"},       // Latin-1 byte
                      DecodeCase{"\xC0\xAF", fffd + fffd},  // overlong lead: each byte replaced
                      DecodeCase{"\xE0\x80\x80", fffd + fffd + fffd},  // E0 needs A0..BF next
                      DecodeCase{"\xED\xA0\x80", fffd + fffd + fffd},  // encoded surrogate
                      DecodeCase{"\xF0\x9F\x98", fffd},  // truncated 4-byte sequence: one subpart
                      DecodeCase{"\xF0\x9F\x98x", fffd + "x"},
                      DecodeCase{"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
                      DecodeCase{"\xE2\x82\xAC and 12345678901234567890",
                                 "\xE2\x82\xAC and 12345678901234567890"},
                      DecodeCase{std::string("a\0b", 3), std::string("a\0b", 3)}));

// Invalid bytes at every position of the ASCII runs scanned word by word are still found.
TEST(DecodeText, InvalidByteAnywhereInLongAsciiRuns) {
  for (std::size_t at = 0; at < 70; ++at) {
    std::string bytes(70, 'a');
    bytes[at] = '\xFF';
    std::string expected = bytes.substr(0, at) + fffd + bytes.substr(at + 1);
    EXPECT_EQ(decoded(bytes), expected) << at;
    bytes[at] = '\xC3';  // a valid two-byte sequence when followed by A9
    if (at + 1 < bytes.size()) {
      bytes[at + 1] = '\xA9';
      EXPECT_EQ(decoded(bytes), bytes) << at;
    }
  }
}

TEST(DecodeText, ValidUtf8IsBorrowedNotCopied) {
  std::string bytes = "2theta intensity\n10.0 5\n";
  auto result = decode(vorlen::as_bytes(bytes));
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result->is_borrowed());
  EXPECT_EQ(result->view().data(), bytes.data());
}

TEST(DecodeText, OwnedTextSurvivesMove) {
  auto result = decode(vorlen::as_bytes(std::string("short\xE9")));
  ASSERT_TRUE(result.ok());
  vorlen::Text moved = std::move(result).value();
  EXPECT_EQ(moved.view(), "short" + fffd);
}

TEST(DecodeText, Utf16Failures) {
  EXPECT_EQ(failure("\xFF\xFE\x41"), "truncated UTF-16 text");
  EXPECT_EQ(failure(std::string("\xFF\xFE\x00\xD8\x41\x00", 6)),
            "invalid UTF-16 text");                                               // lone high
  EXPECT_EQ(failure(std::string("\xFF\xFE\x00\xDC", 4)), "invalid UTF-16 text");  // lone low
  EXPECT_EQ(failure(std::string("\xFE\xFF\xD8\x00", 4)), "invalid UTF-16 text");  // high at end
}

}  // namespace
