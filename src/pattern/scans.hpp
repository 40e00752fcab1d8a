// Walking every scan of a multi-scan file once. A read walks up to the scan it wants and stops;
// a description walks them all, learning of each what a read of it would return. Both go
// through the same reader code, so the two never disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/pattern.hpp"

namespace vorlen {

namespace xml {
struct Element;
}
namespace text {
struct CifBlock;
}

// A walk over a file's scans visits them in index order with two calls each:
//   bool wants(scan, preamble): the scan opens; true when its data is to be read;
//   bool done(scan, outcome): what a read of that scan returns; true ends the walk.
// A wanted scan gets exactly one done call; a scan that is not wanted gets none.

// The read of one scan: only `index` is wanted, and its outcome ends the walk.
struct PickScan {
  std::uint64_t index;
  std::optional<Result<Series>> outcome;

  bool wants(std::uint64_t scan, std::string_view) const { return scan == index; }
  bool done(std::uint64_t, Result<Series> result) {
    outcome = std::move(result);
    return true;
  }
};

// The scan a text walk has open: whether its lines are read, and its points so far.
template <class Visitor>
class OpenScan {
 public:
  OpenScan(Visitor& visitor, std::string_view text) : visitor_(visitor), since_(text.data()) {}

  // Scan `scan` opens with the line that ends just before `after`; true when it is to be read.
  bool open(std::uint64_t scan, const char* after) {
    scan_ = scan;
    reading_ =
        visitor_.wants(scan, std::string_view(since_, static_cast<std::size_t>(after - since_)));
    since_ = after;
    return reading_;
  }
  // The open scan is wanted and has not failed.
  bool reading() const { return reading_; }
  // Ends the reading with `outcome`; true when the walk is to stop.
  bool finish(Result<Series> outcome) {
    reading_ = false;
    const bool stop = visitor_.done(scan_, std::move(outcome));
    x.clear();
    y.clear();
    return stop;
  }

  std::vector<double> x;
  std::vector<double> y;

 private:
  Visitor& visitor_;
  const char* since_;  // where the next scan's preamble starts
  std::uint64_t scan_ = 0;
  bool reading_ = false;
};

// What a description learns of a text scan: `preamble` is the text since the previous scan's
// opening line up to and including this scan's (the header lines that apply to it).
class TextScanVisitor {
 public:
  virtual ~TextScanVisitor() = default;
  virtual void opened(std::string_view preamble) = 0;
  virtual void done(Result<Series> outcome) = 0;
};

// A description's visitor behind a walk's interface: every scan is wanted.
struct VisitEveryScan {
  TextScanVisitor& visitor;

  bool wants(std::uint64_t, std::string_view preamble) {
    visitor.opened(preamble);
    return true;
  }
  bool done(std::uint64_t, Result<Series> outcome) {
    visitor.done(std::move(outcome));
    return false;
  }
};

// A header line's key and value, views into the line.
struct HeaderField {
  std::string_view key;
  std::string_view value;
};
// RAS: a trimmed line `*KEY value`; the key runs to the first white space, the value is the
// rest, trimmed and unquoted. Nothing for a line without white space.
std::optional<HeaderField> ras_header_field(std::string_view line);  // src/text/ras.cpp
// UXD: a trimmed line `_KEY=value`, both sides trimmed, the value unquoted; the key without
// its '_'. Nothing for a line without '='.
std::optional<HeaderField> uxd_header_field(std::string_view line);  // src/text/uxd.cpp

// Every scan of a file: the number visited when the file ends as its format allows, or the
// error that a read of the next index meets. Preambles are views of the decoded text, valid
// during the call.
Result<std::uint64_t> walk_ras(Bytes data, TextScanVisitor& visitor);  // src/text/ras.cpp
Result<std::uint64_t> walk_uxd(Bytes data, TextScanVisitor& visitor);  // src/text/uxd.cpp
Result<std::uint64_t> walk_gsas(Bytes data, const std::function<void(Result<Series>)>& visit);
// `visit` also gets the offset of the range's header in the file.
Result<std::uint64_t> walk_bruker_raw(
    Bytes data, const std::function<void(Result<Series>, std::size_t)>& visit);

// Where an XRDML scan's description lives: the document, its measurement and the scan.
struct XrdmlScan {
  const xml::Element& root;
  const xml::Element& measurement;
  const xml::Element& scan;
};
using XrdmlScanVisit = std::function<void(Result<Series>, const XrdmlScan&)>;
Result<std::uint64_t> walk_xrdml(Bytes data, const XrdmlScanVisit& visit);  // src/xml/xrdml.cpp

// A BRML scan, its raw-data member and the data route read from it; nullptr for what cannot be
// read.
using BrmlScanVisit =
    std::function<void(Result<Series>, const xml::Element* raw_data, const xml::Element* route)>;
Result<std::uint64_t> walk_brml(Bytes data, const BrmlScanVisit& visit);  // src/xml/brml.cpp

// A RASX scan and its measurement conditions, or nullptr when it has none or they cannot be
// read.
using RasxScanVisit = std::function<void(Result<Series>, const xml::Element* conditions)>;
Result<std::uint64_t> walk_rasx(Bytes data, const RasxScanVisit& visit);  // src/xml/rasx.cpp

// A powder CIF block that carries a profile, in file order. A read by its name returns the
// profile of the first such block whose name contains that name: `same_as` is that block's
// position in the walk, and the outcome is given only when it is this block's own.
using CifBlockVisit = std::function<void(const text::CifBlock&, std::uint64_t same_as,
                                         std::optional<Result<Series>> outcome)>;
Result<std::uint64_t> walk_pdcif(Bytes data, const CifBlockVisit& visit);  // src/text/pdcif.cpp

}  // namespace vorlen
