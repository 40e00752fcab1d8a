// Prints what vorlen says about a file: its format, how it was recognised, and every scan it
// holds with its size, 2theta range and the measurement metadata the file states.
//
//   describe FILE
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <vorlen/vorlen.hpp>

namespace {

// The shortest text that reads back to the same double.
std::string shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void print_number(const char* name, const std::optional<double>& value) {
  if (value) std::printf("    %s: %s\n", name, shortest(*value).c_str());
}

void print_text(const char* name, const std::optional<std::string>& value) {
  if (value) std::printf("    %s: %s\n", name, value->c_str());
}

void print_scan(const vorlen::ScanInfo& scan) {
  std::printf("  scan %llu", static_cast<unsigned long long>(scan.index));
  if (scan.block) std::printf(" (block %s)", scan.block->c_str());
  if (scan.error) {
    std::printf(": %s\n", scan.error->display().c_str());
    return;
  }
  std::printf(": %llu points, 2theta %s to %s\n", static_cast<unsigned long long>(scan.points),
              shortest(scan.first).c_str(), shortest(scan.last).c_str());
  print_text("y_unit", scan.y_unit);
  vorlen::for_each_field(scan.metadata, print_number, print_text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: describe FILE\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "%s: cannot open\n", argv[1]);
    return 1;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
  const auto description = vorlen::describe(bytes, argv[1]);
  if (!description) {
    std::printf("%s: %s\n", argv[1], description.error().display().c_str());
    return 1;
  }
  std::printf("%s: %s (by %s)\n", argv[1], description->format.c_str(),
              description->detected_by.c_str());
  for (const vorlen::ScanInfo& scan : description->scans) print_scan(scan);
  return 0;
}
