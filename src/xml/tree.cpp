// The XML tree: expat events folded into Element nodes, then the shared number, axis-label and
// column rules of the XML readers.
#include "xml/tree.hpp"

#include <expat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "pattern/spares.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"
#include "text/words.hpp"
#include "xml/feed.hpp"
#include "xml/parser.hpp"
#include "xml/plain_text.hpp"

namespace vorlen::xml {

namespace {

// An array of trivially copyable records grown with realloc, which extends a large block in place
// or remaps its pages: no moment holds both the old and the new array, as a vector's growth
// would.
template <class T>
class Records {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Records() = default;
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;
  ~Records() { std::free(data_); }

  T& push_back(const T& value) {
    if (size_ == capacity_) grow();
    data_[size_] = value;
    return data_[size_++];
  }
  T& operator[](std::size_t i) { return data_[i]; }
  T* data() { return data_; }
  // Room for `capacity` records at least, so that no growth copies those added until then.
  void reserve(std::size_t capacity) {
    if (capacity > capacity_) resize_to(capacity);
  }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  void grow() { resize_to(std::max<std::size_t>(64, capacity_ * 2)); }
  void resize_to(std::size_t capacity) {
    void* moved = std::realloc(data_, capacity * sizeof(T));
    if (moved == nullptr) throw std::bad_alloc();
    data_ = static_cast<T*>(moved);
    capacity_ = capacity;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Copies of texts, packed into blocks that never move, so views of them stay valid.
class Copies {
 public:
  static constexpr std::size_t block_size = 65536;

  std::string_view keep(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > left_) {
      blocks_.emplace_back().resize(std::max(block_size, text.size()));
      next_ = reinterpret_cast<char*>(blocks_.back().data());
      left_ = blocks_.back().size();
    }
    char* at = next_;
    std::memcpy(at, text.data(), text.size());
    next_ += text.size();
    left_ -= text.size();
    return {at, text.size()};
  }
  // Takes over a text at least a block long instead of copying it: its first `size` bytes.
  std::string_view adopt(Buffer text, std::size_t size) {
    blocks_.push_back(std::move(text));
    return {reinterpret_cast<const char*>(blocks_.back().data()), size};
  }
  void clear() {
    blocks_.clear();
    left_ = 0;
  }

 private:
  std::vector<Buffer> blocks_;
  char* next_ = nullptr;
  std::size_t left_ = 0;
};

// A text joined from pieces. Grown with realloc, like Records, so a long one (the white space
// between thousands of rows) is neither copied as it grows nor held twice.
class JoinedText {
 public:
  void assign(std::string_view text) {
    size_ = 0;
    append(text);
  }
  void append(std::string_view piece) {
    if (piece.empty()) return;
    if (piece.size() > bytes_.size() - size_)
      bytes_.resize(std::max({std::size_t{256}, 2 * bytes_.size(), size_ + piece.size()}));
    std::memcpy(bytes_.data() + size_, piece.data(), piece.size());
    size_ += piece.size();
  }
  // A view of the text that lives as long as `copies`; a long text's bytes move there.
  std::string_view keep(Copies& copies) {
    const std::size_t size = std::exchange(size_, 0);
    if (size < Copies::block_size)
      return copies.keep(std::string_view(reinterpret_cast<const char*>(bytes_.data()), size));
    return copies.adopt(std::exchange(bytes_, Buffer()), size);
  }

