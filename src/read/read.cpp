// The library's entry points: the input's bytes to the dispatcher, its result put in
// ascending order and validated.
#include "vorlen/vorlen.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "parser/parse.hpp"
#include "read/oriented.hpp"

namespace vorlen {

namespace {

bool strictly_decreasing(const std::vector<double>& values) {
  return std::adjacent_find(values.begin(), values.end(),
                            [](double a, double b) { return !(a > b); }) == values.end();
}

// Data stored from high to low angle is returned ascending; x and y are reversed
// independently, so a reader's length mismatch is still left for validation to report.
void orient(Series& series) {
  if (series.x.size() >= 2 && strictly_decreasing(series.x)) {
    std::reverse(series.x.begin(), series.x.end());
    std::reverse(series.y.begin(), series.y.end());
  }
}

Result<Pattern> finish(Bytes data, std::string_view hint, const ReadOptions& options) {
  VORLEN_ASSIGN(Series series, parse(data, hint, options));
  return oriented_pattern(std::move(series));
}

struct FdCloser {
  void operator()(const int* fd) const { ::close(*fd); }
};

// The file's bytes; the buffer is not zero-filled first, since read() overwrites it.
struct FileBytes {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
};

// The whole file in one buffer, sized from the open handle and read straight into it; a file
// whose size the system does not report (a pipe, /proc) is read until its end.
Result<FileBytes> read_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error::io_errno(errno);
  std::unique_ptr<const int, FdCloser> closer(&fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Error::io_errno(errno);
  std::size_t capacity = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : 65536;
  FileBytes bytes{std::make_unique_for_overwrite<unsigned char[]>(capacity), 0};
  for (;;) {
    if (bytes.size == capacity) {
      auto larger = std::make_unique_for_overwrite<unsigned char[]>(capacity * 2);
      std::memcpy(larger.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(larger);
      capacity *= 2;
    }
    ssize_t got = ::read(fd, bytes.data.get() + bytes.size, capacity - bytes.size);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Error::io_errno(errno);
    }
    if (got == 0) break;
    bytes.size += static_cast<std::size_t>(got);
  }
  return bytes;
}

}  // namespace

Result<Pattern> oriented_pattern(Series series) {
  orient(series);
  return Pattern::create(std::move(series.x), std::move(series.y));
}

Result<Pattern> read_with_options(std::string_view path, const ReadOptions& options) {
  // A NUL would silently cut the path short at the system call.
  if (path.find('\0') != std::string_view::npos) {
    return Error::io("path contains a NUL byte");
  }
  VORLEN_ASSIGN(FileBytes bytes, read_file(std::string(path)));
  return finish(Bytes(bytes.data.get(), bytes.size), path, options);
}

Result<Pattern> read_bytes_with_options(Bytes data, std::string_view filename,
                                        const ReadOptions& options) {
  return finish(data, filename, options);
}

}  // namespace vorlen
