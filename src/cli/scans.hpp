// The patterns a conversion or a plot takes from one input: the scan --index/--block names,
// or with --all-scans every readable scan.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "pattern/pattern.hpp"
#include "vorlen/vorlen.hpp"

namespace vorlen::cli {

struct Scan {
  std::string suffix;   // what the output name adds after the stem: "", "_2" or "_<block>"
  std::string caption;  // "scan 2", "block Si" or "block "Si""
  Pattern pattern;
};

// Fails with the read's error; with --all-scans, when no scan is readable, with the first
// scan's error.
Result<std::vector<Scan>> select_scans(Bytes data, std::string_view hint, const Invocation& inv);

}  // namespace vorlen::cli
