#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_rasx(Bytes, std::uint64_t) { return Error::parse("RASX: this format is not yet readable"); }

}  // namespace vorlen
