#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "xml/archive.hpp"
#include "zip_builder.hpp"

namespace vorlen::xml {
namespace {

using test::zip;

std::string content(const Buffer& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST(Archive, NamesInDirectoryOrderAndMembersAsStored) {
  const std::string bytes = zip({{"b/second.xml", "<b/>"}, {"a.txt", "1 2\n"}, {"empty", ""}});
  Result<Archive> archive = Archive::open(as_bytes(bytes));
  ASSERT_TRUE(archive) << archive.error().display();
  EXPECT_EQ(archive->names(), (std::vector<std::string_view>{"b/second.xml", "a.txt", "empty"}));
  for (const auto& [name, stored] :
       {std::pair{"a.txt", "1 2\n"}, std::pair{"b/second.xml", "<b/>"}, std::pair{"empty", ""}}) {
    Result<Buffer> member = archive->member(name);
    ASSERT_TRUE(member) << member.error().display();
    EXPECT_EQ(content(*member), stored);
  }
}

TEST(Archive, AbsentMembersAreNamedInTheError) {
  const std::string bytes = zip({{"root.xml", "<r/>"}});
  Result<Archive> archive = Archive::open(as_bytes(bytes));
  ASSERT_TRUE(archive);
  // Names are compared exactly: no case folding, no folder search, and a NUL never matches.
  using namespace std::string_view_literals;
  for (const std::string_view name : {"ROOT.xml"sv, "x/root.xml"sv, "root"sv, "root.xml\0"sv}) {
    Result<Buffer> member = archive->member(name);
    ASSERT_FALSE(member) << name;
    EXPECT_EQ(member.error().kind(), ErrorKind::FileNotFoundInArchive);
    EXPECT_EQ(member.error().detail(), std::string(name));
  }
}

TEST(Archive, DamagedArchivesAreZipErrorsOrIoErrors) {
  using namespace std::string_view_literals;
  const std::string whole = zip({{"data.txt", "1 2 3 4"}});
  // A stray header, and an archive cut short inside its directory.
  for (const std::string_view bytes :
       {"PK\x03\x04 not an archive"sv, std::string_view(whole).substr(0, whole.size() - 30)}) {
    Result<Archive> archive = Archive::open(as_bytes(bytes));
    ASSERT_FALSE(archive);
    EXPECT_EQ(archive.error().kind(), ErrorKind::Zip);
  }
  // A member whose bytes no longer match its checksum is read and refused.
  std::string bytes = whole;
  bytes[bytes.find("1 2 3 4")] = '9';
  Result<Archive> archive = Archive::open(as_bytes(bytes));
  ASSERT_TRUE(archive) << archive.error().display();
  Result<Buffer> member = archive->member("data.txt");
  ASSERT_FALSE(member);
  EXPECT_EQ(member.error().kind(), ErrorKind::Io);
}

}  // namespace
}  // namespace vorlen::xml
