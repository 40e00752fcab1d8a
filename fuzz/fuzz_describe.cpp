// describe on any bytes: it must never crash, and what it lists must agree with read scan by
// scan (point count and 2theta range, or the very error), the index past the list failing. The
// first byte chooses the file-name hint, as in fuzz_read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "../tests/describe_check.hpp"
#include "hints.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view hint = fuzz::hints[data[0] % fuzz::hints.size()];
  const auto problem = vorlen::check::disagreement({data + 1, size - 1}, hint);
  if (problem) {
    std::fprintf(stderr, "describe disagrees with read: %s\n", problem->c_str());
    std::abort();
  }
  return 0;
}
