#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/readers.hpp"
#include "xml/rasx.hpp"
#include "zip_builder.hpp"

namespace vorlen {
namespace {

using test::Members;
using test::zip;

std::string message(const Error& error) { return error.detail(); }

struct AxisCase {
  const char* label;
  bool accepted;
};

class RasxAxis : public testing::TestWithParam<AxisCase> {};

TEST_P(RasxAxis, AcceptsOnlyTwoThetaScans) {
  Status status = check_rigaku_axis(GetParam().label);
  EXPECT_EQ(status.ok(), GetParam().accepted) << GetParam().label;
  if (!GetParam().accepted) {
    EXPECT_EQ(message(status.error()),
              "scan axis \"" + std::string(GetParam().label) + "\" is not a supported 2theta scan");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RasxAxis,
                         testing::Values(AxisCase{"TwoThetaTheta", true},
                                         AxisCase{"TwoThetaOmega", true}, AxisCase{"2Theta", true},
                                         AxisCase{"2-Theta w", true}, AxisCase{"Two_Theta", true},
                                         AxisCase{"2theta-theta", true},
                                         AxisCase{"2Theta/Omega", false}, AxisCase{"Omega", false},
                                         AxisCase{"TwoThetaChi", false}, AxisCase{"", false}));

TEST(RasxAxis, QuotesTheLabelInTheMessage) {
  Status status = check_rigaku_axis("Phi\t\"x\"");
  ASSERT_FALSE(status);
  EXPECT_EQ(message(status.error()), R"(scan axis "Phi\t\"x\"" is not a supported 2theta scan)");
}

std::string rasx_root(std::string_view measurements) {
  return R"(<?xml version="1.0" encoding="utf-8"?><Root>)" + std::string(measurements) + "</Root>";
}

std::string measurement(std::string_view name, std::initializer_list<std::string_view> members) {
  std::string out = "<" + std::string(name) + ">";
  for (std::string_view member : members) {
    out += R"(<ContentHashList Name=")" + std::string(member) + R"(" ContentHash="0"/>)";
  }
  return out + "</" + std::string(name) + ">";
}

std::string conditions(std::string_view axis) {
  return "<Conditions><AxisName>Omega</AxisName><ScanInformation><AxisName>" + std::string(axis) +
         "</AxisName></ScanInformation></Conditions>";
}

Result<Series> read_rasx(const Members& members, std::uint64_t index = 0) {
  return parse_rasx(as_bytes(zip(members)), index);
}

TEST(Rasx, AxisIsLookedUpWithinScanInformationWhenThereIsOne) {
  const std::string root = rasx_root(measurement("Data0", {"P.txt", "Conditions.XML"}));
  // The Omega before ScanInformation is outside the scope and does no harm.
  auto scoped = read_rasx({{"root.xml", root},
                           {"Data0/Conditions.XML", conditions("TwoThetaOmega")},
                           {"Data0/P.txt", "1 2\n"}});
  ASSERT_TRUE(scoped) << message(scoped.error());
  EXPECT_EQ(scoped->x, std::vector<double>{1});

  auto whole = read_rasx({{"root.xml", root},
                          {"Data0/Conditions.XML", "<c><x><AxisName>Chi</AxisName></x></c>"},
                          {"Data0/P.txt", "1 2\n"}});
  ASSERT_FALSE(whole);
  EXPECT_EQ(message(whole.error()), R"(scan axis "Chi" is not a supported 2theta scan)");
}

}  // namespace
}  // namespace vorlen
