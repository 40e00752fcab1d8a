// The promise of describe, checked against read: every listed scan reads back with exactly its
// point count and 2theta range, or fails with exactly its error, and the index past the list
// fails. Shared by the unit tests and the describe fuzz target.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vorlen/vorlen.hpp"

namespace vorlen::check {

inline bool same_error(const Error& a, const Error& b) {
  return a.kind() == b.kind() && a.detail() == b.detail();
}

inline std::string scan_name(const ScanInfo& scan) {
  return "scan " + std::to_string(scan.index) + (scan.block ? " (block " + *scan.block + ")" : "");
}

// The first way in which describe and read disagree about the file, or nothing.
inline std::optional<std::string> disagreement(Bytes data, std::string_view name) {
  const Result<Description> description = describe(data, name);
  if (!description) {
    const Result<Pattern> read = read_bytes_with_options(data, name, ReadOptions{});
    if (read) return "describe fails with " + description.error().display() + " but read succeeds";
    if (!same_error(read.error(), description.error())) {
      return "describe fails with " + description.error().display() + ", read with " +
             read.error().display();
    }
    return std::nullopt;
  }
  const auto& scans = description->scans;
  if (scans.empty()) return "no scan listed";
  for (std::size_t i = 0; i < scans.size(); ++i) {
    const ScanInfo& scan = scans[i];
    if (scan.index != i) return scan_name(scan) + " listed at position " + std::to_string(i);
    ReadOptions options;
    if (scan.block)
      options.block = *scan.block;
    else
      options.index = scan.index;
    const Result<Pattern> read = read_bytes_with_options(data, name, options);
    if (scan.error) {
      if (read) return scan_name(scan) + " listed as " + scan.error->display() + " but reads";
      if (!same_error(read.error(), *scan.error)) {
        return scan_name(scan) + " listed as " + scan.error->display() + ", read gives " +
               read.error().display();
      }
      continue;
    }
    if (!read) return scan_name(scan) + " listed with points, read gives " + read.error().display();
    if (read->x().size() != scan.points || read->x().front() != scan.first ||
        read->x().back() != scan.last) {
      return scan_name(scan) + " listed with other points or range than read returns";
    }
  }
  ReadOptions past;
  past.index = scans.back().block ? 1 : scans.size();
  if (read_bytes_with_options(data, name, past)) return "the index past the list reads";
  return std::nullopt;
}

}  // namespace vorlen::check
