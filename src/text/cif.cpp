#include "text/cif.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "text/rules.hpp"

namespace vorlen::text {

namespace {

// What a byte means where a token may start. CIF white space is the five bytes space, tab,
// LF, FF and CR; vertical tab is not among them. A table, since the test runs once per byte of
// the file.
enum ByteRole : unsigned char { kWordByte, kSpace, kComment, kQuote, kSemicolon };

constexpr std::array<ByteRole, 256> byte_roles = [] {
  std::array<ByteRole, 256> table{};
  for (const unsigned char c : {' ', '\t', '\n', '\f', '\r'}) table[c] = kSpace;
  table['#'] = kComment;
  table['\''] = kQuote;
  table['"'] = kQuote;
  table[';'] = kSemicolon;
  return table;
}();

ByteRole role_of(char c) { return byte_roles[static_cast<unsigned char>(c)]; }

bool is_cif_space(char c) { return role_of(c) == kSpace; }

// The first CIF white-space byte at or after `p`, or `end`. Eight bytes at a time: every CIF
// white-space byte is below 0x21 and such a byte is always flagged, so a group without a flag
// is skipped whole. A borrow may flag a byte after a flagged one, and a flagged byte may be a
// control byte that belongs to the word, so the first flagged byte is looked at on its own.
const char* word_end(const char* p, const char* end) {
  constexpr std::uint64_t ones = 0x0101010101010101ULL, high_bits = 0x8080808080808080ULL;
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    const std::uint64_t below_0x21 = (word - ones * 0x21) & ~word & high_bits;
    if (below_0x21 == 0) {
      p += 8;
      continue;
    }
    // The byte at the lowest address: the low end of the word on a little-endian machine.
    p += (std::endian::native == std::endian::little ? std::countr_zero(below_0x21)
                                                     : std::countl_zero(below_0x21)) / 8;
    if (is_cif_space(*p)) return p;
    ++p;
  }
  while (p < end && !is_cif_space(*p)) ++p;
  return p;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The keywords are ASCII, so lowering ASCII letters is all the case folding they need.
bool starts_with_nocase(std::string_view s, std::string_view lower_prefix) {
  if (s.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    if (ascii_lower(s[i]) != lower_prefix[i]) return false;
  }
  return true;
}

bool equals_nocase(std::string_view s, std::string_view lower_word) {
  return s.size() == lower_word.size() && starts_with_nocase(s, lower_word);
}

std::string lowered_tag(std::string_view tag) {
  std::string out(tag);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

// A quoted value ends at its own quote character followed by white space or the end of the
// text, so 'it's' is one value; it may not span lines.
Result<std::size_t> closing_quote(std::string_view text, std::size_t open) {
  const char quote = text[open];
  for (std::size_t at = open + 1; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\n') break;
    if (c == quote && (at + 1 == text.size() || is_cif_space(text[at + 1]))) return at;
  }
  return Error::parse("pdCIF: unterminated quoted value");
}

// A text field runs from a ';' at a line start to the next ';' at a line start.
Result<std::size_t> closing_semicolon(std::string_view text, std::size_t open) {
  const std::size_t lf = text.find("\n;", open + 1);
  if (lf == std::string_view::npos) {
    return Error::parse("pdCIF: unterminated semicolon text field");
  }
  return lf + 1;
}

// Index of the first `c` at or after `from`, or the size of the text. Numbers are a few bytes
// long, so a plain loop beats a call into the library's memchr.
std::size_t position_of(std::string_view text, char c, std::size_t from) {
  while (from < text.size() && text[from] != c) ++from;
  return from;
}

// Index of the first byte at or after `from` that is not an ASCII digit, or the size.
std::size_t digits_end(std::string_view text, std::size_t from) {
  while (from < text.size() && text[from] >= '0' && text[from] <= '9') ++from;
  return from;
}

bool is_tag(const CifToken& token) {
  return !token.quoted() && !token.text().empty() && token.text().front() == '_';
}

// Reads one loop_ table starting at the token after loop_; returns the position of the first
// token after its values.
Result<std::size_t> read_loop(const std::vector<CifToken>& tokens, std::size_t at,
                              CifBlock& block) {
  const std::size_t first_tag = at;
  while (at < tokens.size() && is_tag(tokens[at])) ++at;
  const std::size_t tag_count = at - first_tag;
  if (tag_count == 0) return Error::parse("pdCIF: loop has no column tags");

  const std::size_t first_value = at;
  while (at < tokens.size() && !tokens[at].control()) ++at;
  const std::size_t value_count = at - first_value;
  if (value_count % tag_count != 0) return Error::parse("pdCIF: incomplete loop row");

  const std::size_t rows = value_count / tag_count;
  for (std::size_t i = 0; i < tag_count; ++i) {
    std::string tag = lowered_tag(tokens[first_tag + i].text());
    // An empty loop points nowhere: its tags may be the last tokens of the file.
    const CifColumn column =
        rows == 0 ? CifColumn() : CifColumn(tokens.data() + first_value + i, tag_count, rows);
    if (!block.loops.try_emplace(tag, column).second) {
      return Error::parse("pdCIF: duplicate loop tag " + tag);
    }
  }
  return at;
}

}  // namespace

bool CifToken::is_tag_or_keyword(std::string_view word) {
  return word.front() == '_' || starts_with_nocase(word, "data_") ||
         starts_with_nocase(word, "save_") || equals_nocase(word, "global_") ||
         equals_nocase(word, "loop_") || equals_nocase(word, "stop_");
}

Result<std::vector<CifToken>> cif_tokens(std::string_view text) {
  // A value and its separator take two bytes at the least but four or more in the numeric
  // columns of real files: reserving for that fills a 50k-row loop without copying the list,
  // which still grows should a denser text need more.
  std::vector<CifToken> tokens;
  tokens.reserve(text.size() / 4 + 1);
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin;
  for (;;) {
    while (p < end && is_cif_space(*p)) ++p;
    if (p == end) break;
    const ByteRole role = role_of(*p);
    if (role == kComment) {
      const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
      p = lf == nullptr ? end : static_cast<const char*>(lf);
      continue;
    }
    // A ';' starts a text field at a line start only; elsewhere it starts a bare word.
    if (role == kQuote || (role == kSemicolon && (p == begin || p[-1] == '\n'))) {
      const std::size_t open = static_cast<std::size_t>(p - begin);
      VORLEN_ASSIGN(const std::size_t close, role == kQuote ? closing_quote(text, open)
                                                            : closing_semicolon(text, open));
      tokens.emplace_back(text.substr(open + 1, close - open - 1), true);
      p = begin + close + 1;
      continue;
    }
    const char* const word = p;
    p = word_end(p + 1, end);
    tokens.emplace_back(std::string_view(word, static_cast<std::size_t>(p - word)), false);
    if (p < end) ++p;  // the white-space byte that ended the word
  }
  return tokens;
}

Result<std::vector<CifBlock>> cif_blocks(const std::vector<CifToken>& tokens) {
  std::vector<CifBlock> blocks;
  std::size_t at = 0;
  while (at < tokens.size()) {
    const CifToken& token = tokens[at];
    const std::string_view word = token.text();
    if (token.quoted() || word.empty()) {
      return Error::parse("pdCIF: unexpected token " + quoted(word));
    }
    if (starts_with_nocase(word, "data_")) {
      blocks.emplace_back();
      blocks.back().name = word.substr(5);
      at += 1;
    } else if (word.front() == '_') {
      if (blocks.empty()) return Error::parse("pdCIF: tag precedes a data block");
      std::string tag = lowered_tag(word);
      if (at + 1 == tokens.size() || tokens[at + 1].control()) {
        return Error::parse("pdCIF: missing value for " + tag);
      }
      blocks.back().items.insert_or_assign(std::move(tag), tokens[at + 1].text());
      at += 2;
    } else if (equals_nocase(word, "loop_")) {
      if (blocks.empty()) return Error::parse("pdCIF: loop precedes a data block");
      VORLEN_ASSIGN(at, read_loop(tokens, at + 1, blocks.back()));
    } else if (starts_with_nocase(word, "save_") || equals_nocase(word, "global_") ||
               equals_nocase(word, "stop_")) {
      // Save frames and global blocks are not represented; their contents join the
      // current block.
      at += 1;
    } else {
      return Error::parse("pdCIF: unexpected token " + quoted(word));
    }
  }
  return blocks;
}

std::optional<CifColumn> cif_column(const CifBlock& block,
                                    std::initializer_list<std::string_view> tags) {
  for (const std::string_view tag : tags) {
    const auto found = block.loops.find(std::string(tag));
    if (found != block.loops.end() && !found->second.empty()) return found->second;
  }
  return std::nullopt;
}

Result<double> cif_number(std::string_view text) {
  const std::size_t open = position_of(text, '(', 0);
  if (open == text.size()) return number(text);
  // The uncertainty is one or more digits closed by the first ')' after the '('.
  const std::size_t close = digits_end(text, open + 1);
  if (close == open + 1 || close == text.size() || text[close] != ')') {
    return Error::parse("pdCIF: malformed numeric uncertainty");
  }
  const std::string_view before = text.substr(0, open);
  // The usual form, 217(15), ends at the ')': the number is the text before the '(' as it
  // stands, with nothing to join.
  if (close + 1 == text.size()) return number(before);
  const std::string_view after = text.substr(close + 1);
  // Values such as 1.2(3)e-4 are joined on the stack: no allocation per point.
  std::array<char, 64> buffer;
  if (before.size() + after.size() <= buffer.size()) {
    std::memcpy(buffer.data(), before.data(), before.size());
    std::memcpy(buffer.data() + before.size(), after.data(), after.size());
    return number(std::string_view(buffer.data(), before.size() + after.size()));
  }
  std::string joined;
  joined.reserve(before.size() + after.size());
  joined.append(before).append(after);
  return number(joined);
}

}  // namespace vorlen::text
