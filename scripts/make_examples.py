#!/usr/bin/env python3
"""Writes the example files in examples/: one small silicon pattern per supported format.

The output is deterministic (fixed timestamps and member order in the ZIP archives), so running
the script again reproduces the committed files byte for byte. The tests import `examples()`
to learn what each file must read back as.

    scripts/make_examples.py [OUTDIR]      (default: the examples/ folder of the project)
"""

import hashlib
import io
import math
import pathlib
import struct
import sys
import zipfile
from dataclasses import dataclass, field

ROOT = pathlib.Path(__file__).resolve().parents[1]
MADE_BY = "synthetic example made by scripts/make_examples.py"

# Silicon 111, 220 and 311 reflections for Cu K-alpha: (2theta, height, FWHM).
PEAKS = ((28.443, 1200.0, 0.35), (47.303, 750.0, 0.40), (56.123, 420.0, 0.42))


def counts(two_theta):
    """Integral counts of a smooth model pattern: a falling background plus three peaks."""
    value = 40.0 + 800.0 / two_theta
    for centre, height, fwhm in PEAKS:
        value += height * math.exp(-4.0 * math.log(2.0) * ((two_theta - centre) / fwhm) ** 2)
    return round(value)


@dataclass
class Scan:
    """One scan as the reader must return it: x = i * step + start (as the step-based readers
    compute it) and integral counts."""

    start: float
    step: float
    n: int
    x: list = field(init=False)
    y: list = field(init=False)

    def __post_init__(self):
        self.x = [i * self.step + self.start for i in range(self.n)]
        self.y = [counts(t) for t in self.x]

    def written(self, spec):
        """The same scan with x as read back from the text `format(x, spec)` of a file."""
        copy = Scan(self.start, self.step, self.n)
        copy.x = [float(format(x, spec)) for x in self.x]
        return copy


@dataclass
class Example:
    name: str
    format: str
    content: bytes
    scans: list
    note: str = ""


MAIN = Scan(20.0, 0.2, 201)   # every example's first (or only) scan: 20 to 60 degrees
DETAIL = Scan(27.0, 0.05, 61)  # the second scan of the multi-scan examples: 27 to 30 degrees


def lines(rows, end="\n"):
    return "".join(row + end for row in rows).encode("utf-8")


# --- text formats ---------------------------------------------------------------------------

def xy():
    rows = [f"# Silicon, Cu K-alpha; {MADE_BY}", "# 2theta(deg) intensity(counts)"]
    rows += [f"{x:.2f} {y}" for x, y in zip(MAIN.x, MAIN.y)]
    return Example("silicon.xy", "XY", lines(rows), [MAIN.written(".2f")])


def chi():
    rows = [f"Silicon, azimuthally integrated; {MADE_BY}", "2-Theta Angle (Degrees)",
            "Intensity", f"{MAIN.n:>11}"]
    rows += [f" {x:.7E}  {float(y):.7E}" for x, y in zip(MAIN.x, MAIN.y)]
    return Example("silicon.chi", "CHI", lines(rows), [MAIN.written(".7E")])


def ras_scan(scan):
    rows = ["*RAS_HEADER_START",
            f'*FILE_COMMENT "{MADE_BY}"',
            '*FILE_SAMPLE "Silicon"',
            '*HW_XG_TARGET_NAME "Cu"',
            f'*MEAS_DATA_COUNT "{scan.n}"',
            '*MEAS_SCAN_AXIS_X "TwoThetaTheta"',
            '*MEAS_SCAN_MODE "CONTINUOUS"',
            f'*MEAS_SCAN_START "{scan.start:.4f}"',
            f'*MEAS_SCAN_STEP "{scan.step:.4f}"',
            f'*MEAS_SCAN_STOP "{scan.x[-1]:.4f}"',
            '*MEAS_SCAN_UNIT_X "deg"',
            "*RAS_HEADER_END",
            "*RAS_INT_START"]
    rows += [f"{x:.4f} {y:.4f} 1.0000" for x, y in zip(scan.x, scan.y)]
    return rows + ["*RAS_INT_END"]


