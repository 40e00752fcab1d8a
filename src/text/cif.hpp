// CIF text as tokens and data blocks: the small dialect that powder CIF files use (data
// blocks, tags with one value, loop_ tables, quoted values, semicolon text fields, comments).
// Tokens, values and block names are views into the caller's decoded text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pattern/error.hpp"

namespace vorlen::text {

// 16 bytes, the text's length sharing a word with the quoted flag: a 50k-row loop yields
// hundreds of thousands of tokens, and their list is the largest memory a read touches.
class CifToken {
 public:
  CifToken(std::string_view text, bool quoted)
      : data_(text.data()), size_and_quoted_(text.size() << 1 | (quoted ? 1 : 0)) {}

  // Without the delimiters of a quoted value or text field.
  std::string_view text() const { return {data_, size_and_quoted_ >> 1}; }
  // A quoted value or a semicolon text field.
  bool quoted() const { return (size_and_quoted_ & 1) != 0; }

  // A structural word or a tag: ends a run of values. Quoted tokens never are.
  bool control() const {
    // Values, the bulk of a file, are ruled out by their first byte without a call.
    return !quoted() && !text().empty() && may_start_word(*data_) &&
           is_tag_or_keyword(text());
  }

 private:
  // '_' or the first letter, in either case, of data_, save_, global_, loop_ or stop_: bytes
  // from 64 to 127, so one 64-bit set holds them all.
  static bool may_start_word(char c) {
    constexpr auto bit = [](char initial) { return std::uint64_t{1} << (initial - 64); };
    constexpr std::uint64_t initials = bit('_') | bit('d') | bit('D') | bit('s') | bit('S') |
                                       bit('g') | bit('G') | bit('l') | bit('L');
    const unsigned byte = static_cast<unsigned char>(c);
    return byte >= 64 && byte < 128 && ((initials >> (byte - 64)) & 1) != 0;
  }
  static bool is_tag_or_keyword(std::string_view word);

  const char* data_;
  std::size_t size_and_quoted_;  // a text is shorter than 2^63 bytes
};

// The values of one tag in a loop_ table: every `stride`-th value token from `first`. A view
// into the token list, so a 50k-row loop costs no copy per value.
class CifColumn {
 public:
  CifColumn() = default;
  CifColumn(const CifToken* first, std::size_t stride, std::size_t size)
      : first_(first), stride_(stride), size_(size) {}

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view operator[](std::size_t row) const { return first_[row * stride_].text(); }

 private:
  const CifToken* first_ = nullptr;
  std::size_t stride_ = 1;
  std::size_t size_ = 0;
};

struct CifBlock {
  std::string_view name;  // the text after "data_", case preserved
  // Tags are stored with ASCII letters lowered, so lookups ignore ASCII case.
  std::unordered_map<std::string, CifColumn> loops;
  std::unordered_map<std::string, std::string_view> items;
};

// Splits the whole text into tokens; the first lexical error fails the call.
Result<std::vector<CifToken>> cif_tokens(std::string_view text);

// Groups tokens into data blocks in file order. The blocks point into `tokens`, which must
// outlive them.
Result<std::vector<CifBlock>> cif_blocks(const std::vector<CifToken>& tokens);

// The loop column of the first tag (given in lower case) that the block holds with at least
// one value; items are never consulted.
std::optional<CifColumn> cif_column(const CifBlock& block,
                                    std::initializer_list<std::string_view> tags);

// A CIF number: the text-number rule after dropping a standard uncertainty in parentheses,
// as in 1.234(5) or 1.2(3)e-4.
Result<double> cif_number(std::string_view text);

}  // namespace vorlen::text
