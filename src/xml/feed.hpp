// Feeding a decoded text to expat with parts of it left out, without copying the text: expat
// reads the bytes before a part, then the bytes after it, and the byte indices it reports are
// mapped back to the text. Two kinds of part are left out:
// - comments expat would refuse (`feed`). expat follows XML 1.0 to the letter and refuses a
//   comment with "--" inside it or ending in "--->"; these documents treat comments as having
//   no content to check;
// - character data that the caller takes as it stands (`pass_over`).
#pragma once

#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "xml/parser.hpp"

namespace vorlen::xml {

class Feed {
 public:
  Feed(ParserLease& lease, std::string_view text)
      : lease_(lease), parser_(lease.get()), text_(text) {}

  // Gives expat the text from where the previous call stopped up to `end` (`last` when that is
  // the end of the text). A refused comment is left out when it starts where expat stands
  // between two pieces of markup outside a CDATA section: only there is "<!--" a comment.
  // False when expat fails or was stopped.
  bool feed(std::size_t end, bool last) {
    for (;;) {
      const std::size_t comment = next_refused_comment(end);
      if (comment >= end) return parse_up_to(end, last);
      if (!parse_up_to(comment, false)) return false;
      const std::size_t close = text_.find("-->", comment + 4) + 3;
      if (!in_cdata && stands_at(comment)) {
        skipped_lines_ += static_cast<std::size_t>(
            std::count(text_.begin() + static_cast<std::ptrdiff_t>(comment),
                       text_.begin() + static_cast<std::ptrdiff_t>(close), '\n'));
        pass_over(close);
        searched_ = close;
      } else {
        searched_ = comment + 4;
      }
      next_ = npos;
    }
  }

  // Gives expat the text from where the previous call stopped up to `end`, all of it.
  bool parse_up_to(std::size_t end, bool last) {
    do {
      const std::size_t piece = end > fed_ ? std::min(piece_size, end - fed_) : 0;
      const bool final_piece = last && fed_ + piece >= end;
      lease_.fed(piece);
      if (XML_Parse(parser_, text_.data() + fed_, static_cast<int>(piece), final_piece) !=
          XML_STATUS_OK)
        return false;
      fed_ += piece;
    } while (fed_ < end);
    return true;
  }

  // True when expat has read all it was given, up to `offset` of the text, and stands there
  // with no piece of markup begun.
  bool stands_at(std::size_t offset) const {
    const XML_Index at = XML_GetCurrentByteIndex(parser_);
    return fed_ == offset && at >= 0 && source(at) == offset;
  }

  // Leaves the text from where expat stands up to `end` out of what it reads.
  void pass_over(std::size_t end) {
    skipped_ += end - fed_;
    fed_ = end;
  }

  // Where in the text a byte index reported by expat lies.
  std::size_t source(XML_Index at) const { return static_cast<std::size_t>(at) + skipped_; }
  // The lines that expat did not see, to be added to the line numbers it reports.
  std::size_t skipped_lines() const { return skipped_lines_; }

  // Kept up to date by the caller's CDATA section handlers, when it may meet one.
  bool in_cdata = false;

 private:
  static constexpr std::size_t npos = std::string_view::npos;
  // expat takes an int length.
  static constexpr std::size_t piece_size = std::size_t{1} << 30;

  // The start of the next "<!--" at or after `searched_` that opens a comment expat would refuse,
  // looked for no further than `end` (npos past it). A comment ends at the first "-->"; one that
  // does not end is left to expat to report.
  std::size_t next_refused_comment(std::size_t end) {
    while (next_ == npos && searched_ < end) {
      const std::size_t open = text_.find("<!--", searched_);
      if (open == npos || open >= end) {
        searched_ = end;
        break;
      }
      const std::size_t close = text_.find("-->", open + 4);
      if (close == npos) {
        searched_ = text_.size();
        break;
      }
      const std::string_view body = text_.substr(open + 4, close - open - 4);
      if (body.find("--") != npos || body.ends_with('-')) {
        next_ = open;
        break;
      }
      searched_ = close + 3;
    }
    return next_ == npos ? npos : next_;
  }

  ParserLease& lease_;
  XML_Parser parser_;
  std::string_view text_;
  std::size_t fed_ = 0;
  std::size_t skipped_ = 0;
  std::size_t skipped_lines_ = 0;
  std::size_t searched_ = 0;
  std::size_t next_ = npos;
};

}  // namespace vorlen::xml
