// Format detection: binary signatures, archive members, text markers, the integrated-profile
// layout, the file-name extension, and finally plain two-column text.
#include "parser/parse.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include <expat.h>

#include "pattern/readers.hpp"
#include "text/ascii.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/tokens.hpp"
#include "text/unicode.hpp"
#include "xml/archive.hpp"
#include "xml/feed.hpp"
#include "xml/parser.hpp"
#include "xml/tree.hpp"

namespace vorlen {

namespace {

constexpr std::size_t head_limit = 65536;

bool is_bruker_raw(Bytes data) {
  if (starts_with(data, "RAW1.01") || starts_with(data, "RAW4.00") || starts_with(data, "RAW2")) {
    return true;
  }
  // "RAW " opens version-1 binaries but also ordinary text: a zero byte early on decides.
  if (!starts_with(data, "RAW ")) return false;
  Bytes probe = data.first(std::min<std::size_t>(data.size(), 256));
  return std::find(probe.begin(), probe.end(), 0) != probe.end();
}

bool is_zip(Bytes data) {
  return starts_with(data, "PK\x03\x04") || starts_with(data, "PK\x05\x06");
}

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

Result<Detection> detect_archive(Bytes data) {
  VORLEN_ASSIGN(xml::Archive archive, xml::Archive::open(data));
  const auto& names = archive.names();
  if (std::any_of(names.begin(), names.end(),
                  [](std::string_view n) { return ends_with(n, "DataContainer.xml"); })) {
    return Detection{Format::Brml, DetectedBy::ArchiveMember};
  }
  if (std::any_of(names.begin(), names.end(), [](std::string_view n) {
        return n == "root.xml" ||
               (n.find("Profile") != std::string_view::npos && ends_with(n, ".txt"));
      })) {
    return Detection{Format::Rasx, DetectedBy::ArchiveMember};
  }
  return Error::unknown_format();
}

// The first 64 KiB of the text, never ending inside a multi-byte character.
std::string_view head_of(std::string_view text) {
  if (text.size() <= head_limit) return text;
  std::size_t end = head_limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

bool is_float(std::string_view token) {
  double ignored;
  return text::parse_decimal(token, ignored);
}

bool is_int32(std::string_view token) {
  bool negative = !token.empty() && token.front() == '-';
  if (negative)
    token.remove_prefix(1);
  else if (!token.empty() && token.front() == '+')
    token.remove_prefix(1);
  if (token.empty() || token.front() == '+') return false;
  std::uint64_t value;
  if (!text::parse_unsigned(token, value)) return false;
  return value <= (negative ? 2147483648ULL : 2147483647ULL);
}

// Which text markers occur in the head; each rule looks at any line, so one pass finds all.
struct Markers {
  bool ras = false;
  bool cif_block = false;
  bool gsas_bank = false;
  bool uxd_drive = false;
};

Markers find_markers(std::string_view head) {
  Markers found;
  text::Lines lines(head);
  std::string_view line;
  while (lines.next(line)) {
    // Every marker starts with its own character, so most lines need one test; data rows,
    // which start with a digit, a sign or a point, need no more.
    const std::string_view left = text::trim_left(line);
    if (left.empty()) continue;
    switch (left.front()) {
      case '*':
        if (left.starts_with("*RAS_DATA_START") || left.starts_with("*RAS_HEADER_START")) {
          found.ras = true;
        }
        break;
      case 'd':
        if (left.starts_with("data_")) found.cif_block = true;
        break;
      case '_':
        if (left.starts_with("_DRIVE=") || left.starts_with("_DRIVE =")) found.uxd_drive = true;
        break;
      case 'B':
        if (text::starts_with_word(left, "BANK")) found.gsas_bank = true;
        break;
      default: break;
    }
  }
  return found;
}

bool is_header_label(std::string_view line) {
  std::string_view trimmed = text::trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '!' ||
      trimmed.front() == '#') {
    return false;
  }
  text::Tokens tokens(trimmed);
  std::string_view token;
  while (tokens.next(token)) {
    if (!is_float(token)) return true;
  }
  return false;
}

std::uint64_t count_non_blank_lines(std::string_view text) {
  std::uint64_t count = 0;
  text::Lines lines(text);
  std::string_view line;
  while (lines.next(line)) {
    if (!text::trim(line).empty()) ++count;
  }
  return count;
}

// Four header lines (title, x label, y label, point count) and exactly that many data lines.
bool has_integrated_profile_layout(std::string_view head, std::string_view whole) {
  text::Lines lines(head);
  std::string_view header[5];
  for (auto& line : header) {
    if (!lines.next(line)) return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (!is_header_label(header[i])) return false;
  }
  std::string_view counts[3];
  std::size_t n = text::take_tokens(header[3], counts, 3);
  std::uint64_t declared = 0, ignored = 0;
  if (n < 1 || n > 2 || !text::parse_unsigned(counts[0], declared)) return false;
  if (n == 2 && (!text::parse_unsigned(counts[1], ignored) || counts[1] != "1")) return false;
  text::Lines whole_lines(whole);
  std::string_view skipped;
  for (int i = 0; i < 4; ++i) whole_lines.next(skipped);
  return count_non_blank_lines(whole_lines.rest()) == declared;
}

bool is_reflection_line(std::string_view line) {
  std::string_view tokens[7];
  std::size_t n = text::take_tokens(line, tokens, 7);
  if (n != 5 && n != 6) return false;
  return is_float(tokens[0]) && is_float(tokens[1]) && is_int32(tokens[n - 3]) &&
         is_int32(tokens[n - 2]) && is_int32(tokens[n - 1]);
}

bool names_hkl_columns(std::string_view line) {
  std::string lowered = text::lowercase(line);
  text::Tokens tokens(lowered);
  std::string_view a, b, c;
  if (!tokens.next(a) || !tokens.next(b)) return false;
  while (tokens.next(c)) {
    if (a == "h" && b == "k" && c == "l") return true;
    a = b;
    b = c;
  }
  return false;
}

// Peak lists exported with a .dif name look like two-column data but are not profiles.
bool is_reflection_list(std::string_view head) {
  int reflection_lines = 0;
  text::Lines lines(head);
  std::string_view line;
  while (lines.next(line)) {
    if (is_reflection_line(line)) ++reflection_lines;
    if (reflection_lines >= 3 || names_hkl_columns(line)) return true;
  }
  return false;
}

Result<Detection> detect_by_extension(std::string_view head, std::string_view filename) {
  std::string extension = lowercased_extension(filename);
  if (extension == "ras") return Detection{Format::Ras, DetectedBy::Extension};
  if (extension == "uxd") return Detection{Format::Uxd, DetectedBy::Extension};
  if (extension == "gsa" || extension == "gda" || extension == "xra" || extension == "raw" ||
      extension == "gsas" || extension == "fxye") {
    return Detection{Format::Gsas, DetectedBy::Extension};
  }
  if (extension == "cif") return Detection{Format::Pdcif, DetectedBy::Extension};
  if (extension == "chi") return Detection{Format::Chi, DetectedBy::Extension};
  if (extension == "dif" && is_reflection_list(head)) {
    return Error::parse("DIF reflection peak lists are not measured XRD profiles");
  }
  if (extension == "rasx" || extension == "brml") {
    return Error::parse(extension + " is not a readable ZIP archive");
  }
  if (extension == "xrdml") return Detection{Format::Xrdml, DetectedBy::Extension};
  return Detection{Format::Xy, DetectedBy::Default};
}

Result<Detection> detect_decoded(std::string_view whole, std::string_view filename) {
  std::string_view head = head_of(whole);
  if (head.find('\0') != std::string_view::npos) return Error::unknown_format();
  if (has_xrdml_root(whole)) return Detection{Format::Xrdml, DetectedBy::XmlRoot};
  Markers markers = find_markers(head);
  if (markers.ras) return Detection{Format::Ras, DetectedBy::TextMarker};
  if (markers.cif_block && head.find("_pd_") != std::string_view::npos) {
    return Detection{Format::Pdcif, DetectedBy::TextMarker};
  }
  if (markers.gsas_bank) return Detection{Format::Gsas, DetectedBy::TextMarker};
  if (markers.uxd_drive) return Detection{Format::Uxd, DetectedBy::TextMarker};
  if (has_integrated_profile_layout(head, whole)) return Detection{Format::Chi, DetectedBy::Layout};
  return detect_by_extension(head, filename);
}

// What detection found and, for text input, the text it decoded, which the plain-text readers
// then read without decoding the input again.
struct Detected {
  Detection detection;
  std::optional<Text> text;
};

Result<Detected> detect_text(Bytes data, std::string_view filename) {
  VORLEN_ASSIGN(Text decoded, decode(data));
  VORLEN_ASSIGN(const Detection detection, detect_decoded(decoded.view(), filename));
  return Detected{detection, std::move(decoded)};
}

Result<Detected> detect_input(Bytes data, std::string_view filename) {
  if (is_bruker_raw(data)) return Detected{{Format::BrukerRaw, DetectedBy::Signature}, {}};
  if (is_zip(data)) {
    VORLEN_ASSIGN(const Detection detection, detect_archive(data));
    return Detected{detection, {}};
  }
  return detect_text(data, filename);
}

// The one reader of `format`. A plain-text reader reads `decoded` when detection left it,
// otherwise the bytes.
Result<Series> run_reader(Format format, Bytes data, const Text* decoded,
                          const ReadOptions& options) {
  const auto text_reader = [&](auto read) {
    return decoded != nullptr ? read(*decoded) : read(data);
  };
  switch (format) {
    case Format::BrukerRaw: return parse_bruker_raw(data, options.index);
    case Format::Brml: return parse_brml(data, options.index);
    case Format::Rasx: return parse_rasx(data, options.index);
    case Format::Xrdml: return parse_xrdml(data, options.index);
    case Format::Ras:
      return text_reader([&](const auto& input) { return parse_ras(input, options.index); });
    case Format::Uxd:
      return text_reader([&](const auto& input) { return parse_uxd(input, options.index); });
    case Format::Gsas:
      return text_reader([&](const auto& input) { return parse_gsas(input, options.index); });
    // The single-pattern formats refuse any other index before their file is parsed.
    case Format::Pdcif:
      VORLEN_TRY(one_pattern(options.index));
      return parse_pdcif(data, options.block);
    case Format::Chi:
      VORLEN_TRY(one_pattern(options.index));
      return text_reader([](const auto& input) { return parse_chi(input); });
    case Format::Xy: break;
  }
  VORLEN_TRY(one_pattern(options.index));
  return text_reader([](const auto& input) { return parse_xy(input); });
}

// has_xrdml_root: expat reports events until the first element, then is stopped.
struct RootProbe {
  XML_Parser parser;
  bool decided = false;
  bool is_xrdml = false;

