#include "cli/input.hpp"

#include <unistd.h>

#include "cli/files.hpp"

namespace vorlen::cli {

namespace {

constexpr std::string_view standard_input = "-";

}  // namespace

Input input_for(std::string_view arg, const Invocation& inv) {
  if (arg != standard_input) return {arg, arg, arg};
  const std::string_view name = inv.name.value_or("");
  return {arg, name, inv.name ? name : standard_input};
}

Result<FileBytes> load(const Input& input) {
  if (input.arg == standard_input) return read_descriptor(STDIN_FILENO);
  return read_file(input.arg);
}

std::string_view stem_of(std::string_view name) {
  const auto slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const auto dot = name.rfind('.');
  // A leading dot marks a hidden file, not an extension.
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return name;
}

void report(std::string_view label, std::string_view text) {
  std::string line = "vorlen: ";
  line += label;
  line += ": ";
  line += text;
  line += '\n';
  write_all(STDERR_FILENO, line);
}

}  // namespace vorlen::cli