def ras():
    # Rigaku writes CRLF line ends.
    rows = ["*RAS_DATA_START"] + ras_scan(MAIN) + ras_scan(DETAIL) + ["*RAS_DATA_END"]
    return Example("silicon.ras", "RAS", lines(rows, "\r\n"),
                   [MAIN.written(".4f"), DETAIL.written(".4f")])


def uxd():
    rows = [f"; Silicon; {MADE_BY}", "_FILEVERSION=2", "_SAMPLE='Silicon'",
            "_WL1=1.540600", "_ANODE='Cu'",
            "; (Data for Range number 1)", "_DRIVE='COUPLED'",
            f"_STEPSIZE={MAIN.step:.6f}", f"_START={MAIN.start:.6f}", "_2THETACOUNTS"]
    rows += [f"  {x:.6f}  {y:>8}" for x, y in zip(MAIN.x, MAIN.y)]
    rows += ["; (Data for Range number 2)",
             f"_STEPSIZE={DETAIL.step:.6f}", f"_START={DETAIL.start:.6f}", "_COUNTS"]
    rows += ["".join(f"{y:>10}" for y in DETAIL.y[i:i + 8]) for i in range(0, DETAIL.n, 8)]
    return Example("silicon.uxd", "UXD", lines(rows), [MAIN.written(".6f"), DETAIL])


def gsas():
    # 80-character records; the last one padded with zero values up to ten fields.
    values = MAIN.y + [0] * (-MAIN.n % 10)
    records = len(values) // 10
    rows = [f"Silicon, {MADE_BY}".ljust(80),
            f"BANK 1 {MAIN.n:5d} {records:5d} CONST {MAIN.start * 100:8.2f} "
            f"{MAIN.step * 100:8.2f} 0 0 STD".ljust(80)]
    rows += ["".join(f"  {v:6d}" for v in values[i:i + 10]) for i in range(0, len(values), 10)]
    return Example("silicon.gsa", "GSAS (STD)", lines(rows), [MAIN])


def pdcif():
    rows = [f"# Silicon powder pattern; {MADE_BY}", "",
            "data_Si_phase",
            "_chemical_formula_sum Si",
            "_cell_length_a 5.43088(4)",
            "_space_group_name_H-M_alt 'F d -3 m'",
            "",
            "data_Si_profile",
            "_pd_block_id Si_profile",
            "_diffrn_radiation_type 'Cu K\\a'",
            f"_pd_meas_number_of_points {MAIN.n}",
            f"_pd_meas_2theta_range_min {MAIN.start:.2f}",
            f"_pd_meas_2theta_range_max {MAIN.x[-1]:.2f}",
            f"_pd_meas_2theta_range_inc {MAIN.step:.2f}",
            "loop_",
            "_pd_meas_counts_total",
            "_pd_proc_ls_weight"]
    rows += [f"  {y}({round(math.sqrt(y))})  {1.0 / y:.6f}" for y in MAIN.y]
    return Example("silicon.cif", "pdCIF", lines(rows), [MAIN], "blocks Si_phase, Si_profile")


# --- Bruker RAW -----------------------------------------------------------------------------

def put(buffer, offset, fmt, *values):
    struct.pack_into("<" + fmt, buffer, offset, *values)


def raw3_range(scan, angle_in_record):
    header = bytearray(304)
    bits = 1 if angle_in_record else 0  # bit 0: the 2theta of each point is in its record
    record = 12 if angle_in_record else 4
    put(header, 0, "II", len(header), scan.n)
    put(header, 16, "d", scan.start)
    put(header, 176, "d", scan.step)
    put(header, 196, "I", 0)  # scan type 0: locked coupled
    put(header, 248, "IIII", bits, record, 0, 0)
    data = b"".join(struct.pack("<fd", y, x) if angle_in_record else struct.pack("<f", y)
                    for x, y in zip(scan.x, scan.y))
    return bytes(header) + data


def raw3():
    header = bytearray(712)
    header[0:7] = b"RAW1.01"
    put(header, 12, "I", 2)
    content = bytes(header) + raw3_range(MAIN, False) + raw3_range(DETAIL, True)
    return Example("silicon_v3.raw", "Bruker RAW v3", content, [MAIN, DETAIL],
                   "scan 1 stores each angle in its record")