 private:
  Buffer bytes_;
  std::size_t size_ = 0;
};

}  // namespace

// What the views of a document point into: the document's bytes (when it took them over), their
// decoded text, the elements in document order, the attributes in document order, and the texts
// that had to be copied.
struct Document::Storage {
  Buffer bytes;
  Text text = Text::borrowed({});
  Records<Element> elements;
  Records<Attribute> attributes;
  Copies copies;
};

void Document::StorageDelete::operator()(Storage* storage) const { delete storage; }

Document::Document(std::unique_ptr<Storage, StorageDelete> storage)
    : storage_(std::move(storage)), root_(&storage_->elements[0]) {}

void Element::descendants(std::string_view wanted, std::vector<const Element*>& out) const {
  if (name == wanted) out.push_back(this);
  for (const Element& e : children().descendants())
    if (e.name == wanted) out.push_back(&e);
}

std::vector<const Element*> Element::all(std::string_view wanted) const {
  std::vector<const Element*> out;
  descendants(wanted, out);
  return out;
}

std::optional<std::string_view> Element::attr(std::string_view key) const {
  for (const Attribute& a : attributes())
    if (a.key == key) return a.value;
  return std::nullopt;
}

const Element* Element::child(std::string_view wanted) const {
  for (const Element& c : children())
    if (c.name == wanted) return &c;
  return nullptr;
}

namespace {

// 128 open elements at most, deeper documents are refused; the stack of open elements and
// their texts is allocated once.
constexpr std::size_t max_open_elements = 128;
// The elements reserved for a document, one per this many bytes of it.
constexpr std::size_t bytes_per_element_reserved = 32;

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
    case XML_ERROR_PARAM_ENTITY_REF: return true;
    default: return false;
  }
}

// The character data of one open element. While each piece expat delivers is the next bytes of
// the source, as they stand, the text stays a view of the source; a reference, a normalised line
// end or a child in between makes it a joined copy. The buffer keeps its capacity for the next
// element opened at the same depth.
struct OpenText {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool joined = false;
  JoinedText buffer;
};

// Receives expat's events. Elements are appended to the storage's array as they open; `open_`
// holds the indices of the open ones, and open_texts_[d] the text at depth d, where depth 0 is
// what stands outside the root element.
//
// A document is parsed once, fast. Only when expat fails is it parsed a second time, with the
// offsets that the messages need: `mark_` is the input offset just past the last event
// delivered, so that the failing construct starts there (asking expat for it costs two calls per
// event). That second parse also leaves out the comments expat refuses, so a document that failed
// only for those reads as if they were not there.
class Builder {
 public:
  Builder(Document::Storage& storage, bool second_pass)
      : text_(skip_blank_prolog(storage.text.view())),
        storage_(storage),
        elements_(storage.elements),
        open_texts_(max_open_elements + 2),
        second_pass_(second_pass) {
    open_.reserve(max_open_elements + 1);
    // Measurement documents spend some 50 bytes per element (a data row in its tag); pages
    // reserved beyond what the document fills are never touched.
    elements_.reserve(std::min(max_elements, text_.size() / bytes_per_element_reserved + 64));
  }

  Result<Document> run(std::unique_ptr<Document::Storage, Document::StorageDelete> storage);

 private:
  static void on_start(void* self, const XML_Char* name, const XML_Char** atts);
  static void on_end(void* self, const XML_Char* name);
  static void on_text(void* self, const XML_Char* s, int len);
  static void on_other(void* self, const XML_Char* s, int len);
  static void on_cdata_start(void* self);
  static void on_cdata_end(void* self);
  static void on_doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);

  std::size_t source(XML_Index at) const { return feed_->source(at); }
  void advance_mark();
  std::string_view element_name(const XML_Char* name);
  void add_attributes(Element& e, const XML_Char** atts);
  std::size_t source_of(std::string_view piece) const;
  void add_text(OpenText& open, std::string_view piece, std::size_t at);
  std::string_view close_text(OpenText& open);
  void stop(Error error);
  bool starts_empty_element() const;
  Error parse_error() const;
  bool parse();
  Result<Document> finish(std::unique_ptr<Document::Storage, Document::StorageDelete> storage);

  std::string_view text_;
  Document::Storage& storage_;
  Records<Element>& elements_;
  XML_Parser parser_ = nullptr;
  std::optional<Feed> feed_;
  std::vector<std::size_t> open_;
  std::vector<OpenText> open_texts_;
  std::size_t roots_ = 0;
  bool second_pass_;
  std::size_t mark_ = 0;
  std::optional<Error> failure_;
};

