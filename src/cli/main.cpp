// The vorlen command: prints one pattern as text, or checks a set of files.
//
//   vorlen [--index N] [--block TEXT] [--csv] FILE
//   vorlen --check [--index N] [--block TEXT] FILE...
//
// Exit status: 0 success, 1 a file could not be read (or output could not be written),
// 2 bad usage.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/error.hpp"
#include "vorlen/vorlen.hpp"
#include "text/rules.hpp"

namespace {

using vorlen::Error;
using vorlen::Pattern;
using vorlen::ReadOptions;
using vorlen::Result;
using vorlen::Status;

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

constexpr std::string_view usage_text =
    "usage: vorlen [--index N] [--block TEXT] [--csv] FILE\n"
    "       vorlen --check [--index N] [--block TEXT] FILE...\n"
    "       vorlen --help | --version\n";

constexpr std::string_view help_text =
    "Read one powder X-ray diffraction pattern and print it as 2theta (degrees) and intensity.\n"
    "\n"
    "Formats: Bruker RAW v3/v4, UXD, BRML, XRDML, RAS, RASX, CHI, GSAS, powder CIF, XY.\n"
    "\n"
    "Options:\n"
    "  --index N     which scan, range, bank or measurement to read (from 0; default 0)\n"
    "  --block TEXT  powder CIF: read only data blocks whose name contains TEXT\n"
    "  --csv         print a header line two_theta,intensity and comma-separated rows\n"
    "  --check       read every FILE and print one line per file: ok with the point count\n"
    "                and the 2theta range, or error with the reason; exit status 1 when\n"
    "                any file is unreadable\n"
    "  --help        print this help\n"
    "  --version     print the version\n"
    "\n"
    "Values are printed in the shortest form that reads back to the same double.\n"
    "Exit status: 0 success, 1 unreadable file, 2 bad usage.\n";

enum class Mode { Print, Check, Help, Version };

struct Invocation {
  Mode mode = Mode::Print;
  bool csv = false;
  ReadOptions options;
  std::vector<std::string_view> files;
};

// Usage mistakes travel as Parse errors whose message is shown after "vorlen: ".
Error usage_error(std::string message) { return Error::parse(std::move(message)); }

// An option value given as "--name VALUE" or "--name=VALUE".
Result<std::string_view> option_value(std::string_view name, std::string_view arg,
                                      const std::vector<std::string_view>& args,
                                      std::size_t& i) {
  if (arg.size() > name.size()) return arg.substr(name.size() + 1);
  if (i + 1 >= args.size()) return usage_error(std::string(name) + " needs a value");
  return args[++i];
}

// "--index" or "--index=..." but not "--indexes".
bool is_option(std::string_view arg, std::string_view name) {
  return arg.substr(0, name.size()) == name && (arg.size() == name.size() || arg[name.size()] == '=');
}

Status parse_index(std::string_view value, ReadOptions& options) {
  if (!vorlen::text::parse_unsigned(value, options.index))
    return usage_error("--index needs an unsigned integer, got " + vorlen::text::quoted(value));
  return {};
}

Result<Invocation> parse_arguments(const std::vector<std::string_view>& args) {
  Invocation inv;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      inv.files.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      inv.mode = Mode::Help;
      return inv;
    } else if (arg == "--version") {
      inv.mode = Mode::Version;
      return inv;
    } else if (arg == "--csv") {
      inv.csv = true;
    } else if (arg == "--check") {
      inv.mode = Mode::Check;
    } else if (is_option(arg, "--index")) {
      VORLEN_ASSIGN(std::string_view value, option_value("--index", arg, args, i));
      VORLEN_TRY(parse_index(value, inv.options));
    } else if (is_option(arg, "--block")) {
      VORLEN_ASSIGN(std::string_view value, option_value("--block", arg, args, i));
      inv.options.block = std::string(value);
    } else {
      return usage_error("unknown option " + std::string(arg));
    }
  }
  if (inv.mode == Mode::Check) {
    if (inv.csv) return usage_error("--csv cannot be combined with --check");
    if (inv.files.empty()) return usage_error("--check needs at least one FILE");
  } else if (inv.files.size() != 1) {
    return usage_error(inv.files.empty() ? "missing FILE" : "give exactly one FILE (or use --check)");
  }
  return inv;
}

