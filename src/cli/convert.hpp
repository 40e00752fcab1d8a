// vorlen --convert DIR: one text file per pattern, written on several threads.
#pragma once

#include "cli/options.hpp"

namespace vorlen::cli {

// Exit status 1 when an input failed or an output was skipped or could not be written.
int run_convert(const Invocation& inv);

}  // namespace vorlen::cli
