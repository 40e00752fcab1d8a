// Measurement metadata exactly as a file states it, per format. Nothing here is on a read's
// path: a description looks at the header regions a walk over the scans points it to. A value
// that is absent, empty, zero or malformed is left out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "pattern/scans.hpp"
#include "vorlen/describe.hpp"

namespace vorlen::stated {

// What a file states about one scan beside its points.
struct Stated {
  Metadata metadata;
  std::optional<std::string> y_unit;
};

// A positive finite number by the text-number rule, the text trimmed first.
std::optional<double> number(std::string_view text);
// The text trimmed, when anything is left.
std::optional<std::string> text(std::string_view text);
// "counts" or "cps" for the ways files name them (any ASCII case), otherwise nothing.
std::optional<std::string> y_unit(std::string_view unit);

// Text formats: the header values in force, updated with each scan's preamble in turn.
class RasHeader {
 public:
  void apply(std::string_view preamble);
  const Stated& current() const { return current_; }

 private:
  Stated current_;
  std::optional<std::string> speed_;
  bool speed_in_seconds_ = false;
};

class UxdHeader {
 public:
  void apply(std::string_view preamble);
  const Stated& current() const { return current_; }

 private:
  Stated current_;
  std::optional<std::string> date_;
  std::optional<std::string> time_;
  bool dated_ = false;  // _DATEMEASURED given: _DATE and _TIME no longer count
};

Stated pdcif(const text::CifBlock& block);

// Bruker RAW: the values of the file header, and the step time of the range whose header
// starts at `range_header`.
Metadata bruker_raw(Bytes data);
std::optional<double> bruker_raw_step_time(Bytes data, std::size_t range_header);

// XML formats: the elements a walk hands over, any of them possibly absent (nullptr).
Stated xrdml(const XrdmlScan& scan);
Stated brml(const xml::Element* raw_data, const xml::Element* route);
Stated rasx(const xml::Element* conditions);

}  // namespace vorlen::stated
