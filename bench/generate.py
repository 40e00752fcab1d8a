#!/usr/bin/env python3
"""Writes large, deterministic, valid measurement files of every format for the benchmarks.

    bench/generate.py [--out DIR] [--sizes 10000,1000000]

The files go to DIR (default ${XDG_CACHE_HOME:-~/.cache}/vorlen-bench), named
`{format}_{points}.{ext}`, together with `manifest.tsv`, one line per file:

    file  format  kind  points  offset  stride  start  step

`kind` tells the benchmarks which limit to measure beside the reader (text: fast_float over the
numbers; raw: widening the float32 records found at `offset`, `stride` bytes apart, x being
i * step + start; xml / archive: expat and inflate over the same bytes plus fast_float over the
numbers). A file already present with the same name is kept: the content depends only on the
name, and the generator version is part of the manifest, so a change here rebuilds the cache.
"""

import argparse
import hashlib
import io
import math
import os
import pathlib
import struct
import sys
import zipfile
from array import array

VERSION = "1"
START = 5.0
SPAN = 100.0  # every scan covers 5 to 105 degrees, whatever its number of points
PEAKS = ((28.443, 12000.0, 0.35), (47.303, 7500.0, 0.40), (56.123, 4200.0, 0.42),
         (69.131, 1100.0, 0.45), (76.377, 1600.0, 0.47), (88.032, 2100.0, 0.50))


class Scan:
    """n points from START with a constant step; y is integral counts of a model pattern."""

    def __init__(self, n):
        self.n = n
        self.step = SPAN / n
        self.x = [i * self.step + START for i in range(n)]
        # A falling background, six peaks and a deterministic ripple so that the digits vary.
        self.y = [round(40.0 + 800.0 / t + sum(h * math.exp(-2.772588722 * ((t - c) / w) ** 2)
                                             for c, h, w in PEAKS if abs(t - c) < 4 * w)
                        + (i * 7919) % 97) for i, t in enumerate(self.x)]


def lines(rows, end="\n"):
    return (end.join(rows) + end).encode("utf-8")


# --- text formats -----------------------------------------------------------------------------

def xy(s):
    rows = ["# 2theta intensity; synthetic benchmark pattern"]
    rows += [f"{x:.6f} {y}" for x, y in zip(s.x, s.y)]
    return lines(rows)


def chi(s):
    rows = ["Synthetic benchmark pattern", "2-Theta Angle (Degrees)", "Intensity", f"{s.n:>11}"]
    rows += [f" {x:.7E}  {y * 1.25:.7E}" for x, y in zip(s.x, s.y)]
    return lines(rows)


def ras(s):
    rows = ["*RAS_DATA_START", "*RAS_HEADER_START", '*FILE_SAMPLE "benchmark"',
            f'*MEAS_DATA_COUNT "{s.n}"', '*MEAS_SCAN_AXIS_X "TwoThetaTheta"',
            f'*MEAS_SCAN_START "{START:.6f}"', f'*MEAS_SCAN_STEP "{s.step:.6f}"',
            '*MEAS_SCAN_UNIT_X "deg"', "*RAS_HEADER_END", "*RAS_INT_START"]
    rows += [f"{x:.6f} {y:.4f} 1.0000" for x, y in zip(s.x, s.y)]
    rows += ["*RAS_INT_END", "*RAS_DATA_END"]
    return lines(rows, "\r\n")  # Rigaku writes CRLF line ends


def uxd_head(s):
    return ["; synthetic benchmark pattern", "_FILEVERSION=2", "_WL1=1.540600",
            "; (Data for Range number 1)", "_DRIVE='COUPLED'",
            f"_STEPSIZE={s.step:.8f}", f"_START={START:.6f}"]


def uxd_counts(s):
    rows = uxd_head(s) + ["_COUNTS"]
    rows += ["".join(f"{y:>10}" for y in s.y[i:i + 8]) for i in range(0, s.n, 8)]
    return lines(rows)


def uxd_pairs(s):
    rows = uxd_head(s) + ["_2THETACOUNTS"]
    rows += [f"  {x:.6f}  {y:>8}" for x, y in zip(s.x, s.y)]
    return lines(rows)


def gsas_header(s, records, kind):
    return [f"Synthetic benchmark pattern".ljust(80),
            f"BANK 1 {s.n} {records} CONST {START * 100:.4f} {s.step * 100:.8f} 0 0 {kind}"
            .ljust(80)]