void Builder::advance_mark() {
  if (!second_pass_) return;
  const XML_Index at = XML_GetCurrentByteIndex(parser_);
  if (at >= 0) mark_ = source(at) + static_cast<std::size_t>(XML_GetCurrentByteCount(parser_));
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
  const std::size_t end = source(at) + static_cast<std::size_t>(count);
  return end <= text_.size() && text_.substr(end - 2, 2) == "/>";
}

// The local name as a view of the start tag in the text, which spells it just after its '<'.
// The name is compared with the text as its parts are found: names are a few bytes long.
std::string_view Builder::element_name(const XML_Char* name) {
  const XML_Index at = XML_GetCurrentByteIndex(parser_);
  const std::size_t first = at >= 0 ? source(at) + 1 : text_.size() + 1;
  const std::size_t room = first <= text_.size() ? text_.size() - first : 0;
  const char* const spelled = text_.data() + std::min(first, text_.size());
  bool same = first <= text_.size();
  // Its length, and where its local part starts (after the first colon).
  std::size_t size = 0;
  std::size_t local_start = 0;
  bool colon = false;
  for (; name[size] != '\0'; ++size) {
    same = same && size < room && spelled[size] == name[size];
    if (name[size] == ':' && !colon) {
      colon = true;
      local_start = size + 1;
    }
  }
  const std::string_view local(name + local_start, size - local_start);
  if (same) return std::string_view(spelled + local_start, local.size());
  return storage_.copies.keep(local);
}

// expat hands over attribute names and normalised values in its own memory, reused for the next
// tag: they are copied.
void Builder::add_attributes(Element& e, const XML_Char** atts) {
  std::size_t n = 0;
  while (atts[2 * n]) ++n;
  if (n == 0) return;
  Records<Attribute>& attributes = storage_.attributes;
  if (n > max_attributes - attributes.size()) {
    stop(Error::parse("XML document has more than " + std::to_string(max_attributes) +
                      " attributes"));
    return;
  }
  for (std::size_t i = 0; i < n; ++i)
    attributes.push_back({storage_.copies.keep(after_last_colon(atts[2 * i])),
                          storage_.copies.keep(atts[2 * i + 1])});
  e.attribute_count = static_cast<std::uint32_t>(n);
}

void Builder::on_start(void* self, const XML_Char* name, const XML_Char** atts) {
  auto& b = *static_cast<Builder*>(self);
  if (b.failure_) return;
  // Only start tags count towards the limit: an empty-element tag opens nothing below it.
  if (b.open_.size() >= max_open_elements && !b.starts_empty_element()) {
    b.stop(Error::parse("XML nesting exceeds 128 elements"));
    return;
  }
  if (b.elements_.size() == max_elements) {
    b.stop(
        Error::parse("XML document has more than " + std::to_string(max_elements) + " elements"));
    return;
  }
  b.advance_mark();
  if (b.open_.empty()) ++b.roots_;
  b.open_.push_back(b.elements_.size());
  Element& e = b.elements_.push_back(Element{});
  OpenText& open = b.open_texts_[b.open_.size()];
  open.begin = open.end = 0;
  open.joined = false;
  e.name = b.element_name(name);
  b.add_attributes(e, atts);
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
  e.extent = static_cast<std::uint32_t>(b.elements_.size() - b.open_.back());
  b.open_.pop_back();
}

// Plain text, CDATA content and resolved references all arrive here.
void Builder::on_text(void* self, const XML_Char* s, int len) {
  auto& b = *static_cast<Builder*>(self);
  if (b.failure_) return;
  b.advance_mark();
  const std::string_view piece(s, static_cast<std::size_t>(len));
  OpenText& open = b.open_texts_[b.open_.size()];
  b.add_text(open, piece, open.joined ? std::string_view::npos : b.source_of(piece));
}

