// The inputs named on the command line: a path, or "-" for standard input with --name as its
// file-name hint; how messages name each; and where its bytes come from.
#pragma once

#include <string>
#include <string_view>

#include "cli/options.hpp"
#include "read/file.hpp"

namespace vorlen::cli {

struct Input {
  std::string_view arg;    // as given: a path or "-"
  std::string_view hint;   // the file name format detection sees
  std::string_view label;  // how messages and outputs name it
};

Input input_for(std::string_view arg, const Invocation& inv);

// The whole input: the file, or everything on standard input.
Result<FileBytes> load(const Input& input);

// The file name without its folder and its last extension: "data/scan.raw" gives "scan".
std::string_view stem_of(std::string_view name);

// Writes "vorlen: LABEL: TEXT" as one line to standard error.
void report(std::string_view label, std::string_view text);

}  // namespace vorlen::cli
