#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_ras(Bytes, std::uint64_t) { return Error::parse("RAS: this format is not yet readable"); }

}  // namespace vorlen
