// The XML tree: expat events folded into Element nodes, then the shared number, axis-label and
// column rules of the XML readers.
#include "xml/tree.hpp"

#include <expat.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>

#include "parser/decode.hpp"
#include "text/rules.hpp"

namespace vorlen::xml {

// What the views of a tree point into: the document's bytes (when the tree took them over), their
// decoded text, the elements in document order, and the names and texts that had to be copied.
struct Element::Storage {
  Buffer bytes;
  Text text = Text::borrowed({});
  std::vector<Element> elements;
  // A deque never moves what it holds, so views of its strings stay valid.
  std::deque<std::string> copies;
};

void Element::StorageDelete::operator()(Storage* storage) const { delete storage; }

void Element::descendants(std::string_view wanted, std::vector<const Element*>& out) const {
  if (name == wanted) out.push_back(this);
  for (const Element& e : children.descendants())
    if (e.name == wanted) out.push_back(&e);
}

std::vector<const Element*> Element::all(std::string_view wanted) const {
  std::vector<const Element*> out;
  descendants(wanted, out);
  return out;
}

std::optional<std::string_view> Element::attr(std::string_view key) const {
  for (const auto& [k, v] : attributes)
    if (k == key) return std::string_view(v);
  return std::nullopt;
}

const Element* Element::child(std::string_view wanted) const {
  for (const Element& c : children)
    if (c.name == wanted) return &c;
  return nullptr;
}

namespace {

// 128 open elements at most, deeper documents are refused; the stack of open elements and
// their texts is allocated once.
constexpr std::size_t max_open_elements = 128;
// expat takes an int length, so a larger text goes in pieces. Every call but the final one ends
// with a line-and-column count over all the bytes it read (about a tenth of the parse), so any
// text that fits goes in one final call; expat copies it into its own buffer either way.
constexpr std::size_t feed_size = std::size_t{1} << 30;

// What follows the first colon of an element name, found in the same pass that finds its end:
// names are a few bytes long, shorter than the set-up of two library calls.
std::string_view local_name(const char* name) {
  const char* local = name;
  const char* end = name;
  for (; *end != '\0'; ++end)
    if (*end == ':' && local == name) local = end + 1;
  return std::string_view(local, static_cast<std::size_t>(end - local));
}

std::string_view after_last_colon(std::string_view name) {
  const auto colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool is_reference_error(XML_Error code) {
  switch (code) {
    case XML_ERROR_UNDEFINED_ENTITY:
    case XML_ERROR_BAD_CHAR_REF:
    case XML_ERROR_BINARY_ENTITY_REF:
    case XML_ERROR_RECURSIVE_ENTITY_REF:
    case XML_ERROR_ASYNC_ENTITY:
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
    case XML_ERROR_PARAM_ENTITY_REF:
      return true;
    default:
      return false;
  }
}

struct ParserFree {
  void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

// The character data of one open element. While each piece expat delivers is the next bytes of
// the source, as they stand, the text stays a view of the source; a reference, a normalised line
// end or a child in between makes it a joined copy. The buffer keeps its capacity for the next
// element opened at the same depth.
struct OpenText {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool joined = false;
  std::string buffer;
};

// Receives expat's events. Elements are appended to the storage's array as they open; `open_`
// holds the indices of the open ones, and open_texts_[d] the text at depth d, where depth 0 is
// what stands outside the root element. `mark_` is the input offset just past the last event
// delivered, so that on an error the failing construct starts there; asking expat for it costs
// two calls per event, so it is tracked only when a document that failed is parsed again for
// its message.
class Builder {
 public:
  Builder(Element::Storage& storage, bool track_marks)
      : text_(skip_blank_prolog(storage.text.view())), storage_(storage),
        elements_(storage.elements), open_texts_(max_open_elements + 2),
        track_marks_(track_marks) {
    open_.reserve(max_open_elements + 1);
  }

  Result<Element> run();

 private:
  static void on_start(void* self, const XML_Char* name, const XML_Char** atts);
  static void on_end(void* self, const XML_Char* name);
  static void on_text(void* self, const XML_Char* s, int len);
  static void on_other(void* self, const XML_Char* s, int len);
  static void on_doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);

  void advance_mark();
  std::string_view intern(std::string_view name);
  void add_text(OpenText& open, std::size_t at, std::string_view piece);
  std::string_view close_text(OpenText& open);
  void stop(Error error);
  bool starts_empty_element() const;
  Error parse_error() const;
  Result<Element> finish();

  std::string_view text_;
  Element::Storage& storage_;
  std::vector<Element>& elements_;
  XML_Parser parser_ = nullptr;
  std::vector<std::size_t> open_;
  std::vector<OpenText> open_texts_;
  std::size_t roots_ = 0;
  // Element names, each copied once; most elements repeat their previous sibling's name.
  std::unordered_set<std::string_view> names_;
  std::string_view last_name_;
  bool track_marks_;
  std::size_t mark_ = 0;
  std::optional<Error> failure_;
};

void Builder::advance_mark() {
  if (!track_marks_) return;
  const XML_Index at = XML_GetCurrentByteIndex(parser_);
  if (at >= 0) mark_ = static_cast<std::size_t>(at) + XML_GetCurrentByteCount(parser_);
}

std::string_view Builder::intern(std::string_view name) {
  if (name == last_name_) return last_name_;
  auto found = names_.find(name);
  if (found == names_.end()) found = names_.insert(storage_.copies.emplace_back(name)).first;
  last_name_ = *found;
  return last_name_;
}

// Our own refusals end the parse at once; expat may still deliver a few events, which are
// ignored.
void Builder::stop(Error error) {
  failure_ = std::move(error);
  XML_StopParser(parser_, XML_FALSE);
}

// expat reports `<a/>` as a start and an end; the raw bytes of the start event tell it apart.
bool Builder::starts_empty_element() const {
  const XML_Index at = XML_GetCurrentByteIndex(parser_);
  const int count = XML_GetCurrentByteCount(parser_);
  if (at < 0 || count < 2) return false;
  const std::size_t end = static_cast<std::size_t>(at) + static_cast<std::size_t>(count);
  return end <= text_.size() && text_.substr(end - 2, 2) == "/>";
}

void Builder::on_start(void* self, const XML_Char* name, const XML_Char** atts) {
  auto& b = *static_cast<Builder*>(self);
  if (b.failure_) return;
  // Only start tags count towards the limit: an empty-element tag opens nothing below it.
  if (b.open_.size() >= max_open_elements && !b.starts_empty_element()) {
    b.stop(Error::parse("XML nesting exceeds 128 elements"));
    return;
  }
  b.advance_mark();
  if (b.open_.empty()) ++b.roots_;
  b.open_.push_back(b.elements_.size());
  Element& e = b.elements_.emplace_back();
  OpenText& open = b.open_texts_[b.open_.size()];
  open.begin = open.end = 0;
  open.joined = false;
  open.buffer.clear();
  e.name = b.intern(local_name(name));
  std::size_t n = 0;
  while (atts[2 * n]) ++n;
  if (n == 0) return;
  e.attributes.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    e.attributes.emplace_back(after_last_colon(atts[2 * i]), atts[2 * i + 1]);
}

void Builder::on_end(void* self, const XML_Char*) {
  auto& b = *static_cast<Builder*>(self);
  if (b.failure_) return;
  b.advance_mark();
  if (b.open_.empty()) {
    b.stop(Error::parse("unexpected XML closing element"));
    return;
  }
  Element& e = b.elements_[b.open_.back()];
  e.text = b.close_text(b.open_texts_[b.open_.size()]);
  e.extent = b.elements_.size() - b.open_.back();
  b.open_.pop_back();
}

// Plain text, CDATA content and resolved references all arrive here.
void Builder::on_text(void* self, const XML_Char* s, int len) {
  auto& b = *static_cast<Builder*>(self);
  if (b.failure_) return;
  const XML_Index at = XML_GetCurrentByteIndex(b.parser_);
  if (at >= 0 && b.track_marks_)
    b.mark_ = static_cast<std::size_t>(at) + XML_GetCurrentByteCount(b.parser_);
  // A negative index is never a source position: the piece is joined.
  b.add_text(b.open_texts_[b.open_.size()],
             at >= 0 ? static_cast<std::size_t>(at) : b.text_.size() + 1,
             std::string_view(s, static_cast<std::size_t>(len)));
}

void Builder::add_text(OpenText& open, std::size_t at, std::string_view piece) {
  if (!open.joined) {
    const bool empty = open.begin == open.end;
    // The bytes are compared, so a piece that expat changed (a line end, a reference) never
    // passes for the source.
    if ((empty || at == open.end) && at <= text_.size() && text_.substr(at, piece.size()) == piece) {
      if (empty) open.begin = at;
      open.end = at + piece.size();
      return;
    }
    open.buffer.assign(text_.substr(open.begin, open.end - open.begin));
    open.joined = true;
  }
  open.buffer.append(piece);
}

std::string_view Builder::close_text(OpenText& open) {
  if (!open.joined) return text_.substr(open.begin, open.end - open.begin);
  return storage_.copies.emplace_back(open.buffer);
}

// Comments, declarations, processing instructions and markup outside the root: ignored, but
// they move the mark.
void Builder::on_other(void* self, const XML_Char*, int) {
  auto& b = *static_cast<Builder*>(self);
  if (!b.failure_) b.advance_mark();
}

// Refused before its internal subset is read, so no entity of a DTD is ever declared.
void Builder::on_doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto& b = *static_cast<Builder*>(self);
  if (!b.failure_) b.stop(Error::parse("XML document type declarations are not supported"));
}

// Turns expat's error into our message, by what stands at the failing construct.
Error Builder::parse_error() const {
  const XML_Error code = XML_GetErrorCode(parser_);
  const std::string_view at = text_.substr(std::min(mark_, text_.size()));
  if (at.starts_with("<!DOCTYPE"))
    return Error::parse("XML document type declarations are not supported");
  // expat enforces the root rules itself: "no element found" is an empty prolog or an element
  // left open, "junk after document element" (or text before the root) breaks the one-root rule.
  const bool outside_root = open_.empty();
  if (code == XML_ERROR_NO_ELEMENTS)
    return Error::parse(outside_root ? "XML must contain exactly one root element"
                                     : "truncated XML document");
  if (outside_root && (code == XML_ERROR_JUNK_AFTER_DOC_ELEMENT || !at.starts_with('<')) &&
      !at.starts_with("</"))
    return Error::parse("XML must contain exactly one root element");

  std::string detail = XML_ErrorString(code);
  detail += " at line " + std::to_string(XML_GetCurrentLineNumber(parser_)) + ", column " +
            std::to_string(XML_GetCurrentColumnNumber(parser_) + 1);
  if (code == XML_ERROR_DUPLICATE_ATTRIBUTE) return Error::parse("XML attribute: " + detail);
  // Inside a start tag: an error past the element's name concerns the attributes; expat places
  // an unresolvable reference in an attribute value at the tag's '<'.
  const bool in_start_tag = at.size() > 1 && at[0] == '<' && at[1] != '/' && at[1] != '!' &&
                            at[1] != '?';
  if (in_start_tag) {
    const std::size_t name_end = at.find_first_of(" \t\r\n/>");
    const XML_Index failed = XML_GetCurrentByteIndex(parser_);
    const bool past_name = name_end != std::string_view::npos && failed >= 0 &&
                           static_cast<std::size_t>(failed) > mark_ + name_end;
    if (past_name || is_reference_error(code)) return Error::parse("XML attribute: " + detail);
  }
  if (is_reference_error(code)) return Error::parse("XML entity: " + detail);
  return Error::parse("XML parse: " + detail);
}

// The root is moved out of the array; the children ranges are set once the array stops growing.
Result<Element> Builder::finish() {
  if (!open_.empty()) return Error::parse("truncated XML document");
  if (roots_ != 1 || !text::trim(close_text(open_texts_.front())).empty())
    return Error::parse("XML must contain exactly one root element");
  for (Element& e : elements_) e.children = Children(&e + 1, &e + e.extent);
  return std::move(elements_.front());
}

Result<Element> Builder::run() {
  // The text is already UTF-8: naming the encoding here makes expat ignore any declaration.
  std::unique_ptr<XML_ParserStruct, ParserFree> owner(XML_ParserCreate("UTF-8"));
  if (!owner) return Error::parse("XML parse: out of memory");
  parser_ = owner.get();
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, on_start, on_end);
  XML_SetCharacterDataHandler(parser_, on_text);
  XML_SetDefaultHandlerExpand(parser_, on_other);
  XML_SetStartDoctypeDeclHandler(parser_, on_doctype);

