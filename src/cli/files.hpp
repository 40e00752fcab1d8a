// Writing what the program produces: standard output through a buffer that remembers failures,
// and output files that are either complete or absent.
#pragma once

#include <string>
#include <string_view>

#include "pattern/error.hpp"

namespace vorlen::cli {

// Writes all of `data` to `fd`; 0, or the errno of the failure.
int write_all(int fd, std::string_view data);

// Buffered writes to a descriptor that remember the first failure (a full disk, a closed
// pipe), so the program can report it instead of claiming success.
class Writer {
 public:
  explicit Writer(int fd) : fd_(fd) {}
  // Append here, then call spill() now and then to bound the buffer.
  std::string& buffer() { return buffer_; }
  void spill() {
    if (buffer_.size() >= spill_size) flush();
  }
  void put(std::string_view text) {
    buffer_ += text;
    spill();
  }
  // 0 when everything was written, otherwise the errno of the first failure.
  int finish() {
    flush();
    return error_;
  }

 private:
  static constexpr std::size_t spill_size = 1 << 16;
  void flush();
  int fd_;
  std::string buffer_;
  int error_ = 0;
};

// Creates `folder` when it is missing (not its parents) and shows that a file can be created in
// it; the error says why not.
Status check_writable_folder(const std::string& folder);

enum class Placed { Written, Exists };

bool exists(const std::string& path);

// Writes `content` to a new unnamed file in the folder of `path` (or, where the file system has
// none, a hidden temporary file beside it) and only then gives it its name, so `path` never
// holds a partial file and an interrupted program leaves nothing behind. An existing `path` is
// replaced only when `overwrite`, otherwise left alone and reported as Exists (the rename itself
// refuses to replace, so a file that appears meanwhile is safe too).
Result<Placed> place_file(const std::string& path, std::string_view content, bool overwrite);

}  // namespace vorlen::cli
