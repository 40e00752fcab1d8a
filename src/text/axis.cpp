#include "text/axis.hpp"

#include <array>

#include "text/unicode.hpp"

namespace vorlen::text {

namespace {

constexpr std::array<std::string_view, 16> refused_axis_keys = {
    "x",   "y",   "z",    "d",    "q",     "phi",   "chi",   "khi",
    "psi", "tof", "beta", "time", "theta", "omega", "alpha", "2thetarad"};

}  // namespace

std::string axis_key(std::string_view label) {
  std::string kept;
  kept.reserve(label.size());
  for (std::size_t at = 0; at < label.size();) {
    std::size_t space = white_space_at(label, at);
    if (space != 0) {
      at += space;
      continue;
    }
    std::size_t length;
    char32_t c = code_point_at(label, at, length);
    if (c != '-' && c != '_') kept.append(label.substr(at, length));
    at += length;
  }
  return lowercase(kept);
}

Status check_axis(std::string_view label, std::string_view context) {
  std::string key = axis_key(label);
  for (std::string_view refused : refused_axis_keys) {
    if (key == refused) {
      return Error::parse(std::string(context) + ": axis " + quoted(label) +
                          " is not 2theta in degrees");
    }
  }
  return {};
}

}  // namespace vorlen::text
