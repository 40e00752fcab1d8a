#include "read/file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>

namespace vorlen {

namespace {

struct FdCloser {
  void operator()(const int* fd) const { ::close(*fd); }
};

}  // namespace

// The buffer is sized from the handle when it is a regular file (so one read fills it) and is
// not zero-filled first, since read() overwrites it; a file whose size the system does not
// report (a pipe, /proc) is read until its end, doubling the buffer.
Result<FileBytes> read_descriptor(int fd) {
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

Result<FileBytes> read_file(std::string_view path) {
  // A NUL would silently cut the path short at the system call.
  if (path.find('\0') != std::string_view::npos) return Error::io("path contains a NUL byte");
  int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error::io_errno(errno);
  std::unique_ptr<const int, FdCloser> closer(&fd);
  return read_descriptor(fd);
}

}  // namespace vorlen
