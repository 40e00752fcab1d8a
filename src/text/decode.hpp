// Turning input bytes into UTF-8 text.
#pragma once

#include <string>
#include <string_view>

#include "pattern/pattern.hpp"

namespace vorlen {

// Decoded text: a view of the caller's bytes when they are valid UTF-8 (no copy), otherwise a
// text of its own. Always valid UTF-8. Moving it keeps the view valid.
class Text {
 public:
  static Text borrowed(std::string_view view) { return Text(view); }
  static Text owned(std::string text) { return Text(std::move(text)); }

  Text(Text&& other) noexcept { *this = std::move(other); }
  Text& operator=(Text&& other) noexcept {
    is_owned_ = other.is_owned_;
    if (is_owned_) owned_ = std::move(other.owned_);
    view_ = other.view_;
    return *this;
  }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  std::string_view view() const { return is_owned_ ? std::string_view(owned_) : view_; }
  bool is_borrowed() const { return !is_owned_; }

 private:
  explicit Text(std::string_view view) : is_owned_(false), view_(view) {}
  explicit Text(std::string text) : is_owned_(true), owned_(std::move(text)) {}
  bool is_owned_ = false;
  std::string owned_;
  std::string_view view_;
};

// UTF-16 with a byte-order mark (strict), otherwise UTF-8 with an optional mark and one U+FFFD
// per maximal invalid subpart. Fails only on UTF-16 input.
Result<Text> decode(Bytes bytes);

}  // namespace vorlen
