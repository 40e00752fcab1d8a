// The Bruker RAW walk: the first byte picks the version signature (which the harness writes,
// so mutations spend their effort on headers, segments and records) and the range index.
#include <cstdint>
#include <cstring>
#include <vector>

#include "vorlen/vorlen.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const char* signature = data[0] & 1 ? "RAW4.00" : "RAW1.01";
  std::vector<unsigned char> file(signature, signature + 7);
  file.insert(file.end(), data + 1, data + size);
  vorlen::ReadOptions options;
  options.index = (data[0] >> 1) % 4;
  (void)vorlen::read_bytes_with_options(file, "scan.raw", options);
  return 0;
}
