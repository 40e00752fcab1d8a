#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_gsas(Bytes, std::uint64_t) { return Error::parse("GSAS: this format is not yet readable"); }

}  // namespace vorlen
