// Kept for the XML readers until they include pattern/readers.hpp themselves.
#pragma once

#include "pattern/readers.hpp"