  std::size_t fed = 0;
  do {
    const std::size_t piece = std::min(feed_size, text_.size() - fed);
    const bool last = fed + piece == text_.size();
    if (XML_Parse(parser_, text_.data() + fed, static_cast<int>(piece), last) != XML_STATUS_OK) {
      if (failure_) return std::move(*failure_);
      if (track_marks_) return parse_error();
      // The same events come again, up to the same error, now with their offsets.
      storage_.elements.clear();
      return Builder(storage_, true).run();
    }
    fed += piece;
  } while (fed < text_.size());
  if (failure_) return std::move(*failure_);
  return finish();
}

// Parses the decoded text of the storage, which the root then holds.
Result<Element> stored_document(std::unique_ptr<Element::Storage, Element::StorageDelete> storage) {
  VORLEN_ASSIGN(Element root, Builder(*storage, false).run());
  root.storage = std::move(storage);
  return root;
}

}  // namespace

Result<Element> document(Bytes bytes) {
  std::unique_ptr<Element::Storage, Element::StorageDelete> storage(new Element::Storage);
  VORLEN_ASSIGN(storage->text, decode(bytes));
  return stored_document(std::move(storage));
}

Result<Element> owned_document(Buffer bytes) {
  std::unique_ptr<Element::Storage, Element::StorageDelete> storage(new Element::Storage);
  storage->bytes = std::move(bytes);
  VORLEN_ASSIGN(storage->text, decode(storage->bytes.bytes()));
  return stored_document(std::move(storage));
}

std::string_view skip_blank_prolog(std::string_view text) {
  return text.substr(std::min(text.find_first_not_of(" \t\r\n"), text.size()));
}

Error detail::refused_number(std::string_view text) {
  double value = 0;
  if (!text::parse_decimal(text::trim(text), value))
    return Error::parse("invalid numeric value " + text::quoted(text));
  return Error::parse("non-finite numeric value");
}

Result<std::vector<double>> numbers(std::string_view text) {
  std::vector<double> out;
  text::Tokens tokens(text);
  text::Token token;
  while (tokens.next(token)) {
    VORLEN_ASSIGN(const double value, xml::number(token));
    out.push_back(value);
  }
  return out;
}

std::string axis_key(std::string_view text) {
  std::string key = text::lowercase(text);
  std::erase_if(key, [](char c) { return c == ' ' || c == '-' || c == '_'; });
  return key;
}

Result<std::uint64_t> index(std::optional<std::string_view> value) {
  if (!value) return Error::parse("missing column Start/Length");
  std::uint64_t n = 0;
  if (!text::parse_unsigned(*value, n)) return Error::parse("invalid column Start/Length");
  return n;
}

}  // namespace vorlen::xml
