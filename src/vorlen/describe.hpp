// What a file holds, without choosing one scan: its format, the detection rule that chose it,
// every scan (with its size and 2theta range, or the error a read of it would give) and the
// measurement metadata the file states. Included by vorlen/vorlen.hpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorlen/pattern.hpp"

namespace vorlen {

// Values exactly as the file states them; absent when the file does not state one or states
// it malformed. Wavelengths in angstrom, step_time in seconds.
struct Metadata {
  std::optional<double> wavelength_alpha1;
  std::optional<double> wavelength_alpha2;
  std::optional<double> alpha_ratio;  // intensity of K-alpha2 over K-alpha1
  std::optional<double> wavelength;   // when the file states one single wavelength
  std::optional<std::string> anode;
  std::optional<std::string> sample;
  std::optional<std::string> started;
  std::optional<double> step_time;

  bool operator==(const Metadata&) const = default;
};

// Calls number(key, value) for each numeric field and text(key, value) for each text field of
// `m`, in the order and with the keys the program prints them; `value` is the optional member.
template <class Number, class Text>
void for_each_field(const Metadata& m, Number&& number, Text&& text) {
  number("wavelength_alpha1", m.wavelength_alpha1);
  number("wavelength_alpha2", m.wavelength_alpha2);
  number("alpha_ratio", m.alpha_ratio);
  number("wavelength", m.wavelength);
  text("anode", m.anode);
  text("sample", m.sample);
  text("started", m.started);
  number("step_time", m.step_time);
}

// One pattern of the file: what read(..., index) (or block, for powder CIF) would return, or
// the error it would raise.
struct ScanInfo {
  std::uint64_t index = 0;           // position in index order (powder CIF: 0, 1, ... by block)
  std::optional<std::string> block;  // powder CIF: the data block's name; absent elsewhere
  std::optional<Error> error;        // set when a read of this scan fails; then the rest is unset
  std::uint64_t points = 0;
  double first = 0;  // first and last 2theta, ascending, as read returns them
  double last = 0;
  std::optional<std::string> y_unit;  // "counts" or "cps", when the file says
  Metadata metadata;
};

struct Description {
  std::string format;       // bruker_raw, uxd, brml, xrdml, ras, rasx, chi, gsas, pdcif, xy
  std::string detected_by;  // signature, archive member, xml root, text marker, layout,
                            // extension, default
  std::vector<ScanInfo> scans;
};

// Describes the caller's bytes; `filename` is the same hint read_bytes_with_options takes.
// Fails with the error a read would give when the file cannot be recognised or opened. For
// every listed scan, read_bytes_with_options with its index (powder CIF: its block) returns
// exactly `points` points from `first` to `last`, or fails with exactly `error`; the index
// past the list fails. A file refused as a whole is listed as one scan carrying the refusal.
// Costs about one read of every scan.
Result<Description> describe(Bytes data, std::string_view filename);

}  // namespace vorlen