def gsas_std(s):
    values = s.y + [0] * (-s.n % 10)  # the last record padded with zero values to ten fields
    rows = gsas_header(s, len(values) // 10, "STD")
    rows += ["".join(f"  {v:6d}" for v in values[i:i + 10]) for i in range(0, len(values), 10)]
    return lines(rows)


def gsas_esd(s):
    pairs = [v for y in s.y for v in (y, round(math.sqrt(y)))] + [0] * (-2 * s.n % 10)
    rows = gsas_header(s, len(pairs) // 10, "ESD")
    rows += ["".join(f"{v:8d}" for v in pairs[i:i + 10]) for i in range(0, len(pairs), 10)]
    return lines(rows)


def gsas_fxye(s):
    rows = gsas_header(s, s.n, "FXYE")
    rows += [f"{x * 100:.4f} {y} {math.sqrt(y):.3f}" for x, y in zip(s.x, s.y)]
    return lines(rows)


def pdcif(s):
    rows = ["data_benchmark", "_pd_block_id benchmark",
            f"_pd_meas_number_of_points {s.n}",
            f"_pd_meas_2theta_range_min {START:.6f}",
            f"_pd_meas_2theta_range_max {s.x[-1]:.6f}",
            f"_pd_meas_2theta_range_inc {s.step:.8f}",
            "loop_", "_pd_meas_counts_total", "_pd_proc_ls_weight"]
    rows += [f"  {y}({round(math.sqrt(y))})  {1.0 / y:.6f}" for y in s.y]
    return lines(rows)


def pdcif_scan(s):
    rows = ["data_benchmark", "_pd_block_id benchmark",
            "loop_", "_pd_meas_2theta_scan", "_pd_meas_counts_total"]
    rows += [f"  {x:.6f}  {y}" for x, y in zip(s.x, s.y)]
    return lines(rows)


# --- Bruker RAW -------------------------------------------------------------------------------

RAW3_DATA = 712 + 304
RAW4_DATA = 61 + 160 + 2 * 64


def put(buffer, offset, fmt, *values):
    struct.pack_into("<" + fmt, buffer, offset, *values)


def raw3(s):
    head = bytearray(712)
    head[0:7] = b"RAW1.01"
    put(head, 12, "I", 1)
    scan = bytearray(304)
    put(scan, 0, "II", len(scan), s.n)
    put(scan, 16, "d", START)
    put(scan, 176, "d", s.step)
    put(scan, 196, "I", 0)  # locked coupled
    put(scan, 248, "IIII", 0, 4, 0, 0)  # counts only, 4-byte records
    return bytes(head) + bytes(scan) + array("f", s.y).tobytes()


def raw4_drive(name, start):
    record = bytearray(64)
    put(record, 0, "III", 50, len(record), 1)
    record[12:12 + len(name)] = name.encode()
    put(record, 56, "d", start)
    return bytes(record)


def raw4(s):
    head = bytearray(61)
    head[0:7] = b"RAW4.00"
    drives = raw4_drive("TwoTheta", START) + raw4_drive("Theta", START / 2)
    block = bytearray(160)
    put(block, 0, "I", len(block))
    block[32:32 + 14] = b"Locked Coupled"
    put(block, 72, "ddI", START, s.step, s.n)
    put(block, 136, "II", 4, len(drives))
    return bytes(head) + bytes(block) + drives + array("f", s.y).tobytes()


# --- XML and archives -------------------------------------------------------------------------

def xrdml(s):
    end = s.x[-1]
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<xrdMeasurements xmlns="http://www.xrdml.com/XRDMeasurement/1.5" status="Completed">
  <sample type="To be analyzed"><id>bench</id></sample>
  <xrdMeasurement measurementType="Scan" status="Completed">
    <usedWavelength intended="K-Alpha 1"><kAlpha1 unit="Angstrom">1.5405980</kAlpha1></usedWavelength>
    <scan appendNumber="0" mode="Continuous" scanAxis="Gonio" status="Completed">
      <dataPoints>
        <positions axis="2Theta" unit="deg">
          <startPosition>{START!r}</startPosition>
          <endPosition>{end!r}</endPosition>
        </positions>
        <positions axis="Omega" unit="deg">
          <startPosition>{START / 2!r}</startPosition>
          <endPosition>{end / 2!r}</endPosition>
        </positions>
        <commonCountingTime unit="seconds">1.000</commonCountingTime>
        <intensities unit="counts">{" ".join(map(str, s.y))}</intensities>
      </dataPoints>
    </scan>
  </xrdMeasurement>
</xrdMeasurements>
""".encode()


def zip_archive(members):
    """A ZIP archive with fixed timestamps, deflated members in the given order."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, content in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            archive.writestr(info, content)
    return out.getvalue()


XSI = 'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'


def brml(s):
    rows = "\n".join(f"      <Datum>1,1,{x:.6f},{x / 2:.6f},{y}</Datum>" for x, y in zip(s.x, s.y))
    raw_data = f"""<?xml version="1.0"?>
<RawData {XSI}>
  <DataRoutes>
    <DataRoute RouteFlag="Measured">
      <ScanInformation ScanName="Coupled TwoTheta/Theta"><ScanMode>Continuous</ScanMode></ScanInformation>
      <SubScans><SubScanInfo Steps="{s.n}" MeasuredSteps="{s.n}" /></SubScans>
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
    container = f"""<?xml version="1.0"?>
<DataContainer {XSI} RawDataLength="1">
  <RawDataReferenceList><string>Experiment0/RawData0.xml</string></RawDataReferenceList>
</DataContainer>
"""
    return zip_archive([("Experiment0/RawData0.xml", raw_data),
                        ("Experiment0/DataContainer.xml", container)])


def rasx(s):
    bom = "\ufeff"
    profile = bom + "".join(f"{x:.6f}\t{float(y)}\t1\r\n" for x, y in zip(s.x, s.y))
    conditions = f"""{bom}<?xml version="1.0" encoding="utf-8"?>
<MeasurementConditions>
  <ScanInformation>
    <AxisName>TwoThetaTheta</AxisName>
    <Mode>CONTINUOUS</Mode>
    <Start>{START:.6f}</Start>
    <Stop>{s.x[-1]:.6f}</Stop>
    <Step>{s.step:.8f}</Step>
    <PositionUnit>deg</PositionUnit>
    <IntensityUnit>counts</IntensityUnit>
    <DataCount>{s.n}</DataCount>
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


# (format, extension, kind, writer, offset of the RAW records)
FORMATS = (
    ("xy", "xy", "text", xy, 0),
    ("chi", "chi", "text", chi, 0),
    ("ras", "ras", "text", ras, 0),
    ("uxd_counts", "uxd", "text", uxd_counts, 0),
    ("uxd_pairs", "uxd", "text", uxd_pairs, 0),
    ("gsas_std", "gsa", "text", gsas_std, 0),
    ("gsas_esd", "gsa", "text", gsas_esd, 0),
    ("gsas_fxye", "gsa", "text", gsas_fxye, 0),
    ("pdcif", "cif", "text", pdcif, 0),
    ("pdcif_scan", "cif", "text", pdcif_scan, 0),
    ("raw3", "raw", "raw", raw3, RAW3_DATA),
    ("raw4", "raw", "raw", raw4, RAW4_DATA),
    ("xrdml", "xrdml", "xml", xrdml, 0),
    ("brml", "brml", "archive", brml, 0),
    ("rasx", "rasx", "archive", rasx, 0),
)


def default_dir():
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return pathlib.Path(cache) / "vorlen-bench"


def generate(out, sizes):
    """Writes the missing files and the manifest; returns the manifest rows."""
    out.mkdir(parents=True, exist_ok=True)
    stamp = out / "version"
    if not stamp.exists() or stamp.read_text() != VERSION:
        for old in out.glob("*_*.*"):
            old.unlink()
        stamp.write_text(VERSION)
    rows = []
    for n in sizes:
        scan = None
        for name, ext, kind, writer, offset in FORMATS:
            path = out / f"{name}_{n}.{ext}"
            if not path.exists():
                scan = scan or Scan(n)
                tmp = path.with_suffix(".tmp")
                tmp.write_bytes(writer(scan))
                tmp.replace(path)
            rows.append((path.name, name, kind, n, offset, 4 if kind == "raw" else 0,
                         START, SPAN / n))
    with open(out / "manifest.tsv", "w") as manifest:
        for row in rows:
            manifest.write("\t".join(str(v) if not isinstance(v, float) else repr(v)
                                     for v in row) + "\n")
    return rows


def check(out, rows):
    """Reads every file with vorlen and compares its points with the scan it was written from;
    returns the number of files that failed."""
    import vorlen
    failed = 0
    for name, _, _, n, *_ in rows:
        try:
            pattern = vorlen.read(str(out / name))
            problem = None if len(pattern.x) == n and pattern.x[0] == START else \
                f"{len(pattern.x)} points from {pattern.x[0]}"
        except Exception as error:  # report every refusal, then go on with the next file
            problem = str(error)
        if problem:
            failed += 1
            print(f"{name}: {problem}", file=sys.stderr)
    return failed


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=pathlib.Path, default=default_dir())
    parser.add_argument("--sizes", default="10000,1000000",
                        help="comma-separated numbers of points (default 10000,1000000)")
    parser.add_argument("--check", action="store_true",
                        help="read every file back with vorlen (must be importable)")
    args = parser.parse_args(argv[1:])
    rows = generate(args.out, [int(v) for v in args.sizes.split(",")])
    if args.check:
        return 1 if check(args.out, rows) else 0
    for row in rows:
        print(args.out / row[0])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
