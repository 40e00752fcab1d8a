// The CIF tokenizer and block assembly, then column and number lookups on every block.
#include <cstdint>

#include "text/cif.hpp"
#include "text/decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto decoded = vorlen::decode({data, size});
  if (!decoded) return 0;
  auto blocks = vorlen::text::cif_blocks(decoded->view());
  if (!blocks) return 0;
  for (const auto& block : *blocks) {
    auto column =
        vorlen::text::cif_column(block, {"_pd_meas_counts_total", "_pd_meas_2theta_scan"});
    if (!column) continue;
    column->each_loop_value([](std::size_t, std::string_view value) {
      (void)vorlen::text::cif_number(value);
      return true;
    });
  }
  return 0;
}
