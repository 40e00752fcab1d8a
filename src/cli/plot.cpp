#include "cli/plot.hpp"

#include <string>
#include <vector>

#include "cli/files.hpp"
#include "cli/input.hpp"
#include "cli/scans.hpp"
#include "cli/status.hpp"
#include "cli/svg.hpp"

namespace vorlen::cli {

int run_plot(const Invocation& inv) {
  // Every pattern is kept until the picture is drawn: the axes span them all.
  std::vector<std::pair<std::string_view, Scan>> scans;
  bool all_read = true;
  for (const std::string_view arg : inv.files) {
    const Input input = input_for(arg, inv);
    auto bytes = load(input);
    auto selected = bytes ? select_scans(bytes->bytes(), input.hint, inv)
                          : Result<std::vector<Scan>>(bytes.error());
    if (!selected) {
      report(input.label, selected.error().display());
      all_read = false;
      continue;
    }
    for (Scan& scan : *selected) scans.emplace_back(input.label, std::move(scan));
  }
  if (scans.empty()) {
    report(inv.target, "not written: no pattern could be read");
    return exit_failed;
  }
  std::vector<Curve> curves;
  for (const auto& [label, scan] : scans)
    curves.push_back({std::string(label) + ", " + scan.caption, &scan.pattern});
  const auto placed = place_file(std::string(inv.target), draw_svg(curves, inv.log), inv.force);
  if (!placed) {
    report(inv.target, "cannot write: " + placed.error().detail());
    return exit_failed;
  }
  if (*placed == Placed::Exists) {
    report(inv.target, "exists, not replaced (--force replaces it)");
    return exit_failed;
  }
  return all_read ? exit_ok : exit_failed;
}

}  // namespace vorlen::cli
