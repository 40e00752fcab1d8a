// Helpers shared by the archive readers (BRML, RASX): XML members as trees and the out-of-range
// message of scan selection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/error.hpp"
#include "xml/archive.hpp"
#include "xml/tree.hpp"

namespace vorlen::xml {

// Extracts one member and parses it; the document keeps the member's bytes.
inline Result<Document> member_document(Archive& archive, std::string_view name) {
  VORLEN_ASSIGN(Buffer bytes, archive.member(name));
  return owned_document(std::move(bytes));
}

inline Error scan_out_of_range(std::uint64_t index, std::uint64_t count) {
  return Error::parse("scan " + std::to_string(index) + " is out of range (" +
                      std::to_string(count) + " scans)");
}

}  // namespace vorlen::xml
