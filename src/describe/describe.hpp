// The description records and describe() now live with the public headers; this name stays
// for the code that still includes it.
#pragma once

#include "vorlen/describe.hpp"
