// The program's command line: what to do, with which options, on which files.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "pattern/pattern.hpp"

namespace vorlen::cli {

enum class Mode { Print, Check, Info, Convert, Plot, Help, Version };

// The text form of a pattern: two columns, or a CSV table with a header.
enum class TextLayout { Xy, Csv };

struct Invocation {
  Mode mode = Mode::Print;
  TextLayout layout = TextLayout::Xy;  // --csv when printing, --to when converting
  bool json = false;
  bool all_scans = false;
  bool force = false;
  bool log = false;
  bool index_given = false;
  unsigned jobs = 0;                     // 0: as many as the machine has cores
  std::string_view target;               // --convert DIR, --plot OUT.svg
  std::optional<std::string_view> name;  // file-name hint for "-"
  ReadOptions read;
  std::vector<std::string_view> files;  // "-" is standard input
};

// A mistake on the command line, named by the option it concerns.
struct UsageError {
  std::string message;
};

std::variant<Invocation, UsageError> parse_options(std::span<const std::string_view> args);

}  // namespace vorlen::cli
