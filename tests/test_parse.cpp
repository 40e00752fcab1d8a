#include <gtest/gtest.h>

#include <string>

#include "parser/parse.hpp"

namespace {

using vorlen::has_xrdml_root;
using vorlen::lowercased_extension;

TEST(Extension, LastComponentLowered) {
  EXPECT_EQ(lowercased_extension("DATA.XY"), "xy");
  EXPECT_EQ(lowercased_extension("dir.d/scan.Raw"), "raw");
  EXPECT_EQ(lowercased_extension("dir/scan.tar.GZ/"), "gz");  // trailing separators ignored
  EXPECT_EQ(lowercased_extension(".xy"), "");                 // only dot is the first character
  EXPECT_EQ(lowercased_extension("dir.xy/noext"), "");
  EXPECT_EQ(lowercased_extension("file."), "");
  EXPECT_EQ(lowercased_extension(".."), "");
  EXPECT_EQ(lowercased_extension("a/.."), "");
  EXPECT_EQ(lowercased_extension(".config.CHI"), "chi");
  EXPECT_EQ(lowercased_extension("scan.\xC3\x89X"), "\xC3\x89x");  // only ASCII letters change
  EXPECT_EQ(lowercased_extension(""), "");
}

struct RootCase {
  std::string text;
  bool expected;
};

class XrdmlRoot : public ::testing::TestWithParam<RootCase> {};

TEST_P(XrdmlRoot, FirstElementDecides) {
  EXPECT_EQ(has_xrdml_root(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XrdmlRoot,
    ::testing::Values(
        RootCase{"<xrdMeasurements/>", true},
        RootCase{"  \n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- c -->\n<?pi x?>\n"
                 "<xrd:xrdMeasurements xmlns:xrd=\"u\"><unclosed>",
                 true},
        RootCase{"<!DOCTYPE x><xrdMeasurements/>", true},
        RootCase{"<a:b:xrdMeasurements/>", false},  // local name is after the first colon
        RootCase{"<xrdMeasurement/>", false}, RootCase{"<root><xrdMeasurements/></root>", false},
        RootCase{"text <xrdMeasurements/>", false}, RootCase{"", false}, RootCase{"<", false},
        RootCase{"<!-- only a comment -->", false},
        // Comments are passed over whatever they hold, but only where a comment can stand.
        RootCase{"<!-- a -- b -->\n<!--- c --->\n<xrdMeasurements>", true},
        RootCase{"<?xml version='1.0'?><!-- a -- b --><other/>", false},
        RootCase{"<?p <!-- -- -->?><xrdMeasurements/>", true},
        RootCase{"<!-- unclosed -- <xrdMeasurements/>", false}));

TEST(OnePattern, OnlyIndexZero) {
  EXPECT_TRUE(vorlen::one_pattern(0).ok());
  auto status = vorlen::one_pattern(1);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().detail(), "this format has one pattern; index must be 0");
}

}  // namespace
