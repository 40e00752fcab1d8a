#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_bruker_raw(Bytes, std::uint64_t) { return Error::parse("Bruker RAW: this format is not yet readable"); }

}  // namespace vorlen