  void decide(bool answer) {
    if (decided) return;
    decided = true;
    is_xrdml = answer;
    XML_StopParser(parser, XML_FALSE);
  }
};

void XMLCALL probe_start(void* data, const XML_Char* name, const XML_Char**) {
  std::string_view tag(name);
  std::size_t colon = tag.find(':');
  if (colon != std::string_view::npos) tag.remove_prefix(colon + 1);
  static_cast<RootProbe*>(data)->decide(tag == "xrdMeasurements");
}

void XMLCALL probe_text(void* data, const XML_Char* s, int length) {
  std::string_view chunk(s, static_cast<std::size_t>(length));
  if (chunk.find_first_not_of(" \t\r\n") != std::string_view::npos) {
    static_cast<RootProbe*>(data)->decide(false);
  }
}

void XMLCALL probe_cdata(void* data) { static_cast<RootProbe*>(data)->decide(false); }

void XMLCALL probe_end(void* data, const XML_Char*) {
  static_cast<RootProbe*>(data)->decide(false);
}

}  // namespace

Status one_pattern(std::uint64_t index) {
  if (index != 0) return Error::parse("this format has one pattern; index must be 0");
  return {};
}

bool has_xrdml_root(std::string_view text) {
  std::string_view left = text::trim_left(text);
  if (left.empty() || left.front() != '<') return false;
  text = xml::skip_blank_prolog(text);
  if (text.empty() || text.front() != '<') return false;
  xml::ParserLease lease;
  XML_Parser parser = lease.get();
  if (parser == nullptr) return false;
  RootProbe probe{parser};
  XML_SetUserData(parser, &probe);
  XML_SetElementHandler(parser, probe_start, probe_end);
  XML_SetCharacterDataHandler(parser, probe_text);
  XML_SetStartCdataSectionHandler(parser, probe_cdata);
  // Fed in slices so that a huge document is read only up to its first element; comments are
  // passed over whatever they hold.
  constexpr std::size_t slice = 65536;
  xml::Feed feed(lease, text);
  for (std::size_t at = 0; !probe.decided; at += slice) {
    const bool last = text.size() - at <= slice;
    if (!feed.feed(last ? text.size() : at + slice, last) || last) break;
  }
  return probe.decided && probe.is_xrdml;
}

std::string lowercased_extension(std::string_view filename) {
  while (!filename.empty() && filename.back() == '/') filename.remove_suffix(1);
  std::size_t slash = filename.rfind('/');
  std::string_view component =
      slash == std::string_view::npos ? filename : filename.substr(slash + 1);
  if (component == "..") return {};
  std::size_t dot = component.rfind('.');
  if (dot == std::string_view::npos ||
      (dot == 0 && component.find('.', 1) == std::string_view::npos)) {
    return {};
  }
  return text::ascii_lower(component.substr(dot + 1));
}

Result<Detection> detect(Bytes data, std::string_view filename) {
  VORLEN_ASSIGN(const Detected detected, detect_input(data, filename));
  return detected.detection;
}

Result<Series> parse_detected(Format format, Bytes data, const ReadOptions& options) {
  return run_reader(format, data, nullptr, options);
}

Result<Series> parse(Bytes data, std::string_view filename, const ReadOptions& options) {
  VORLEN_ASSIGN(const Detected detected, detect_input(data, filename));
  const Text* const decoded = detected.text ? &*detected.text : nullptr;
  return run_reader(detected.detection.format, data, decoded, options);
}

std::string_view format_name(Format format) {
  switch (format) {
    case Format::BrukerRaw: return "bruker_raw";
    case Format::Uxd: return "uxd";
    case Format::Brml: return "brml";
    case Format::Xrdml: return "xrdml";
    case Format::Ras: return "ras";
    case Format::Rasx: return "rasx";
    case Format::Chi: return "chi";
    case Format::Gsas: return "gsas";
    case Format::Pdcif: return "pdcif";
    case Format::Xy: return "xy";
  }
  return {};
}

std::string_view rule_name(DetectedBy rule) {
  switch (rule) {
    case DetectedBy::Signature: return "signature";
    case DetectedBy::ArchiveMember: return "archive member";
    case DetectedBy::XmlRoot: return "xml root";
    case DetectedBy::TextMarker: return "text marker";
    case DetectedBy::Layout: return "layout";
    case DetectedBy::Extension: return "extension";
    case DetectedBy::Default: return "default";
  }
  return {};
}

}  // namespace vorlen
