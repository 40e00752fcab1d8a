// The library's entry points: one pattern read from a file or from bytes in memory.
#pragma once

#include <string_view>

#include "vorlen/error.hpp"
#include "vorlen/pattern.hpp"

namespace vorlen {

// Reads the whole file at `path` and parses it; `path` doubles as the file-name hint.
Result<Pattern> read_with_options(std::string_view path, const ReadOptions& options);

// Parses the caller's bytes in place; `filename` is only a hint for format detection.
Result<Pattern> read_bytes_with_options(Bytes data, std::string_view filename,
                                        const ReadOptions& options);

}  // namespace vorlen
