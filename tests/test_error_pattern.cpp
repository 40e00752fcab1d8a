#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "pattern/pattern.hpp"
#include "pattern/spares.hpp"
#include "vorlen/vorlen.hpp"

namespace {

using vorlen::Error;
using vorlen::Pattern;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

struct ValidationCase {
  std::vector<double> x, y;
  const char* message;  // nullptr: valid
};

class PatternValidation : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(PatternValidation, ChecksInOrder) {
  const auto& c = GetParam();
  auto result = Pattern::create(c.x, c.y);
  if (c.message == nullptr) {
    ASSERT_TRUE(result.ok()) << result.error().detail();
    EXPECT_EQ(result->x(), c.x);
    EXPECT_EQ(result->y(), c.y);
  } else {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), vorlen::ErrorKind::Parse);
    EXPECT_EQ(result.error().detail(), c.message);
  }
}

const char* const length = "x and y must have the same length";
const char* const x_bad = "x values must be finite and strictly increasing";
const char* const y_bad = "y values must be finite";

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternValidation,
    ::testing::Values(
        ValidationCase{{10.0}, {5.0}, nullptr}, ValidationCase{{1, 2, 3}, {-1, 0, 1e300}, nullptr},
        ValidationCase{{}, {1.0}, length}, ValidationCase{{1, 2}, {1, 2, 3}, length},
        ValidationCase{{}, {}, "pattern contains no points"},
        ValidationCase{{1, 2, 2}, {1, 1, 1}, x_bad}, ValidationCase{{3, 2, 1}, {1, 1, 1}, x_bad},
        ValidationCase{{1, nan, 3}, {1, 1, 1}, x_bad},
        ValidationCase{{1, 2, inf}, {1, 1, 1}, x_bad},
        ValidationCase{{1, nan}, {inf, 1}, x_bad},  // x checked first
        ValidationCase{{1, 2, 3}, {1, nan, 3}, y_bad}, ValidationCase{{1, 2}, {1, -inf}, y_bad},
        // Steps whose difference is -0, +0, a denormal or overflows to infinity.
        ValidationCase{{0.0, -0.0}, {1, 1}, x_bad}, ValidationCase{{-0.0, 0.0}, {1, 1}, x_bad},
        ValidationCase{{0, 5e-324, 1e-323}, {1, 1, 1}, nullptr},
        ValidationCase{{-1.7e308, 1.7e308}, {1, 1}, nullptr},
        ValidationCase{{-inf, 1}, {1, 1}, x_bad}, ValidationCase{{nan}, {1}, x_bad},
        ValidationCase{{1}, {-nan}, y_bad},
        ValidationCase{{1, 2, 3, 4, 5, 6}, {1, 1, 1, 1, 1, 5e-324}, nullptr}));

// Every position of a long run, so the vectorised scans miss no lane and no tail element.
TEST(PatternValidation, OneBadValueAnywhereInALongRun) {
  for (std::size_t at = 0; at < 37; ++at) {
    std::vector<double> x(37), y(37, 1.0);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i);
    for (const double bad : {nan, inf, -inf}) {
      auto y_wrong = y;
      y_wrong[at] = bad;
      EXPECT_EQ(Pattern::create(x, y_wrong).error().detail(), y_bad) << at;
      auto x_wrong = x;
      x_wrong[at] = bad;
      EXPECT_EQ(Pattern::create(x_wrong, y).error().detail(), x_bad) << at;
    }
    if (at > 0) {
      auto x_flat = x;
      x_flat[at] = x_flat[at - 1];
      EXPECT_EQ(Pattern::create(x_flat, y).error().detail(), x_bad) << at;
    }
  }
}

TEST(ErrorDisplay, EveryKind) {
  EXPECT_EQ(Error::parse("GSAS: invalid channel count").display(),
            "Parse error: GSAS: invalid channel count");
  EXPECT_EQ(Error::unknown_format().display(), "Unknown format");
  EXPECT_EQ(Error::zip("Not a zip archive").display(), "Zip error: Not a zip archive");
  EXPECT_EQ(Error::file_not_found_in_archive("Data0/a.txt").display(),
            "File not found in archive: Data0/a.txt");
  EXPECT_EQ(Error::io_errno(2).display(), "IO error: No such file or directory (os error 2)");
}

vorlen::Result<Pattern> read_text(const std::string& text, const std::string& name = "a.xy") {
  return vorlen::read_bytes_with_options(vorlen::as_bytes(text), name, {});
}

TEST(EntryPoints, DescendingDataIsReversedWithItsIntensities) {
  auto result = read_text("30 1\n20 2\n10 3\n");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result->x(), (std::vector<double>{10, 20, 30}));
  EXPECT_EQ(result->y(), (std::vector<double>{3, 2, 1}));
}

