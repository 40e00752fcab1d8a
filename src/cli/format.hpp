// Text the program writes: numbers in their shortest round-trip form, patterns as rows, and
// strings as JSON. Everything appends to a caller's buffer, so one buffer serves a whole file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/options.hpp"
#include "pattern/pattern.hpp"

namespace vorlen::cli {

// The shortest decimal that reads back to the same double.
void append_number(std::string& out, double value);
void append_count(std::string& out, std::uint64_t value);

// One row per point, "x y" or "x,y"; the CSV layout starts with its header row.
void append_header(std::string& out, TextLayout layout);
void append_row(std::string& out, TextLayout layout, double x, double y);

// The text with every byte that is not part of a UTF-8 character replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

// A JSON string literal. Bytes that are not UTF-8 (a file name may hold any) become U+FFFD, so
// the output is valid JSON whatever the input.
void append_json_string(std::string& out, std::string_view text);

// The text with control characters shown as '?', so a name stays on its line.
std::string one_line(std::string_view text);

}  // namespace vorlen::cli
