#include "text/cif.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "text/ascii.hpp"
#include "text/unicode.hpp"

namespace vorlen::text {

namespace {

// The keywords are ASCII, so lowering ASCII letters is all the case folding they need.
bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() &&
         equals_ignoring_ascii_case(s.substr(0, prefix.size()), prefix);
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

// Groups tokens into blocks as the lexer hands them over. The first structural error is kept
// and assembly stops there, but the lexer runs on to the end of the text, since a lexical error
// anywhere takes precedence.
class Assembler {
 public:
  Assembler(std::string_view text, std::span<const std::string_view> converted)
      : text_(text), lexer_(text), converted_(converted) {}

  Result<std::vector<CifBlock>> run();

 private:
  // The token after the current one; false at the end.
  bool advance() { return have_ = lexer_.next(token_); }
  Status statement();
  Status read_loop();

  std::string_view text_;
  CifLexer lexer_;
  std::span<const std::string_view> converted_;
  CifToken token_;
  bool have_ = false;
  std::vector<CifBlock> blocks_;
};

Result<std::vector<CifBlock>> Assembler::run() {
  advance();
  Status assembled;
  while (have_) {
    assembled = statement();
    if (!assembled.ok()) break;
  }
  // After a structural error the rest is only tokenized.
  while (have_) advance();
  if (lexer_.error()) return *lexer_.error();
  if (!assembled.ok()) return std::move(assembled).error();
  return std::move(blocks_);
}

// One statement from the current token; on success the current token is the next statement's.
Status Assembler::statement() {
  const std::string_view word = token_.text();
  if (token_.quoted() || word.empty()) return cif_fail("unexpected token " + quoted(word));
  if (starts_with_nocase(word, "data_")) {
    blocks_.emplace_back();
    blocks_.back().name = word.substr(5);
    advance();
  } else if (word.front() == '_') {
    if (blocks_.empty()) return cif_fail("tag precedes a data block");
    std::string tag = ascii_lower(word);
    if (!advance() || token_.control()) return cif_fail("missing value for " + tag);
    blocks_.back().items.insert_or_assign(std::move(tag), token_.text());
    advance();
  } else if (equals_ignoring_ascii_case(word, "loop_")) {
    if (blocks_.empty()) return cif_fail("loop precedes a data block");
    return read_loop();
  } else if (starts_with_nocase(word, "save_") || equals_ignoring_ascii_case(word, "global_") ||
             equals_ignoring_ascii_case(word, "stop_")) {
    // Save frames and global blocks are not represented; their contents join the current
    // block.
    advance();
  } else {
    return cif_fail("unexpected token " + quoted(word));
  }
  return {};
}

// One value into its column, unless the column failed already.
void convert(std::string_view text, CifNumbers& column) {
  if (column.failure) return;
  Result<double> value = cif_number(text);
  if (value) {
    column.values.push_back(*value);
  } else {
    column.failure = std::move(value).error();
  }
}

// One loop_ table from the token after loop_; its values are counted, and those of the
// converted tags read as numbers, not kept as tokens.
Status Assembler::read_loop() {
  std::vector<std::string> tags;
  while (advance() && token_.tag()) tags.push_back(ascii_lower(token_.text()));
  if (tags.empty()) return cif_fail("loop has no column tags");
  std::vector<std::shared_ptr<CifNumbers>> numbers(tags.size());
  for (std::size_t i = 0; i < tags.size(); ++i)
    if (std::find(converted_.begin(), converted_.end(), tags[i]) != converted_.end())
      numbers[i] = std::make_shared<CifNumbers>();

  const char* first = nullptr;
  const char* last = nullptr;
  std::size_t values = 0;
  for (std::size_t at = 0; have_ && !token_.control(); advance()) {
    if (values++ == 0) first = token_.text().data() - (token_.quoted() ? 1 : 0);
    last = token_.end();
    if (CifNumbers* column = numbers[at].get()) convert(token_.text(), *column);
    at = at + 1 == tags.size() ? 0 : at + 1;
  }
  if (values % tags.size() != 0) return cif_fail("incomplete loop row");

  const std::size_t rows = values / tags.size();
  CifBlock& block = blocks_.back();
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (!block.loops.try_emplace(tags[i], text_, first, last, tags.size(), i, rows, numbers[i])
             .second)
      return cif_fail("duplicate loop tag " + tags[i]);
  }
  return {};
}

}  // namespace

bool CifToken::is_tag_or_keyword(std::string_view word) {
  return word.front() == '_' || starts_with_nocase(word, "data_") ||
         starts_with_nocase(word, "save_") || equals_ignoring_ascii_case(word, "global_") ||
         equals_ignoring_ascii_case(word, "loop_") || equals_ignoring_ascii_case(word, "stop_");
}

// A quoted value ends at its own quote character followed by white space or the end of the
// text, so 'it's' is one value; it may not span lines. A text field runs from a ';' at a line
// start to the next ';' at a line start.
bool CifLexer::delimited(CifToken& token) {
  const char* const open = p_;
  const char* close = nullptr;
  if (*open == ';') {
    const std::string_view rest(open + 1, static_cast<std::size_t>(end_ - open - 1));
    const std::size_t lf = rest.find("\n;");
    if (lf == std::string_view::npos) {
      error_ = cif_fail("unterminated semicolon text field");
      p_ = end_;
      return false;
    }
    close = open + 1 + lf + 1;
  } else {
    for (const char* at = open + 1; at < end_ && *at != '\n'; ++at) {
      if (*at == *open && (at + 1 == end_ || is_space(at[1]))) {
        close = at;
        break;
      }
    }
    if (close == nullptr) {
      error_ = cif_fail("unterminated quoted value");
      p_ = end_;
      return false;
    }
  }
  token = CifToken(std::string_view(open + 1, static_cast<std::size_t>(close - open - 1)), true);
  p_ = close + 1;
  return true;
}

Error cif_fail(std::string_view what) { return Error::parse("pdCIF: " + std::string(what)); }

Result<std::vector<CifBlock>> cif_blocks(std::string_view text,
                                         std::span<const std::string_view> converted) {
  return Assembler(text, converted).run();
}

std::optional<CifColumn> cif_column(const CifBlock& block,
                                    std::initializer_list<std::string_view> tags) {
  for (const std::string_view tag : tags) {
    const auto found = block.loops.find(std::string(tag));
    if (found != block.loops.end() && !found->second.empty()) return found->second;
  }
  return std::nullopt;
}

Result<double> detail::cif_number_other(std::string_view text) {
  const std::size_t open = position_of(text, '(', 0);
  if (open == text.size()) return number(text);
  // The uncertainty is one or more digits closed by the first ')' after the '('.
  const std::size_t close = digits_end(text, open + 1);
  if (close == open + 1 || close == text.size() || text[close] != ')') {
    return cif_fail("malformed numeric uncertainty");
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