TEST(EntryPoints, PartlyDescendingDataIsLeftForValidation) {
  auto result = read_text("3 1\n2 1\n2 1\n1 1\n");
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().detail(), x_bad);
}

TEST(EntryPoints, ReadingMissingFileOrDirectoryIsIo) {
  for (const char* path : {"/nonexistent/file.xy", "/tmp"}) {
    auto result = vorlen::read_with_options(path, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind(), vorlen::ErrorKind::Io) << path;
  }
  auto missing = vorlen::read_with_options("/nonexistent/file.xy", {});
  EXPECT_EQ(missing.error().detail(), "No such file or directory (os error 2)");
}

TEST(EntryPoints, PathWithNulIsRefusedNotTruncated) {
  auto result = vorlen::read_with_options(std::string_view("/etc/hostname\0.xy", 17), {});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().kind(), vorlen::ErrorKind::Io);
  EXPECT_EQ(result.error().detail(), "path contains a NUL byte");
}

// The lists of a destroyed pattern serve the next reads on the thread, but only requests they
// fit without much waste, at most four of them and 16 MiB, and never with their old values.
std::vector<double> ramp(std::size_t n) {
  std::vector<double> values(n);
  for (std::size_t i = 0; i < n; ++i) values[i] = static_cast<double>(i);
  return values;
}

const double* storage_of_a_destroyed_pattern(std::size_t n) {
  auto pattern = Pattern::create(ramp(n), ramp(n));
  EXPECT_TRUE(pattern.ok());
  return pattern->x().data();
}

TEST(Spares, ADestroyedPatternsListsServeFittingRequestsEmpty) {
  const double* kept = storage_of_a_destroyed_pattern(10000);
  std::vector<double> y = vorlen::values_for(10000), x = vorlen::values_for(6000);
  EXPECT_TRUE(x.data() == kept || y.data() == kept);
  EXPECT_TRUE(x.empty() && y.empty());
  EXPECT_GE(x.capacity(), 6000u);
}

TEST(Spares, ListsFarLargerOrSmallerThanTheRequestAreNotUsed) {
  const double* kept = storage_of_a_destroyed_pattern(10000);
  for (std::size_t count : {1u, 4000u, 10001u}) {
    std::vector<double> values = vorlen::values_for(count);
    EXPECT_NE(values.data(), kept) << count;
    EXPECT_GE(values.capacity(), count);
    EXPECT_LE(values.capacity(), 2 * count + 512) << count;
  }
}

// A list of `capacity` that no new list of fewer values has (reserve gives the exact room).
std::vector<double> list_of_capacity(std::size_t capacity) {
  std::vector<double> values;
  values.reserve(capacity);
  return values;
}

TEST(Spares, AtMostFourListsAndSixteenMebibytesAreKeptTheNewestFirst) {
  for (std::size_t k = 1; k <= 6; ++k) vorlen::keep_spare(list_of_capacity(1000 + k));
  std::vector<std::vector<double>> taken;
  for (int i = 0; i < 6; ++i) taken.push_back(vorlen::values_for(1000));
  std::vector<std::size_t> capacities;
  for (const auto& values : taken) capacities.push_back(values.capacity());
  EXPECT_EQ(capacities, (std::vector<std::size_t>{1006, 1005, 1004, 1003, 1000, 1000}));

  // Two lists of 1.5 million values exceed 16 MiB together: only the newer stays.
  vorlen::keep_spare(list_of_capacity(1500001));
  vorlen::keep_spare(list_of_capacity(1500002));
  EXPECT_EQ(vorlen::values_for(1500000).capacity(), 1500002u);
  EXPECT_EQ(vorlen::values_for(1500000).capacity(), 1500000u);
  // A list larger than 16 MiB is not kept at all.
  vorlen::keep_spare(list_of_capacity(2200000));
  EXPECT_EQ(vorlen::values_for(2100000).capacity(), 2100000u);
}

TEST(EntryPoints, ReadsInOtherThreadsAndAfterOthersReturnTheSamePoints) {
  const std::string small = "1 10\n2 20\n3 30\n";
  std::string large;
  for (int i = 1; i <= 5000; ++i) large += std::to_string(i) + " " + std::to_string(2 * i) + "\n";
  const auto read = [](const std::string& text) {
    auto pattern = vorlen::read_bytes_with_options(vorlen::as_bytes(text), "a.xy", {});
    EXPECT_TRUE(pattern.ok());
    return std::vector<double>(pattern->y());
  };
  const std::vector<double> alone = read(small);
  std::thread other([&] {
    read(large);
    EXPECT_EQ(read(small), alone);
  });
  other.join();
  read(large);
  read(large);
  EXPECT_EQ(read(small), alone);
  EXPECT_EQ(read(large).back(), 10000.0);
}

}  // namespace
