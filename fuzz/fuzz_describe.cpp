// describe on any bytes: it must never crash, and what it lists must agree with read scan by
// scan (point count and 2theta range, or the very error), the index past the list failing. The
// first byte chooses the file-name hint, as in fuzz_read.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "../tests/describe_check.hpp"

namespace {

constexpr std::array<std::string_view, 24> hints = {
    "",         "scan.xy",   "scan.txt", "scan.dat",  "scan.raw",  "scan.ras",
    "scan.uxd", "scan.gsa",  "scan.gda", "scan.xra",  "scan.gsas", "scan.fxye",
    "scan.cif", "scan.chi",  "scan.dif", "scan.rasx", "scan.brml", "scan.xrdml",
    "SCAN.XY",  ".xy",       "dir/",     "a.b/..",    "scan.",     "x/scan.RAW"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto problem = vorlen::check::disagreement({data + 1, size - 1}, hints[data[0] % hints.size()]);
  if (problem) {
    std::fprintf(stderr, "describe disagrees with read: %s\n", problem->c_str());
    std::abort();
  }
  return 0;
}
