// The CIF tokenizer and block assembly, then column and number lookups on every block.
#include <cstdint>

#include "text/decode.hpp"
#include "text/cif.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto decoded = vorlen::decode({data, size});
  if (!decoded) return 0;
  auto tokens = vorlen::text::cif_tokens(decoded->view());
  if (!tokens) return 0;
  auto blocks = vorlen::text::cif_blocks(*tokens);
  if (!blocks) return 0;
  for (const auto& block : *blocks) {
    auto column = vorlen::text::cif_column(block, {"_pd_meas_counts_total", "_pd_meas_2theta_scan"});
    if (!column) continue;
    for (std::size_t row = 0; row < column->size(); ++row) (void)vorlen::text::cif_number((*column)[row]);
  }
  return 0;
}
