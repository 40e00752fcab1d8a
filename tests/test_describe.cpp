#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "describe_check.hpp"
#include "pattern/pattern.hpp"
#include "vorlen/vorlen.hpp"

namespace vorlen {

// Readable failure output for the metadata comparisons below.
void PrintTo(const Metadata& m, std::ostream* os) {
  const auto number = [os](const char* name, const std::optional<double>& v) {
    if (v) *os << name << "=" << *v << " ";
  };
  const auto text = [os](const char* name, const std::optional<std::string>& v) {
    if (v) *os << name << "=\"" << *v << "\" ";
  };
  for_each_field(m, number, text);
}

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = VORLEN_SOURCE_ROOT;
const fs::path kCorpus = kRoot / ".." / "shared" / "corpus";

std::vector<unsigned char> bytes_of(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every regular file below `folder` except READMEs, sorted; none when it is absent.
std::vector<std::string> files_below(const fs::path& folder) {
  std::vector<std::string> out;
  std::error_code ignored;
  if (!fs::is_directory(folder, ignored)) return out;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() != ".md" &&
        entry.path().extension() != ".cpp") {
      out.push_back(entry.path().string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string short_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = fs::path(info.param).filename().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
      '_');
  return name + "_" + std::to_string(info.index);
}

// ---------------------------------------------------------------------------------------------
// Every real and example file: the list agrees with read, index by index.

class AgreesWithRead : public ::testing::TestWithParam<std::string> {};

TEST_P(AgreesWithRead, EveryListedScan) {
  const std::vector<unsigned char> data = bytes_of(GetParam());
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(check::disagreement(data, GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Examples, AgreesWithRead,
                         ::testing::ValuesIn(files_below(kRoot / "examples")), short_name);
INSTANTIATE_TEST_SUITE_P(Corpus, AgreesWithRead, ::testing::ValuesIn(files_below(kCorpus)),
                         short_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AgreesWithRead);

// ---------------------------------------------------------------------------------------------
// Real files: format, rule, scan count and what each states, as extracted by hand.

struct RealFile {
  std::string path;  // below the corpus
  std::string format;
  std::string detected_by;
  std::size_t scans;
  std::size_t scan;  // the scan whose metadata is checked
  std::optional<std::string> y_unit;
  Metadata metadata;
};

void PrintTo(const RealFile& f, std::ostream* os) { *os << f.path; }

Metadata stated(std::optional<double> alpha1, std::optional<double> alpha2,
                std::optional<double> ratio, std::optional<double> single,
                std::optional<std::string> anode, std::optional<std::string> sample,
                std::optional<std::string> started, std::optional<double> step_time) {
  return Metadata{alpha1, alpha2, ratio, single, anode, sample, started, step_time};
}

constexpr std::nullopt_t none = std::nullopt;

class RealMetadata : public ::testing::TestWithParam<RealFile> {};

TEST_P(RealMetadata, AsTheFileStatesIt) {
  const RealFile& file = GetParam();
  const fs::path path = kCorpus / file.path;
  if (!fs::exists(path)) GTEST_SKIP() << "no corpus";
  const std::vector<unsigned char> data = bytes_of(path);
  const Result<Description> description = describe(data, path.string());
  ASSERT_TRUE(description) << description.error().display();
  EXPECT_EQ(description->format, file.format);
  EXPECT_EQ(description->detected_by, file.detected_by);
  ASSERT_EQ(description->scans.size(), file.scans);
  const ScanInfo& scan = description->scans[file.scan];
  ASSERT_FALSE(scan.error) << scan.error->display();
  EXPECT_EQ(scan.y_unit, file.y_unit);
  EXPECT_EQ(scan.metadata, file.metadata);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, RealMetadata,
    ::testing::Values(
        RealFile{"raw/xylib__BT86.raw", "bruker_raw", "signature", 1, 0, none,
                 stated(1.5406, 1.54439, 0.5, none, "Cu", "BT86", "03/04/10 20:59:14", 0.5)},
        // 32-bit step times as their shortest decimals; the sample placeholder as written.
        RealFile{"raw/xylib__format1.raw", "bruker_raw", "signature", 3, 1, none,
                 stated(1.5406, 1.54439, 0.5, none, "Cu", "SampleID" + std::string(51, '_'),
                        "06/12/08 10:27:58", 0.2)},
        // K-alpha2 and the ratio are zero: not stated.
        RealFile{"raw/nomad__test_sample.raw", "bruker_raw", "signature", 1, 0, none,
                 stated(1.5405999422073364, none, none, none, "Cu",
                        "HeOx-1001-nsp-sps-900C-10min-01-poliert", "04/07/2025 20:48:56", 310.003)},
        RealFile{"uxd/xylib__BT86.UXD", "uxd", "text marker", 1, 0, "counts",
                 stated(1.5406, 1.54439, 0.5, none, "Cu", "BT86", "04-Mar-2010 20:59:14", 0.5)},
        RealFile{"brml/nomad__23-012-AG_2thomegascan_long.brml", "brml", "archive member", 1, 0,
                 "counts",
                 stated(1.5406, 1.54439, 0.5, none, "Cu", "Commander Sample ID",
                        "2023-01-26T15:23:09.837152+01:00", 1)},
        // Sample id and name are both empty.
        RealFile{
            "xrdml/xylib__empyrean.xrdml", "xrdml", "xml root", 1, 0, "counts",
            stated(1.5405980, 1.5444260, 0.5, none, "Cu", none, "2016-11-03T11:08:45+01:00", 0.44)},
        // Every scan of an area measurement has its own start.
        RealFile{"xrdml/nomad__m82762_rc_mesh_long.xrdml", "xrdml", "xml root", 101, 1, "counts",
                 stated(1.5405980, 1.5444260, 0.5, none, "Cu", none, "2020-08-04T20:01:00+02:00",
                        358.92)},
        // Continuous scan: the speed is in deg/min, no step time.
        RealFile{
            "ras/pyscatt__TiO2-1-3h.ras", "ras", "text marker", 1, 0, "counts",
            stated(1.540593, 1.544414, none, none, "Cu", "TiO2-1-3h", "02/18/19 12:48:06", none)},
        RealFile{"rasx/nomad__TwoTheta_scan_powder.rasx", "rasx", "archive member", 1, 0, "counts",
                 stated(1.540593, 1.544414, none, none, "Cu", none, "2021-05-05T10:35:31Z", none)},
        RealFile{"rasx/genx__rigaku_test.rasx", "rasx", "archive member", 1, 0, "counts",
                 stated(1.540593, 1.544414, none, none, "Cu", "RM20220915Si01",
                        "2022-11-10T17:20:52Z", none)},
        // A neutron wavelength, one value; no anode, no date.
        RealFile{"pdcif/xylib__1517474.cif", "pdcif", "text marker", 1, 0, none,
                 stated(none, none, none, 2.0785, none, none, none, none)},
        RealFile{"chi/dioptas__Fe7C3_300_020.chi", "chi", "extension", 1, 0, none, Metadata{}},
        RealFile{"gsas/g2tut__11bmb_8714.fxye", "gsas", "text marker", 1, 0, none, Metadata{}},
        RealFile{"xy/dioptas__pattern_001.xy", "xy", "default", 1, 0, none, Metadata{}}));

// Refused files: the refusal, per scan where scans can be told apart, once where they cannot.
struct RefusedFile {
  std::string path;
  std::size_t scans;
  std::string message;  // of every scan
};

void PrintTo(const RefusedFile& f, std::ostream* os) { *os << f.path; }

class RealRefusal : public ::testing::TestWithParam<RefusedFile> {};

TEST_P(RealRefusal, EveryScanCarriesIt) {
  const fs::path path = kCorpus / GetParam().path;
  if (!fs::exists(path)) GTEST_SKIP() << "no corpus";
  const std::vector<unsigned char> data = bytes_of(path);
  const Result<Description> description = describe(data, path.string());
  ASSERT_TRUE(description) << description.error().display();
  ASSERT_EQ(description->scans.size(), GetParam().scans);
  for (const ScanInfo& scan : description->scans) {
    ASSERT_TRUE(scan.error);
    EXPECT_EQ(scan.error->detail(), GetParam().message);
    EXPECT_EQ(scan.points, 0u);
    EXPECT_EQ(scan.metadata, Metadata{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, RealRefusal,
    ::testing::Values(
        RefusedFile{"raw/pyxrd__brk_raw2.raw", 1,
                    "Bruker RAW: versions 1 and 2 are unsupported; export RAW3, RAW4, UXD, or XY"},
        RefusedFile{"uxd/maud__bruker_polefigure.UXD", 68,
                    "UXD: axis \"PHI\" is not 2theta in degrees"},
        RefusedFile{"ras/maud__Bruker_xrd_10-10_polefigure.ras", 19,
                    "RAS: axis \"Phi\" is not 2theta in degrees"},
        RefusedFile{"xrdml/maud__xrdml_polefigure.xrdml", 30,
                    "XRDML scan axis \"Phi\" is not 2theta"},
        RefusedFile{"brml/dxtools__RSMap_psdfixed.brml", 501,
                    "BRML detector frames are not integrated XRD profiles"},
        RefusedFile{"gsas/g2tut__gem05984.gss", 4,
                    "GSAS: RALF binning does not provide a supported 2theta axis"},
        RefusedFile{"pdcif/datalab__cod_9004112.cif", 1,
                    "pdCIF: no matching block with 2theta and intensity data"}));

// ---------------------------------------------------------------------------------------------
// Made-up files: where a walk meets a failure, what each listed scan says, and that read agrees.

struct Made {
  std::string label;
  std::string name;
  std::string content;
  std::string format;
  std::string detected_by;
  // Per scan: the point count, or the error detail.
  std::vector<std::string> scans;
};

void PrintTo(const Made& m, std::ostream* os) { *os << m.label; }

std::string summary(const ScanInfo& scan) {
  return scan.error ? scan.error->detail() : std::to_string(scan.points);
}

std::string ras_scan(const std::string& header, const std::string& rows) {
  return "*RAS_HEADER_START\n" + header + "*RAS_HEADER_END\n*RAS_INT_START\n" + rows +
         "*RAS_INT_END\n";
}

class MadeFiles : public ::testing::TestWithParam<Made> {};

TEST_P(MadeFiles, ListAgreesWithRead) {
  const Made& made = GetParam();
  const Bytes data = as_bytes(made.content);
  const Result<Description> description = describe(data, made.name);
  ASSERT_TRUE(description) << description.error().display();
  EXPECT_EQ(description->format, made.format);
  EXPECT_EQ(description->detected_by, made.detected_by);
  std::vector<std::string> scans;
  for (const ScanInfo& scan : description->scans) scans.push_back(summary(scan));
  EXPECT_EQ(scans, made.scans);
  EXPECT_EQ(check::disagreement(data, made.name), std::nullopt);
}

const std::string kTheta = "*MEAS_SCAN_AXIS_X \"TwoTheta\"\n";
const std::string kCif = "loop_ _pd_meas_2theta_scan _pd_meas_counts_total\n";

INSTANTIATE_TEST_SUITE_P(
    Walks, MadeFiles,
    ::testing::Values(
        Made{"ras bad row in the middle scan",
             "a.ras",
             ras_scan(kTheta, "1 2\n3 4\n") + ras_scan(kTheta, "1 2\nx 4\n") +
                 ras_scan(kTheta, "5 6\n"),
             "ras",
             "text marker",
             {"2", "Invalid numeric value \"x\"", "1"}},
        Made{"ras axis refused in one scan only",
             "a.ras",
             ras_scan("*MEAS_SCAN_AXIS_X \"Phi\"\n", "1 2\n") + ras_scan(kTheta, "1 2\n"),
             "ras",
             "text marker",
             {"RAS: axis \"Phi\" is not 2theta in degrees", "1"}},
        Made{"ras nested block ends the walk",
             "a.ras",
             ras_scan(kTheta, "1 2\n") + "*RAS_INT_START\n1 2\n*RAS_INT_START\n",
             "ras",
             "text marker",
             {"1", "RAS: nested intensity blocks"}},
        Made{"ras file ends inside a block",
             "a.ras",
             ras_scan(kTheta, "1 2\n") + "*RAS_INT_START\n1 2\n",
             "ras",
             "text marker",
             {"1", "RAS: file ends before *RAS_INT_END"}},
        Made{"ras header without any block",
             "a.ras",
             "*RAS_HEADER_START\n*RAS_HEADER_END\n",
             "ras",
             "text marker",
             {"RAS: scan 0 is out of range (0 scans)"}},
        Made{"uxd two blocks, the second with a repeated angle",
             "a.uxd",
             "_DRIVE=COUPLED\n_2THETACOUNTS\n1 2\n2 3\n_2THETACPS\n3 1\n3 2\n",
             "uxd",
             "text marker",
             {"2", "x values must be finite and strictly increasing"}},
        Made{"uxd header fault after the first block's data",
             "a.uxd",
             "_DRIVE=COUPLED\n_2THETACOUNTS\n1 2\n_BOGUS\n_2THETACOUNTS\n1 2\n",
             "uxd",
             "text marker",
             {"UXD: unsupported block marker \"_BOGUS\""}},
        Made{"uxd without a block",
             "a.uxd",
             "_DRIVE=COUPLED\n",
             "uxd",
             "text marker",
             {"UXD: scan 0 is out of range"}},
        Made{"gsas second bank not constant-step",
             "a.gsa",
             "title\nBANK 1 2 1 CONST 1000 10 0 0 FXYE\n1000 1 1\n1010 2 1\n"
             "BANK 2 1 1 RALF 1 2 3 4\n1 2\n",
             "gsas",
             "text marker",
             {"2", "GSAS: RALF binning does not provide a supported 2theta axis"}},
        Made{"gsas without a bank",
             "a.gsa",
             "1 2\n",
             "gsas",
             "extension",
             {"GSAS: bank index 0 is out of range (0 banks)"}},
        // A read by the name "b" reaches block "ab" first.
        Made{"pdcif block names read by substring",
             "a.cif",
             "data_ab\n" + kCif + "1 2\n2 3\n3 4\ndata_none\n_x 1\ndata_b\n" + kCif + "5 6\n",
             "pdcif",
             "text marker",
             {"3", "3"}},
        Made{"pdcif lengths differ",
             "a.cif",
             "data_p\n" + kCif +
                 "1 2\ndata_q\n_pd_meas_2theta_range_min 1\n_pd_meas_2theta_range_inc 0\n"
                 "loop_ _pd_meas_counts_total 1 2\n",
             "pdcif",
             "text marker",
             {"1", "pdCIF: 2theta increment must be positive"}},
        Made{"pdcif tokenizer fault refuses the file",
             "a.cif",
             "data_p _pd_x 'open\n",
             "pdcif",
             "text marker",
             {"pdCIF: unterminated quoted value"}},
        Made{"bruker raw version 2",
             "a.raw",
             "RAW2" + std::string(40, '\0'),
             "bruker_raw",
             "signature",
             {"Bruker RAW: versions 1 and 2 are unsupported; export RAW3, RAW4, UXD, or XY"}},
        Made{"xrdml second scan on phi",
             "a.txt",
             "<xrdMeasurements><xrdMeasurement><scan scanAxis=\"2Theta\"><dataPoints>"
             "<positions "
             "axis=\"2Theta\"><startPosition>1</startPosition><endPosition>2</endPosition>"
             "</positions><intensities>1 2 3</intensities></dataPoints></scan>"
             "<scan scanAxis=\"Phi\"/></xrdMeasurement></xrdMeasurements>",
             "xrdml",
             "xml root",
             {"3", "XRDML scan axis \"Phi\" is not 2theta"}},
        Made{"chi by its layout", "a.dat", "t\n2-Theta\nI\n2\n1 2\n2 3\n", "chi", "layout", {"2"}},
        Made{"xy fault",
             "a.xy",
             "1 2\n1 3\n",
             "xy",
             "default",
             {"x values must be finite and strictly increasing"}}));

// Files refused before any reader runs: describe fails as read does.
TEST(DescribeRefusal, SameAsRead) {
  const std::string reflections = "h k l\n1 2\n";
  for (const auto& [content, name] :
       {std::pair<std::string, std::string>{"1 2\n", "a.rasx"},
        {reflections, "peaks.dif"},
        {std::string("PK\x05\x06", 4) + std::string(18, '\0'), "a.zip"},
        {std::string("a\0b", 3), "a.xy"}}) {
    SCOPED_TRACE(name);
    const Result<Description> description = describe(as_bytes(content), name);
    ASSERT_FALSE(description);
    EXPECT_EQ(check::disagreement(as_bytes(content), name), std::nullopt);
  }
}

// ---------------------------------------------------------------------------------------------
// Metadata of the text formats: latest value before each block, malformed and zero left out.

struct Statement {
  std::string label;
  std::string name;
  std::string content;
  std::size_t scan;
  std::optional<std::string> y_unit;
  Metadata metadata;
};

void PrintTo(const Statement& s, std::ostream* os) { *os << s.label; }

class TextMetadata : public ::testing::TestWithParam<Statement> {};

TEST_P(TextMetadata, AsStated) {
  const Statement& s = GetParam();
  const Result<Description> description = describe(as_bytes(s.content), s.name);
  ASSERT_TRUE(description) << description.error().display();
  ASSERT_GT(description->scans.size(), s.scan);
  const ScanInfo& scan = description->scans[s.scan];
  ASSERT_FALSE(scan.error) << scan.error->display();
  EXPECT_EQ(scan.y_unit, s.y_unit);
  EXPECT_EQ(scan.metadata, s.metadata);
}

const std::string kUxd =
    "_DRIVE=COUPLED\n_WL1=1.540600\n_WL2=abc\n_WLRATIO=0\n_ANODE='Cu'\n_SAMPLE=\n"
    "_DATE=03/04/10\n_TIME=20:59:14\n_STEPTIME=0.5\n_2THETACOUNTS\n1 2\n"
    "_ANODE_MATERIAL=Co\n_STEPTIME=2\n_DATEMEASURED='04-Mar-2010 21:00:00'\n_2THETACPS\n1 2\n";

INSTANTIATE_TEST_SUITE_P(
    Texts, TextMetadata,
    ::testing::Values(
        Statement{"uxd file values, malformed and zero left out", "a.uxd", kUxd, 0, "counts",
                  stated(1.5406, none, none, none, "Cu", none, "03/04/10 20:59:14", 0.5)},
        Statement{"uxd later keys belong to the next block", "a.uxd", kUxd, 1, "cps",
                  stated(1.5406, none, none, none, "Co", none, "04-Mar-2010 21:00:00", 2)},
        Statement{
            "ras step mode gives the step time; a new header forgets the old", "a.ras",
            ras_scan(kTheta + "*FILE_SAMPLE \"S1\"\n*HW_XG_TARGET_NAME \"Cu\"\n", "1 2\n") +
                ras_scan(kTheta + "*MEAS_SCAN_SPEED \"1.5\"\n*MEAS_SCAN_SPEED_UNIT \"sec\"\n"
                                  "*MEAS_SCAN_UNIT_Y \"cps\"\n*HW_XG_WAVE_LENGTH_ALPHA1 \" \"\n",
                         "1 2\n"),
            1, "cps", stated(none, none, none, none, none, none, none, 1.5)},
        Statement{"pdcif wavelength pair and its weights", "a.cif",
                  "data_p\nloop_ _diffrn_radiation_wavelength _diffrn_radiation_wavelength_wt "
                  "_diffrn_radiation_wavelength_id\n1.5406(2) 1.0 1\n1.5444 0.5 2\n"
                  "_diffrn_source_target Cu\n_pd_meas_datetime_initiated ?\n"
                  "_pd_meas_step_count_time 2.5\n_pd_spec_id 'my sample'\n"
                  "loop_ _pd_meas_2theta_scan _pd_proc_intensity_total\n1 2\n",
                  0, none, stated(1.5406, 1.5444, 0.5, none, "Cu", "my sample", none, 2.5)}));

}  // namespace
}  // namespace vorlen
