// Axis labels of the text formats: their normalised key and the refused axes.
#pragma once

#include <string>
#include <string_view>

#include "pattern/error.hpp"

namespace vorlen::text {

// White space, '-' and '_' removed, the rest lower-cased: "2-Theta" -> "2theta".
std::string axis_key(std::string_view label);

// Fails with "{context}: axis {quoted label} is not 2theta in degrees" for a refused axis.
Status check_axis(std::string_view label, std::string_view context);

}  // namespace vorlen::text
