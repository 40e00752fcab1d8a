// GSAS raw powder files: free lines, then banks, each a BANK header line followed by its data
// records. One bank is read, chosen by its position among the BANK lines. Only constant-step
// banks (CONS/CONST) of STD, ESD or FXYE records give a 2theta axis; angles are stored in
// centidegrees and returned in degrees.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/spares.hpp"
#include "text/ascii.hpp"
#include "text/decode.hpp"
#include "text/lines.hpp"
#include "text/number.hpp"
#include "text/rows.hpp"
#include "text/tokens.hpp"

namespace vorlen {
namespace {

using text::number;
using text::Tokens;
using text::trim;

enum class Records { Std, Esd, Fxye };

struct BankHeader {
  std::uint64_t channels = 0;
  double start = 0;  // centidegrees
  double step = 0;   // centidegrees
  Records records = Records::Std;
};

struct Bank {
  std::string_view header;
  std::string_view body;  // everything after the header line, up to the end of the text
};

// Fixed records are 8-byte fields; an STD field is a 2-character counter number then a
// 6-character value.
constexpr std::size_t kFieldWidth = 8;
constexpr std::size_t kCounterWidth = 2;
// Trailing zeros beyond the channel count that fill up a bank's last record.
constexpr std::size_t kMaxSurplus = 9;

Error fail(std::string_view what) { return Error::parse("GSAS: " + std::string(what)); }

std::string_view records_name(Records records) {
  switch (records) {
    case Records::Std: return "STD";
    case Records::Esd: return "ESD";
    case Records::Fxye: return "FXYE";
  }
  return {};
}

Error records_error(Records records, std::string_view what) {
  return Error::parse("GSAS " + std::string(records_name(records)) + ": " + std::string(what));
}

// The first token is "BANK".
bool is_bank_header(std::string_view line) { return text::starts_with_word(line, "BANK"); }

// The next bank after the lines already taken; false at the end of the text.
bool next_bank(text::Lines& lines, Bank& bank) {
  std::string_view line;
  while (lines.next(line)) {
    if (!is_bank_header(line)) continue;
    bank = Bank{line, lines.rest()};
    return true;
  }
  return false;
}

Result<Bank> find_bank(std::string_view text, std::uint64_t index) {
  text::Lines lines(text);
  Bank bank;
  std::uint64_t count = 0;
  while (next_bank(lines, bank)) {
    if (count == index) return bank;
    ++count;
  }
  return fail("bank index " + std::to_string(index) + " is out of range (" + std::to_string(count) +
              " banks)");
}

// The record type follows the header's numeric coefficients; a comment ends the header, and
// a header without a type word holds STD records.
Result<Records> record_type(std::string_view tail) {
  Tokens tokens(tail);
  std::string_view token;
  while (tokens.next(token)) {
    if (token.front() == '!' || token.front() == '#') break;
    if (text::is_ascii_letter(token.front())) {
      const std::string type = text::ascii_upper(token);
      if (type == "STD") return Records::Std;
      if (type == "ESD") return Records::Esd;
      if (type == "FXYE") return Records::Fxye;
      return fail("unsupported record type " + type);
    }
    VORLEN_TRY(number(token));
  }
  return Records::Std;
}

// BANK, bank number, channel count, record count, binning, start, step, then coefficients and
// the record type.
Result<BankHeader> read_header(std::string_view line) {
  std::string_view tokens[7];
  const std::size_t count = text::take_tokens(line, tokens, 7);
  if (count < 5) return fail("incomplete BANK header");
  const std::string binning = text::ascii_upper(tokens[4]);
  if (binning != "CONS" && binning != "CONST") {
    return fail(binning + " binning does not provide a supported 2theta axis");
  }
  if (count < 7) return fail("CONS/CONST requires a start and step");
  BankHeader header;
  if (!text::parse_unsigned(tokens[2], header.channels)) return fail("invalid channel count");
  if (header.channels == 0) return fail("zero channels");
  VORLEN_ASSIGN(header.start, number(tokens[5]));
  VORLEN_ASSIGN(header.step, number(tokens[6]));
  const std::size_t tail_at =
      static_cast<std::size_t>(tokens[6].data() - line.data()) + tokens[6].size();
  VORLEN_ASSIGN(header.records, record_type(line.substr(tail_at)));
  return header;
}

// The data lines of one bank: the lines after its header up to the next header, without blank
// lines and comments. Lines are returned untrimmed, since fixed fields count from column 1.
class DataLines {
 public:
  explicit DataLines(std::string_view body) : lines_(body) {}

  bool next(std::string_view& line) {
    while (lines_.next(line)) {
      const std::string_view content = text::trim_left(line);
      if (is_bank_header(content)) {
        lines_ = text::Lines(std::string_view());
        return false;
      }
      if (content.empty() || content.front() == '!' || content.front() == '#') continue;
      return true;
    }
    return false;
  }

