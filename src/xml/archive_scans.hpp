// What the archive readers (BRML, RASX) share: XML members as trees.
#pragma once

#include <string_view>
#include <utility>

#include "pattern/error.hpp"
#include "xml/archive.hpp"
#include "xml/tree.hpp"

namespace vorlen::xml {

// Extracts one member and parses it; the document keeps the member's bytes.
inline Result<Document> member_document(Archive& archive, std::string_view name) {
  VORLEN_ASSIGN(Buffer bytes, archive.member(name));
  return owned_document(std::move(bytes));
}

}  // namespace vorlen::xml
