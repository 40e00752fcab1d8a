#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_uxd(Bytes, std::uint64_t) { return Error::parse("UXD: this format is not yet readable"); }

}  // namespace vorlen
