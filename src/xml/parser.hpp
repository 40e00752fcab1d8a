// expat parsers kept for the thread's next document. A reset parser keeps its input buffer, so
// a thread that reads file after file parses into memory it already holds, instead of asking
// the system for fresh pages for every document, and does not build a parser each time.
#pragma once

#include <expat.h>

#include <cstddef>

namespace vorlen::xml {

// A parser for UTF-8 text with no handlers set, lent for one document; `get` is null when
// memory ran out. Given back when the lease ends: kept for the thread when it holds no other
// and was fed pieces of at most `kept_piece_limit` bytes, freed otherwise, so that a kept
// parser never holds a large buffer.
class ParserLease {
 public:
  static constexpr std::size_t kept_piece_limit = std::size_t{16} << 20;

  ParserLease();
  ~ParserLease();
  ParserLease(const ParserLease&) = delete;
  ParserLease& operator=(const ParserLease&) = delete;

  XML_Parser get() const { return parser_; }
  // To be called with the size of every piece given to the parser (the largest one counts).
  void fed(std::size_t piece) {
    if (piece > largest_piece_) largest_piece_ = piece;
  }

 private:
  XML_Parser parser_;
  std::size_t largest_piece_ = 0;
};

}  // namespace vorlen::xml
