// Every rule the text readers share, for the files that still include them all at once.
#pragma once

#include "text/ascii.hpp"
#include "text/axis.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"
