// The Bruker RAW reader: binary versions 3 ("RAW1.01") and 4 ("RAW4.00").
//
// The whole file is walked first and every range validated, so a damaged file is refused
// whichever range is asked for; only the 2theta-axis check is deferred to the selected range.
// Then the selected range's records are converted into points.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/readers.hpp"
#include "pattern/scans.hpp"
#include "pattern/spares.hpp"
#include "text/axis.hpp"
#include "text/lines.hpp"
#include "text/unicode.hpp"

namespace vorlen {
namespace {

// Sanity limits on header values; each bounds a count or size before it is trusted.
constexpr std::uint32_t kMaxRanges = 4096;
// Bounds a RAW3 range header, a RAW3 extra record and a RAW4 drive header.
constexpr std::uint32_t kMaxHeaderBytes = 1048576;

// The record layouts: sizes, and offsets from the start of their record.
constexpr std::size_t kTextField = 24;  // a name: Latin-1, zero-padded

constexpr std::size_t kRaw3FileHeader = 712;
constexpr std::size_t kRaw3RangeCount = 12;

constexpr std::uint32_t kRaw3MinRangeHeader = 260;
constexpr std::size_t kRaw3HeaderSize = 0;
constexpr std::size_t kRaw3PointCount = 4;
constexpr std::size_t kRaw3Start = 16;
constexpr std::size_t kRaw3Step = 176;
constexpr std::size_t kRaw3ScanType = 196;
constexpr std::size_t kRaw3Varying = 248;
constexpr std::size_t kRaw3RecordSize = 252;
constexpr std::size_t kRaw3ExtraSize = 256;

constexpr std::size_t kRaw4FileHeader = 61;

constexpr std::size_t kRaw4RangeHeader = 160;
constexpr std::size_t kRaw4ScanType = 32;  // a name
constexpr std::size_t kRaw4Start = 72;
constexpr std::size_t kRaw4Step = 80;
constexpr std::size_t kRaw4PointCount = 88;
constexpr std::size_t kRaw4RecordSize = 136;
constexpr std::size_t kRaw4DriveHeaderSize = 140;

// A generic RAW4 segment: its type, then its whole length.
constexpr std::size_t kSegmentType = 0;
constexpr std::size_t kSegmentLength = 4;
constexpr std::size_t kSegmentHeader = 8;

// A drive record: a segment of this type, holding whether the drive was scanned, its name and
// its start.
constexpr std::uint32_t kDriveRecordType = 50;
constexpr std::uint32_t kDriveRecordMin = 64;
constexpr std::size_t kDriveScanned = 8;
constexpr std::size_t kDriveName = 12;
constexpr std::size_t kDriveStart = 56;

// A data record: the intensity (32-bit float), then the angle (64-bit float) when the range
// varies it.
constexpr std::size_t kRecordIntensity = 0;
constexpr std::size_t kRecordAngle = 4;

// The RAW3 scan-type codes that establish a 2theta axis.
constexpr std::array<std::uint32_t, 4> kRaw3TwoThetaScanTypes = {0, 1, 2, 20};

// The first varying-parameter bit says each record carries its own angle.
constexpr std::uint32_t kVaryingAngle = 1;

// A drive is the range's axis when its start agrees with the range's start within this
// relative tolerance plus this absolute one.
constexpr double kDriveRelativeTolerance = 0.00001;
constexpr double kDriveAbsoluteTolerance = 0.000001;

Error fail(std::string_view message) {
  std::string text = "Bruker RAW: ";
  text += message;
  return Error::parse(std::move(text));
}

Error truncated(std::size_t offset, std::uint64_t width, std::size_t file_size) {
  return fail("truncated record at offset " + std::to_string(offset) + ": needs " +
              std::to_string(width) + " bytes, file has " + std::to_string(file_size));
}

// The one bounds check: the `width` bytes at `offset`, when they lie inside the file.
Result<Bytes> span_at(Bytes data, std::size_t offset, std::uint64_t width) {
  if (width > std::numeric_limits<std::size_t>::max() - offset) return fail("offset overflow");
  if (offset + width > data.size()) return truncated(offset, width, data.size());
  return data.subspan(offset, width);
}

// Little-endian values from bytes that span_at has checked.
std::uint32_t le32(const unsigned char* p) {
  std::uint32_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);  // one load on little-endian hosts
  } else {
    for (int i = 3; i >= 0; --i) value = value << 8 | p[i];
  }
  return value;
}

std::uint64_t le64(const unsigned char* p) { return std::uint64_t{le32(p + 4)} << 32 | le32(p); }

Result<std::uint32_t> u32_at(Bytes data, std::size_t offset) {
  VORLEN_ASSIGN(const Bytes field, span_at(data, offset, 4));
  return le32(field.data());
}

