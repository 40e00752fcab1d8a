// The BRML and RASX readers behind a sound archive: the input, split at NUL bytes, gives the
// members of a stored ZIP built here with correct checksums, so mutations reach the readers'
// XML and profile handling instead of ending at a CRC error. The first byte picks the layout
// (BRML or RASX member names) and the scan index.
#include <zlib.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vorlen/vorlen.hpp"

namespace {

constexpr std::array<std::string_view, 4> brml_names = {"Experiment0/DataContainer.xml",
                                                        "Experiment0/RawData0.xml",
                                                        "Experiment0/RawData1.xml", "RawData0.xml"};
constexpr std::array<std::string_view, 4> rasx_names = {
    "root.xml", "Data0/Profile0.txt", "Data0/MesurementConditions0.xml", "Data1/Profile1.txt"};

void put16(std::vector<unsigned char>& out, std::uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<unsigned char>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

struct Member {
  std::string_view name;
  std::string_view content;
};

// Stored members, then the central directory and its end record.
std::vector<unsigned char> stored_zip(const std::vector<Member>& members) {
  std::vector<unsigned char> out, central;
  for (const Member& m : members) {
    const auto* bytes = reinterpret_cast<const Bytef*>(m.content.data());
    const auto crc =
        static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(m.content.size())));
    const auto size = static_cast<std::uint32_t>(m.content.size());
    const auto offset = static_cast<std::uint32_t>(out.size());
    put32(out, 0x04034B50);
    for (std::uint32_t v : {20u, 0u, 0u, 0u, 0x21u}) put16(out, v);
    for (std::uint32_t v : {crc, size, size}) put32(out, v);
    put16(out, static_cast<std::uint32_t>(m.name.size()));
    put16(out, 0);
    out.insert(out.end(), m.name.begin(), m.name.end());
    out.insert(out.end(), m.content.begin(), m.content.end());

    put32(central, 0x02014B50);
    for (std::uint32_t v : {20u, 20u, 0u, 0u, 0u, 0x21u}) put16(central, v);
    for (std::uint32_t v : {crc, size, size}) put32(central, v);
    for (std::uint32_t v : {static_cast<std::uint32_t>(m.name.size()), 0u, 0u, 0u, 0u})
      put16(central, v);
    put32(central, 0);
    put32(central, offset);
    central.insert(central.end(), m.name.begin(), m.name.end());
  }
  const auto central_offset = static_cast<std::uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  put32(out, 0x06054B50);
  for (std::uint32_t v : {0u, 0u, static_cast<std::uint32_t>(members.size()),
                          static_cast<std::uint32_t>(members.size())})
    put16(out, v);
  put32(out, static_cast<std::uint32_t>(central.size()));
  put32(out, central_offset);
  put16(out, 0);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool brml = (data[0] & 1) == 0;
  const auto& names = brml ? brml_names : rasx_names;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<Member> members;
  while (members.size() < names.size()) {
    const std::size_t nul = rest.find('\0');
    members.push_back({names[members.size()], rest.substr(0, nul)});
    if (nul == std::string_view::npos) break;
    rest.remove_prefix(nul + 1);
  }
  vorlen::ReadOptions options;
  options.index = (data[0] >> 1) % 3;
  (void)vorlen::read_bytes_with_options(stored_zip(members), brml ? "scan.brml" : "scan.rasx",
                                        options);
  return 0;
}
