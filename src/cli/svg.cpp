#include "cli/svg.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "cli/axis.hpp"
#include "cli/format.hpp"

namespace vorlen::cli {

namespace {

// The page and the plot area inside it, in pixels.
constexpr double left = 90, right = 930, top = 30, bottom = 470;
constexpr double legend_top = 530, legend_line = 20;

// Okabe and Ito's palette without its yellow (too faint on white): distinguishable with every
// common colour-vision deficiency. Past seven patterns the colours repeat with dashes.
constexpr std::array<std::string_view, 7> colours = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                                     "#E69F00", "#56B4E9", "#000000"};
constexpr std::array<std::string_view, 3> dashes = {"", "8 4", "2 3"};

void append_pixel(std::string& out, double v) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof(text), v, std::chars_format::fixed, 1);
  out.append(text, result.ptr);
}

// name="pixel", after a space.
void append_attribute(std::string& out, std::string_view name, double pixel) {
  out += ' ';
  out += name;
  out += "=\"";
  append_pixel(out, pixel);
  out += '"';
}

// Text content or attribute value: valid UTF-8 without the characters XML forbids.
void append_xml_text(std::string& out, std::string_view text) {
  for (const char c : valid_utf8(one_line(text))) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

struct Ranges {
  double x_low = std::numeric_limits<double>::infinity(), x_high = -x_low;
  double y_low = x_low, y_high = -x_low;
};

// The extent of every pattern; on a logarithmic axis of the positive values only.
Ranges ranges_of(const std::vector<Curve>& curves, bool log) {
  Ranges r;
  for (const Curve& curve : curves) {
    r.x_low = std::min(r.x_low, curve.pattern->x().front());
    r.x_high = std::max(r.x_high, curve.pattern->x().back());
    for (const double y : curve.pattern->y()) {
      if (log && !(y > 0)) continue;
      r.y_low = std::min(r.y_low, y);
      r.y_high = std::max(r.y_high, y);
    }
  }
  if (r.y_low > r.y_high) r.y_low = r.y_high = 1;  // nothing positive to show
  return r;
}

struct Point {
  double x, y;
};

class Canvas {
 public:
  Canvas(Axis x, Axis y) : x_(std::move(x)), y_(std::move(y)) {}
  const Axis& x_axis() const { return x_; }
  const Axis& y_axis() const { return y_; }
  double px(double x) const { return left + x_.fraction(x) * (right - left); }
  double py(double y) const { return bottom - y_.fraction(y) * (bottom - top); }

 private:
  Axis x_, y_;
};

// A grid line across the plot and its tick's label beside it, at (label_x, label_y).
void append_tick(std::string& out, double x1, double y1, double x2, double y2, double label_x,
                 double label_y, std::string_view label) {
  out += "<line class=\"grid\"";
  append_attribute(out, "x1", x1);
  append_attribute(out, "y1", y1);
  append_attribute(out, "x2", x2);
  append_attribute(out, "y2", y2);
  out += " stroke=\"#ddd\"/><text class=\"tick\"";
  append_attribute(out, "x", label_x);
  append_attribute(out, "y", label_y);
  out += ">";
  out += label;
  out += "</text>\n";
}

void append_axes(std::string& out, const Canvas& canvas) {
  out +=
      "<rect id=\"plot-area\" x=\"90\" y=\"30\" width=\"840\" height=\"440\" fill=\"none\" "
      "stroke=\"#444\"/>\n";
  out += "<g id=\"x-axis\" font-size=\"13\" text-anchor=\"middle\">\n";
  for (const Tick& tick : canvas.x_axis().ticks()) {
    const double x = canvas.px(tick.value);
    append_tick(out, x, top, x, bottom + 6, x, bottom + 22, tick.label);
  }
  out +=
      "<text class=\"label\" x=\"510\" y=\"515\" font-size=\"15\">2\xCE\xB8 "
      "(\xC2\xB0)</text>\n</g>\n";
  out += "<g id=\"y-axis\" font-size=\"13\" text-anchor=\"end\">\n";
  for (const Tick& tick : canvas.y_axis().ticks()) {
    const double y = canvas.py(tick.value);
    // A power of ten is written 10 with its exponent raised.
    const std::string label = canvas.y_axis().is_log()
                                  ? "10<tspan dy=\"-6\" font-size=\"10\">" + tick.label + "</tspan>"
                                  : tick.label;
    append_tick(out, left - 6, y, right, y, left - 10, y + 4.5, label);
  }
  out +=
      "<text class=\"label\" transform=\"translate(22 250) rotate(-90)\" text-anchor=\"middle\" "
      "font-size=\"15\">";
  out += canvas.y_axis().is_log() ? "Intensity (log scale)" : "Intensity";
  out += "</text>\n</g>\n";
}

// The points worth drawing: all of them when there are few; otherwise, in each pixel column,
// the first, the lowest, the highest and the last, in order, so every peak keeps its height
// and the line its shape, while the size depends on the width of the plot and not on the
// number of points. On a logarithmic axis values that are not positive are left out and break
// the line (a NaN y marks the break).
std::vector<Point> drawn_points(const Pattern& p, const Canvas& canvas, std::size_t& left_out) {
  const auto& xs = p.x();
  const auto& ys = p.y();
  const bool log = canvas.y_axis().is_log();
  const auto columns = static_cast<std::size_t>(right - left);
  std::vector<Point> points;
  std::size_t column_start = 0;
  const auto column_of = [&](std::size_t i) {
    return static_cast<std::size_t>(std::clamp(canvas.px(xs[i]) - left, 0.0, right - left));
  };
  const auto flush = [&](std::size_t begin, std::size_t end) {
    std::array<std::size_t, 4> picks = {begin, begin, begin, end - 1};
    for (std::size_t i = begin; i < end; ++i) {
      if (ys[i] < ys[picks[1]]) picks[1] = i;
      if (ys[i] > ys[picks[2]]) picks[2] = i;
    }
    std::sort(picks.begin(), picks.end());
    for (std::size_t k = 0; k < picks.size(); ++k) {
      if (k > 0 && picks[k] == picks[k - 1]) continue;
      points.push_back({canvas.px(xs[picks[k]]), canvas.py(ys[picks[k]])});
    }
  };
  const bool thin = xs.size() > 4 * columns;
  for (std::size_t i = 0; i <= xs.size(); ++i) {
    const bool end = i == xs.size();
    const bool gap = !end && log && !(ys[i] > 0);
    if (gap) ++left_out;
    const bool new_column =
        !end && !gap && thin && i > column_start && column_of(i) != column_of(column_start);
    if (end || gap || new_column || !thin) {
      if (i > column_start) flush(column_start, i);
      if (gap && (points.empty() || !std::isnan(points.back().y)))
        points.push_back({0, std::nan("")});
      column_start = gap ? i + 1 : i;
    }
  }
  return points;
}

void append_path(std::string& out, const std::vector<Point>& points) {
  bool pen_down = false;
  for (const Point& p : points) {
    if (std::isnan(p.y)) {
      pen_down = false;
      continue;
    }
    out += pen_down ? 'L' : 'M';
    append_pixel(out, p.x);
    out += ' ';
    append_pixel(out, p.y);
    pen_down = true;
  }
}

// The curve's path, and its legend entry: a stroke of the curve's style and the caption.
void append_curve(std::string& paths, std::string& legend, const Curve& curve, std::size_t n,
                  const Canvas& canvas) {
  std::size_t left_out = 0;
  const std::vector<Point> points = drawn_points(*curve.pattern, canvas, left_out);
  const std::string_view colour = colours[n % colours.size()];
  const std::string_view dash = dashes[n / colours.size() % dashes.size()];
  const std::string style = "fill=\"none\" stroke=\"" + std::string(colour) + "\"" +
                            (dash.empty() ? "" : " stroke-dasharray=\"" + std::string(dash) + "\"");
  paths += "<path class=\"pattern\" clip-path=\"url(#plot-clip)\" " + style +
           " stroke-width=\"1.2\" d=\"";
  append_path(paths, points);
  paths += "\"/>\n";
  std::string& out = legend;
  const double y = legend_top + static_cast<double>(n) * legend_line;
  out += "<g class=\"legend-entry\"><line x1=\"90\" x2=\"130\"";
  append_attribute(out, "y1", y - 4);
  append_attribute(out, "y2", y - 4);
  out += " " + style + " stroke-width=\"2.5\"/><text x=\"140\"";
  append_attribute(out, "y", y);
  out += " font-size=\"13\">";
  append_xml_text(out, curve.caption);
  if (left_out > 0) {
    out += " (";
    append_count(out, left_out);
    out += left_out == 1 ? " value" : " values";
    out += " \xE2\x89\xA4 0 left out)";
  }
  out += "</text></g>\n";
}

}  // namespace

std::string draw_svg(const std::vector<Curve>& curves, bool log) {
  const Ranges r = ranges_of(curves, log);
  const Canvas canvas(Axis::tight(r.x_low, r.x_high), log ? Axis::logarithmic(r.y_low, r.y_high)
                                                          : Axis::linear(r.y_low, r.y_high, true));
  const double height = legend_top + static_cast<double>(curves.size()) * legend_line;
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
      "width=\"960\"";
  append_attribute(out, "height", height);
  out += " viewBox=\"0 0 960 ";
  append_pixel(out, height);
  out += "\" font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  out +=
      "<clipPath id=\"plot-clip\"><rect x=\"90\" y=\"30\" width=\"840\" "
      "height=\"440\"/></clipPath>\n";
  append_axes(out, canvas);
  std::string paths, legend;
  for (std::size_t n = 0; n < curves.size(); ++n) append_curve(paths, legend, curves[n], n, canvas);
  out += paths;
  out += "<g id=\"legend\">\n" + legend + "</g>\n</svg>\n";
  return out;
}

}  // namespace vorlen::cli
