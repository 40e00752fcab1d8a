// Reader throughput against the floor no reader can beat, on the files of bench/generate.py.
//
//   vorlen_bench [--data=DIR] [Google Benchmark flags]
//
// For every file of DIR/manifest.tsv (default ${XDG_CACHE_HOME:-~/.cache}/vorlen-bench) it
// registers five or six benchmarks:
//   read/<format>/<points>   read_bytes_with_options over the bytes held in memory;
//   limit/<format>/<points>  the floor: fast_float over the numbers of the text (text formats);
//                            widening the float32 records and computing x (RAW); expat (and
//                            inflate) over the same bytes with fast_float over the numbers of
//                            every element's text (XML and archive formats);
//   pair/<format>/<points>   read and limit back to back in each iteration; its counter
//                            "ratio" is the median of limit time / read time over the pairs;
//   describe/<format>/<points>  describe over the same bytes, whose cost the report sets against
//                            the read's (at most 3 times);
//   libs/<format>/<points>   XML and archives only: expat (and inflate) alone, no handlers, to
//                            show which share of a read is spent inside the libraries.
// Each reports bytes/s and points/s.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <fast_float/fast_float.h>
#include <malloc.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vorlen/vorlen.hpp"

namespace {

struct Entry {
  std::string file;
  std::string format;
  std::string kind;  // text, raw, xml or archive
  std::size_t points = 0;
  std::size_t offset = 0;  // RAW: first record
  std::size_t stride = 0;  // RAW: bytes per record
  double start = 0;
  double step = 0;
  std::vector<unsigned char> bytes;
};

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

// Every white-space or comma separated token through fast_float; tokens that are not numbers
// (header words) fail on their first character and cost next to nothing.
void parse_numbers(std::string_view text, std::vector<double>& out) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    while (p < end && is_separator(*p)) ++p;
    const char* token = p;
    while (p < end && !is_separator(*p)) ++p;
    double value;
    if (token < p && fast_float::from_chars(token, p, value).ptr != token) out.push_back(value);
  }
}

std::string_view view(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Collects each element's character data and parses its numbers at the element's end.
struct XmlNumbers {
  std::string text;
  std::vector<double>* out;
};

void XMLCALL on_start(void* user, const XML_Char*, const XML_Char**) {
  static_cast<XmlNumbers*>(user)->text.clear();
}

void XMLCALL on_text(void* user, const XML_Char* s, int len) {
  static_cast<XmlNumbers*>(user)->text.append(s, static_cast<std::size_t>(len));
}

void XMLCALL on_end(void* user, const XML_Char*) {
  auto* state = static_cast<XmlNumbers*>(user);
  parse_numbers(state->text, *state->out);
  state->text.clear();
}

// expat over one document; with `out`, fast_float over the numbers of its elements too.
bool run_expat(std::string_view document, std::vector<double>* out) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XmlNumbers state{{}, out};
  if (out) {
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, on_start, on_end);
    XML_SetCharacterDataHandler(parser, on_text);
  }
  const bool ok =
      XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

bool is_xml(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text.starts_with("<");
}

// Inflates every member; XML members go through expat, other members through the text floor.
bool run_archive(const Entry& entry, std::string& member, std::vector<double>* out) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source =
      zip_source_buffer_create(entry.bytes.data(), entry.bytes.size(), 0, &error);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (!archive) {
    if (source) zip_source_free(source);
    zip_error_fini(&error);
    return false;
  }
  bool ok = true;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; ok && i < count; ++i) {
    zip_stat_t stat;
    zip_file_t* file = zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) == 0
                           ? zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0)
                           : nullptr;
    if (!file) {
      ok = false;
      break;
    }
    member.resize(stat.size);
    ok = zip_fread(file, member.data(), stat.size) == static_cast<zip_int64_t>(stat.size);
    zip_fclose(file);
    if (!ok) break;
    if (is_xml(member)) {
      ok = run_expat(member, out);
    } else if (out) {
      parse_numbers(member, *out);
    }
  }
  zip_close(archive);
  zip_error_fini(&error);
  return ok;
}

void set_counters(benchmark::State& state, const Entry& entry) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * entry.bytes.size()));
  state.counters["points/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * entry.points), benchmark::Counter::kIsRate);
}

// One read; the reason for a failure in `why`.
bool read_once(const Entry& entry, std::string& why) {
  const vorlen::Bytes bytes(entry.bytes.data(), entry.bytes.size());
  auto pattern = vorlen::read_bytes_with_options(bytes, entry.file, {});
  if (!pattern || pattern->x().size() != entry.points) {
    why = pattern ? "wrong number of points" : pattern.error().display();
    return false;
  }
  benchmark::DoNotOptimize(pattern->y().data());
  return true;
}

void widen(const Entry& entry, std::vector<double>& x, std::vector<double>& y) {
  const unsigned char* record = entry.bytes.data() + entry.offset;
  for (std::size_t i = 0; i < entry.points; ++i, record += entry.stride) {
    float value;
    std::memcpy(&value, record, sizeof value);
    x.push_back(static_cast<double>(i) * entry.step + entry.start);
    y.push_back(value);
  }
}

// One run of the floor; false when it did not find the numbers.
bool limit_once(const Entry& entry, std::string& member) {
  // Fresh vectors each time, as a reader returns them; the text floor does not know the count
  // in advance either.
  std::vector<double> x;
  std::vector<double> y;
  bool ok = true;
  if (entry.kind == "raw") {
    x.reserve(entry.points);
    y.reserve(entry.points);
    widen(entry, x, y);
  } else if (entry.kind == "text") {
    parse_numbers(view(entry.bytes.data(), entry.bytes.size()), x);
  } else if (entry.kind == "xml") {
    ok = run_expat(view(entry.bytes.data(), entry.bytes.size()), &x);
  } else {
    ok = run_archive(entry, member, &x);
  }
  benchmark::DoNotOptimize(x.data());
  benchmark::DoNotOptimize(y.data());
  return ok && x.size() >= entry.points;
}

