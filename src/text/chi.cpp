#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_chi(Bytes) { return Error::parse("CHI: this format is not yet readable"); }

}  // namespace vorlen
