// vorlen --info: what each file holds, as an aligned table or as JSON Lines.
#pragma once

#include "cli/options.hpp"

namespace vorlen::cli {

// Exit status 1 when a file could not be described (or the output could not be written).
int run_info(const Invocation& inv);

}  // namespace vorlen::cli
