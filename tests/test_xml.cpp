// The XML tree built on expat, and the number, axis-label and column rules of the XML readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "xml/plain_text.hpp"
#include "xml/tree.hpp"

namespace vorlen::xml {
namespace {

Result<Document> parse(std::string_view text) { return document(as_bytes(text)); }

Document parsed(std::string_view text) {
  auto r = parse(text);
  EXPECT_TRUE(r.ok()) << text << " -> " << (r.ok() ? "" : r.error().detail());
  return r.ok() ? std::move(r).value() : parse("<failed/>").value();
}

std::string message(std::string_view text) {
  auto r = parse(text);
  EXPECT_FALSE(r.ok()) << text;
  if (r.ok()) return "";
  EXPECT_EQ(r.error().kind(), ErrorKind::Parse);
  return r.error().detail();
}

std::string nested(int depth, std::string_view innermost = "") {
  std::string s;
  for (int i = 0; i < depth; ++i) s += "<e>";
  s += innermost;
  for (int i = 0; i < depth; ++i) s += "</e>";
  return s;
}

int depth_of(const Element& e) {
  int d = 1;
  for (const Element* p = &e; !p->children().empty(); p = &p->children().front()) ++d;
  return d;
}

TEST(XmlTree, EmptyElementRoot) {
  const Document doc = parsed("<a/>");
  const Element& root = doc.root();
  EXPECT_EQ(root.name, "a");
  EXPECT_TRUE(root.attributes().empty());
  EXPECT_TRUE(root.children().empty());
  EXPECT_EQ(root.text, "");
}

TEST(XmlTree, MarkupAroundRootLeavesNoTrace) {
  const Document doc = parsed(
      "<?xml version=\"1.0\"?>\n<!-- c --><?pi x?>\n <r><!-- inner -->1<?p?>2</r>\n<!-- end -->\n");
  const Element& root = doc.root();
  EXPECT_EQ(root.name, "r");
  EXPECT_EQ(root.text, "12");
  EXPECT_TRUE(root.children().empty());
  // Blank lines before the declaration are text outside the root, not an error.
  EXPECT_EQ(parsed(" \r\n\t<?xml version=\"1.0\"?><r/>").root().name, "r");
}

TEST(XmlTree, TextIsDirectUntrimmedAndInOrder) {
  const Document doc = parsed("<a><b>1</b> <b>2</b></a>");
  const Element& root = doc.root();
  EXPECT_EQ(root.text, " ");
  std::vector<std::string_view> texts;
  for (const Element& child : root.children()) texts.push_back(child.text);
  EXPECT_EQ(texts, (std::vector<std::string_view>{"1", "2"}));
  EXPECT_EQ(parsed("<a>\n  x\n  <b/>\n  y\n</a >").root().text, "\n  x\n  \n  y\n");
}

TEST(XmlTree, LineEndsNormalisedInText) {
  EXPECT_EQ(parsed("<a>1\r\n2\r3\n</a>").root().text, "1\n2\n3\n");
  EXPECT_EQ(parsed("<a>\r</a>").root().text, "\n");
  const Document doc = parsed("<a>\r\n <b>x\ry</b>\r\n</a>");
  const Element& root = doc.root();
  EXPECT_EQ(root.text, "\n \n");
  EXPECT_EQ(root.child("b")->text, "x\ny");
}

TEST(XmlTree, CdataAndReferencesJoinTheText) {
  EXPECT_EQ(parsed("<a>x<![CDATA[<y>&amp;]]>z</a>").root().text, "x<y>&amp;z");
  EXPECT_EQ(parsed("<a>&lt;&#65;&#x42;&gt;&amp;&apos;&quot;</a>").root().text, "<AB>&'\"");
  EXPECT_EQ(parsed("<a>&#xE9;&#8364;</a>").root().text, "\xC3\xA9\xE2\x82\xAC");
}

TEST(XmlTree, PrefixesDroppedFromNamesAndKeys) {
  const Document doc = parsed("<p:root xmlns:p='u' xmlns='d' p:k='1' a:b:c='2' q:k='3'/>");
  const Element& root = doc.root();
  EXPECT_EQ(root.name, "root");
  using Pairs = std::vector<std::pair<std::string_view, std::string_view>>;
  Pairs pairs;
  for (const Attribute& a : root.attributes()) pairs.emplace_back(a.key, a.value);
  EXPECT_EQ(pairs, (Pairs{{"p", "u"}, {"xmlns", "d"}, {"k", "1"}, {"c", "2"}, {"k", "3"}}));
  EXPECT_EQ(root.attr("k"), "1");
  EXPECT_EQ(parsed("<a:b:c/>").root().name, "b:c");
}

TEST(XmlTree, AttributeValuesNormalised) {
  const Document doc = parsed("<a v='x\r\ny\tz\nw' r='&lt;&#65;&#10;' s='a  b'/>");
  const Element& root = doc.root();
  EXPECT_EQ(root.attr("v"), "x y z w");
  EXPECT_EQ(root.attr("r"), "<A\n");
  EXPECT_EQ(root.attr("s"), "a  b");
  EXPECT_EQ(root.attr("missing"), std::nullopt);
}

TEST(XmlTree, EncodingDeclarationIsNotConsulted) {
  EXPECT_EQ(parsed("<?xml version='1.0' encoding='ISO-8859-1'?><a>\xC3\xA9</a>").root().text,
            "\xC3\xA9");
  EXPECT_EQ(parsed("<?xml version='1.0' encoding='Shift_JIS'?><a/>").root().name, "a");
  // UTF-16 with a byte-order mark, declared as such.
  const std::u16string src = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u00e9</a>";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : src) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  EXPECT_EQ(parsed(bytes).root().text, "\xC3\xA9");
}

TEST(XmlTree, DecodingErrorPassesUnchanged) {
  EXPECT_EQ(message("\xFF\xFE<"), "truncated UTF-16 text");
}

TEST(XmlTree, NestingLimitCountsStartTagsOnly) {
  EXPECT_EQ(depth_of(parsed(nested(128)).root()), 128);
  EXPECT_EQ(depth_of(parsed(nested(128, "<leaf/>")).root()), 129);
  EXPECT_EQ(depth_of(parsed(nested(128, "<leaf a='1' />")).root()), 129);
  EXPECT_EQ(message(nested(128, "<leaf></leaf>")), "XML nesting exceeds 128 elements");
  EXPECT_EQ(message(nested(129)), "XML nesting exceeds 128 elements");
  // A hostile depth is refused at the limit, before the rest is read.
  EXPECT_EQ(message(nested(100'000)), "XML nesting exceeds 128 elements");
}

TEST(XmlTree, DocumentTypeDeclarationsRefused) {
  const std::string laughs =
      "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol 'lol'>"
      "<!ENTITY lol1 '&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;'>"
      "<!ENTITY lol2 '&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;'>"
      "<!ENTITY lol3 '&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;'>]>"
      "<lolz>&lol3;</lolz>";
  for (const std::string& doc :
       {std::string("<!DOCTYPE x><x/>"), laughs,
        std::string("<!DOCTYPE x SYSTEM 'file:///etc/passwd'><x/>"),
        std::string("<a>\n <!DOCTYPE x></a>"), std::string("<a/><!DOCTYPE x>")})
    EXPECT_EQ(message(doc), "XML document type declarations are not supported") << doc;
}

TEST(XmlTree, RootRules) {
  for (std::string_view doc : {"", "  \n", "<!-- only -->", "<?xml version='1.0'?>", "<a/><b/>",
                               "<a/>x", "x<a/>", "<a></a><a></a>", "<a/><![CDATA[x]]>", "<a/><b"})
    EXPECT_EQ(message(doc), "XML must contain exactly one root element") << doc;
}

TEST(XmlTree, ErrorFarIntoADocumentNamesItsPlace) {
  std::string doc = "<a>\n";
  for (int i = 0; i < 1000; ++i) doc += "<b>1</b>\n";
  EXPECT_EQ(message(doc + "<c d/></a>"),
            "XML attribute: not well-formed (invalid token) at line 1002, column 5");
  EXPECT_EQ(message(doc + "</b></a>"), "XML parse: mismatched tag at line 1002, column 3");
  EXPECT_EQ(message(doc + "<c>&x;</c></a>"), "XML entity: undefined entity at line 1002, column 4");
}

TEST(XmlTree, EachDocumentReadAsIfByANewParser) {
  // Parsers are kept and reused: nothing of a document (its place, its failure, where it was
  // stopped, the names it declared) may carry over to the next.
  const std::string late_error = "<a>\n\n<b>1</b>\n</c>";
  const std::string first = message(late_error);
  EXPECT_EQ(first, "XML parse: mismatched tag at line 4, column 3");
  for (const std::string_view between :
       {"<a><b></a>", "<a>x</a>", "<!DOCTYPE a><a/>", "<x:a xmlns:x='u'/>", "<a>\x01</a>"}) {
    static_cast<void>(parse(between));
    EXPECT_EQ(message(late_error), first) << between;
    EXPECT_EQ(parsed("<p:a xmlns:p='v'><p:b k='1'/></p:a>").root().children().begin()->name, "b");
  }
}

TEST(XmlTree, TruncatedDocument) {
  EXPECT_EQ(message("<a><b></b>"), "truncated XML document");
  EXPECT_EQ(message("<a>text"), "truncated XML document");
}

struct Prefixed {
  std::string_view doc;
  std::string_view prefix;
};

class XmlErrors : public testing::TestWithParam<Prefixed> {};

TEST_P(XmlErrors, CarryPrefixAndParserDetail) {
  const std::string m = message(GetParam().doc);
  EXPECT_TRUE(m.starts_with(GetParam().prefix)) << GetParam().doc << " -> " << m;
  EXPECT_GT(m.size(), GetParam().prefix.size() + 3) << m;
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlErrors,
    testing::Values(
        // syntax and well-formedness
        Prefixed{"<a></b>", "XML parse: "}, Prefixed{"<a/></a>", "XML parse: "},
        Prefixed{"<a><b", "XML parse: "}, Prefixed{"<a><!-- open", "XML parse: "},
        Prefixed{"<a><![CDATA[x", "XML parse: "}, Prefixed{"<a>&amp</a>", "XML parse: "},
        Prefixed{"<a>&am", "XML parse: "}, Prefixed{"<a<b/>", "XML parse: "},
        Prefixed{"<a>\x01</a>", "XML parse: "},
        // references in text
        Prefixed{"<a>&nbsp;</a>", "XML entity: "}, Prefixed{"<a>x&#0;</a>", "XML entity: "},
        Prefixed{"<a>&#xD800;</a>", "XML entity: "},
        // attributes
        Prefixed{"<a b/>", "XML attribute: "}, Prefixed{"<a b=c/>", "XML attribute: "},
        Prefixed{"<a b='1' b='2'/>", "XML attribute: "},
        Prefixed{"<a><b p:k='1' p:k='2'/></a>", "XML attribute: "},
        Prefixed{"<a b='&x;'/>", "XML attribute: "}, Prefixed{"<a b='&#0;'/>", "XML attribute: "},
        Prefixed{"<a b='<'/>", "XML attribute: "}, Prefixed{"<a b='>' c/>", "XML attribute: "},
        Prefixed{"<a b='1'c='2'/>", "XML attribute: "}));

// A comment is ignored whatever it holds, "--" and a closing "--->" included: each document
// reads exactly as the same document without its comments.
struct Commented {
  std::string_view with;
  std::string_view without;
};

class XmlComments : public testing::TestWithParam<Commented> {};

// Every element of the two documents has the same name, text and attribute values.
void expect_same_tree(std::string_view first, std::string_view second) {
  const Document one = parsed(first);
  const Document other = parsed(second);
  ASSERT_EQ(one.root().extent, other.root().extent) << first;
  for (std::size_t i = 0; i < one.root().extent; ++i) {
    const Element& a = (&one.root())[i];
    const Element& b = (&other.root())[i];
    EXPECT_EQ(a.name, b.name) << first;
    EXPECT_EQ(a.text, b.text) << first;
    ASSERT_EQ(a.attributes().size(), b.attributes().size());
    for (std::size_t k = 0; k < a.attributes().size(); ++k)
      EXPECT_EQ(a.attributes()[k].value, b.attributes()[k].value);
  }
}

TEST_P(XmlComments, ReadAsIfAbsent) { expect_same_tree(GetParam().with, GetParam().without); }

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlComments,
    testing::Values(Commented{"<!-- a -- b --><a/>", "<a/>"},
                    Commented{"<?xml version='1.0'?>\n<!--- x --->\n<a k='1'/>", "<a k='1'/>"},
                    Commented{"<a>1 <!-- -- --> 2</a>", "<a>1  2</a>"},
                    Commented{"<a><b>x<!--y--->z</b><!----------><c/></a>", "<a><b>xz</b><c/></a>"},
                    Commented{"<a>&lt;<!-- -- -->&gt;</a>", "<a>&lt;&gt;</a>"},
                    Commented{"<a/>\n<!-- after -- the root -->\n", "<a/>"},
                    Commented{"<a><!-- <!-- -- --><b/></a>", "<a><b/></a>"},
                    // Only comments are passed over: the same bytes inside CDATA or a processing
                    // instruction stay what they are.
                    Commented{"<a><![CDATA[<!-- -- -->]]><!-- -- --></a>",
                              "<a>&lt;!-- -- --&gt;</a>"},
                    Commented{"<a><?p <!-- -- -->?><!-- -- --></a>", "<a/>"}));

TEST(XmlComments, OtherDefectsStillRefused) {
  // A control character in a comment stays an error of the parser.
  EXPECT_TRUE(message("<a><!-- \x01 --></a>").starts_with("XML parse: "))
      << message("<a><!-- \x01 --></a>");
  EXPECT_TRUE(message("<a><!-- -- </a>").starts_with("XML parse: "));
  // Lines hidden from the parser still count in the place of a later error.
  EXPECT_EQ(message("<a>\n<!-- -- \n\n -->\n</b></a>"),
            "XML parse: mismatched tag at line 5, column 3");
}

// Long runs of plain text are taken as they stand rather than through the parser. Each document
// is written with "@" for such a run, and must read exactly as an equivalent document (by
// default the same one) whose runs are cut by empty comments into pieces too short to be taken
// that way.
std::string run_text() {
  std::string run;
  while (run.size() < 3 * plain_run_min) run += "12.5 -3 > 7\t4e-2\n";
  return run;
}

std::string with_runs(std::string_view pattern, bool cut) {
  std::string run = run_text();
  if (cut) {
    for (std::size_t at = plain_run_min / 2; at < run.size(); at += plain_run_min / 2)
      run.insert(at, "<!---->");
  }
  std::string doc;
  for (char c : pattern) doc += c == '@' ? run : std::string(1, c);
  return doc;
}

struct RunCase {
  std::string_view doc;
  std::string_view same_as = {};
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.doc; }

class XmlPlainRuns : public testing::TestWithParam<RunCase> {};

TEST_P(XmlPlainRuns, ReadAsThroughTheParser) {
  const RunCase c = GetParam();
  const std::string whole = with_runs(c.doc, false);
  const std::string cut = with_runs(c.same_as.empty() ? c.doc : c.same_as, true);
  const auto a = parse(whole);
  const auto b = parse(cut);
  ASSERT_EQ(a.ok(), b.ok()) << c.doc;
  if (a.ok()) {
    expect_same_tree(whole, cut);
  } else {
    // The cuts move the place an error names, not its kind.
    EXPECT_EQ(a.error().detail().substr(0, 12), b.error().detail().substr(0, 12)) << c.doc;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlPlainRuns,
    testing::Values(RunCase{"<a>@</a>"}, RunCase{"<a><b k='1'>@</b><c>@</c>@</a>"},
                    RunCase{"<a>x<b/>@<b/>@ y</a>"}, RunCase{"<a><b/>@</a>"},
                    RunCase{"<a k='>'>@</a>"}, RunCase{"<a>@\r\n@</a>"}, RunCase{"<a>@&amp;@</a>"},
                    RunCase{"<a>@\xc3\xa9@</a>"}, RunCase{"<a>@]@</a>"},
                    // the same bytes inside a comment, a processing instruction or a CDATA section
                    RunCase{"<a><!-- > @ --></a>", "<a></a>"},
                    RunCase{"<a><!-- > @ <b/> --></a>", "<a/>"},
                    RunCase{"<a><?p > @ ?></a>", "<a/>"}, RunCase{"<a><?p > @ <b/> ?></a>", "<a/>"},
                    RunCase{"<a><![CDATA[ > @ ]]></a>", "<a> &gt; @ </a>"},
                    RunCase{"<a><![CDATA[ > @ <b> @ ]]></a>", "<a> &gt; @ &lt;b&gt; @ </a>"},
                    RunCase{"<a><![CDATA[ > @ ]]>@</a>", "<a> &gt; @ @</a>"},
                    // refused: text outside the root, a bad tag or reference after a run
                    RunCase{"<?xml version='1.0'?>@<a/>"}, RunCase{"<a/>@<b/>"},
                    RunCase{"<a/><!-- > @ -->@"}, RunCase{"<a>@</b>"}, RunCase{"<a>@&x;</a>"},
                    RunCase{"<a>@<b @/></a>"}, RunCase{"<a b='> @ <'/>"}, RunCase{"<a>@"}));

TEST(XmlPlainRuns, TextIsAViewOfTheInput) {
  const std::string doc = with_runs("<a>@</a>", false);
  const Document d = parsed(doc);
  EXPECT_EQ(d.root().text.data(), doc.data() + 3);
  EXPECT_EQ(d.root().text.size(), run_text().size());
}

TEST(XmlPlainRuns, ErrorAfterARunNamesItsPlace) {
  const std::string run = run_text();
  const auto lines = std::count(run.begin(), run.end(), '\n');
  EXPECT_EQ(message("<a>\n" + run + "</b></a>"),
            "XML parse: mismatched tag at line " + std::to_string(lines + 2) + ", column 3");
}

TEST(XmlPlainRuns, WordTestMatchesTheByteRule) {
  // Every byte value at every place of the sixteen-byte block, the word after it and the byte
  // after that, after every other byte value: a borrow between bytes would show as a wrong
  // answer for the byte after.
  for (int before = 0; before < 256; ++before) {
    for (int b = 0; b < 256; ++b) {
      for (std::size_t at = 1; at < 25; ++at) {
        std::string s(25, 'a');
        s[at - 1] = static_cast<char>(before);
        s[at] = static_cast<char>(b);
        const bool expected = std::all_of(s.begin(), s.end(), [](char c) {
          return is_plain_byte(static_cast<unsigned char>(c));
        });
        ASSERT_EQ(is_plain_text(s), expected) << before << " " << b << " at " << at;
      }
    }
  }
}

TEST(XmlPlainRuns, FoundBetweenATagEndAndTheNextTag) {
  const std::string run = run_text();
  const std::string doc = "<a><b k='v'>" + run + "</b><c>" + run + "</c></a>";
  const TextRun first = next_plain_run(doc, 0);
  EXPECT_EQ(first.begin, 12u);
  EXPECT_EQ(first.end, 12 + run.size());
  const TextRun second = next_plain_run(doc, first.end);
  EXPECT_EQ(doc.substr(second.begin, second.end - second.begin), run);
  EXPECT_TRUE(next_plain_run(doc, second.end).empty());
  const std::string short_run(plain_run_min - 1, '1');
  EXPECT_TRUE(next_plain_run("<a>" + short_run + "</a>", 0).empty());
  EXPECT_FALSE(next_plain_run("<a>" + short_run + "1</a>", 0).empty());
  EXPECT_TRUE(next_plain_run("<a>" + run, 0).empty());  // no tag after it
}

TEST(XmlLimits, ElementsAndAttributesBounded) {
  std::string many = "<a>";
  for (std::size_t i = 0; i < max_elements - 1; ++i) many += "<b/>";
  EXPECT_EQ(parsed(many + "</a>").root().extent, max_elements);
  EXPECT_EQ(message(many + "<b/></a>"), "XML document has more than 1048576 elements");
  std::string attributes = "<a>";
  for (std::size_t i = 0; i < max_attributes / 4; ++i) attributes += "<b c='' d='' e='' f=''/>";
  EXPECT_EQ(parsed(attributes + "</a>").root().extent, max_attributes / 4 + 1);
  EXPECT_EQ(message(attributes + "<b g=''/></a>"), "XML document has more than 1048576 attributes");
}

TEST(XmlQuery, AllIsPreOrderIncludingSelf) {
  const Document doc =
      parsed("<scan id='0'><scan id='1'><scan id='2'/></scan><x/><scan id='3'/></scan>");
  const Element& root = doc.root();
  std::vector<std::string_view> ids;
  for (const Element* e : root.all("scan")) ids.push_back(*e->attr("id"));
  EXPECT_EQ(ids, (std::vector<std::string_view>{"0", "1", "2", "3"}));
  EXPECT_TRUE(root.all("Scan").empty());
}

TEST(XmlQuery, ChildrenSkipTheirDescendants) {
  const Document doc = parsed("<r><a><b/><c><g/></c></a><d/><e><f/></e></r>");
  const Element& root = doc.root();
  std::vector<std::string_view> names;
  for (const Element& child : root.children()) names.push_back(child.name);
  EXPECT_EQ(names, (std::vector<std::string_view>{"a", "d", "e"}));
  names.clear();
  for (const Element& child : root.children().front().children()) names.push_back(child.name);
  EXPECT_EQ(names, (std::vector<std::string_view>{"b", "c"}));
  EXPECT_TRUE(root.child("d")->children().empty());
}

TEST(XmlQuery, ChildSearchesDirectChildrenOnly) {
  const Document doc = parsed("<r><a><b n='deep'/></a><b n='1'/><b n='2'/></r>");
  const Element& root = doc.root();
  ASSERT_NE(root.child("b"), nullptr);
  EXPECT_EQ(root.child("b")->attr("n"), "1");
  EXPECT_EQ(root.child("a")->child("c"), nullptr);
  EXPECT_EQ(parsed("<r><a><c/></a></r>").root().child("c"), nullptr);
}

TEST(XmlNumber, Values) {
  const std::pair<std::string_view, double> cases[] = {{" 1.5 ", 1.5},
                                                       {"12", 12},
                                                       {"12.", 12},
                                                       {".5", 0.5},
                                                       {"-2e3", -2000},
                                                       {"+1E-2", 0.01},
                                                       {"\n\t7\r\n", 7},
                                                       {"\xE2\x80\x83"
                                                        "3",
                                                        3},
                                                       {"1e-400", 0}};
  for (const auto& [text, value] : cases) {
    auto r = number(text);
    ASSERT_TRUE(r.ok()) << text;
    EXPECT_EQ(*r, value) << text;
  }
}

TEST(XmlNumber, Refusals) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"1,5", "invalid numeric value \"1,5\""},
      {" 1.5D3 ", "invalid numeric value \" 1.5D3 \""},
      {"", "invalid numeric value \"\""},
      {".", "invalid numeric value \".\""},
      {"0x10", "invalid numeric value \"0x10\""},
      {"1 000", "invalid numeric value \"1 000\""},
      {"5mm", "invalid numeric value \"5mm\""},
      {"a\"b\\c\n", "invalid numeric value \"a\\\"b\\\\c\\n\""},
      {"NaN", "non-finite numeric value"},
      {"-inf", "non-finite numeric value"},
      {"Infinity", "non-finite numeric value"},
      {"1e400", "non-finite numeric value"}};
  for (const auto& [text, msg] : cases) {
    auto r = number(text);
    ASSERT_FALSE(r.ok()) << text;
    EXPECT_EQ(r.error().detail(), msg);
  }
}

TEST(XmlNumbers, SplitAtWhiteSpaceRuns) {
  EXPECT_EQ(*numbers(""), std::vector<double>{});
  EXPECT_EQ(*numbers(" \n\t "), std::vector<double>{});
  EXPECT_EQ(*numbers("1 2\n3"), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(*numbers("\n\t\t1.5  -2\r\n\t\t3e1\n"), (std::vector<double>{1.5, -2, 30}));
  EXPECT_EQ(numbers("1 x 2").error().detail(), "invalid numeric value \"x\"");
  EXPECT_EQ(numbers("1 inf 2").error().detail(), "non-finite numeric value");
}

// Lists read with the value each token carries from the scan that found it agree with every
// token read on its own by the number rule: the same values, or the same first refusal.
TEST(XmlNumbers, TokenValuesAgreeWithTheNumberRule) {
  static constexpr std::string_view pieces[] = {
      "0",      "1",     "42",  "5.0", "-2.5",  "+3", ".5", "1e3",  "2E-4", "1e999",
      "1e-999", "-0",    "inf", "NaN", "1.5.2", "e5", "x",  "1d2",  "-",    ".",
      "00012",  "0x1p3", "1_0", " ",   "  ",    "\t", "\n", "\r\n", "\v",   "\f"};
  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> count(0, 16);
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (int n = count(random); n > 0; --n) text += pieces[piece(random)];
    SCOPED_TRACE(testing::PrintToString(text));
    std::vector<double> expected;
    std::optional<Error> refused;
    text::Tokens tokens(text);
    std::string_view token;
    while (!refused && tokens.next(token)) {
      Result<double> value = number(token);
      if (value) {
        expected.push_back(*value);
      } else {
        refused = value.error();
      }
    }
    const Result<std::vector<double>> read = numbers(text);
    ASSERT_EQ(read.ok(), !refused);
    if (refused) {
      EXPECT_EQ(read.error().detail(), refused->detail());
    } else {
      EXPECT_EQ(*read, expected);
    }
  }
}

TEST(XmlAxisKey, LowerCasedWithoutSpacesHyphensUnderscores) {
  EXPECT_EQ(scan_axis_key("2Theta"), "2theta");
  EXPECT_EQ(scan_axis_key("Omega-2Theta"), "omega2theta");
  EXPECT_EQ(scan_axis_key("Two_Theta"), "twotheta");
  EXPECT_EQ(scan_axis_key(" 2 Theta "), "2theta");
  EXPECT_EQ(scan_axis_key("2\tTheta"), "2\ttheta");
  EXPECT_EQ(scan_axis_key("\xC4\xB0"), "i\xCC\x87");  // U+0130 lowers to two characters
}

TEST(XmlIndex, ColumnPositions) {
  EXPECT_EQ(*index("+12"), 12u);
  EXPECT_EQ(*index("0"), 0u);
  EXPECT_EQ(*index("18446744073709551615"), 18446744073709551615u);
  EXPECT_EQ(index(std::nullopt).error().detail(), "missing column Start/Length");
  for (std::string_view bad : {"-1", " 1", "1 ", "", "1.0", "++1", "+", "18446744073709551616"})
    EXPECT_EQ(index(bad).error().detail(), "invalid column Start/Length") << bad;
}

}  // namespace
}  // namespace vorlen::xml
