// Format detection: which reader a given input goes to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pattern/pattern.hpp"

namespace vorlen {

// Decides the format from the content (falling back to the file-name extension) and runs
// exactly one reader; its outcome is returned unchanged.
Result<Series> parse(Bytes data, std::string_view filename, const ReadOptions& options);

// Single-pattern formats accept only index 0.
Status one_pattern(std::uint64_t index);

// True when the first element of `text`, read as XML, has the local name xrdMeasurements.
bool has_xrdml_root(std::string_view text);

// The extension of the last path component, ASCII letters lowered; empty when there is none.
std::string lowercased_extension(std::string_view filename);

}  // namespace vorlen
