// The format readers the dispatcher calls. Each takes the raw input bytes (exactly as the
// dispatcher received them) and the one option it uses, and returns x and y or an Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pattern/pattern.hpp"

namespace vorlen {

Result<Series> parse_xy(Bytes data);                         // src/text/xy.cpp
Result<Series> parse_chi(Bytes data);                        // src/text/chi.cpp
Result<Series> parse_ras(Bytes data, std::uint64_t index);   // src/text/ras.cpp
Result<Series> parse_uxd(Bytes data, std::uint64_t index);   // src/text/uxd.cpp
Result<Series> parse_gsas(Bytes data, std::uint64_t index);  // src/text/gsas.cpp
Result<Series> parse_pdcif(Bytes data,
                           const std::optional<std::string>& block);  // src/text/pdcif.cpp
Result<Series> parse_bruker_raw(Bytes data, std::uint64_t index);     // src/bruker/raw.cpp
Result<Series> parse_xrdml(Bytes data, std::uint64_t index);          // src/xml/xrdml.cpp
Result<Series> parse_brml(Bytes data, std::uint64_t index);           // src/xml/brml.cpp
Result<Series> parse_rasx(Bytes data, std::uint64_t index);           // src/xml/rasx.cpp

class Text;  // text/decode.hpp

// The plain-text readers also take the text that decoding their input gives (decode, in
// text/decode.hpp): the dispatcher holds it after detection, so the input is not decoded twice.
Result<Series> parse_xy(const Text& text);
Result<Series> parse_chi(const Text& text);
Result<Series> parse_ras(const Text& text, std::uint64_t index);
Result<Series> parse_uxd(const Text& text, std::uint64_t index);
Result<Series> parse_gsas(const Text& text, std::uint64_t index);

}  // namespace vorlen