  // A plain record of N values at the front (text::plain_row, white space between them and
  // nothing after them), read in place: true, its values, and its line taken. Such a line is
  // never a header, a comment or blank.
  template <std::size_t N>
  bool take_plain(double (&values)[N]) {
    const std::string_view rest = lines_.rest();
    const char* const next = text::plain_row(rest.data(), rest.data() + rest.size(), values,
                                             text::Commas::Join, text::Rest::Blank);
    if (next == nullptr) return false;
    lines_.skip_to(next);
    return true;
  }

 private:
  text::Lines lines_;
};

// Free-form records: every white-space separated token is one value.
Status append_tokens(std::string_view line, std::vector<double>& values) {
  Tokens tokens(line);
  text::Token token;
  while (tokens.next(token)) {
    VORLEN_ASSIGN(const double value, number(token));
    values.push_back(value);
  }
  return {};
}

// The line without the fully blank 8-byte fields at its end, which pad a bank's last record.
std::string_view without_padding(std::string_view line) {
  while (!line.empty() && trim(line.substr(line.size() - kFieldWidth)).empty()) {
    line.remove_suffix(kFieldWidth);
  }
  return line;
}

// The counter number in front of an STD value: blank or an unsigned 8-bit integer.
bool is_counter(std::string_view counter) {
  std::uint64_t value = 0;
  return counter.empty() || (text::parse_unsigned(counter, value) && value <= 255);
}

// The intensity of one fixed STD field, or nothing when the field is not in fixed form.
std::optional<double> fixed_std_value(std::string_view field) {
  // Most counters are left blank: two spaces need no trimming.
  const std::string_view counter = field.substr(0, kCounterWidth);
  if (counter != "  " && !is_counter(trim(counter))) return std::nullopt;
  double plain = 0;
  if (text::padded_decimal(field.substr(kCounterWidth), plain)) return plain;
  const std::string_view value = trim(field.substr(kCounterWidth));
  if (value.empty()) return std::nullopt;
  return text::try_number(value);
}

// The fixed STD form: 8-byte fields of a counter number (the number of counters summed into
// the value, which weights it in refinement; it never repeats the value) and a 6-character
// intensity. Appends the intensities and returns true, or appends nothing and returns false
// when the line is not in that form.
bool try_append_std_fixed(std::string_view line, std::vector<double>& values) {
  if (line.size() < kFieldWidth || line.size() % kFieldWidth != 0 || !text::is_ascii(line))
    return false;
  line = without_padding(line);
  const std::size_t before = values.size();
  for (std::size_t at = 0; at < line.size(); at += kFieldWidth) {
    const std::optional<double> value = fixed_std_value(line.substr(at, kFieldWidth));
    if (!value) {
      values.resize(before);
      return false;
    }
    values.push_back(*value);
  }
  // A line of padding only has no record in it.
  return values.size() > before;
}

Status append_std_line(std::string_view line, std::vector<double>& values) {
  if (try_append_std_fixed(line, values)) return {};
  return append_tokens(line, values);
}

// ESD values cut at every 8 bytes (the last piece may be shorter), blank pieces skipped.
// Returns the first piece that is not a number, the values before it appended; nothing when
// every piece was read.
std::optional<std::string_view> append_esd_fields(std::string_view line,
                                                  std::vector<double>& values) {
  for (std::size_t at = 0; at < line.size(); at += kFieldWidth) {
    double plain = 0;
    if (text::padded_decimal(line.substr(at, kFieldWidth), plain)) {
      values.push_back(plain);
      continue;
    }
    const std::string_view field = trim(line.substr(at, kFieldWidth));
    if (field.empty()) continue;
    const std::optional<double> value = text::try_number(field);
    if (!value) return field;
    values.push_back(*value);
  }
  return std::nullopt;
}

// ESD records hold intensity/deviation pairs. A line of whole 8-byte fields (two at least) is
// fixed form; any other line is read in fixed fields when that gives whole pairs, otherwise
// token by token.
Status append_esd_line(std::string_view line, std::vector<double>& values) {
  if (!text::is_ascii(line)) return records_error(Records::Esd, "non-ASCII numeric record");
  if (line.size() >= 2 * kFieldWidth && line.size() % kFieldWidth == 0) {
    // The piece is not a number, so the number rule gives its message.
    if (const auto refused = append_esd_fields(line, values)) return number(*refused).error();
    return {};
  }
  const std::size_t before = values.size();
  if (!append_esd_fields(line, values) && (values.size() - before) % 2 == 0) return {};
  values.resize(before);
  VORLEN_TRY(append_tokens(line, values));
  if ((values.size() - before) % 2 != 0)
    return records_error(Records::Esd, "incomplete intensity/esd pair");
  return {};
}

// FXYE records: position in centidegrees, intensity, deviation; one point per line.
Result<Series> read_fxye(DataLines lines, std::uint64_t channels, std::size_t body_bytes) {
  static constexpr std::string_view kShortRecord[] = {"missing position", "missing intensity",
                                                      "missing third column"};
  Series series;
  // The shortest record, "1 2 3" and a line end, takes 6 bytes.
  const std::size_t rows = rows_to_reserve(channels, body_bytes, 6);
  series.x = values_for(rows);
  series.y = values_for(rows);
  std::string_view line;
  for (;;) {
    double record[3];
    if (lines.take_plain(record)) {
      series.x.push_back(record[0] / 100);
      series.y.push_back(record[1]);
      continue;
    }
    if (!lines.next(line)) break;
    text::Token tokens[4];
    const std::size_t count = text::take_tokens(line, tokens, 4);
    if (count < 3) return records_error(Records::Fxye, kShortRecord[count]);
    if (count > 3)
      return records_error(Records::Fxye, "each record must have exactly three columns");
    VORLEN_ASSIGN(const double position, number(tokens[0]));
    VORLEN_ASSIGN(const double intensity, number(tokens[1]));
    VORLEN_TRY(number(tokens[2]));
    series.x.push_back(position / 100);
    series.y.push_back(intensity);
  }
  if (series.x.size() < channels) {
    return records_error(Records::Fxye, "BANK declares " + std::to_string(channels) +
                                            " points but " + std::to_string(series.x.size()) +
                                            " were read");
  }
  return text::pattern(std::move(series.x), std::move(series.y), "GSAS");
}

// Checks the collected values against the channel count and turns them into the bank's points:
// intensity j is value j * stride, at j * step + start degrees.
Result<Series> channels_from_values(std::vector<double> values, const BankHeader& header,
                                    double start, double step) {
  const std::size_t stride = header.records == Records::Esd ? 2 : 1;
  const std::size_t count = values.size();
  if (count % stride != 0 || count / stride < header.channels) {
    return records_error(header.records, "data is shorter than the declared " +
                                             std::to_string(header.channels) + " channels");
  }
  const std::size_t channels = static_cast<std::size_t>(header.channels);
  const auto surplus = values.begin() + static_cast<std::ptrdiff_t>(channels * stride);
  if (count - channels * stride > kMaxSurplus ||
      !std::all_of(surplus, values.end(), [](double v) { return v == 0.0; })) {
    return records_error(header.records, "unexpected data beyond the declared channel count");
  }
  std::vector<double> x = values_for(channels);
  for (std::size_t j = 0; j < channels; ++j) {
    x.push_back(x_at(j, start, step));
    values[j] = values[j * stride];
  }
  values.resize(channels);
  return text::pattern(std::move(x), std::move(values), "GSAS");
}

Result<Series> read_values(DataLines lines, const BankHeader& header, std::size_t body_bytes) {
  const double step = header.step / 100;
  if (step == 0) return fail("step must be nonzero");
  const double start = header.start / 100;
  const bool esd = header.records == Records::Esd;
  // A free-form value takes 2 bytes at least: a digit and a separator.
  std::vector<double> values =
      values_for(rows_to_reserve(header.channels, body_bytes, 2) * (esd ? 2 : 1) + kMaxSurplus);
  std::string_view line;
  while (lines.next(line)) {
    VORLEN_TRY(esd ? append_esd_line(line, values) : append_std_line(line, values));
  }
  return channels_from_values(std::move(values), header, start, step);
}

Result<Series> read_bank(const Bank& bank) {
  VORLEN_ASSIGN(const BankHeader header, read_header(bank.header));
  const DataLines lines(bank.body);
  if (header.records == Records::Fxye) return read_fxye(lines, header.channels, bank.body.size());
  return read_values(lines, header, bank.body.size());
}

}  // namespace

Result<Series> parse_gsas(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const Text text, decode(data));
  return parse_gsas(text, index);
}

Result<Series> parse_gsas(const Text& text, std::uint64_t index) {
  VORLEN_ASSIGN(const Bank bank, find_bank(text.view(), index));
  return read_bank(bank);
}

Result<std::uint64_t> walk_gsas(Bytes data, const std::function<void(Result<Series>)>& visit) {
  VORLEN_ASSIGN(const Text text, decode(data));
  text::Lines lines(text.view());
  Bank bank;
  std::uint64_t banks = 0;
  while (next_bank(lines, bank)) {
    visit(read_bank(bank));
    ++banks;
  }
  return banks;
}

}  // namespace vorlen
