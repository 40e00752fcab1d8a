#include "pattern/error.hpp"

#include <system_error>

namespace vorlen {

Error Error::io_errno(int errnum) {
  return Error(ErrorKind::Io, std::system_category().message(errnum) + " (os error " +
                                  std::to_string(errnum) + ")");
}

Error Error::io(std::string text) { return Error(ErrorKind::Io, std::move(text)); }
Error Error::zip(std::string text) { return Error(ErrorKind::Zip, std::move(text)); }
Error Error::parse(std::string message) { return Error(ErrorKind::Parse, std::move(message)); }
Error Error::unknown_format() { return Error(ErrorKind::UnknownFormat, {}); }
Error Error::file_not_found_in_archive(std::string member_name) {
  return Error(ErrorKind::FileNotFoundInArchive, std::move(member_name));
}

std::string Error::display() const {
  switch (kind_) {
    case ErrorKind::Io: return "IO error: " + detail_;
    case ErrorKind::Zip: return "Zip error: " + detail_;
    case ErrorKind::Parse: return "Parse error: " + detail_;
    case ErrorKind::UnknownFormat: return "Unknown format";
    case ErrorKind::FileNotFoundInArchive: return "File not found in archive: " + detail_;
  }
  return detail_;
}

}  // namespace vorlen
