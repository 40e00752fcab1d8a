// ZIP archives written by hand for the archive readers' tests, so that each test states its
// members.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorlen::test {

using Members = std::vector<std::pair<std::string, std::string>>;

inline void put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}
inline void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

// A ZIP archive of stored members.
inline std::string zip(const Members& members) {
  std::string out;
  std::string directory;
  for (const auto& [name, content] : members) {
    const auto crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    const auto offset = static_cast<std::uint32_t>(out.size());
    const auto size = static_cast<std::uint32_t>(content.size());
    const auto name_size = static_cast<std::uint32_t>(name.size());
    put32(out, 0x04034b50);
    for (std::uint32_t v : {20u, 0u, 0u, 0u, 0u})
      put16(out, v);  // version, flags, method, time, date
    put32(out, crc);
    put32(out, size);
    put32(out, size);
    put16(out, name_size);
    put16(out, 0);
    out += name;
    out += content;
    put32(directory, 0x02014b50);
    for (std::uint32_t v : {20u, 20u, 0u, 0u, 0u, 0u}) put16(directory, v);
    put32(directory, crc);
    put32(directory, size);
    put32(directory, size);
    for (std::uint32_t v : {name_size, 0u, 0u, 0u, 0u}) put16(directory, v);
    put32(directory, 0);
    put32(directory, offset);
    directory += name;
  }
  const auto directory_offset = static_cast<std::uint32_t>(out.size());
  out += directory;
  put32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<std::uint32_t>(members.size()));
  put16(out, static_cast<std::uint32_t>(members.size()));
  put32(out, static_cast<std::uint32_t>(directory.size()));
  put32(out, directory_offset);
  put16(out, 0);
  return out;
}

}  // namespace vorlen::test
