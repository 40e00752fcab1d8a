#include "parser/readers.hpp"

namespace vorlen {

Result<Series> parse_pdcif(Bytes, const std::optional<std::string>&) { return Error::parse("pdCIF: this format is not yet readable"); }

}  // namespace vorlen
