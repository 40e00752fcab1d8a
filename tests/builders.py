"""Inputs for the Python tests, built from defaults that read cleanly so that each test states
only what differs: ZIP archives, Bruker RAW v3 and v4, BRML, RASX, XRDML and GSAS."""

import io
import struct
import zipfile


# --- ZIP ------------------------------------------------------------------------------------

def zip_archive(members, compression=zipfile.ZIP_DEFLATED):
    """An archive of (name, content) pairs, or of a {name: content} mapping, in that order."""
    items = members.items() if isinstance(members, dict) else members
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as archive:
        for name, content in items:
            archive.writestr(name, content)
    return buffer.getvalue()


# --- Bruker RAW -----------------------------------------------------------------------------

def raw_record(y, angle=None, size=4):
    rec = bytearray(size)
    struct.pack_into("<f", rec, 0, y)
    if angle is not None:
        struct.pack_into("<d", rec, 4, angle)
    return bytes(rec)


def raw3_range(ys=(1.0, 2.0, 3.0), start=10.0, step=0.5, scan_type=0, bits=0, record_size=None,
               header_size=304, extra=b"", angles=None, count=None):
    record_size = 4 + 8 * bin(bits).count("1") if record_size is None else record_size
    head = bytearray(max(header_size, 260))  # room for every field even when the size is bad
    struct.pack_into("<II", head, 0, header_size, len(ys) if count is None else count)
    struct.pack_into("<d", head, 16, start)
    struct.pack_into("<d", head, 176, step)
    struct.pack_into("<I", head, 196, scan_type)
    struct.pack_into("<III", head, 248, bits, record_size, len(extra))
    angles = angles or [None] * len(ys)
    return bytes(head) + extra + b"".join(raw_record(y, a, record_size) for y, a in zip(ys, angles))


def raw3(*ranges, count=None, tail=b""):
    ranges = ranges or (raw3_range(),)
    head = bytearray(712)
    head[:7] = b"RAW1.01"
    struct.pack_into("<I", head, 12, len(ranges) if count is None else count)
    return bytes(head) + b"".join(ranges) + tail


def raw4_segment(kind, payload=b"", length=None):
    return struct.pack("<II", kind, 8 + len(payload) if length is None else length) + payload


def raw4_drive(name, start=10.0, scanned=1, size=64):
    body = bytearray(max(size, 64))
    struct.pack_into("<II", body, 0, 50, size)
    struct.pack_into("<I", body, 8, scanned)
    body[12:12 + len(name)] = name.encode("latin-1")
    struct.pack_into("<d", body, 56, start)
    return bytes(body[:size])


def raw4_range(ys=(1.0, 2.0, 3.0), start=10.0, step=0.5, scan_type="Locked Coupled", drives=(),
               record_size=4, marker=160, count=None):
    drive_header = b"".join(drives)
    head = bytearray(160)
    struct.pack_into("<I", head, 0, marker)
    head[32:32 + len(scan_type)] = scan_type.encode("latin-1")
    struct.pack_into("<ddI", head, 72, start, step, len(ys) if count is None else count)
    struct.pack_into("<II", head, 136, record_size, len(drive_header))
    return bytes(head) + drive_header + b"".join(raw_record(y, size=record_size) for y in ys)


def raw4(*blocks):
    return b"RAW4.00".ljust(61, b"\0") + b"".join(blocks if blocks else (raw4_range(),))


# --- BRML -----------------------------------------------------------------------------------

BRML_VIEWS = (
    '<RawDataView xsi:type="FixedRawDataView" Start="0" Length="1" LogicName="MeasuredTime"/>'
    '<RawDataView xsi:type="VaryingRawDataView" Start="1" Length="2"><Varying>'
    '<FieldDefinitions FieldName="TwoTheta" AxisId="TwoTheta"/>'
    '<FieldDefinitions FieldName="Theta" AxisId="Theta"/></Varying></RawDataView>'
    '<RawDataView xsi:type="RecordedRawDataView" Start="3" Length="1"/>'
)
BRML_ROWS = ("1,10.0,5.0,100", "1,10.5,5.25,120", "1,11.0,5.5,90")


def brml_route(views=BRML_VIEWS, rows=BRML_ROWS, flag='RouteFlag="Measured"'):
    datums = "".join(f"<Datum>{row}</Datum>" for row in rows)
    return f"<DataRoute {flag}>{datums}<DataViews>{views}</DataViews></DataRoute>"


