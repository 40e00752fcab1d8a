// Long runs of plain character data: text between a '>' and a '<' made only of bytes that mean
// nothing to XML inside an element. Measurement documents hold their data in such runs, and a
// parser that reads them byte by byte spends most of its time there; the tree takes them as
// they stand (see `Builder::parse`).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "text/words.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorlen::xml {

// Runs shorter than this are left to expat: passing one over costs a call into expat.
inline constexpr std::size_t plain_run_min = 1024;

// A byte that character data holds as it stands: printable ASCII other than '<', '&' and ']'
// (markup, references, the end of a CDATA section), a tab or a line feed. A carriage return is
// not one: line ends are normalised.
constexpr bool is_plain_byte(unsigned char b) {
  return (b >= 0x20 && b < 0x7F && b != '<' && b != '&' && b != ']') || b == '\t' || b == '\n';
}

namespace detail {

// The top bit of each byte that `is_plain_byte` refuses. Exact for every byte: the subtraction
// works on bytes whose top bit is set first, so no borrow crosses into the next byte.
constexpr text::words::Word non_plain_bytes(text::words::Word word) {
  using namespace text::words;
  const Word high = word & kHighBits;
  const Word below_space = ~((word | kHighBits) - repeated(0x20)) & kHighBits & ~high;
  const Word delete_byte = bytes_equal(word, 0x7F);
  const Word controls = below_space & ~(bytes_equal(word, '\t') | bytes_equal(word, '\n'));
  return high | delete_byte | controls | bytes_equal(word, '<') | bytes_equal(word, '&') |
         bytes_equal(word, ']');
}

}  // namespace detail

// True when every byte of the text is plain. Sixteen bytes at a time where the machine has
// SSE2 (every x86-64 does), eight elsewhere: runs are tens of kilobytes.
inline bool is_plain_text(std::string_view text) {
  using namespace text::words;
  const char* p = text.data();
  const char* const end = p + text.size();
#if defined(__SSE2__)
  __m128i plain = _mm_set1_epi8(-1);
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto is = [v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    // Signed: bytes from 0x80 up compare as negative, so this is 0x20 to 0x7F.
    const __m128i printable = _mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F));
    const __m128i refused =
        _mm_or_si128(_mm_or_si128(is(0x7F), is('<')), _mm_or_si128(is('&'), is(']')));
    const __m128i allowed =
        _mm_or_si128(_mm_andnot_si128(refused, printable), _mm_or_si128(is('\t'), is('\n')));
    plain = _mm_and_si128(plain, allowed);
  }
  if (_mm_movemask_epi8(plain) != 0xFFFF) return false;
#endif
  Word refused = 0;
  for (; static_cast<std::size_t>(end - p) >= kWordBytes; p += kWordBytes)
    refused |= detail::non_plain_bytes(load(p));
  if (refused != 0) return false;
  for (; p < end; ++p)
    if (!is_plain_byte(static_cast<unsigned char>(*p))) return false;
  return true;
}

// A run of the text as offsets [begin, end); empty when there is none.
struct TextRun {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool empty() const { return begin == end; }
};

// The first run of at least `plain_run_min` plain bytes at or after `from` that follows the
// first '>' after a '<' and ends at the next '<'. Windows of the run's least length are tested
// from their end, so a document dense with markup is passed over about one window per step.
inline TextRun next_plain_run(std::string_view text, std::size_t from) {
  const char* const data = text.data();
  while (from < text.size() && text.size() - from > plain_run_min) {
    const void* lt = memrchr(data + from, '<', plain_run_min);
    if (lt != nullptr) {
      from = static_cast<std::size_t>(static_cast<const char*>(lt) - data) + 1;
      continue;
    }
    const std::size_t end = text.find('<', from + plain_run_min);
    if (end == std::string_view::npos) break;
    const std::size_t gt = text.find('>', from);
    if (gt < end && end - (gt + 1) >= plain_run_min &&
        is_plain_text(text.substr(gt + 1, end - gt - 1)))
      return {gt + 1, end};
    from = end + 1;
  }
  return {};
}

}  // namespace vorlen::xml