// Where the piece of text expat delivers stands in the source, or npos when expat changed it (a
// line end, a reference): the bytes are compared. A negative index is never a source position.
std::size_t Builder::source_of(std::string_view piece) const {
  const XML_Index index = XML_GetCurrentByteIndex(parser_);
  const std::size_t at = index >= 0 ? source(index) : std::string_view::npos;
  if (at > text_.size() || text_.substr(at, piece.size()) != piece) return std::string_view::npos;
  return at;
}

// `at` is where the piece stands in the source, or npos when it is not the source's bytes.
void Builder::add_text(OpenText& open, std::string_view piece, std::size_t at) {
  if (!open.joined) {
    const bool empty = open.begin == open.end;
    if (at != std::string_view::npos && (empty || at == open.end)) {
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
  return open.buffer.keep(storage_.copies);
}

// Comments, declarations, processing instructions and markup outside the root: ignored, but
// they move the mark.
void Builder::on_other(void* self, const XML_Char*, int) {
  auto& b = *static_cast<Builder*>(self);
  if (!b.failure_) b.advance_mark();
}

void Builder::on_cdata_start(void* self) {
  auto& b = *static_cast<Builder*>(self);
  b.feed_->in_cdata = true;
  if (!b.failure_) b.advance_mark();
}

void Builder::on_cdata_end(void* self) {
  auto& b = *static_cast<Builder*>(self);
  b.feed_->in_cdata = false;
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

  const std::size_t line = XML_GetCurrentLineNumber(parser_) + feed_->skipped_lines();
  std::string detail = XML_ErrorString(code);
  detail += " at line " + std::to_string(line) + ", column " +
            std::to_string(XML_GetCurrentColumnNumber(parser_) + 1);
  if (code == XML_ERROR_DUPLICATE_ATTRIBUTE) return Error::parse("XML attribute: " + detail);
  // Inside a start tag: an error past the element's name concerns the attributes; expat places
  // an unresolvable reference in an attribute value at the tag's '<'.
  const bool in_start_tag =
      at.size() > 1 && at[0] == '<' && at[1] != '/' && at[1] != '!' && at[1] != '?';
  if (in_start_tag) {
    const std::size_t name_end = at.find_first_of(" \t\r\n/>");
    const XML_Index failed = XML_GetCurrentByteIndex(parser_);
    const bool past_name =
        name_end != std::string_view::npos && failed >= 0 && source(failed) > mark_ + name_end;
    if (past_name || is_reference_error(code)) return Error::parse("XML attribute: " + detail);
  }
  if (is_reference_error(code)) return Error::parse("XML entity: " + detail);
  return Error::parse("XML parse: " + detail);
}

// The children ranges and attribute ranges are set once the arrays stop growing; each element's
// attributes follow those of the elements before it.
Result<Document> Builder::finish(
    std::unique_ptr<Document::Storage, Document::StorageDelete> storage) {
  if (!open_.empty()) return Error::parse("truncated XML document");
  if (roots_ != 1 || !text::trim(close_text(open_texts_.front())).empty())
    return Error::parse("XML must contain exactly one root element");
  const Attribute* next = storage_.attributes.data();
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    elements_[i].first_attribute = next;
    next += elements_[i].attribute_count;
  }
  return Document(std::move(storage));
}

// The first pass takes long runs of plain character data itself, which expat would read one
// byte at a time: expat is fed up to the run, and when it stands there inside an element, it
// would deliver exactly the run's bytes as that element's text, so it goes on after the run.
// A run is never passed over in the second pass, whose offsets are expat's own. The text after
// the last run goes in as one final piece: after any other piece expat counts the lines and
// columns of all it read, a second pass over every byte.
bool Builder::parse() {
  if (second_pass_) return feed_->feed(text_.size(), true);
  std::size_t searched = 0;
  for (;;) {
    const TextRun run = next_plain_run(text_, searched);
    if (run.empty()) return feed_->parse_up_to(text_.size(), true);
    if (!feed_->parse_up_to(run.begin, false)) return false;
    if (feed_->stands_at(run.begin) && !open_.empty()) {
      add_text(open_texts_[open_.size()], text_.substr(run.begin, run.end - run.begin), run.begin);
      feed_->pass_over(run.end);
    }
    searched = run.end;
  }
}

Result<Document> Builder::run(std::unique_ptr<Document::Storage, Document::StorageDelete> storage) {
  // The text is already UTF-8: a parser for UTF-8 ignores any encoding declaration.
  ParserLease lease;
  if (lease.get() == nullptr) return Error::parse("XML parse: out of memory");
  parser_ = lease.get();
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, on_start, on_end);
  XML_SetCharacterDataHandler(parser_, on_text);
  XML_SetDefaultHandlerExpand(parser_, on_other);
  XML_SetStartDoctypeDeclHandler(parser_, on_doctype);
  feed_.emplace(lease, text_);
  if (second_pass_) XML_SetCdataSectionHandler(parser_, on_cdata_start, on_cdata_end);

  if (!parse()) {
    if (failure_) return std::move(*failure_);
    if (second_pass_) return parse_error();
    // The same events come again, up to the same error, now with their offsets.
    storage_.elements.clear();
    storage_.attributes.clear();
    storage_.copies.clear();
    return Builder(storage_, true).run(std::move(storage));
  }
  if (failure_) return std::move(*failure_);
  return finish(std::move(storage));
}

