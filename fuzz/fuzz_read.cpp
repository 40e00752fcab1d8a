// The whole pipeline: detection, every reader, orientation and validation. The first three
// bytes choose the file-name hint, the index and the block, so mutations reach every dispatch
// rule (extension fallbacks included) and every option a reader takes.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hints.hpp"
#include "vorlen/vorlen.hpp"

namespace {

constexpr std::array<std::uint64_t, 8> indices = {0,    1,           2,           3,
                                                  4096, 4294967295u, 4294967296u, UINT64_MAX};

constexpr std::array<std::string_view, 4> blocks = {"", "powder", "profile", "_"};

// A returned pattern must hold the promises of Pattern::create.
void check(const vorlen::Pattern& pattern) {
  const auto& x = pattern.x();
  const auto& y = pattern.y();
  if (x.empty() || x.size() != y.size()) std::abort();
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) std::abort();
    if (i > 0 && !(x[i - 1] < x[i])) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  vorlen::ReadOptions options;
  options.index = indices[data[1] % indices.size()];
  // Block selector 0 leaves the option absent; the others pick a text.
  if (data[2] % (blocks.size() + 1) != 0)
    options.block = std::string(blocks[data[2] % (blocks.size() + 1) - 1]);
  const std::string_view hint = fuzz::hints[data[0] % fuzz::hints.size()];
  const auto result = vorlen::read_bytes_with_options({data + 3, size - 3}, hint, options);
  if (result) check(*result);
  return 0;
}
