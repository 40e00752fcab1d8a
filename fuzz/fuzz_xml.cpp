// The XML tree: decoding, expat events, the nesting limit, references, attributes; then the
// recursive queries and the number rule over whatever tree comes out.
#include <cstdint>

#include "xml/tree.hpp"

namespace {

void visit(const vorlen::xml::Element& element) {
  (void)element.attr("axis");
  (void)element.child("scan");
  (void)vorlen::xml::numbers(element.text);
  (void)vorlen::xml::scan_axis_key(element.name);
  for (const auto& child : element.children()) visit(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto document = vorlen::xml::document({data, size});
  if (!document) return 0;
  (void)document->root().all("scan");
  visit(document->root());
  return 0;
}
