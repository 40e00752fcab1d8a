// ZIP archives held in memory (libzip over the caller's bytes, no copy) and extraction of one
// member under the decompressed-size limit.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "pattern/error.hpp"
#include "pattern/pattern.hpp"
#include "xml/buffer.hpp"

struct zip;

namespace vorlen::xml {

// Decompressed members larger than this are refused (a few KB of deflate can claim gigabytes).
inline constexpr std::uint64_t member_size_limit = 268435456;  // 256 MiB

class Archive {
 public:
  // Opens the archive over `data`, which must outlive the handle. Fails with the Zip kind.
  static Result<Archive> open(Bytes data);

  // Entry names in central-directory order, as stored.
  const std::vector<std::string_view>& names() const { return names_; }

  // The decompressed content of the entry named exactly `name`: FileNotFoundInArchive when
  // absent, Zip for an entry that cannot be opened (encrypted, unsupported method), Io for
  // corrupt data or a CRC mismatch, Parse "archive pattern member exceeds 256 MiB".
  Result<Buffer> member(std::string_view name);

 private:
  struct Close {
    void operator()(zip* archive) const;
  };
  explicit Archive(zip* archive) : archive_(archive) {}
  std::unique_ptr<zip, Close> archive_;
  std::vector<std::string_view> names_;
};

}  // namespace vorlen::xml
