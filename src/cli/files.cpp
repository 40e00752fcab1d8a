#include "cli/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>

#include <cstring>

#include "cli/status.hpp"

namespace vorlen::cli {

namespace {

// A name for the temporary file, unique among this process's and hidden in listings.
std::string temporary_beside(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned long> counter{0};
  static const std::string pid = std::to_string(::getpid());
  const auto slash = path.rfind('/');
  const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name_at) + "." + path.substr(name_at) + ".tmp" + pid + "-" +
         std::to_string(counter++) + "-" + std::to_string(attempt);
}

struct Temporary {
  std::string path;
  int fd;
};

// A new empty file in the folder of `path`, created here and nowhere else (O_EXCL), with the
// permissions the umask allows.
Result<Temporary> create_temporary_beside(const std::string& path) {
  for (unsigned attempt = 0;; ++attempt) {
    std::string temporary = temporary_beside(path, attempt);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return Temporary{std::move(temporary), fd};
    // Another process's leftover of the same name: try the next; anything else is final.
    if (errno != EEXIST || attempt == 100) return Error::io_errno(errno);
  }
}

// Moves `from` to `to` unless `to` exists; EEXIST when it does.
int rename_without_replacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the no-replace rename: link() fails on an existing name as well.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

// The folder part of `path`, "." for a bare name.
std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Gives the open unnamed file `fd` the name `to`; EEXIST when `to` exists.
int link_unnamed(int fd, const std::string& to) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return errno;
  // No /proc: naming the descriptor itself needs a capability we may lack.
  return ::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Writes `content` to an unnamed file in the folder of `path` (O_TMPFILE) and only then gives
// it its name: a program stopped part way (Ctrl-C) leaves nothing behind, not even a hidden
// temporary file. Nothing when the file system cannot do this; the caller then uses a named
// temporary file.
std::optional<Result<Placed>> place_unnamed(const std::string& path, std::string_view content,
                                            bool overwrite) {
  const int fd = ::open(folder_of(path).c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  int error = write_all(fd, content);
  if (error == 0) {
    if (overwrite) {
      // A name can only be linked where none is, so the file gets a hidden one first and is
      // then renamed over `path`.
      std::string temporary;
      for (unsigned attempt = 0; attempt <= 100; ++attempt) {
        temporary = temporary_beside(path, attempt);
        error = link_unnamed(fd, temporary);
        if (error != EEXIST) break;
      }
      if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
      }
    } else {
      error = link_unnamed(fd, path);
    }
  }
  if (error == EEXIST && !overwrite) {
    ::close(fd);
    return Result<Placed>(Placed::Exists);
  }
  if (error != 0) {
    ::close(fd);
    // Could not be named here (no /proc and no capability): the named way still works.
    if (error == EPERM || error == ENOENT || error == EOPNOTSUPP) return std::nullopt;
    return Result<Placed>(Error::io_errno(error));
  }
  if (::close(fd) != 0) {
    error = errno;
    ::unlink(path.c_str());  // ours, just placed, and maybe incomplete
    return Result<Placed>(Error::io_errno(error));
  }
  return Result<Placed>(Placed::Written);
}

// The same with a named temporary file beside `path`, renamed into place.
Result<Placed> place_named(const std::string& path, std::string_view content, bool overwrite) {
  VORLEN_ASSIGN(Temporary created, create_temporary_beside(path));
  const std::string& temporary = created.path;
  const int fd = created.fd;
  int error = write_all(fd, content);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0)
    error = overwrite ? (::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno)
                      : rename_without_replacing(temporary, path);
  if (error == 0) return Placed::Written;
  ::unlink(temporary.c_str());
  if (error == EEXIST) return Placed::Exists;
  return Error::io_errno(error);
}

}  // namespace

int write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

void Writer::flush() {
  const int error = write_all(fd_, buffer_);
  if (error_ == 0) error_ = error;
  buffer_.clear();
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

Status check_writable_folder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return Error::io_errno(errno);
  VORLEN_ASSIGN(Temporary probe, create_temporary_beside(folder + "/probe"));
  ::close(probe.fd);
  ::unlink(probe.path.c_str());
  return {};
}

Result<Placed> place_file(const std::string& path, std::string_view content, bool overwrite) {
  if (auto placed = place_unnamed(path, content, overwrite)) return *placed;
  return place_named(path, content, overwrite);
}

int finish_output(Writer& out, int status) {
  const int error = out.finish();
  if (error == 0) return status;
  const std::string line =
      std::string("vorlen: cannot write to standard output: ") + std::strerror(error) + "\n";
  write_all(STDERR_FILENO, line);
  return exit_failed;
}

}  // namespace vorlen::cli
