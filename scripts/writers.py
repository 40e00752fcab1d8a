"""One writer of every format vorlen reads, shared by the examples (scripts/make_examples.py),
the benchmark files (bench/generate.py) and, through the examples, the fuzz seeds.

A writer takes scans (objects with `start`, `step`, `n` and the lists `x` and `y`, y integral
counts), the number of decimals its positions are written with and a title, and returns the
file's bytes. The output depends only on the arguments: ZIP members carry fixed timestamps and
attributes, in the given order.
"""

import hashlib
import io
import math
import struct
import zipfile

STEP_DIGITS = 8  # a step is written with more decimals than the positions, so x = i * step + start holds


def lines(rows, end="\n"):
    return "".join(row + end for row in rows).encode("utf-8")


def put(buffer, offset, fmt, *values):
    struct.pack_into("<" + fmt, buffer, offset, *values)


# --- text formats ---------------------------------------------------------------------------

def xy(scan, digits, title):
    rows = [f"# {title}", "# 2theta(deg) intensity(counts)"]
    rows += [f"{x:.{digits}f} {y}" for x, y in zip(scan.x, scan.y)]
    return lines(rows)


def chi(scan, title, y_factor=1):
    """`y_factor` scales the intensities, as integrating software writes them: not integral."""
    rows = [title, "2-Theta Angle (Degrees)", "Intensity", f"{scan.n:>11}"]
    rows += [f" {x:.7E}  {y * y_factor:.7E}" for x, y in zip(scan.x, scan.y)]
    return lines(rows)


def _ras_scan(scan, digits, title):
    rows = ["*RAS_HEADER_START",
            f'*FILE_COMMENT "{title}"',
            '*FILE_SAMPLE "Silicon"',
            '*HW_XG_TARGET_NAME "Cu"',
            f'*MEAS_DATA_COUNT "{scan.n}"',
            '*MEAS_SCAN_AXIS_X "TwoThetaTheta"',
            '*MEAS_SCAN_MODE "CONTINUOUS"',
            f'*MEAS_SCAN_START "{scan.start:.{digits}f}"',
            f'*MEAS_SCAN_STEP "{scan.step:.{STEP_DIGITS}f}"',
            f'*MEAS_SCAN_STOP "{scan.x[-1]:.{digits}f}"',
            '*MEAS_SCAN_UNIT_X "deg"',
            "*RAS_HEADER_END",
            "*RAS_INT_START"]
    rows += [f"{x:.{digits}f} {y:.4f} 1.0000" for x, y in zip(scan.x, scan.y)]
    return rows + ["*RAS_INT_END"]


def ras(scans, digits, title):
    rows = ["*RAS_DATA_START"] + [row for s in scans for row in _ras_scan(s, digits, title)]
    return lines(rows + ["*RAS_DATA_END"], "\r\n")  # Rigaku writes CRLF line ends


def uxd(blocks, title):
    """`blocks`: (scan, pairs) in file order; pairs blocks hold x/intensity rows, the others
    intensities only, eight to a line."""
    rows = [f"; {title}", "_FILEVERSION=2", "_SAMPLE='Silicon'", "_WL1=1.540600", "_ANODE='Cu'"]
    for number, (scan, pairs) in enumerate(blocks, 1):
        rows.append(f"; (Data for Range number {number})")
        if number == 1:
            rows.append("_DRIVE='COUPLED'")  # later ranges inherit the drive
        rows += [f"_STEPSIZE={scan.step:.{STEP_DIGITS}f}", f"_START={scan.start:.6f}"]
        if pairs:
            rows.append("_2THETACOUNTS")
            rows += [f"  {x:.6f}  {y:>8}" for x, y in zip(scan.x, scan.y)]
        else:
            rows.append("_COUNTS")
            rows += ["".join(f"{y:>10}" for y in scan.y[i:i + 8]) for i in range(0, scan.n, 8)]
    return lines(rows)


def _gsas_header(scan, records, kind, title):
    return [title.ljust(80),
            f"BANK 1 {scan.n} {records} CONST {scan.start * 100:.4f} "
            f"{scan.step * 100:.{STEP_DIGITS}f} 0 0 {kind}".ljust(80)]


