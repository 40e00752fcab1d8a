#include "cli/convert.hpp"

#include <unistd.h>
#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/batch.hpp"
#include "cli/files.hpp"
#include "cli/format.hpp"
#include "cli/input.hpp"
#include "cli/progress.hpp"
#include "cli/scans.hpp"
#include "cli/status.hpp"

namespace vorlen::cli {

namespace {

// What converting one input gave: its messages, ready to print, and its counts.
struct Outcome {
  std::string messages;
  std::size_t converted = 0;
  std::size_t skipped = 0;
  bool failed = false;
};

class Converter {
 public:
  explicit Converter(const Invocation& inv) : inv_(inv) {
    folder_ = std::string(inv.target);
    if (folder_.back() != '/') folder_ += '/';
  }

  std::string output_path(const Input& input, std::string_view suffix) const {
    const std::string_view stem =
        input.arg == "-" && input.hint.empty() ? "stdin" : stem_of(input.hint);
    return folder_ + std::string(stem) + std::string(suffix) +
           (inv_.layout == TextLayout::Csv ? ".csv" : ".xy");
  }

  // Outputs named after the same stem would overwrite each other: listed before anything is
  // written.
  std::string clashes() const {
    std::string messages;
    std::map<std::string, std::string_view> first_writer;
    for (const std::string_view arg : inv_.files) {
      const Input input = input_for(arg, inv_);
      const auto [at, added] = first_writer.emplace(output_path(input, ""), input.label);
      if (!added) {
        messages += "vorlen: " + std::string(at->second) + " and " + std::string(input.label) +
                    " would both be written to " + at->first + "\n";
      }
    }
    return messages;
  }

  Outcome convert(std::string_view arg) const {
    const Input input = input_for(arg, inv_);
    Outcome outcome;
    // One scan per file goes to a name known in advance: when it exists the input is not
    // even read.
    if (!inv_.all_scans && !inv_.force) {
      const std::string path = output_path(input, "");
      if (exists(path)) return skipped(input, path);
    }
    auto bytes = load(input);
    auto scans = bytes ? select_scans(bytes->bytes(), input.hint, inv_)
                       : Result<std::vector<Scan>>(bytes.error());
    if (!scans) return failed(input, scans.error().display());
    std::string text;
    for (const Scan& scan : *scans) {
      const std::string path = output_path(input, scan.suffix);
      if (const auto other = claim(path, input.label)) {
        outcome.messages +=
            message(input, path + " is also an output of " + *other + " in this run; not written");
        outcome.failed = true;
        continue;
      }
      // Each scan's name is known once the file is read: an existing one is not formatted.
      const bool known_to_exist = inv_.all_scans && !inv_.force && exists(path);
      Result<Placed> placed = Placed::Exists;
      if (!known_to_exist) {
        text.clear();
        append_text(text, input, scan);
        placed = place_file(path, text, inv_.force);
      }
      if (!placed) {
        outcome.messages += message(input, "cannot write " + path + ": " + placed.error().detail());
        outcome.failed = true;
      } else if (*placed == Placed::Exists) {
        outcome.messages += skipped(input, path).messages;
        ++outcome.skipped;
      } else {
        ++outcome.converted;
      }
    }
    return outcome;
  }

 private:
  // With --all-scans, names such as a_1.xy only appear once a file is read, so two outputs can
  // still meet on one name (scan 1 of "a" and the input "a_1", or two powder CIF blocks whose
  // names differ only in characters a file name cannot hold): the first to claim it keeps it,
  // and even --force never lets a later output of the same run replace it. Empty when the path
  // is free, else the label of the input that claimed it.
  std::optional<std::string> claim(const std::string& path, std::string_view label) const {
    if (!inv_.all_scans) return std::nullopt;  // every name was checked before the batch
    const std::lock_guard guard(claims_lock_);
    const auto [at, added] = claims_.emplace(path, std::string(label));
    if (added) return std::nullopt;
    return at->second;
  }

  static std::string message(const Input& input, std::string_view text) {
    return "vorlen: " + std::string(input.label) + ": " + std::string(text) + "\n";
  }
  static Outcome failed(const Input& input, std::string_view text) {
    return {message(input, text), 0, 0, true};
  }
  static Outcome skipped(const Input& input, const std::string& path) {
    return {message(input, path + " exists, skipped (--force replaces it)"), 0, 1, false};
  }

  // Two columns under one '#' line naming the source and the scan, or the CSV table.
  void append_text(std::string& out, const Input& input, const Scan& scan) const {
    if (inv_.layout == TextLayout::Xy)
      out += "# " + one_line(input.label) + ", " + one_line(scan.caption) + "\n";
    append_header(out, inv_.layout);
    const auto& x = scan.pattern.x();
    const auto& y = scan.pattern.y();
    for (std::size_t i = 0; i < x.size(); ++i) append_row(out, inv_.layout, x[i], y[i]);
  }

  const Invocation& inv_;
  std::string folder_;
  mutable std::mutex claims_lock_;
  mutable std::map<std::string, std::string> claims_;  // output path -> the input that wrote it
};

unsigned thread_count(const Invocation& inv) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned wanted = inv.jobs != 0 ? inv.jobs : cores;
  return static_cast<unsigned>(std::min<std::size_t>(wanted, inv.files.size()));
}

}  // namespace

int run_convert(const Invocation& inv) {
  const Converter converter(inv);
  const std::string clashes = converter.clashes();
  if (!clashes.empty()) {
    write_all(STDERR_FILENO, clashes + "vorlen: nothing converted\n");
    return exit_failed;
  }
  // One check before any input is read: an unwritable DIR is one message, not one per file.
  if (const Status ready = check_writable_folder(std::string(inv.target)); !ready) {
    report(inv.target, "cannot write there: " + ready.error().detail());
    return exit_failed;
  }
  std::size_t converted = 0, failed = 0, skipped = 0;
  {
    Progress progress(inv.files.size());
    run_in_order<Outcome>(
        inv.files.size(), thread_count(inv),
        [&](std::size_t i) { return converter.convert(inv.files[i]); },
        [&](std::size_t, const Outcome& outcome) {
          if (!outcome.messages.empty()) progress.message(outcome.messages);
          converted += outcome.converted;
          skipped += outcome.skipped;
          failed += outcome.failed ? 1 : 0;
        },
        [&](std::size_t done) { progress.update(done); });
  }
  write_all(STDERR_FILENO, "vorlen: converted " + std::to_string(converted) + ", failed " +
                               std::to_string(failed) + ", skipped " + std::to_string(skipped) +
                               "\n");
  return failed > 0 || skipped > 0 ? exit_failed : exit_ok;
}

}  // namespace vorlen::cli
