#include "xml/parser.hpp"

#include <utility>

namespace vorlen::xml {

namespace {

constexpr const XML_Char* kEncoding = "UTF-8";

// Set once this thread's kept parser is destroyed, so that a lease ending later on the thread
// (at exit) frees its parser. Trivially destructible, so it outlives the slot.
thread_local bool slot_gone = false;

struct KeptParser {
  XML_Parser parser = nullptr;
  ~KeptParser() {
    slot_gone = true;
    if (parser != nullptr) XML_ParserFree(parser);
  }
};

thread_local KeptParser kept;

XML_Parser take_parser() {
  if (!slot_gone && kept.parser != nullptr) {
    XML_Parser parser = std::exchange(kept.parser, nullptr);
    if (XML_ParserReset(parser, kEncoding)) return parser;
    XML_ParserFree(parser);
  }
  return XML_ParserCreate(kEncoding);
}

}  // namespace

ParserLease::ParserLease() : parser_(take_parser()) {}

ParserLease::~ParserLease() {
  if (parser_ == nullptr) return;
  if (!slot_gone && kept.parser == nullptr && largest_piece_ <= kept_piece_limit) {
    kept.parser = parser_;
    return;
  }
  XML_ParserFree(parser_);
}

}  // namespace vorlen::xml