// Parses the decoded text of the storage, which the document then holds.
Result<Document> stored_document(
    std::unique_ptr<Document::Storage, Document::StorageDelete> storage) {
  Document::Storage& held = *storage;
  return Builder(held, false).run(std::move(storage));
}

}  // namespace

Result<Document> document(Bytes bytes) {
  std::unique_ptr<Document::Storage, Document::StorageDelete> storage(new Document::Storage);
  VORLEN_ASSIGN(storage->text, decode(bytes));
  return stored_document(std::move(storage));
}

Result<Document> owned_document(Buffer bytes) {
  std::unique_ptr<Document::Storage, Document::StorageDelete> storage(new Document::Storage);
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

namespace {

// About how many white-space separated tokens the text holds, to size the vector of their
// values once: the bytes above 0x20 that follow one at or below it, counted eight at a time.
// Control bytes other than white space are rare enough to count as separators here.
std::size_t token_count(std::string_view text) {
  using namespace text::words;
  std::size_t count = 0;
  std::size_t i = 0;
  bool word_before = false;  // the byte before the current group is above 0x20
  if constexpr (std::endian::native == std::endian::little) {
    Word before = 0;
    for (; text.size() - i >= kWordBytes; i += kWordBytes) {
      const Word w = load(text.data() + i);
      // (b & 0x7F) + 0x5F carries into the top bit exactly when b & 0x7F is above 0x20.
      const Word above = (((w & kLow7) + repeated(0x5F)) | w) & kHighBits;
      const Word starts = above & ~((above << 8) | (before >> 56));
      count += byte_sum(starts >> 7);
      before = above;
    }
    word_before = (before >> 63) != 0;
  }
  for (; i < text.size(); ++i) {
    const bool word = static_cast<unsigned char>(text[i]) > 0x20;
    count += word && !word_before ? 1 : 0;
    word_before = word;
  }
  return count;
}

}  // namespace

Result<std::vector<double>> numbers(std::string_view text) {
  std::vector<double> out = values_for(token_count(text));
  text::Tokens tokens(text);
  text::Token token;
  while (tokens.next(token)) {
    VORLEN_ASSIGN(const double value, xml::number(token));
    out.push_back(value);
  }
  return out;
}

std::string scan_axis_key(std::string_view text) {
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
