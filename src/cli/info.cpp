#include "cli/info.hpp"

#include <unistd.h>
#include <algorithm>
#include <variant>

#include "cli/files.hpp"
#include "cli/format.hpp"
#include "cli/input.hpp"
#include "cli/status.hpp"
#include "vorlen/vorlen.hpp"

namespace vorlen::cli {

namespace {

using Value = std::variant<double, std::string_view>;

struct Entry {
  std::string_view key;
  Value value;
};

// The metadata a scan states, in a fixed order, under the names both outputs use.
std::vector<Entry> entries_of(const Metadata& m) {
  std::vector<Entry> entries;
  const auto number = [&](std::string_view key, const std::optional<double>& v) {
    if (v) entries.push_back({key, *v});
  };
  const auto text = [&](std::string_view key, const std::optional<std::string>& v) {
    if (v) entries.push_back({key, std::string_view(*v)});
  };
  for_each_field(m, number, text);
  return entries;
}

// JSON ------------------------------------------------------------------------------------

// The text of the exception the Python module raises for `error`: an OSError carries the
// system's text alone, a ValueError the whole display text.
std::string exception_text(const Error& error) {
  return error.kind() == ErrorKind::Io ? error.detail() : error.display();
}

void append_json_key(std::string& out, std::string_view key) {
  append_json_string(out, key);
  out += ": ";
}

void append_json_value(std::string& out, const Value& value) {
  if (const double* number = std::get_if<double>(&value)) {
    append_number(out, *number);
  } else {
    append_json_string(out, std::get<std::string_view>(value));
  }
}

void append_json_scan(std::string& out, const ScanInfo& scan) {
  out += '{';
  if (scan.block) {
    append_json_key(out, "block");
    append_json_string(out, *scan.block);
  } else {
    append_json_key(out, "index");
    append_count(out, scan.index);
  }
  if (scan.error) {
    out += ", ";
    append_json_key(out, "error");
    append_json_string(out, exception_text(*scan.error));
    out += '}';
    return;
  }
  out += ", ";
  append_json_key(out, "points");
  append_count(out, scan.points);
  out += ", ";
  append_json_key(out, "first");
  append_number(out, scan.first);
  out += ", ";
  append_json_key(out, "last");
  append_number(out, scan.last);
  if (scan.y_unit) {
    out += ", ";
    append_json_key(out, "y_unit");
    append_json_string(out, *scan.y_unit);
  }
  const auto entries = entries_of(scan.metadata);
  if (!entries.empty()) {
    out += ", ";
    append_json_key(out, "metadata");
    out += '{';
    for (const Entry& e : entries) {
      if (&e != &entries.front()) out += ", ";
      append_json_key(out, e.key);
      append_json_value(out, e.value);
    }
    out += '}';
  }
  out += '}';
}

void append_json(std::string& out, std::string_view label, const Result<Description>& described) {
  out += '{';
  append_json_key(out, "file");
  append_json_string(out, label);
  out += ", ";
  if (!described) {
    append_json_key(out, "error");
    append_json_string(out, exception_text(described.error()));
    out += "}\n";
    return;
  }
  append_json_key(out, "format");
  append_json_string(out, described->format);
  out += ", ";
  append_json_key(out, "detected_by");
  append_json_string(out, described->detected_by);
  out += ", ";
  append_json_key(out, "scans");
  out += '[';
  for (const ScanInfo& scan : described->scans) {
    if (&scan != &described->scans.front()) out += ", ";
    append_json_scan(out, scan);
  }
  out += "]}\n";
}

// Table -----------------------------------------------------------------------------------

// Rows of cells written with every column as wide as its widest cell; a shorter row than the
// first (a scan and its error) lets its last cell run on.
void append_table(std::string& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths(rows.front().size());
  for (const auto& row : rows) {
    if (row.size() != widths.size()) continue;
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line = "  ";
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line.append(widths[i] - row[i].size() + 2, ' ');
    }
    out += line;
    out += '\n';
  }
}

std::string number_text(double v) {
  std::string text;
  append_number(text, v);
  return text;
}

std::string metadata_text(const Metadata& metadata) {
  std::string text;
  for (const Entry& e : entries_of(metadata)) {
    if (!text.empty()) text += ", ";
    text += e.key;
    text += ' ';
    if (const double* number = std::get_if<double>(&e.value)) {
      append_number(text, *number);
    } else {
      text += one_line(std::get<std::string_view>(e.value));
    }
  }
  return text;
}

std::string scan_name(const ScanInfo& scan) {
  return scan.block ? one_line(*scan.block) : std::to_string(scan.index);
}

void append_text(std::string& out, std::string_view label, const Description& d) {
  out += label;
  out += ": " + d.format + ", recognised by " + d.detected_by + "\n";
  const bool blocks = std::any_of(d.scans.begin(), d.scans.end(),
                                  [](const ScanInfo& s) { return s.block.has_value(); });
  std::vector<std::vector<std::string>> rows = {
      {blocks ? "block" : "scan", "points", "first 2theta", "last 2theta", "y unit"}};
  for (const ScanInfo& scan : d.scans) {
    if (scan.error) {
      rows.push_back({scan_name(scan), scan.error->display()});
    } else {
      rows.push_back({scan_name(scan), std::to_string(scan.points), number_text(scan.first),
                      number_text(scan.last), scan.y_unit.value_or("")});
    }
  }
  append_table(out, rows);
  // Metadata every scan shares is shown once.
  std::vector<std::string> texts;
  for (const ScanInfo& scan : d.scans) texts.push_back(metadata_text(scan.metadata));
  const bool shared = std::all_of(texts.begin(), texts.end(),
                                  [&](const std::string& t) { return t == texts.front(); });
  for (std::size_t i = 0; i < d.scans.size(); ++i) {
    if (texts[i].empty() || (shared && i > 0)) continue;
    out += shared ? "  metadata: "
                  : "  " + std::string(blocks ? "block " : "scan ") + scan_name(d.scans[i]) + ": ";
    out += texts[i];
    out += '\n';
  }
}

}  // namespace

int run_info(const Invocation& inv) {
  Writer out(STDOUT_FILENO);
  bool all_described = true;
  for (const std::string_view arg : inv.files) {
    const Input input = input_for(arg, inv);
    Result<FileBytes> bytes = load(input);
    const Result<Description> described =
        bytes ? describe(bytes->bytes(), input.hint) : Result<Description>(bytes.error());
    all_described = all_described && described.ok();
    if (inv.json) {
      append_json(out.buffer(), input.label, described);
    } else if (described) {
      append_text(out.buffer(), input.label, *described);
    } else {
      out.finish();  // keeps the table and the message in order on a shared terminal
      report(input.label, described.error().display());
    }
    out.spill();
  }
  return finish_output(out, all_described ? exit_ok : exit_failed);
}

}  // namespace vorlen::cli
