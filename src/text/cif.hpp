// CIF text as tokens and data blocks: the small dialect that powder CIF files use (data
// blocks, tags with one value, loop_ tables, quoted values, semicolon text fields and comments).
// Tokens, values and block names are views into the caller's decoded text. A loop's values are
// not kept as tokens: a column is the stretch of text that holds them, and the columns a reader
// names beforehand are converted to numbers in the same pass that tokenizes them.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pattern/error.hpp"
#include "text/number.hpp"
#include "text/words.hpp"

namespace vorlen::text {

// A powder CIF refusal: "pdCIF: " and what is wrong.
Error cif_fail(std::string_view what);

// 16 bytes, the text's length sharing a word with the quoted flag.
class CifToken {
 public:
  CifToken() = default;
  CifToken(std::string_view text, bool quoted)
      : data_(text.data()), size_and_quoted_(text.size() << 1 | (quoted ? 1 : 0)) {}

  // Without the delimiters of a quoted value or text field.
  std::string_view text() const { return {data_, size_and_quoted_ >> 1}; }
  // A quoted value or a semicolon text field.
  bool quoted() const { return (size_and_quoted_ & 1) != 0; }
  // Where the token ends in the text, its closing delimiter included.
  const char* end() const { return data_ + (size_and_quoted_ >> 1) + (size_and_quoted_ & 1); }

  // A structural word or a tag: ends a run of values. Quoted tokens never are.
  bool control() const {
    // Values, the bulk of a file, are ruled out by their first byte without a call.
    return !quoted() && !text().empty() && may_start_word(*data_) && is_tag_or_keyword(text());
  }
  // Not quoted, and starts with '_'.
  bool tag() const { return !quoted() && !text().empty() && *data_ == '_'; }

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

  const char* data_ = nullptr;
  std::size_t size_and_quoted_ = 0;  // a text is shorter than 2^63 bytes
};

// Splits a stretch of a text into tokens, one at a time. The stretch is read as part of the
// whole text: a ';' opens a text field only at the start of the whole text or of a line.
class CifLexer {
 public:
  explicit CifLexer(std::string_view text)
      : CifLexer(text, text.data(), text.data() + text.size()) {}
  CifLexer(std::string_view text, const char* from, const char* to)
      : begin_(text.data()), p_(from), end_(to) {}

  // The next token; false at the end of the stretch or at a lexical error, which `error` then
  // holds.
  bool next(CifToken& token);
  const std::optional<Error>& error() const { return error_; }

 private:
  // What a byte means where a token may start. CIF white space is the five bytes space, tab,
  // LF, FF and CR; vertical tab is not among them. A table, since the test runs once per byte.
  enum ByteRole : unsigned char { kWordByte, kSpace, kComment, kQuote, kSemicolon };
  static constexpr std::array<ByteRole, 256> byte_roles = [] {
    std::array<ByteRole, 256> table{};
    for (const unsigned char c : {' ', '\t', '\n', '\f', '\r'}) table[c] = kSpace;
    table['#'] = kComment;
    table['\''] = kQuote;
    table['"'] = kQuote;
    table[';'] = kSemicolon;
    return table;
  }();
  static ByteRole role_of(char c) { return byte_roles[static_cast<unsigned char>(c)]; }
  static bool is_space(char c) { return role_of(c) == kSpace; }
  static const char* word_end(const char* p, const char* end);
  bool delimited(CifToken& token);

  const char* begin_;
  const char* p_;
  const char* end_;
  std::optional<Error> error_;
};

// A loop column read as CIF numbers while the loop was tokenized: its values up to the first
// that is not one, whose refusal `failure` then holds.
struct CifNumbers {
  std::vector<double> values;
  std::optional<Error> failure;
};

// The values of one tag in a loop_ table: every `stride`-th value from the `index`-th, within
// the stretch of text that holds the loop's values.
class CifColumn {
 public:
  CifColumn() = default;
  CifColumn(std::string_view text, const char* first, const char* last, std::size_t stride,
            std::size_t index, std::size_t rows, std::shared_ptr<CifNumbers> numbers)
      : text_(text),
        first_(first),
        last_(last),
        stride_(stride),
        index_(index),
        rows_(rows),
        numbers_(std::move(numbers)) {}

