// The library's entry points: the input's bytes to the dispatcher, its result put in
// ascending order and validated.
#include "vorlen/vorlen.hpp"

#include <algorithm>

#include "parser/parse.hpp"
#include "read/file.hpp"
#include "read/oriented.hpp"

namespace vorlen {

namespace {

bool strictly_decreasing(const std::vector<double>& values) {
  return std::adjacent_find(values.begin(), values.end(),
                            [](double a, double b) { return !(a > b); }) == values.end();
}

// Data stored from high to low angle is returned ascending; x and y are reversed
// independently, so a reader's length mismatch is still left for validation to report.
void orient(Series& series) {
  if (series.x.size() >= 2 && strictly_decreasing(series.x)) {
    std::reverse(series.x.begin(), series.x.end());
    std::reverse(series.y.begin(), series.y.end());
  }
}

Result<Pattern> finish(Bytes data, std::string_view hint, const ReadOptions& options) {
  VORLEN_ASSIGN(Series series, parse(data, hint, options));
  return oriented_pattern(std::move(series));
}

}  // namespace

Result<Pattern> oriented_pattern(Series series) {
  orient(series);
  return Pattern::create(std::move(series.x), std::move(series.y));
}

Result<Pattern> read_with_options(std::string_view path, const ReadOptions& options) {
  VORLEN_ASSIGN(FileBytes bytes, read_file(path));
  return finish(bytes.bytes(), path, options);
}

Result<Pattern> read_bytes_with_options(Bytes data, std::string_view filename,
                                        const ReadOptions& options) {
  return finish(data, filename, options);
}

}  // namespace vorlen