bool raw_records_fit(const Entry& entry) {
  return entry.kind != "raw" || entry.offset + entry.points * entry.stride <= entry.bytes.size();
}

void bench_read(benchmark::State& state, const Entry* entry) {
  std::string why;
  for (auto _ : state) {
    if (!read_once(*entry, why)) {
      state.SkipWithError(why.c_str());
      return;
    }
  }
  set_counters(state, *entry);
}

// Describing the file: detection, one walk over every scan and the metadata the file states.
void bench_describe(benchmark::State& state, const Entry* entry) {
  for (auto _ : state) {
    const auto description = vorlen::describe(entry->bytes, entry->file);
    if (!description || description->scans.front().error) {
      state.SkipWithError("the file is not described with a readable scan");
      return;
    }
    benchmark::DoNotOptimize(description->scans.front().points);
  }
  set_counters(state, *entry);
}

void bench_limit(benchmark::State& state, const Entry* entry) {
  if (!raw_records_fit(*entry)) {
    state.SkipWithError("RAW records beyond the file");
    return;
  }
  std::string member;
  for (auto _ : state) {
    if (!limit_once(*entry, member)) {
      state.SkipWithError("the floor did not find the numbers");
      return;
    }
  }
  set_counters(state, *entry);
}

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The reader and the floor back to back, in alternating order, each timed on this thread's CPU
// clock: both see the same state of the machine, so the median of the per-pair ratios
// (floor time / reader time) holds steady where separate benchmarks drift with the load of
// the other core.
void bench_pair(benchmark::State& state, const Entry* entry) {
  if (!raw_records_fit(*entry)) {
    state.SkipWithError("RAW records beyond the file");
    return;
  }
  std::string member, why;
  std::vector<double> ratios;
  for (auto _ : state) {
    const bool read_first = ratios.size() % 2 == 0;
    double read_seconds = 0, limit_seconds = 0;
    for (int turn = 0; turn < 2; ++turn) {
      const bool reading = (turn == 0) == read_first;
      const double start = thread_seconds();
      const bool ok = reading ? read_once(*entry, why) : limit_once(*entry, member);
      (reading ? read_seconds : limit_seconds) = thread_seconds() - start;
      if (!ok) {
        state.SkipWithError(reading ? why.c_str() : "the floor did not find the numbers");
        return;
      }
    }
    ratios.push_back(limit_seconds / read_seconds);
  }
  std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2),
                   ratios.end());
  state.counters["ratio"] = ratios[ratios.size() / 2];
}

void bench_libs(benchmark::State& state, const Entry* entry) {
  std::string member;
  for (auto _ : state) {
    const bool ok = entry->kind == "xml"
                        ? run_expat(view(entry->bytes.data(), entry->bytes.size()), nullptr)
                        : run_archive(*entry, member, nullptr);
    if (!ok) {
      state.SkipWithError("expat or libzip refused the file");
      return;
    }
  }
  set_counters(state, *entry);
}

std::string default_dir() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) {
    return std::string(cache) + "/vorlen-bench";
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.cache/vorlen-bench";
}

std::vector<Entry> load(const std::string& dir) {
  std::vector<Entry> entries;
  std::ifstream manifest(dir + "/manifest.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    Entry entry;
    if (!(fields >> entry.file >> entry.format >> entry.kind >> entry.points >> entry.offset >>
          entry.stride >> entry.start >> entry.step)) {
      continue;
    }
    std::ifstream file(dir + "/" + entry.file, std::ios::binary | std::ios::ate);
    entry.bytes.resize(static_cast<std::size_t>(std::max<std::streamoff>(file.tellg(), 0)));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(entry.bytes.data()),
              static_cast<std::streamsize>(entry.bytes.size()));
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

int main(int argc, char** argv) {
  // Freed memory stays in the process, so the readers and the floors run on warm pages, as a
  // pipeline reading file after file does: the table compares parsing work, not the kernel's
  // cost of handing out fresh pages, which swings from run to run on a shared machine. Blocks
  // above the largest mapping threshold glibc allows (32 MiB) are still fresh every time.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::string dir = default_dir();
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.starts_with("--data=")) {
      dir = arg.substr(7);
    } else {
      args.push_back(argv[i]);
    }
  }
  // Registered benchmarks keep pointers into this vector, which is never resized after.
  static const std::vector<Entry> entries = load(dir);
  if (entries.empty()) {
    std::cerr << "no files listed in " << dir << "/manifest.tsv; run bench/generate.py first\n";
    return 1;
  }
  for (const Entry& entry : entries) {
    const std::string suffix = "/" + entry.format + "/" + std::to_string(entry.points);
    benchmark::RegisterBenchmark(("read" + suffix).c_str(), bench_read, &entry);
    benchmark::RegisterBenchmark(("limit" + suffix).c_str(), bench_limit, &entry);
    benchmark::RegisterBenchmark(("describe" + suffix).c_str(), bench_describe, &entry);
    benchmark::RegisterBenchmark(("pair" + suffix).c_str(), bench_pair, &entry);
    if (entry.kind == "xml" || entry.kind == "archive") {
      benchmark::RegisterBenchmark(("libs" + suffix).c_str(), bench_libs, &entry);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
