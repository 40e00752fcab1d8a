// The one failure type of the library and the Result that carries a value or an Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace vorlen {

enum class ErrorKind { Io, Zip, Parse, UnknownFormat, FileNotFoundInArchive };

class Error {
 public:
  // An operating-system failure, described as "<system text> (os error N)".
  static Error io_errno(int errnum);
  // An I/O failure that has no error number (e.g. a path the OS cannot be given).
  static Error io(std::string text);
  static Error zip(std::string text);
  static Error parse(std::string message);
  static Error unknown_format();
  static Error file_not_found_in_archive(std::string member_name);

  ErrorKind kind() const { return kind_; }
  // The payload as stored: the I/O text, the ZIP text, the Parse message or the member name.
  const std::string& detail() const { return detail_; }
  // The display text: "IO error: ...", "Zip error: ...", "Parse error: ...", "Unknown format",
  // "File not found in archive: ...".
  std::string display() const;

 private:
  Error(ErrorKind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}
  ErrorKind kind_;
  std::string detail_;
};

// Holds either a T or an Error: test it with ok() (or as a bool), then take value() or error().
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const& { return std::get<1>(v_); }
  Error&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

// Success without a value, or an Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Error& error() const& { return *error_; }
  Error&& error() && { return std::move(*error_); }

 private:
  std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace vorlen
