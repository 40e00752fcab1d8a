// Exit statuses, and the last step every command shares: checking that its output arrived.
#pragma once

#include "cli/files.hpp"

namespace vorlen::cli {

constexpr int exit_ok = 0;
constexpr int exit_failed =
    1;  // an input could not be read, converted or skipped, or output failed
constexpr int exit_usage = 2;

// Flushes `out`; a write that failed (a full disk, a closed pipe) is reported and turns
// `status` into a failure instead of claiming success.
int finish_output(Writer& out, int status);

}  // namespace vorlen::cli