// Buffered standard output that remembers whether any write failed.
class Output {
 public:
  void put(std::string_view s) {
    if (s.size() > sizeof(buffer_) - used_) flush();
    if (s.size() > sizeof(buffer_)) {
      write(s);
      return;
    }
    std::memcpy(buffer_ + used_, s.data(), s.size());
    used_ += s.size();
  }
  void put(char c) { put(std::string_view(&c, 1)); }
  // Shortest text that reads back to the same double.
  void put(double v) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof(text), v);
    put(std::string_view(text, static_cast<std::size_t>(end - text)));
  }
  void put(std::size_t n) {
    char text[24];
    const auto [end, ec] = std::to_chars(text, text + sizeof(text), n);
    put(std::string_view(text, static_cast<std::size_t>(end - text)));
  }
  // 0 when everything reached standard output, otherwise the errno of the first failure.
  int finish() {
    flush();
    if (std::fflush(stdout) != 0) fail();
    return error_;
  }

 private:
  void flush() {
    write(std::string_view(buffer_, used_));
    used_ = 0;
  }
  void write(std::string_view s) {
    if (!s.empty() && std::fwrite(s.data(), 1, s.size(), stdout) != s.size()) fail();
  }
  void fail() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  char buffer_[1 << 16];
  std::size_t used_ = 0;
  int error_ = 0;
};

void print_points(const Pattern& p, bool csv, Output& out) {
  const char separator = csv ? ',' : ' ';
  if (csv) out.put("two_theta,intensity\n");
  for (std::size_t i = 0; i < p.x().size(); ++i) {
    out.put(p.x()[i]);
    out.put(separator);
    out.put(p.y()[i]);
    out.put('\n');
  }
}

// "FILE: ok N points, 2theta FIRST to LAST" or "FILE: error MESSAGE".
bool check_file(std::string_view path, const ReadOptions& options, Output& out) {
  const auto result = vorlen::read_with_options(path, options);
  out.put(path);
  if (!result) {
    out.put(": error ");
    out.put(result.error().display());
    out.put('\n');
    return false;
  }
  const Pattern& p = *result;
  out.put(": ok ");
  out.put(p.x().size());
  out.put(p.x().size() == 1 ? " point, 2theta " : " points, 2theta ");
  out.put(p.x().front());
  out.put(" to ");
  out.put(p.x().back());
  out.put('\n');
  return true;
}

// Reports an output failure (a full disk, a closed pipe) instead of claiming success.
int finish(Output& out, int status) {
  const int error = out.finish();
  if (error == 0) return status;
  std::fprintf(stderr, "vorlen: cannot write to standard output: %s\n", std::strerror(error));
  return exit_failed;
}

int run_print(const Invocation& inv, Output& out) {
  const auto result = vorlen::read_with_options(inv.files.front(), inv.options);
  if (!result) {
    std::fprintf(stderr, "%s\n", result.error().display().c_str());
    return exit_failed;
  }
  print_points(*result, inv.csv, out);
  return finish(out, exit_ok);
}

int run_check(const Invocation& inv, Output& out) {
  bool all_ok = true;
  for (const std::string_view path : inv.files) all_ok = check_file(path, inv.options, out) && all_ok;
  return finish(out, all_ok ? exit_ok : exit_failed);
}

int run(const Invocation& inv, Output& out) {
  switch (inv.mode) {
    case Mode::Help:
      out.put(usage_text);
      out.put('\n');
      out.put(help_text);
      return finish(out, exit_ok);
    case Mode::Version:
      out.put(VORLEN_VERSION "\n");
      return finish(out, exit_ok);
    case Mode::Check:
      return run_check(inv, out);
    case Mode::Print:
      break;
  }
  return run_print(inv, out);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto inv = parse_arguments(args);
  if (!inv) {
    std::fprintf(stderr, "vorlen: %s\n%.*s", inv.error().detail().c_str(),
                 static_cast<int>(usage_text.size()), usage_text.data());
    return exit_usage;
  }
  Output out;
  return run(*inv, out);
}
