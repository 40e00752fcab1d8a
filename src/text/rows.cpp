#include "text/rows.hpp"

#include <string>

namespace vorlen::text {

Result<std::pair<double, double>> detail::xy_row_any(std::string_view line,
                                                     std::string_view context) {
  Fields fields(line);
  Token first, second;
  if (!fields.next(first)) return Error::parse(std::string(context) + ": missing position");
  if (!fields.next(second)) return Error::parse(std::string(context) + ": missing intensity");
  VORLEN_ASSIGN(double x, number(first));
  VORLEN_ASSIGN(double y, number(second));
  return std::pair{x, y};
}

Result<Series> pattern(std::vector<double> x, std::vector<double> y, std::string_view context) {
  if (x.empty() || x.size() != y.size()) {
    return Error::parse(std::string(context) + ": no complete x/y pattern found");
  }
  return Series{std::move(x), std::move(y)};
}

}  // namespace vorlen::text