Result<double> f64_at(Bytes data, std::size_t offset) {
  VORLEN_ASSIGN(const Bytes field, span_at(data, offset, 8));
  return std::bit_cast<double>(le64(field.data()));
}

// A 24-byte name: bytes up to the first zero, read as Latin-1, trimmed of white space.
Result<std::string> text_at(Bytes data, std::size_t offset) {
  VORLEN_ASSIGN(const Bytes field, span_at(data, offset, kTextField));
  std::string utf8;
  for (const unsigned char c : field) {
    if (c == 0) break;
    text::append_utf8(utf8, c);  // a Latin-1 byte is the code point of the same number
  }
  return std::string(text::trim(utf8));
}

// Axis and scan-type names compare without white space, hyphens, underscores or case.
std::string normalized(std::string_view name) { return text::axis_key(name); }

struct Range {
  std::size_t header_offset = 0;
  std::optional<std::string> axis_problem;
  double start = 0;
  double step = 0;
  std::uint32_t point_count = 0;
  std::uint32_t record_size = 0;
  std::size_t data_offset = 0;
  std::size_t data_end = 0;
  bool angle_in_record = false;
};

struct Segment {
  std::uint32_t type;
  std::uint32_t length;
};

Result<Segment> segment(Bytes data, std::size_t position, std::size_t limit) {
  if (position > limit || limit - position < kSegmentHeader)
    return fail("truncated segment header");
  VORLEN_ASSIGN(const std::uint32_t type, u32_at(data, position + kSegmentType));
  VORLEN_ASSIGN(const std::uint32_t length, u32_at(data, position + kSegmentLength));
  if (length < kSegmentHeader || length > limit - position) {
    return fail("segment type " + std::to_string(type) + " at offset " + std::to_string(position) +
                " declares invalid length " + std::to_string(length));
  }
  return Segment{type, length};
}

// Checks the data block against the file before anything is sized from the point count.
Result<std::size_t> range_end(Bytes data, std::size_t data_offset, std::uint32_t point_count,
                              std::uint32_t record_size) {
  if (point_count == 0) return fail("range has no points");
  const std::uint64_t bytes = std::uint64_t{point_count} * record_size;
  VORLEN_TRY(span_at(data, data_offset, bytes));
  return data_offset + bytes;
}

Status check_start_step(double start, double step) {
  if (!std::isfinite(start) || !std::isfinite(step) || step == 0) {
    return fail("range start and nonzero step must be finite");
  }
  return {};
}

std::string hex(std::uint32_t value) {
  char digits[8];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  return "0x" + std::string(digits, end);
}

bool raw3_scan_type_is_2theta(std::uint32_t code) {
  return std::find(kRaw3TwoThetaScanTypes.begin(), kRaw3TwoThetaScanTypes.end(), code) !=
         kRaw3TwoThetaScanTypes.end();
}

Result<Range> raw3_range(Bytes data, std::size_t p) {
  VORLEN_ASSIGN(const std::uint32_t header_size, u32_at(data, p + kRaw3HeaderSize));
  if (header_size < kRaw3MinRangeHeader || header_size > kMaxHeaderBytes) {
    return fail("invalid RAW3 range-header size " + std::to_string(header_size));
  }
  VORLEN_TRY(span_at(data, p, header_size));

  Range range;
  range.header_offset = p;
  VORLEN_ASSIGN(range.point_count, u32_at(data, p + kRaw3PointCount));
  VORLEN_ASSIGN(range.start, f64_at(data, p + kRaw3Start));
  VORLEN_ASSIGN(range.step, f64_at(data, p + kRaw3Step));
  VORLEN_TRY(check_start_step(range.start, range.step));

  VORLEN_ASSIGN(const std::uint32_t scan_type, u32_at(data, p + kRaw3ScanType));
  VORLEN_ASSIGN(const std::uint32_t varying, u32_at(data, p + kRaw3Varying));
  VORLEN_ASSIGN(range.record_size, u32_at(data, p + kRaw3RecordSize));
  VORLEN_ASSIGN(const std::uint32_t extra_size, u32_at(data, p + kRaw3ExtraSize));

  // Each varying parameter adds an 8-byte value to the 4-byte intensity of every record.
  const std::uint32_t expected = 4 + 8 * static_cast<std::uint32_t>(std::popcount(varying));
  if ((varying >> 31) != 0 || range.record_size != expected) {
    return fail("RAW3 data-record size " + std::to_string(range.record_size) +
                " disagrees with varying-parameter bits " + hex(varying) + " (expected " +
                std::to_string(expected) + ")");
  }
  if (extra_size > kMaxHeaderBytes) return fail("invalid RAW3 extra-record length");
  // p + header_size lies inside the file, so only the extra record can overflow.
  if (extra_size > std::numeric_limits<std::size_t>::max() - (p + header_size)) {
    return fail("RAW3 data offset overflow");
  }
  range.data_offset = p + header_size + extra_size;
  VORLEN_ASSIGN(range.data_end,
                range_end(data, range.data_offset, range.point_count, range.record_size));

  if (!raw3_scan_type_is_2theta(scan_type)) {
    range.axis_problem =
        "RAW3 scan type " + std::to_string(scan_type) + " does not establish a 2theta axis";
  }
  range.angle_in_record = (varying & kVaryingAngle) != 0;
  return range;
}

