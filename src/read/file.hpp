// A file's whole content in one buffer: what the library reads from a path and what the
// command line reads from a path or from its standard input.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "vorlen/error.hpp"
#include "vorlen/pattern.hpp"

namespace vorlen {

struct FileBytes {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;

  Bytes bytes() const { return {data.get(), size}; }
};

// Opens `path` and reads it to its end.
Result<FileBytes> read_file(std::string_view path);

// Reads an open descriptor (a file, a pipe, a terminal) to its end; the caller keeps it open.
Result<FileBytes> read_descriptor(int fd);

}  // namespace vorlen
