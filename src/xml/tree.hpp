// A small in-memory XML tree built with expat, and the number, axis-label and column rules the
// XML readers share.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/error.hpp"
#include "pattern/pattern.hpp"
#include "text/rules.hpp"
#include "xml/buffer.hpp"

namespace vorlen::xml {

struct Element;

// The direct children of an element, in document order. A tree keeps all its elements in one
// array in document order, each followed by its descendants, so the next child starts `extent`
// elements after the last.
class Children {
 public:
  class iterator {
   public:
    using value_type = Element;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    explicit iterator(const Element* at) : at_(at) {}
    const Element& operator*() const { return *at_; }
    const Element* operator->() const { return at_; }
    iterator& operator++();
    iterator operator++(int) {
      iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const iterator&) const = default;

   private:
    const Element* at_ = nullptr;
  };

  Children() = default;
  Children(const Element* first, const Element* last) : first_(first), last_(last) {}
  iterator begin() const { return iterator(first_); }
  iterator end() const { return iterator(last_); }
  bool empty() const { return first_ == last_; }
  const Element& front() const { return *first_; }
  // Every descendant, children and their descendants alike, in document order.
  std::span<const Element> descendants() const;

 private:
  const Element* first_ = nullptr;
  const Element* last_ = nullptr;
};

// One element: local name (prefix dropped), attributes in document order (key after its last
// colon, value normalised), direct character data untrimmed, child elements. Names, texts and
// children are views into storage held by the tree's root (the document's bytes, the elements,
// and copies of the texts that are not one piece of those bytes), so an element lives only as
// long as its root.
struct Element {
  struct Storage;
  struct StorageDelete {
    void operator()(Storage* storage) const;
  };

  std::string_view name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string_view text;
  Children children;
  // The number of elements this one and its descendants occupy in the tree's array.
  std::size_t extent = 1;
  // Set on the root only.
  std::unique_ptr<Storage, StorageDelete> storage;

  // Appends this element (when its name matches) and then its descendants, in document order.
  void descendants(std::string_view wanted, std::vector<const Element*>& out) const;
  std::vector<const Element*> all(std::string_view wanted) const;
  // The value of the first attribute with this key.
  std::optional<std::string_view> attr(std::string_view key) const;
  // The first direct child with this name, or nullptr.
  const Element* child(std::string_view wanted) const;
};

inline std::span<const Element> Children::descendants() const {
  return {first_, static_cast<std::size_t>(last_ - first_)};
}

inline Children::iterator& Children::iterator::operator++() {
  at_ += at_->extent;
  return *this;
}

// Decodes the bytes and parses one whole document into its root element. Refuses document type
// declarations and more than 128 nested elements.
Result<Element> document(Bytes bytes);
// The same for bytes that the tree keeps, so that its texts can point into them.
Result<Element> owned_document(Buffer bytes);

// The text without the blank characters before its first markup. Such text lies outside the root
// and means nothing, but expat refuses an XML declaration that does not open its input.
std::string_view skip_blank_prolog(std::string_view text);

namespace detail {
// The refusal of a text that is not a finite number.
Error refused_number(std::string_view text);
}  // namespace detail

// The XML number rule: trimmed decimal literal, finite. "invalid numeric value {quoted}" /
// "non-finite numeric value". Inline so that the common case costs no Result passed through
// memory.
inline Result<double> number(std::string_view text) {
  double value = 0;
  if (text::parse_decimal(text::trim(text), value) && std::isfinite(value)) return value;
  return detail::refused_number(text);
}
// The same rule for a token, whose value was read when it was found.
inline Result<double> number(const text::Token& token) {
  if (token.has_value && std::isfinite(token.value)) return token.value;
  return number(token.text);
}
// White-space separated numbers, each through `number`.
Result<std::vector<double>> numbers(std::string_view text);
// Lower-cased (full Unicode), spaces, hyphens and underscores removed.
std::string axis_key(std::string_view text);
// A BRML column position: "missing column Start/Length" / "invalid column Start/Length".
Result<std::uint64_t> index(std::optional<std::string_view> value);

}  // namespace vorlen::xml
