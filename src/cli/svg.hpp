// One SVG picture of several patterns: 2theta on x, intensity on y (linear or logarithmic),
// round ticks, one colour per pattern and a legend.
#pragma once

#include <string>
#include <vector>

#include "pattern/pattern.hpp"

namespace vorlen::cli {

struct Curve {
  std::string caption;  // the legend's text: file name and scan
  const Pattern* pattern;
};

// `curves` holds at least one pattern.
std::string draw_svg(const std::vector<Curve>& curves, bool log);

}  // namespace vorlen::cli
