// The lists of values a reader's result is made of, kept for the next read once a pattern is
// destroyed.
#pragma once

#include <cstddef>
#include <vector>

namespace vorlen {

// An empty list with room for `count` values: one a destroyed pattern left to this thread when
// its room fits (at least `count`, at most about twice as much), otherwise a new one. A reader
// that fills a kept list writes into warm pages; a new list of a few hundred KiB would take
// pages the allocator gave back to the system when the previous pattern was freed, and fault
// every one of them in again.
std::vector<double> values_for(std::size_t count);

// Keeps `values` (its room, not its content) for a later read on this thread. At most four
// lists and 16 MiB are kept per thread; the oldest go first.
void keep_spare(std::vector<double>&& values);

}  // namespace vorlen
