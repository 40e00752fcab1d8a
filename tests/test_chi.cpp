// The CHI reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern/readers.hpp"

namespace vorlen {
namespace {

Result<Series> chi(const std::string& input) { return parse_chi(as_bytes(input)); }

std::string chi_file(const std::string& label, const std::string& count_line,
                     const std::string& rows) {
  return "title\n" + label + "\nIntensity\n" + count_line + "\n" + rows;
}

const std::string kRows = "10.0 5\n10.5 6\n11.0 7\n";

TEST(ChiLabel, AcceptsAngleLabels) {
  for (const std::string label : {"2-Theta Angle (Degrees)", "2\u03b8 (deg)", "TwoTheta", "Theta",
                                  "2theta d-spacing", "", "Coupled TTh"}) {
    const auto got = chi(chi_file(label, "3", kRows));
    ASSERT_TRUE(got.ok()) << label << ": " << got.error().detail();
    EXPECT_EQ(got->x, (std::vector<double>{10.0, 10.5, 11.0}));
  }
}

TEST(ChiLabel, RefusesOtherAxesAndRadians) {
  const std::pair<std::string, std::string> cases[] = {
      {"Q (nm^-1)", "\"q (nm^-1)\""},
      {"q_A^-1", "\"q_a^-1\""},
      {"Qnm", "\"qnm\""},
      {"d (Angstrom)", "\"d (angstrom)\""},
      {"d-spacing", "\"d-spacing\""},
      {"D_Spacing", "\"d_spacing\""},
      {"Radial distance (mm)", "\"radial distance (mm)\""},
      {"Pixel", "\"pixel\""},
      {"Channel number", "\"channel number\""},
      {"2theta (rad)", "\"2theta (rad)\""},
      {"2Theta radians", "\"2theta radians\""},
      {"2Theta\t(rad)", "\"2theta\\t(rad)\""},
  };
  for (const auto& [label, shown] : cases) {
    const auto got = chi(chi_file(label, "3", kRows));
    ASSERT_FALSE(got.ok()) << label;
    EXPECT_EQ(got.error().detail(), "CHI: x axis " + shown + " is not 2theta in degrees");
  }
}

TEST(ChiHeader, ReportsEachDefect) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "CHI: missing four-line header"},
      {"title", "CHI: missing x axis label"},
      {"title\n", "CHI: missing x axis label"},
      {"title\nPixel", "CHI: x axis \"pixel\" is not 2theta in degrees"},
      {"title\n2theta\n", "CHI: missing intensity label"},
      {"title\n2theta\nI\n", "CHI: missing point count"},
      {chi_file("2theta", "", kRows), "CHI: invalid point count"},
      {chi_file("2theta", "-5", kRows), "CHI: invalid point count"},
      {chi_file("2theta", "1e2", kRows), "CHI: invalid point count"},
      {chi_file("2theta", "3 2", kRows), "CHI: only one dataset per profile is supported"},
      {chi_file("2theta", "3 0", kRows), "CHI: only one dataset per profile is supported"},
      {chi_file("2theta", "3 1 0", kRows), "CHI: invalid point-count header"},
      {chi_file("2theta", "3", kRows + "11.5 8\n"),
       "CHI: header declares 3 points but 4 were read"},
      {chi_file("2theta", "18446744073709551615", kRows),
       "CHI: header declares 18446744073709551615 points but 3 were read"},
      {chi_file("2theta", "3", "10 5\n11\n12 7\n"), "CHI: missing intensity"},
      {chi_file("2theta", "1", "# 10 5\n"), "Invalid numeric value \"#\""},
      {chi_file("2theta", "0", "\n  \n"), "CHI: no complete x/y pattern found"},
  };
  for (const auto& [input, message] : cases) {
    const auto got = chi(input);
    ASSERT_FALSE(got.ok()) << input;
    EXPECT_EQ(got.error().detail(), message) << input;
  }
}

TEST(ChiRows, AcceptsCountFormsBlankLinesExtraColumnsAndCrlf) {
  const std::string inputs[] = {
      chi_file("2theta", "3", kRows),
      chi_file("2theta", " +3  1 ", kRows),
      chi_file("2theta", "3", "\n10.0 5\n\n  \n10.5 6 0.1 x\n11.0,7"),
      "title\r\n2theta\r\nI\r\n3\r\n10.0 5\r\n10.5 6\r\n11.0 7\r\n",
  };
  for (const std::string& input : inputs) {
    const auto got = chi(input);
    ASSERT_TRUE(got.ok()) << input << ": " << got.error().detail();
    EXPECT_EQ(got->x, (std::vector<double>{10.0, 10.5, 11.0}));
    EXPECT_EQ(got->y, (std::vector<double>{5, 6, 7}));
  }
}

}  // namespace
}  // namespace vorlen