def brml_raw_data(routes):
    return (
        '<?xml version="1.0"?>\n<RawData xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
        f"<DataRoutes>{''.join(routes)}</DataRoutes></RawData>"
    )


def brml_container(references):
    children = "".join(f"<string>{name}</string>" for name in references)
    return f"<DataContainer><RawDataReferenceList>{children}</RawDataReferenceList></DataContainer>"


def brml(routes=None, container_name="Experiment0/DataContainer.xml",
         references=("Experiment0/RawData0.xml",), raw=None, extra=()):
    """A one-scan archive; `raw` replaces the raw-data members, `extra` adds members."""
    if raw is None:
        raw = [("Experiment0/RawData0.xml", brml_raw_data([brml_route()] if routes is None else routes))]
    return zip_archive([(container_name, brml_container(references)), *raw, *extra])


# --- RASX -----------------------------------------------------------------------------------

RASX_PROFILE = "\ufeff10.0000\t170.5\t1\r\n10.0400\t170.25\t1\r\n10.0800\t150.75\t1\r\n"


def rasx_conditions(axis="TwoThetaTheta"):
    return ('<?xml version="1.0" encoding="utf-8"?><MeasurementConditions><GeneralInformation>'
            "<AxisName>Omega</AxisName></GeneralInformation>"
            f"<ScanInformation><AxisName>{axis}</AxisName><Mode>CONTINUOUS</Mode></ScanInformation>"
            "</MeasurementConditions>")


def rasx_measurement(name, members):
    hashes = "".join(f'<ContentHashList Name="{member}" ContentHash="0"/>' for member in members)
    return f'<{name} Type="Profile">{hashes}</{name}>'


def rasx_root(*measurements):
    """The archive's index, root.xml, listing the measurements."""
    return ('\ufeff<?xml version="1.0" encoding="utf-8"?>\r\n<Root Version="1.1.0.0">'
            f"{''.join(measurements)}<Signature><SignedInfo/></Signature></Root>")


RASX_STANDARD = rasx_measurement("Data0", ["Profile0.txt", "MesurementConditions0.xml"])


def rasx(root=None, members=None, compression=zipfile.ZIP_DEFLATED):
    """A one-measurement archive; `members` replaces the measurement's members, `root=False`
    leaves out the index."""
    if members is None:
        members = {"Data0/Profile0.txt": RASX_PROFILE, "Data0/MesurementConditions0.xml": rasx_conditions()}
    items = list(members.items())
    if root is not False:
        items.append(("root.xml", root if root is not None else rasx_root(RASX_STANDARD)))
    return zip_archive(items, compression)


# --- XRDML ----------------------------------------------------------------------------------

def xrdml_positions(axis="2Theta", unit="deg", **children):
    attrs = ("" if axis is None else f' axis="{axis}"') + ("" if unit is None else f' unit="{unit}"')
    tags = {"listed": "listPositions", "start": "startPosition", "end": "endPosition",
            "common": "commonPosition"}
    inner = "".join(f"<{tags[k]}>{v}</{tags[k]}>" for k, v in children.items())
    return f"<positions{attrs}>{inner}</positions>"


def xrdml_scan(data, axis="2Theta"):
    attr = "" if axis is None else f' scanAxis="{axis}"'
    inner = "" if data is None else f"<dataPoints>{data}</dataPoints>"
    return f'<scan appendNumber="0"{attr}><header/>{inner}</scan>'


def xrdml_stepped(start=10, end=20, values="1 2 3 4 5", tag="intensities"):
    return xrdml_positions(start=start, end=end) + f'<{tag} unit="counts">{values}</{tag}>'


def xrdml_document(*measurements):
    body = "".join(f"<xrdMeasurement>{''.join(m)}</xrdMeasurement>" for m in measurements)
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n<xrdMeasurements '
        'xmlns="http://www.xrdml.com/XRDMeasurement/1.5" xmlns:xsi="http://www.w3.org/2001/'
        f'XMLSchema-instance"><comment><entry>test</entry></comment>{body}</xrdMeasurements>'
    )


def xrdml_one_scan(data, axis="2Theta"):
    return xrdml_document([xrdml_scan(data, axis)])


# --- GSAS -----------------------------------------------------------------------------------

def gsas(header, *lines):
    return ("title\n" + header + "\n" + "".join(line + "\n" for line in lines)).encode()


def gsas_std_record(pairs):
    """An STD record of 8-character fields: counter number (2 chars) then value (6 chars)."""
    return "".join(f"{counter:>2}{value:>6}" for counter, value in pairs)
