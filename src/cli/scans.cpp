#include "cli/scans.hpp"

#include "cli/format.hpp"
#include "vorlen/vorlen.hpp"

namespace vorlen::cli {

namespace {

// A block name as part of a file name: anything but letters, digits, '.', '-' and '_' becomes
// '_', so no name can reach outside the output folder or hide itself.
std::string file_name_part(std::string_view block) {
  std::string part(block);
  for (char& c : part) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || (c == '.' && &c != &part.front());
    if (!plain) c = '_';
  }
  return part;
}

std::string scan_caption(std::uint64_t index) {
  std::string caption = "scan ";
  append_count(caption, index);
  return caption;
}

Result<std::vector<Scan>> every_readable_scan(Bytes data, std::string_view hint) {
  VORLEN_ASSIGN(Description description, describe(data, hint));
  const bool several = description.scans.size() > 1;
  std::vector<Scan> scans;
  const Error* first_error = nullptr;
  for (const ScanInfo& info : description.scans) {
    if (info.error) {
      if (first_error == nullptr) first_error = &*info.error;
      continue;
    }
    ReadOptions options;
    options.index = info.block ? 0 : info.index;
    options.block = info.block;
    VORLEN_ASSIGN(Pattern pattern, read_bytes_with_options(data, hint, options));
    std::string suffix;
    if (several)
      suffix = "_" + (info.block ? file_name_part(*info.block) : std::to_string(info.index));
    std::string caption = info.block ? "block " + *info.block : scan_caption(info.index);
    scans.push_back({std::move(suffix), std::move(caption), std::move(pattern)});
  }
  if (scans.empty()) {
    if (first_error != nullptr) return *first_error;
    return Error::parse("no scan found");
  }
  return scans;
}

}  // namespace

Result<std::vector<Scan>> select_scans(Bytes data, std::string_view hint, const Invocation& inv) {
  if (inv.all_scans) return every_readable_scan(data, hint);
  VORLEN_ASSIGN(Pattern pattern, read_bytes_with_options(data, hint, inv.read));
  std::string caption = scan_caption(inv.read.index);
  if (inv.read.block) caption += ", block \"" + *inv.read.block + "\"";
  std::vector<Scan> scans;
  scans.push_back({"", std::move(caption), std::move(pattern)});
  return scans;
}

}  // namespace vorlen::cli
