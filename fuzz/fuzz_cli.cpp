// The program's own text handling: the option parser on any argument list (the input split at
// NUL bytes) and the JSON and one-line forms of any byte string (a file name may hold any).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/format.hpp"
#include "cli/options.hpp"

namespace {

void check_json(std::string_view text) {
  std::string json;
  vorlen::cli::append_json_string(json, text);
  if (json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
  // Valid UTF-8 (cleaning it changes nothing) with no raw control character.
  if (vorlen::cli::valid_utf8(json) != json) std::abort();
  for (const char c : json) {
    if (static_cast<unsigned char>(c) < 0x20) std::abort();
  }
  if (vorlen::cli::one_line(text).find('\n') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> args;
  for (std::size_t at = 0; at <= input.size();) {
    const std::size_t end = std::min(input.find('\0', at), input.size());
    args.push_back(input.substr(at, end - at));
    at = end + 1;
  }
  const auto parsed = vorlen::cli::parse_options(args);
  if (const auto* inv = std::get_if<vorlen::cli::Invocation>(&parsed)) {
    // A parsed command line names files for every mode that reads them.
    if (inv->mode != vorlen::cli::Mode::Help && inv->mode != vorlen::cli::Mode::Version &&
        inv->files.empty()) {
      std::abort();
    }
  }
  check_json(input);
  return 0;
}