  std::size_t size() const { return rows_; }
  bool empty() const { return rows_ == 0; }
  std::size_t index() const { return index_; }
  // The column as numbers when its tag was among those converted, else nullptr. A reader may
  // take the values out.
  CifNumbers* numbers() const { return numbers_.get(); }
  // Every value of the loop in text order, each with its place among the loop's tags, until
  // `visit` returns false. The values were tokenized once already, so no error can arise.
  template <class Visit>
  void each_loop_value(Visit visit) const {
    CifLexer lexer(text_, first_, last_);
    CifToken token;
    for (std::size_t at = 0; lexer.next(token); at = at + 1 == stride_ ? 0 : at + 1)
      if (!visit(at, token.text())) return;
  }

 private:
  std::string_view text_;
  const char* first_ = nullptr;
  const char* last_ = nullptr;
  std::size_t stride_ = 1;
  std::size_t index_ = 0;
  std::size_t rows_ = 0;
  std::shared_ptr<CifNumbers> numbers_;
};

struct CifBlock {
  std::string_view name;  // the text after "data_", case preserved
  // Tags are stored with ASCII letters lowered, so lookups ignore ASCII case.
  std::unordered_map<std::string, CifColumn> loops;
  std::unordered_map<std::string, std::string_view> items;
};

// Splits the whole text into tokens and groups them into data blocks in file order, in one
// pass: a lexical error anywhere is reported before a structural one, as though the whole text
// were tokenized first. The loop columns of the `converted` tags (given in lower case) are read
// as CIF numbers in the same pass. The blocks point into the text.
Result<std::vector<CifBlock>> cif_blocks(std::string_view text,
                                         std::span<const std::string_view> converted = {});

// The loop column of the first tag (given in lower case) that the block holds with at least
// one value; items are never consulted.
std::optional<CifColumn> cif_column(const CifBlock& block,
                                    std::initializer_list<std::string_view> tags);

namespace detail {
// cif_number for a text that is not a plain finite decimal.
Result<double> cif_number_other(std::string_view text);
}  // namespace detail

// Whether [p, end) is an uncertainty that closes a value: '(', one or more digits, ')'.
inline bool is_closing_uncertainty(const char* p, const char* end) {
  if (end - p < 3 || *p != '(' || end[-1] != ')') return false;
  for (++p; p < end - 1; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

// A CIF number: the text-number rule after dropping a standard uncertainty in parentheses,
// as in 1.234(5) or 1.2(3)e-4. Inline: a plain decimal, and a plain decimal closed by its
// uncertainty, the common cases, are read at once, with the value the rule gives them.
inline Result<double> cif_number(std::string_view text) {
  double value = 0;
  const char* const end = text.data() + text.size();
  if (!text.empty()) {
    const char* const stop = decimal_prefix(text.data(), end, value);
    if (stop != nullptr && std::isfinite(value) &&
        (stop == end || is_closing_uncertainty(stop, end)))
      return value;
  }
  return detail::cif_number_other(text);
}

// ---- the lexer's hot path, inline: it runs once per token of the file ----

// The first CIF white-space byte at or after `p`, or `end`. Eight bytes at a time: every CIF
// white-space byte is below 0x21 and such a byte is always flagged, so a group without a flag
// is skipped whole. A borrow may flag a byte after a flagged one, and a flagged byte may be a
// control byte that belongs to the word, so the first flagged byte is looked at on its own.
inline const char* CifLexer::word_end(const char* p, const char* end) {
  while (static_cast<std::size_t>(end - p) >= words::kWordBytes) {
    const words::Word below_0x21 = words::bytes_below(words::load(p), 0x21);
    if (below_0x21 == 0) {
      p += words::kWordBytes;
      continue;
    }
    p += words::first_flagged(below_0x21);
    if (is_space(*p)) return p;
    ++p;
  }
  while (p < end && !is_space(*p)) ++p;
  return p;
}

inline bool CifLexer::next(CifToken& token) {
  for (;;) {
    while (p_ < end_ && is_space(*p_)) ++p_;
    if (p_ == end_) return false;
    const ByteRole role = role_of(*p_);
    if (role == kComment) {
      const void* lf = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
      p_ = lf == nullptr ? end_ : static_cast<const char*>(lf);
      continue;
    }
    // A ';' starts a text field at a line start only; elsewhere it starts a bare word.
    if (role == kQuote || (role == kSemicolon && (p_ == begin_ || p_[-1] == '\n')))
      return delimited(token);
    const char* const word = p_;
    p_ = word_end(p_ + 1, end_);
    token = CifToken(std::string_view(word, static_cast<std::size_t>(p_ - word)), false);
    if (p_ < end_) ++p_;  // the white-space byte that ended the word
    return true;
  }
}

}  // namespace vorlen::text
