// The vorlen command: prints one pattern, checks or describes files, converts them to text
// or draws them. Exit status: 0 success, 1 a file failed, 2 bad usage.

#include <unistd.h>
#include <string>
#include <vector>

#include "cli/convert.hpp"
#include "cli/files.hpp"
#include "cli/format.hpp"
#include "cli/help.hpp"
#include "cli/info.hpp"
#include "cli/input.hpp"
#include "cli/options.hpp"
#include "cli/plot.hpp"
#include "cli/status.hpp"
#include "vorlen/vorlen.hpp"

namespace vorlen::cli {

namespace {

Result<Pattern> read_input(const Input& input, const ReadOptions& options) {
  VORLEN_ASSIGN(FileBytes bytes, load(input));
  return read_bytes_with_options(bytes.bytes(), input.hint, options);
}

int run_print(const Invocation& inv) {
  const Input input = input_for(inv.files.front(), inv);
  const auto pattern = read_input(input, inv.read);
  if (!pattern) {
    report(input.label, pattern.error().display());
    return exit_failed;
  }
  Writer out(STDOUT_FILENO);
  append_header(out.buffer(), inv.layout);
  for (std::size_t i = 0; i < pattern->x().size(); ++i) {
    append_row(out.buffer(), inv.layout, pattern->x()[i], pattern->y()[i]);
    out.spill();
  }
  return finish_output(out, exit_ok);
}

// "FILE: ok N points, 2theta FIRST to LAST" or "FILE: error MESSAGE".
bool check_input(const Input& input, const ReadOptions& options, std::string& out) {
  const auto pattern = read_input(input, options);
  out += input.label;
  if (!pattern) {
    out += ": error " + pattern.error().display() + "\n";
    return false;
  }
  const std::size_t points = pattern->x().size();
  out += ": ok ";
  append_count(out, points);
  out += points == 1 ? " point, 2theta " : " points, 2theta ";
  append_number(out, pattern->x().front());
  out += " to ";
  append_number(out, pattern->x().back());
  out += '\n';
  return true;
}

int run_check(const Invocation& inv) {
  Writer out(STDOUT_FILENO);
  bool all_ok = true;
  for (const std::string_view arg : inv.files) {
    all_ok = check_input(input_for(arg, inv), inv.read, out.buffer()) && all_ok;
    out.spill();
  }
  return finish_output(out, all_ok ? exit_ok : exit_failed);
}

int run_text(std::string_view text) {
  Writer out(STDOUT_FILENO);
  out.put(text);
  return finish_output(out, exit_ok);
}

int run(const Invocation& inv) {
  switch (inv.mode) {
    case Mode::Help: return run_text(std::string(usage_text) + "\n" + std::string(help_text));
    case Mode::Version: return run_text(VORLEN_VERSION "\n");
    case Mode::Check: return run_check(inv);
    case Mode::Info: return run_info(inv);
    case Mode::Convert: return run_convert(inv);
    case Mode::Plot: return run_plot(inv);
    case Mode::Print: break;
  }
  return run_print(inv);
}

}  // namespace

}  // namespace vorlen::cli

int main(int argc, char** argv) {
  using namespace vorlen::cli;
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  auto parsed = parse_options(args);
  if (const UsageError* error = std::get_if<UsageError>(&parsed)) {
    write_all(STDERR_FILENO, "vorlen: " + error->message + "\n" + std::string(usage_text));
    return exit_usage;
  }
  return run(std::get<Invocation>(parsed));
}
