// The last step of every read, shared with describe.
#pragma once

#include "pattern/series.hpp"
#include "vorlen/pattern.hpp"

namespace vorlen {

// What a read returns for a reader's series: ascending when stored from high to low angle,
// then validated by Pattern::create.
Result<Pattern> oriented_pattern(Series series);

}  // namespace vorlen