Result<std::vector<Range>> raw3_ranges(Bytes data) {
  VORLEN_TRY(span_at(data, 0, kRaw3FileHeader));
  VORLEN_ASSIGN(const std::uint32_t count, u32_at(data, kRaw3RangeCount));
  if (count < 1 || count > kMaxRanges) {
    return fail("invalid RAW3 range count " + std::to_string(count));
  }
  std::vector<Range> ranges;
  std::size_t p = kRaw3FileHeader;
  for (std::uint32_t r = 0; r < count; ++r) {
    VORLEN_ASSIGN(Range range, raw3_range(data, p));
    p = range.data_end;
    ranges.push_back(std::move(range));
  }
  const Bytes rest = data.subspan(p);
  if (std::any_of(rest.begin(), rest.end(), [](unsigned char b) { return b != 0; })) {
    return fail("unaccounted nonzero bytes after the declared RAW3 ranges");
  }
  return ranges;
}

bool drive_matches_start(double drive_start, double range_start) {
  return std::fabs(drive_start - range_start) <=
         std::fabs(range_start) * kDriveRelativeTolerance + kDriveAbsoluteTolerance;
}

bool is_coupled_scan_type(std::string_view key) {
  return key == "detectorscan" || key == "lockedcoupled" || key == "unlockedcoupled" ||
         key == "unlockedcoupledhrxrd";
}

// The axis is the one scanned drive that starts where the range starts; without exactly one,
// the scan-type name has to say that 2theta moves.
Result<std::optional<std::string>> raw4_axis_problem(Bytes data, std::size_t drives,
                                                     std::size_t drives_end, double start,
                                                     std::string_view scan_type) {
  std::size_t matches = 0;
  std::string drive_name;
  for (std::size_t q = drives; q < drives_end;) {
    VORLEN_ASSIGN(const Segment seg, segment(data, q, drives_end));
    if (seg.type == kDriveRecordType) {
      if (seg.length < kDriveRecordMin) return fail("RAW4 drive record is shorter than 64 bytes");
      VORLEN_ASSIGN(const std::uint32_t scanned, u32_at(data, q + kDriveScanned));
      VORLEN_ASSIGN(const double drive_start, f64_at(data, q + kDriveStart));
      if (scanned != 0 && drive_matches_start(drive_start, start)) {
        VORLEN_ASSIGN(drive_name, text_at(data, q + kDriveName));
        ++matches;
      }
    }
    q += seg.length;
  }
  std::optional<std::string> problem;
  if (matches == 1) {
    const std::string key = normalized(drive_name);
    if (key != "twotheta" && key != "2theta") {
      problem = "scanned drive " + text::quoted(drive_name) + " is not a recognized 2theta axis";
    }
  } else if (!is_coupled_scan_type(normalized(scan_type))) {
    problem = "scan type " + text::quoted(scan_type) +
              " does not establish a 2theta axis; export a coupled 2theta scan";
  }
  return problem;
}

Result<Range> raw4_range(Bytes data, std::size_t p) {
  VORLEN_TRY(span_at(data, p, kRaw4RangeHeader));
  Range range;
  range.header_offset = p;
  VORLEN_ASSIGN(const std::string scan_type, text_at(data, p + kRaw4ScanType));
  VORLEN_ASSIGN(range.start, f64_at(data, p + kRaw4Start));
  VORLEN_ASSIGN(range.step, f64_at(data, p + kRaw4Step));
  VORLEN_TRY(check_start_step(range.start, range.step));
  VORLEN_ASSIGN(range.point_count, u32_at(data, p + kRaw4PointCount));
  VORLEN_ASSIGN(range.record_size, u32_at(data, p + kRaw4RecordSize));
  VORLEN_ASSIGN(const std::uint32_t drive_header_size, u32_at(data, p + kRaw4DriveHeaderSize));
  if (range.record_size < 4 || range.record_size % 4 != 0) {
    return fail("invalid RAW4 data-record size " + std::to_string(range.record_size));
  }
  if (drive_header_size > kMaxHeaderBytes) return fail("RAW4 drive header exceeds 1 MiB");
  const std::size_t drives = p + kRaw4RangeHeader;
  VORLEN_TRY(span_at(data, drives, drive_header_size));
  range.data_offset = drives + drive_header_size;
  VORLEN_ASSIGN(range.data_end,
                range_end(data, range.data_offset, range.point_count, range.record_size));
  VORLEN_ASSIGN(range.axis_problem,
                raw4_axis_problem(data, drives, range.data_offset, range.start, scan_type));
  return range;
}

