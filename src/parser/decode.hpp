// Kept for the XML readers until they include text/decode.hpp themselves.
#pragma once

#include "text/decode.hpp"