def gsas_std(scan, title):
    values = scan.y + [0] * (-scan.n % 10)  # the last record padded with zero values to ten fields
    rows = _gsas_header(scan, len(values) // 10, "STD", title)
    rows += ["".join(f"  {v:6d}" for v in values[i:i + 10]) for i in range(0, len(values), 10)]
    return lines(rows)


def gsas_esd(scan, title):
    pairs = [v for y in scan.y for v in (y, round(math.sqrt(y)))] + [0] * (-2 * scan.n % 10)
    rows = _gsas_header(scan, len(pairs) // 10, "ESD", title)
    rows += ["".join(f"{v:8d}" for v in pairs[i:i + 10]) for i in range(0, len(pairs), 10)]
    return lines(rows)


def gsas_fxye(scan, title):
    rows = _gsas_header(scan, scan.n, "FXYE", title)
    rows += [f"{x * 100:.4f} {y} {math.sqrt(y):.3f}" for x, y in zip(scan.x, scan.y)]
    return lines(rows)


def pdcif(scan, digits, name, title):
    """Two blocks: `{name}_phase` (no pattern) then `{name}_profile` (the pattern)."""
    rows = [f"# {title}", "",
            f"data_{name}_phase",
            "_chemical_formula_sum Si",
            "_cell_length_a 5.43088(4)",
            "_space_group_name_H-M_alt 'F d -3 m'",
            "",
            f"data_{name}_profile",
            f"_pd_block_id {name}_profile",
            "_diffrn_radiation_type 'Cu K\\a'",
            f"_pd_meas_number_of_points {scan.n}",
            f"_pd_meas_2theta_range_min {scan.start:.{digits}f}",
            f"_pd_meas_2theta_range_max {scan.x[-1]:.{digits}f}",
            f"_pd_meas_2theta_range_inc {scan.step:.{STEP_DIGITS}f}",
            "loop_",
            "_pd_meas_counts_total",
            "_pd_proc_ls_weight"]
    rows += [f"  {y}({round(math.sqrt(y))})  {1.0 / y:.6f}" for y in scan.y]
    return lines(rows)


def pdcif_scan(scan, digits, name, title):
    """One block whose loop holds the measured angle beside the counts."""
    rows = [f"# {title}", "", f"data_{name}", f"_pd_block_id {name}",
            "loop_", "_pd_meas_2theta_scan", "_pd_meas_counts_total"]
    rows += [f"  {x:.{digits}f}  {y}" for x, y in zip(scan.x, scan.y)]
    return lines(rows)


# --- Bruker RAW -----------------------------------------------------------------------------

RAW3_FILE_HEADER = 712
RAW3_RANGE_HEADER = 304
RAW4_FILE_HEADER = 61
RAW4_NOTE = 40
RAW4_RANGE_HEADER = 160
RAW4_DRIVE = 64
# Where the records of the first range start: the benchmarks read them as the floor.
RAW3_DATA = RAW3_FILE_HEADER + RAW3_RANGE_HEADER
RAW4_DATA = RAW4_FILE_HEADER + RAW4_NOTE + RAW4_RANGE_HEADER + 2 * RAW4_DRIVE


def _raw3_range(scan, angle_in_record):
    header = bytearray(RAW3_RANGE_HEADER)
    bits = 1 if angle_in_record else 0  # bit 0: the 2theta of each point is in its record
    record = 12 if angle_in_record else 4
    put(header, 0, "II", len(header), scan.n)
    put(header, 16, "d", scan.start)
    put(header, 176, "d", scan.step)
    put(header, 196, "I", 0)  # scan type 0: locked coupled
    put(header, 248, "IIII", bits, record, 0, 0)
    if angle_in_record:
        data = b"".join(struct.pack("<fd", y, x) for x, y in zip(scan.x, scan.y))
    else:
        data = struct.pack(f"<{scan.n}f", *scan.y)
    return bytes(header) + data


def raw3(ranges):
    """`ranges`: (scan, angle_in_record) in file order."""
    header = bytearray(RAW3_FILE_HEADER)
    header[0:7] = b"RAW1.01"
    put(header, 12, "I", len(ranges))
    return bytes(header) + b"".join(_raw3_range(scan, angle) for scan, angle in ranges)


def _raw4_text(buffer, offset, text):
    buffer[offset:offset + 24] = text.encode("latin-1").ljust(24, b"\0")


def _raw4_drive(name, start):
    record = bytearray(RAW4_DRIVE)
    put(record, 0, "III", 50, len(record), 1)
    _raw4_text(record, 12, name)
    put(record, 56, "d", start)
    return bytes(record)


def raw4(scan, title):
    header = bytearray(RAW4_FILE_HEADER)
    header[0:7] = b"RAW4.00"
    note = bytearray(RAW4_NOTE)  # a generic segment the reader steps over
    put(note, 0, "II", 10, len(note))
    note[8:8 + len(title[:32])] = title[:32].encode()
    drives = _raw4_drive("TwoTheta", scan.start) + _raw4_drive("Theta", scan.start / 2)
    block = bytearray(RAW4_RANGE_HEADER)
    put(block, 0, "I", len(block))
    _raw4_text(block, 32, "Locked Coupled")
    put(block, 72, "ddI", scan.start, scan.step, scan.n)
    put(block, 136, "II", 4, len(drives))
    data = struct.pack(f"<{scan.n}f", *scan.y)
    return bytes(header) + bytes(note) + bytes(block) + drives + data


# --- XML and archives -----------------------------------------------------------------------

def xrdml(scan, start, end, title):
    """Positions from `start` to `end` as written (texts); the reader computes x[i] as
    i * (end - start) / (n - 1) + start."""
    half_start, half_end = float(start) / 2, float(end) / 2
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<xrdMeasurements xmlns="http://www.xrdml.com/XRDMeasurement/1.5" status="Completed">
  <comment>
    <entry>{title}</entry>
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
          <startPosition>{start}</startPosition>
          <endPosition>{end}</endPosition>
        </positions>
        <positions axis="Omega" unit="deg">
          <startPosition>{half_start!r}</startPosition>
          <endPosition>{half_end!r}</endPosition>
        </positions>
        <commonCountingTime unit="seconds">1.000</commonCountingTime>
        <intensities unit="counts">{" ".join(map(str, scan.y))}</intensities>
      </dataPoints>
    </scan>
  </xrdMeasurement>
</xrdMeasurements>
""".encode()


def zip_archive(members):
    """A ZIP archive with fixed timestamps and attributes, deflated members in the given order."""
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


def _brml_raw_data(scan, digits):
    rows = "\n".join(f"      <Datum>1,1,{x:.{digits}f},{x / 2:.{digits}f},{y}</Datum>"
                     for x, y in zip(scan.x, scan.y))
    return f"""{XML_HEAD}<RawData {XSI}>
  <MeasurementStatus>Measured</MeasurementStatus>
  <DataRoutes>
    <DataRoute RouteFlag="Measured" Description="Originally measured data.">
      <ScanInformation ScanName="Coupled TwoTheta/Theta">
        <ScanMode>Continuous</ScanMode>
      </ScanInformation>
      <SubScans>
        <SubScanInfo Steps="{scan.n}" MeasuredSteps="{scan.n}" />
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


def brml(scan, digits, title):
    container = f"""{XML_HEAD}<DataContainer {XSI} RawDataLength="1">
  <Identifier IdentificationType="RawData">
    <Comment>{title}</Comment>
  </Identifier>
  <RawDataReferenceList>
    <string>Experiment0/RawData0.xml</string>
  </RawDataReferenceList>
</DataContainer>
"""
    return zip_archive([("Experiment0/RawData0.xml", _brml_raw_data(scan, digits)),
                        ("Experiment0/DataContainer.xml", container)])


def rasx(scan, digits, title):
    bom = "\ufeff"
    profile = bom + "".join(f"{x:.{digits}f}\t{float(y)}\t1\r\n" for x, y in zip(scan.x, scan.y))
    conditions = f"""{bom}<?xml version="1.0" encoding="utf-8"?>
<MeasurementConditions>
  <GeneralInformation>
    <Comment>{title}</Comment>
    <SampleName>Silicon</SampleName>
  </GeneralInformation>
  <ScanInformation>
    <AxisName>TwoThetaTheta</AxisName>
    <Mode>CONTINUOUS</Mode>
    <Start>{scan.start:.{digits}f}</Start>
    <Stop>{scan.x[-1]:.{digits}f}</Stop>
    <Step>{scan.step:.{STEP_DIGITS}f}</Step>
    <PositionUnit>deg</PositionUnit>
    <IntensityUnit>counts</IntensityUnit>
    <DataCount>{scan.n}</DataCount>
  </ScanInformation>
</MeasurementConditions>
"""
    members = {"Profile0.txt": profile, "MesurementConditions0.xml": conditions}
    hashes = "".join(f'    <ContentHashList Name="{name}" '
                     f'ContentHash="{hashlib.md5(text.encode()).hexdigest()}" />\n'
                     for name, text in members.items())
    root = f"""{bom}<?xml version="1.0" encoding="utf-8"?>
<Root Version="1.1.0.0">
  <Data0 Type="Profile">
{hashes}  </Data0>
</Root>
"""
    return zip_archive([("Data0/" + name, text) for name, text in members.items()]
                       + [("root.xml", root)])
