#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_xrdml(Bytes, std::uint64_t) { return Error::parse("XRDML: this format is not yet readable"); }

}  // namespace vorlen
