// The file-name hints the whole-pipeline targets choose from with their first input byte: one
// per dispatch rule that looks at the name (scripts/fuzz-seeds lists them in the same order).
#pragma once

#include <array>
#include <string_view>

namespace fuzz {

constexpr std::array<std::string_view, 24> hints = {
    "",         "scan.xy",  "scan.txt", "scan.dat",  "scan.raw",  "scan.ras",
    "scan.uxd", "scan.gsa", "scan.gda", "scan.xra",  "scan.gsas", "scan.fxye",
    "scan.cif", "scan.chi", "scan.dif", "scan.rasx", "scan.brml", "scan.xrdml",
    "SCAN.XY",  ".xy",      "dir/",     "a.b/..",    "scan.",     "x/scan.RAW"};

}  // namespace fuzz