def raw4_text(buffer, offset, text):
    buffer[offset:offset + 24] = text.encode("latin-1").ljust(24, b"\0")


def raw4_drive(name, scanned, start):
    record = bytearray(64)
    put(record, 0, "III", 50, len(record), 1 if scanned else 0)
    raw4_text(record, 12, name)
    put(record, 56, "d", start)
    return bytes(record)


def raw4():
    header = bytearray(61)
    header[0:7] = b"RAW4.00"
    note = bytearray(40)  # a generic segment the reader steps over
    put(note, 0, "II", 10, len(note))
    note[8:8 + len(MADE_BY[:32])] = MADE_BY[:32].encode()
    drives = raw4_drive("TwoTheta", True, MAIN.start) + raw4_drive("Theta", True, MAIN.start / 2)
    block = bytearray(160)
    put(block, 0, "I", 160)
    raw4_text(block, 32, "Locked Coupled")
    put(block, 72, "ddI", MAIN.start, MAIN.step, MAIN.n)
    put(block, 136, "II", 4, len(drives))
    data = b"".join(struct.pack("<f", y) for y in MAIN.y)
    content = bytes(header) + bytes(note) + bytes(block) + drives + data
    return Example("silicon_v4.raw", "Bruker RAW v4", content, [MAIN])


# --- XML and archives -----------------------------------------------------------------------

def xml_numbers(values):
    return " ".join(str(v) for v in values)


def xrdml():
    start, end = MAIN.start, float(f"{MAIN.x[-1]:.4f}")
    text = f"""<?xml version="1.0" encoding="UTF-8"?>
<xrdMeasurements xmlns="http://www.xrdml.com/XRDMeasurement/1.5" status="Completed">
  <comment>
    <entry>Silicon, {MADE_BY}</entry>
  </comment>
  <sample type="To be analyzed">
    <id>Si</id>
    <name>Silicon</name>
  </sample>
  <xrdMeasurement measurementType="Scan" status="Completed">
    <usedWavelength intended="K-Alpha 1">
      <kAlpha1 unit="Angstrom">1.5405980</kAlpha1>
    </usedWavelength>
    <scan appendNumber="0" mode="Continuous" scanAxis="Gonio" status="Completed">
      <dataPoints>
        <positions axis="2Theta" unit="deg">
          <startPosition>{start:.4f}</startPosition>
          <endPosition>{end:.4f}</endPosition>
        </positions>
        <positions axis="Omega" unit="deg">
          <startPosition>{start / 2:.4f}</startPosition>
          <endPosition>{end / 2:.4f}</endPosition>
        </positions>
        <commonCountingTime unit="seconds">1.000</commonCountingTime>
        <intensities unit="counts">{xml_numbers(MAIN.y)}</intensities>
      </dataPoints>
    </scan>
  </xrdMeasurement>
</xrdMeasurements>
"""
    # x[i] = i * (end - start) / (n - 1) + start, as the reader computes it.
    scan = MAIN.written(".4f")
    scan.x = [i * (end - start) / (MAIN.n - 1) + start for i in range(MAIN.n)]
    return Example("silicon.xrdml", "XRDML", text.encode(), [scan])


def zip_archive(members):
    """A ZIP archive with fixed timestamps and attributes, members in the given order."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, content in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            info.external_attr = 0
            archive.writestr(info, content)
    return out.getvalue()


XML_HEAD = '<?xml version="1.0"?>\n'
XSI = 'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'


def brml_raw_data():
    rows = "\n".join(f"      <Datum>1,1,{x:.4f},{x / 2:.4f},{y}</Datum>"
                     for x, y in zip(MAIN.x, MAIN.y))
    return f"""{XML_HEAD}<RawData {XSI}>
  <MeasurementStatus>Measured</MeasurementStatus>
  <DataRoutes>
    <DataRoute RouteFlag="Measured" Description="Originally measured data.">
      <ScanInformation ScanName="Coupled TwoTheta/Theta">
        <ScanMode>Continuous</ScanMode>
      </ScanInformation>
      <SubScans>
        <SubScanInfo Steps="{MAIN.n}" MeasuredSteps="{MAIN.n}" />
      </SubScans>
{rows}
      <DataViews>
        <RawDataView xsi:type="FixedRawDataView" Start="0" Length="1" LogicName="MeasuredTime" Unit="s" />
        <RawDataView xsi:type="FixedRawDataView" Start="1" Length="1" LogicName="AbsorptionFactor" />
        <RawDataView xsi:type="VaryingRawDataView" Start="2" Length="2">
          <Varying LogicName="ScanAxes" VectorLength="2">
            <FieldDefinitions FieldName="TwoTheta" AxisId="TwoTheta" />
            <FieldDefinitions FieldName="Theta" AxisId="Theta" />
          </Varying>
        </RawDataView>
        <RawDataView xsi:type="RecordedRawDataView" Start="4" Length="1" LogicName="Counter1D" />
      </DataViews>
    </DataRoute>
  </DataRoutes>
