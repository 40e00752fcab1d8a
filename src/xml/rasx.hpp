// The scan-axis rule of the RASX reader, exposed for its tests.
#pragma once

#include <string_view>

#include "pattern/error.hpp"

namespace vorlen {

// Accepts the Rigaku scan axes that move 2theta (TwoThetaTheta, TwoThetaOmega, 2Theta/w, ...),
// compared by their axis key; fails with "scan axis {quoted label} is not a supported 2theta
// scan" for any other label, the empty one included.
Status check_rigaku_axis(std::string_view label);

}  // namespace vorlen
