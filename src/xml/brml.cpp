#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_brml(Bytes, std::uint64_t) { return Error::parse("BRML: this format is not yet readable"); }

}  // namespace vorlen
