// The one header a program includes: reading a pattern, and describing what a file holds.
//
//   #include <vorlen/vorlen.hpp>
//
//   vorlen::Result<vorlen::Pattern> p = vorlen::read_with_options("scan.xrdml", {.index = 1});
//   if (!p) std::puts(p.error().display().c_str());   // "Parse error: ...", "Unknown format", ...
//   else use(p.value().x(), p.value().y());          // 2theta in degrees, ascending; intensity
//
// Every fallible call returns a Result: test it with ok() (or as a bool), then take value() or
// error(). Nothing throws for a bad file.
#pragma once

#include <string_view>

#include "vorlen/describe.hpp"
#include "vorlen/error.hpp"
#include "vorlen/pattern.hpp"

namespace vorlen {

// Reads the whole file at `path` and parses it; `path` doubles as the file-name hint.
// `options.index` picks the scan, range, bank or measurement of a file holding several (from
// 0); `options.block` restricts a powder CIF read to blocks whose name contains that text.
Result<Pattern> read_with_options(std::string_view path, const ReadOptions& options);

// Parses the caller's bytes in place; `filename` is only a hint for format detection.
Result<Pattern> read_bytes_with_options(Bytes data, std::string_view filename,
                                        const ReadOptions& options);

}  // namespace vorlen
