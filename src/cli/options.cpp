#include "cli/options.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace vorlen::cli {

namespace {

// More threads than this would only wait on the disk.
constexpr std::uint64_t max_jobs = 1024;

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// An unsigned decimal with an optional leading '+', nothing else around it.
std::optional<std::uint64_t> unsigned_value(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  return value;
}

// Walks the arguments, handing out options and their values.
class Arguments {
 public:
  explicit Arguments(std::span<const std::string_view> args) : args_(args) {}

  bool done() const { return at_ >= args_.size(); }
  std::string_view next() { return args_[at_++]; }

  // "--name" or "--name=..." (but not "--names"); for a one-letter option also "-jN".
  static bool matches(std::string_view arg, std::string_view name) {
    if (arg.substr(0, name.size()) != name) return false;
    if (arg.size() == name.size()) return true;
    return name.size() == 2 ? true : arg[name.size()] == '=';
  }

  // The value of the option `arg` matched as `name`: joined to it or the next argument.
  std::optional<std::string_view> value(std::string_view name, std::string_view arg) {
    if (arg.size() > name.size()) return arg.substr(name.size() + (name.size() == 2 ? 0 : 1));
    if (done()) return std::nullopt;
    return next();
  }

 private:
  std::span<const std::string_view> args_;
  std::size_t at_ = 0;
};

std::optional<UsageError> set_mode(Invocation& inv, Mode mode, std::string_view option,
                                   std::string_view& mode_option) {
  if (!mode_option.empty() && mode_option != option) {
    return UsageError{std::string(option) + " cannot be combined with " + std::string(mode_option)};
  }
  inv.mode = mode;
  mode_option = option;
  return std::nullopt;
}

// An option that belongs to some modes only: whether the chosen mode takes it, and the option
// that would (none when the mode it is for is the default one).
struct Restriction {
  bool given;
  std::string_view option;
  bool allowed;
  std::string_view needs;
};

std::optional<UsageError> check_combinations(const Invocation& inv, std::string_view mode_option,
                                             bool csv, bool to, bool jobs) {
  const bool writes = inv.mode == Mode::Convert || inv.mode == Mode::Plot;
  const Restriction restrictions[] = {
      {csv, "--csv", inv.mode == Mode::Print, ""},
      {inv.json, "--json", inv.mode == Mode::Info, "--info"},
      {to, "--to", inv.mode == Mode::Convert, "--convert"},
      {jobs, "-j", inv.mode == Mode::Convert, "--convert"},
      {inv.force, "--force", writes, "--convert or --plot"},
      {inv.log, "--log", inv.mode == Mode::Plot, "--plot"},
      {inv.all_scans, "--all-scans", writes, "--convert or --plot"},
  };
  for (const Restriction& r : restrictions) {
    if (!r.given || r.allowed) continue;
    if (r.needs.empty()) {
      return UsageError{std::string(r.option) + " cannot be combined with " +
                        std::string(mode_option)};
    }
    return UsageError{std::string(r.option) + " needs " + std::string(r.needs)};
  }
  const bool selects = inv.index_given || inv.read.block.has_value();
  if (selects && inv.mode == Mode::Info) {
    return UsageError{std::string(inv.index_given ? "--index" : "--block") +
                      " cannot be combined with --info (it describes every scan)"};
  }
  if (selects && inv.all_scans) {
    return UsageError{std::string(inv.index_given ? "--index" : "--block") +
                      " cannot be combined with --all-scans"};
  }
  return std::nullopt;
}

std::optional<UsageError> check_files(const Invocation& inv, std::string_view mode_option) {
  const auto stdin_count = std::count(inv.files.begin(), inv.files.end(), "-");
  if (stdin_count > 1) return UsageError{"- (standard input) can be given only once"};
  if (inv.name && stdin_count == 0)
    return UsageError{"--name is the file-name hint for -, which is not given"};
  if (inv.mode == Mode::Print) {
    if (inv.files.size() != 1) {
      return UsageError{inv.files.empty() ? "missing FILE"
                                          : "give exactly one FILE (or use --check)"};
    }
  } else if (inv.files.empty()) {
    return UsageError{std::string(mode_option) + " needs at least one FILE"};
  }
  return std::nullopt;
}

UsageError needs_value(std::string_view option) { return {std::string(option) + " needs a value"}; }

}  // namespace

std::variant<Invocation, UsageError> parse_options(std::span<const std::string_view> args) {
  Invocation inv;
  Arguments in(args);
  std::string_view mode_option;
  bool csv = false, to = false, jobs = false, options_ended = false;
  while (!in.done()) {
    const std::string_view arg = in.next();
    // A single "-" is standard input, not an option.
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      inv.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      inv.mode = Mode::Help;
      return inv;
    } else if (arg == "--version") {
      inv.mode = Mode::Version;
      return inv;
    } else if (arg == "--csv") {
      csv = true;
    } else if (arg == "--json") {
      inv.json = true;
    } else if (arg == "--all-scans") {
      inv.all_scans = true;
    } else if (arg == "--force") {
      inv.force = true;
    } else if (arg == "--log") {
      inv.log = true;
    } else if (arg == "--check" || arg == "--info") {
      if (auto e = set_mode(inv, arg == "--check" ? Mode::Check : Mode::Info, arg, mode_option))
        return *e;
    } else if (Arguments::matches(arg, "--convert") || Arguments::matches(arg, "--plot")) {
      const bool convert = Arguments::matches(arg, "--convert");
      const std::string_view option = convert ? "--convert" : "--plot";
      const auto value = in.value(option, arg);
      if (!value || value->empty()) return needs_value(option);
      if (auto e = set_mode(inv, convert ? Mode::Convert : Mode::Plot, option, mode_option))
        return *e;
      inv.target = *value;
    } else if (Arguments::matches(arg, "--index")) {
      const auto value = in.value("--index", arg);
      if (!value) return needs_value("--index");
      const auto index = unsigned_value(*value);
      if (!index) return UsageError{"--index needs an unsigned integer, got " + quoted(*value)};
      inv.read.index = *index;
      inv.index_given = true;
    } else if (Arguments::matches(arg, "--block")) {
      const auto value = in.value("--block", arg);
      if (!value) return needs_value("--block");
      inv.read.block = std::string(*value);
    } else if (Arguments::matches(arg, "--name")) {
      const auto value = in.value("--name", arg);
      if (!value) return needs_value("--name");
      inv.name = *value;
    } else if (Arguments::matches(arg, "--to")) {
      const auto value = in.value("--to", arg);
      if (!value) return needs_value("--to");
      if (*value != "xy" && *value != "csv")
        return UsageError{"--to needs xy or csv, got " + quoted(*value)};
      inv.layout = *value == "csv" ? TextLayout::Csv : TextLayout::Xy;
      to = true;
    } else if (Arguments::matches(arg, "-j")) {
      const auto value = in.value("-j", arg);
      if (!value) return needs_value("-j");
      const auto count = unsigned_value(*value);
      if (!count || *count == 0 || *count > max_jobs) {
        return UsageError{"-j needs a whole number from 1 to 1024, got " + quoted(*value)};
      }
      inv.jobs = static_cast<unsigned>(*count);
      jobs = true;
    } else {
      return UsageError{"unknown option " + std::string(arg)};
    }
  }
  if (csv) inv.layout = TextLayout::Csv;
  if (auto e = check_combinations(inv, mode_option, csv, to, jobs)) return *e;
  if (auto e = check_files(inv, mode_option)) return *e;
  return inv;
}

}  // namespace vorlen::cli
