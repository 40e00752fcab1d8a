// The texts --help and a usage mistake show.
#pragma once

#include <string_view>

namespace vorlen::cli {

extern const std::string_view usage_text;
extern const std::string_view help_text;

}  // namespace vorlen::cli
