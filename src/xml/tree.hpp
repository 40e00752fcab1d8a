// A small in-memory XML tree built with expat, and the number, axis-label and column rules the
// XML readers share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/error.hpp"
#include "pattern/pattern.hpp"

namespace vorlen::xml {

// One element: local name (prefix dropped), attributes in document order (key after its last
// colon, value normalised), direct character data untrimmed, child elements. The text of every
// element of a tree is a view into storage held by the tree's root (the document's bytes, or a
// copy where the text is not one piece of them), so an element lives only as long as its root.
struct Element {
  struct Storage;

  Element();
  Element(Element&&) noexcept;
  Element& operator=(Element&&) noexcept;
  ~Element();

  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string_view text;
  std::vector<Element> children;
  // Set on the root only.
  std::unique_ptr<Storage> storage;

  // Appends this element (when its name matches) and then its descendants, depth-first, in
  // document order.
  void descendants(std::string_view wanted, std::vector<const Element*>& out) const;
  std::vector<const Element*> all(std::string_view wanted) const;
  // The value of the first attribute with this key.
  std::optional<std::string_view> attr(std::string_view key) const;
  // The first direct child with this name, or nullptr.
  const Element* child(std::string_view wanted) const;
};

// Decodes the bytes and parses one whole document into its root element. Refuses document type
// declarations and more than 128 nested elements.
Result<Element> document(Bytes bytes);
// The same for bytes that the tree keeps, so that its texts can point into them.
Result<Element> owned_document(std::vector<unsigned char> bytes);

// The text without the blank characters before its first markup. Such text lies outside the root
// and means nothing, but expat refuses an XML declaration that does not open its input.
std::string_view skip_blank_prolog(std::string_view text);

// The XML number rule: trimmed decimal literal, finite. "invalid numeric value {quoted}" /
// "non-finite numeric value".
Result<double> number(std::string_view text);
// White-space separated numbers, each through `number`.
Result<std::vector<double>> numbers(std::string_view text);
// Lower-cased (full Unicode), spaces, hyphens and underscores removed.
std::string axis_key(std::string_view text);
// A BRML column position: "missing column Start/Length" / "invalid column Start/Length".
Result<std::uint64_t> index(std::optional<std::string_view> value);

}  // namespace vorlen::xml
