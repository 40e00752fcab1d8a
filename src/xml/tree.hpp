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
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/tokens.hpp"
#include "xml/buffer.hpp"

namespace vorlen::xml {

struct Element;

// One attribute: the key after the last colon of its name, the normalised value.
struct Attribute {
  std::string_view key;
  std::string_view value;
};

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

  Children(const Element* first, const Element* last) : first_(first), last_(last) {}
  iterator begin() const { return iterator(first_); }
  iterator end() const { return iterator(last_); }
  bool empty() const { return first_ == last_; }
  const Element& front() const { return *first_; }
  // Every descendant, children and their descendants alike, in document order.
  std::span<const Element> descendants() const;

 private:
  const Element* first_;
  const Element* last_;
};

// One element: local name (prefix dropped), attributes in document order, direct character data
// untrimmed, child elements. 40 bytes: names and texts are views into the document's text (or
// into copies the document keeps, for texts that are not one piece of it), attributes a range of
// the document's attribute array, and the children follow the element in the document's element
// array, so an element lives only as long as its document.
struct Element {
  std::string_view name;
  std::string_view text;
  const Attribute* first_attribute = nullptr;
  std::uint32_t attribute_count = 0;
  // The number of elements this one and its descendants occupy in the document's array.
  std::uint32_t extent = 1;

  std::span<const Attribute> attributes() const { return {first_attribute, attribute_count}; }
  Children children() const { return Children(this + 1, this + extent); }
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

// A parsed document: its root element and everything the tree's views point into.
class Document {
 public:
  struct Storage;
  struct StorageDelete {
    void operator()(Storage* storage) const;
  };

  explicit Document(std::unique_ptr<Storage, StorageDelete> storage);
  const Element& root() const { return *root_; }

 private:
  std::unique_ptr<Storage, StorageDelete> storage_;
  const Element* root_;
};

// A document holds at most this many elements and this many attributes, far more than any real
// measurement file (tens of thousands of data rows). An element takes at least 4 bytes of text
// and 40 of tree, an attribute at least 5 and 32: a document at both limits stays within four
// times its text and 64 MiB, the bound of a whole read.
inline constexpr std::size_t max_elements = std::size_t{1} << 20;
inline constexpr std::size_t max_attributes = std::size_t{1} << 20;

// Decodes the bytes and parses one whole document. Refuses document type declarations, more than
// 128 nested elements and more elements or attributes than the limits above. Comments are
// ignored whatever they hold.
Result<Document> document(Bytes bytes);
// The same for bytes that the document keeps, so that its texts can point into them.
Result<Document> owned_document(Buffer bytes);

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
// The key a scan axis name is compared by: lower-cased (full Unicode), then spaces, hyphens and
// underscores removed. Unlike the text formats' axis key, other white space stays.
std::string scan_axis_key(std::string_view text);
// A BRML column position: "missing column Start/Length" / "invalid column Start/Length".
Result<std::uint64_t> index(std::optional<std::string_view> value);

}  // namespace vorlen::xml