// A RAW4 block whose first word is the range-header size or 0 is a range header; any other first
// word is the type of a generic segment.
bool is_range_marker(std::uint32_t word) { return word == kRaw4RangeHeader || word == 0; }

Result<std::vector<Range>> raw4_ranges(Bytes data) {
  VORLEN_TRY(span_at(data, 0, kRaw4FileHeader));
  std::vector<Range> ranges;
  std::size_t p = kRaw4FileHeader;
  while (p < data.size()) {
    VORLEN_ASSIGN(const std::uint32_t marker, u32_at(data, p));
    if (!is_range_marker(marker)) {
      VORLEN_ASSIGN(const Segment seg, segment(data, p, data.size()));
      p += seg.length;
      continue;
    }
    if (ranges.size() == kMaxRanges) return fail("too many RAW4 ranges");
    VORLEN_ASSIGN(Range range, raw4_range(data, p));
    p = range.data_end;
    ranges.push_back(std::move(range));
  }
  if (ranges.empty()) return fail("RAW4 file has no measurement ranges");
  return ranges;
}

Result<std::vector<Range>> ranges_of(Bytes data) {
  if (starts_with(data, "RAW1.01")) return raw3_ranges(data);
  if (starts_with(data, "RAW4.00")) return raw4_ranges(data);
  if (starts_with(data, "RAW2") || starts_with(data, "RAW ")) {
    return fail("versions 1 and 2 are unsupported; export RAW3, RAW4, UXD, or XY");
  }
  return fail("unrecognized binary signature");
}

// Converts only the selected range. Its records were checked against the file by range_end,
// so point_count may size the result; a record holds at least the 4-byte intensity, and the
// 8-byte angle after it when angle_in_record is set.
Result<Series> points(Bytes data, const Range& range) {
  VORLEN_ASSIGN(const Bytes records,
                span_at(data, range.data_offset, range.data_end - range.data_offset));
  Series series;
  series.x = values_for(range.point_count);
  series.y = values_for(range.point_count);
  // One loop per angle source, so the per-point work has no branch on it. The values are
  // checked a block at a time, while the block is in the cache, by a branch-free scan the
  // compiler vectorises; only a failed check looks for the point to name.
  auto convert = [&](auto angle_of) -> Status {
    constexpr std::uint32_t kBlock = 1024;
    std::uint64_t non_finite = 0;
    for (std::uint32_t first = 0; first < range.point_count; first += kBlock) {
      const std::uint32_t last = first + std::min(kBlock, range.point_count - first);
      for (std::uint32_t i = first; i < last; ++i) {
        const unsigned char* record = records.data() + std::size_t{i} * range.record_size;
        series.y.push_back(std::bit_cast<float>(le32(record + kRecordIntensity)));
        series.x.push_back(angle_of(record, i));
      }
      for (std::uint32_t i = first; i < last; ++i) {
        non_finite |= non_finite_bit(series.x[i]) | non_finite_bit(series.y[i]);
      }
    }
    if (!any_non_finite(non_finite)) return {};
    std::size_t i = 0;
    while (!any_non_finite(non_finite_bit(series.x[i]) | non_finite_bit(series.y[i]))) ++i;
    return fail("nonfinite angle or intensity in point " + std::to_string(i));
  };
  if (range.angle_in_record) {
    VORLEN_TRY(convert([](const unsigned char* record, std::uint32_t) {
      return std::bit_cast<double>(le64(record + kRecordAngle));
    }));
  } else {
    VORLEN_TRY(convert([&range](const unsigned char*, std::uint32_t i) {
      return x_at(i, range.start, range.step);
    }));
  }
  return series;
}

Result<Series> read_range(Bytes data, const Range& range) {
  if (range.axis_problem) return fail(*range.axis_problem);
  return points(data, range);
}

}  // namespace

Result<Series> parse_bruker_raw(Bytes data, std::uint64_t index) {
  VORLEN_ASSIGN(const std::vector<Range> ranges, ranges_of(data));
  if (index >= ranges.size()) {
    return fail("scan " + std::to_string(index) + " is out of range; file has " +
                std::to_string(ranges.size()) + " scans");
  }
  return read_range(data, ranges[index]);
}

Result<std::uint64_t> walk_bruker_raw(
    Bytes data, const std::function<void(Result<Series>, std::size_t)>& visit) {
  VORLEN_ASSIGN(const std::vector<Range> ranges, ranges_of(data));
  for (const Range& range : ranges) visit(read_range(data, range), range.header_offset);
  return ranges.size();
}

}  // namespace vorlen
