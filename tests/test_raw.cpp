#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pattern/readers.hpp"

namespace vorlen {
namespace {

using File = std::vector<unsigned char>;

template <class T>
void put(File& file, std::size_t offset, T value) {
  if (file.size() < offset + sizeof value) file.resize(offset + sizeof value);
  std::memcpy(file.data() + offset, &value, sizeof value);  // the test machine is little-endian
}

// One version 3 range of `points` records of `intensities` 1, 2, 3, ... at 10 + i * 0.5.
File raw3(std::uint32_t points = 3, std::uint32_t point_field = 0) {
  File file(712 + 304);
  std::memcpy(file.data(), "RAW1.01", 7);
  put<std::uint32_t>(file, 12, 1);
  put<std::uint32_t>(file, 712, 304);
  put<std::uint32_t>(file, 716, point_field ? point_field : points);
  put<double>(file, 712 + 16, 10.0);
  put<double>(file, 712 + 176, 0.5);
  put<std::uint32_t>(file, 712 + 252, 4);
  for (std::uint32_t i = 0; i < points; ++i) put<float>(file, file.size(), float(i + 1));
  return file;
}

// One version 4 range with a single scanned 2Theta drive.
File raw4(std::uint32_t points = 3, std::uint32_t point_field = 0, std::uint32_t record_size = 4) {
  File file(61 + 160 + 64);
  std::memcpy(file.data(), "RAW4.00", 7);
  put<std::uint32_t>(file, 61, 160);
  std::memcpy(file.data() + 61 + 32, "Locked Coupled", 14);
  put<double>(file, 61 + 72, 10.0);
  put<double>(file, 61 + 80, 0.5);
  put<std::uint32_t>(file, 61 + 88, point_field ? point_field : points);
  put<std::uint32_t>(file, 61 + 136, record_size);
  put<std::uint32_t>(file, 61 + 140, 64);
  put<std::uint32_t>(file, 221, 50);
  put<std::uint32_t>(file, 225, 64);
  put<std::uint32_t>(file, 229, 1);
  std::memcpy(file.data() + 233, "2Theta", 6);
  put<double>(file, 221 + 56, 10.0);
  file.resize(file.size() + std::size_t{points} * record_size);
  return file;
}

Result<Series> parse(const File& file, std::uint64_t index = 0) {
  return parse_bruker_raw(Bytes(file.data(), file.size()), index);
}

std::string message(const File& file, std::uint64_t index = 0) {
  auto result = parse(file, index);
  return result ? "ok" : result.error().detail();
}

TEST(RawPoints, IntensitiesWidenExactlyAndAnglesAreIndexTimesStepPlusStart) {
  File file = raw3(3);
  const float tiny = std::numeric_limits<float>::denorm_min();
  put<float>(file, 1016 + 4, tiny);
  put<double>(file, 712 + 16, 0.1);
  put<double>(file, 712 + 176, 0.7);
  auto result = parse(file);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->y, (std::vector<double>{1.0, double(tiny), 3.0}));
  const double step = 0.7, start = 0.1;
  EXPECT_EQ(result->x, (std::vector<double>{start, 1.0 * step + start, 2.0 * step + start}));
}

TEST(RawSelection, LargestIndexIsOutOfRange) {
  EXPECT_EQ(message(raw4(), std::numeric_limits<std::uint64_t>::max()),
            "Bruker RAW: scan 18446744073709551615 is out of range; file has 1 scans");
}

// A header count that would need more bytes than the file has is refused before it sizes
// anything.
TEST(RawHostile, HugeCountsAreRefusedAgainstTheFileLength) {
  EXPECT_EQ(message(raw3(1, 0xFFFFFFFFu)),
            "Bruker RAW: truncated record at offset 1016: needs 17179869180 bytes, file has 1020");
  File file = raw4(0, 0xFFFFFFFFu, 0xFFFFFFFCu);
  file.resize(file.size() + 8);
  EXPECT_EQ(message(file),
            "Bruker RAW: truncated record at offset 285: needs 18446744052234715140 bytes, "
            "file has 293");
}

struct Sample {
  const char* name;
  File file;
};

class RawHostileSample : public ::testing::TestWithParam<Sample> {};

// Every prefix of a valid file is refused with a message of this reader.
TEST_P(RawHostileSample, EveryTruncationIsRefusedCleanly) {
  const File& whole = GetParam().file;
  ASSERT_TRUE(parse(whole));
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const File prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    const std::string text = message(prefix);
    EXPECT_EQ(text.rfind("Bruker RAW: ", 0), 0u) << "length " << n << ": " << text;
  }
}

// Random byte changes give a result or a message of this reader, never anything else.
TEST_P(RawHostileSample, CorruptedBytesGiveResultOrMessage) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 5000; ++trial) {
    File file = GetParam().file;
    for (int k = 0; k < 4; ++k) {
      // The signature stays, so every change reaches the file walk.
      file[7 + random() % (file.size() - 7)] = static_cast<unsigned char>(random());
    }
    const std::string text = message(file, random() % 2);
    EXPECT_TRUE(text == "ok" || text.rfind("Bruker RAW: ", 0) == 0) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Raw, RawHostileSample,
                         ::testing::Values(Sample{"v3", raw3()}, Sample{"v4", raw4()}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlen
