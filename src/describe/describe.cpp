// Describing a file: detection as a read does it, then one walk over every scan through the
// reader's own code, each outcome turned into a pattern exactly as a read turns it, and beside
// each the metadata that the file states.
#include "vorlen/describe.hpp"

#include <string>
#include <utility>

#include "describe/stated.hpp"
#include "parser/parse.hpp"
#include "pattern/scans.hpp"
#include "read/oriented.hpp"
#include "text/cif.hpp"

namespace vorlen {

namespace {

// What a read of scan `index` returns, summed up; metadata only beside points.
ScanInfo scan_info(std::uint64_t index, Result<Series> outcome, stated::Stated stated) {
  ScanInfo info;
  info.index = index;
  Result<Pattern> pattern = outcome ? oriented_pattern(std::move(outcome).value())
                                    : Result<Pattern>(std::move(outcome).error());
  if (!pattern) {
    info.error = std::move(pattern).error();
    return info;
  }
  info.points = pattern->x().size();
  info.first = pattern->x().front();
  info.last = pattern->x().back();
  info.y_unit = std::move(stated.y_unit);
  info.metadata = std::move(stated.metadata);
  return info;
}

// RAS and UXD: header values accumulate over the preambles the walk hands over.
template <class Header>
class HeaderScans final : public TextScanVisitor {
 public:
  explicit HeaderScans(std::vector<ScanInfo>& scans) : scans_(scans) {}
  void opened(std::string_view preamble) override { header_.apply(preamble); }
  void done(Result<Series> outcome) override {
    scans_.push_back(scan_info(scans_.size(), std::move(outcome), header_.current()));
  }

 private:
  Header header_;
  std::vector<ScanInfo>& scans_;
};

Result<std::uint64_t> walk_bruker_raw_scans(Bytes data, std::vector<ScanInfo>& scans) {
  const Metadata file = stated::bruker_raw(data);
  return walk_bruker_raw(data, [&](Result<Series> outcome, std::size_t range_header) {
    stated::Stated stated{file, std::nullopt};
    stated.metadata.step_time = stated::bruker_raw_step_time(data, range_header);
    scans.push_back(scan_info(scans.size(), std::move(outcome), std::move(stated)));
  });
}

// A block that a read by its name does not reach repeats what that read does reach.
Result<std::uint64_t> walk_pdcif_scans(Bytes data, std::vector<ScanInfo>& scans) {
  return walk_pdcif(data, [&](const text::CifBlock& block, std::uint64_t same_as,
                              std::optional<Result<Series>> outcome) {
    ScanInfo info = outcome ? scan_info(scans.size(), std::move(*outcome), stated::pdcif(block))
                            : scans[same_as];
    info.index = scans.size();
    info.block = std::string(block.name);
    scans.push_back(std::move(info));
  });
}

// Every scan of a multi-scan file into `scans`; the single-pattern formats give their one.
Result<std::uint64_t> walk_scans(Format format, Bytes data, std::vector<ScanInfo>& scans) {
  const auto add = [&scans](Result<Series> outcome, stated::Stated stated) {
    scans.push_back(scan_info(scans.size(), std::move(outcome), std::move(stated)));
  };
  switch (format) {
    case Format::BrukerRaw: return walk_bruker_raw_scans(data, scans);
    case Format::Ras: {
      HeaderScans<stated::RasHeader> visitor(scans);
      return walk_ras(data, visitor);
    }
    case Format::Uxd: {
      HeaderScans<stated::UxdHeader> visitor(scans);
      return walk_uxd(data, visitor);
    }
    case Format::Gsas:
      return walk_gsas(data, [&](Result<Series> outcome) { add(std::move(outcome), {}); });
    case Format::Xrdml:
      return walk_xrdml(data, [&](Result<Series> outcome, const XrdmlScan& scan) {
        add(std::move(outcome), stated::xrdml(scan));
      });
    case Format::Brml:
      return walk_brml(data, [&](Result<Series> outcome, const xml::Element* raw_data,
                                 const xml::Element* route) {
        add(std::move(outcome), stated::brml(raw_data, route));
      });
    case Format::Rasx:
      return walk_rasx(data, [&](Result<Series> outcome, const xml::Element* conditions) {
        add(std::move(outcome), stated::rasx(conditions));
      });
    case Format::Pdcif: return walk_pdcif_scans(data, scans);
    case Format::Chi:
    case Format::Xy: break;
  }
  add(parse_detected(format, data, ReadOptions{}), {});
  return 1;
}

}  // namespace

Result<Description> describe(Bytes data, std::string_view filename) {
  VORLEN_ASSIGN(const Detection detection, detect(data, filename));
  Description description{
      std::string(format_name(detection.format)), std::string(rule_name(detection.by)), {}};
  std::vector<ScanInfo>& scans = description.scans;
  Result<std::uint64_t> walked = walk_scans(detection.format, data, scans);
  if (!walked) {
    // What a read of the next index meets; for a file refused as a whole, index 0.
    scans.push_back(scan_info(scans.size(), std::move(walked).error(), {}));
  } else if (scans.empty()) {
    // A file without any scan: the refusal a read of index 0 gives.
    scans.push_back(scan_info(0, parse_detected(detection.format, data, ReadOptions{}), {}));
  }
  return description;
}

}  // namespace vorlen