</RawData>
"""


def brml():
    container = f"""{XML_HEAD}<DataContainer {XSI} RawDataLength="1">
  <Identifier IdentificationType="RawData">
    <Comment>{MADE_BY}</Comment>
  </Identifier>
  <RawDataReferenceList>
    <string>Experiment0/RawData0.xml</string>
  </RawDataReferenceList>
</DataContainer>
"""
    content = zip_archive([("Experiment0/RawData0.xml", brml_raw_data()),
                           ("Experiment0/DataContainer.xml", container)])
    return Example("silicon.brml", "BRML", content, [MAIN.written(".4f")])


def rasx():
    bom = "\ufeff"
    profile = bom + "".join(f"{x:.4f}\t{float(y)}\t1\r\n" for x, y in zip(MAIN.x, MAIN.y))
    conditions = f"""{bom}<?xml version="1.0" encoding="utf-8"?>
<MeasurementConditions>
  <GeneralInformation>
    <Comment>{MADE_BY}</Comment>
    <SampleName>Silicon</SampleName>
  </GeneralInformation>
  <ScanInformation>
    <AxisName>TwoThetaTheta</AxisName>
    <Mode>CONTINUOUS</Mode>
    <Start>{MAIN.start:.4f}</Start>
    <Stop>{MAIN.x[-1]:.4f}</Stop>
    <Step>{MAIN.step:.4f}</Step>
    <PositionUnit>deg</PositionUnit>
    <IntensityUnit>counts</IntensityUnit>
    <DataCount>{MAIN.n}</DataCount>
  </ScanInformation>
</MeasurementConditions>
"""
    members = {"Profile0.txt": profile, "MesurementConditions0.xml": conditions}
    hashes = "".join(
        f'    <ContentHashList Name="{name}" ContentHash="{hashlib.md5(text.encode()).hexdigest()}" />\n'
        for name, text in members.items())
    root = f"""{bom}<?xml version="1.0" encoding="utf-8"?>
<Root Version="1.1.0.0">
  <Data0 Type="Profile">
{hashes}  </Data0>
</Root>
"""
    content = zip_archive([("Data0/" + name, text) for name, text in members.items()]
                          + [("root.xml", root)])
    return Example("silicon.rasx", "RASX", content, [MAIN.written(".4f")])


def examples():
    return [xy(), chi(), ras(), uxd(), gsas(), pdcif(), raw3(), raw4(), xrdml(), brml(), rasx()]


def readme(made):
    rows = ["# Example files", "",
            "Small synthetic silicon patterns (Cu K-alpha), one per format, written by",
            "`scripts/make_examples.py`; run it again to regenerate them.", "",
            "| file | format | scans (`--index`) | points | 2theta range | note |",
            "|---|---|---|---|---|---|"]
    for e in made:
        scans = "; ".join(f"{i}: {s.n}" for i, s in enumerate(e.scans))
        ranges = "; ".join(f"{s.x[0]:g} to {s.x[-1]:g}" for s in e.scans)
        rows.append(f"| `{e.name}` | {e.format} | {len(e.scans)} | {scans} | {ranges} | {e.note} |")
    return "\n".join(rows) + "\n"


def main(argv):
    out = pathlib.Path(argv[1]) if len(argv) > 1 else ROOT / "examples"
    out.mkdir(parents=True, exist_ok=True)
    made = examples()
    for e in made:
        (out / e.name).write_bytes(e.content)
    (out / "README.md").write_text(readme(made))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
