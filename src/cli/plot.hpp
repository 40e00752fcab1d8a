// vorlen --plot OUT.svg: the selected patterns of every file drawn into one picture.
#pragma once

#include "cli/options.hpp"

namespace vorlen::cli {

// Exit status 1 when an input failed or the picture was not written.
int run_plot(const Invocation& inv);

}  // namespace vorlen::cli
