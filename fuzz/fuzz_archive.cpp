// ZIP archives held in memory: the central directory, member lookup and extraction under the
// size limit, CRC checks. Every listed member is extracted, then one name that is absent.
#include <cstdint>
#include "xml/archive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto archive = vorlen::xml::Archive::open({data, size});
  if (!archive) return 0;
  const auto& names = archive->names();
  for (std::size_t i = 0; i < names.size() && i < 16; ++i) (void)archive->member(names[i]);
  (void)archive->member("root.xml");
  return 0;
}
