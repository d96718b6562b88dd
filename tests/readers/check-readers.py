#!/usr/bin/env python3
"""Reads what the program writes with the sample style sheets, with the programs people read
those files with.

    check-readers.py GROUP PROGRAM SOURCE_DIR

GROUP is one of:
  gdal      ogrinfo (gdal-bin) reads the CSV, GeoJSON, KML and DXF: one feature per point, and
            the named points at their coordinates in the job, to the millimetre
  ezdxf     ezdxf (python3-ezdxf) audits the DXF: no errors, nothing to repair
  rsvg      rsvg-convert (librsvg2-bin) renders the SVG plan at the sheet's size, with the
            named points' symbols drawn
  chromium  headless Chromium prints the HTML report to PDF; pdfinfo and pdftotext
            (poppler-utils) show A4 pages and table headers on every page of a table
  landxml   the LandXML file against the part of the LandXML 1.2 schema it uses, and its
            coordinates read back in every linear unit

The program runs in batch mode without a display on copies of the sample job and style sheets
in a temporary folder. A reader that is not installed is a failure (tools/setup-debian.sh
--tests installs them). Exit status 1 and a message on the first problem found.
"""

import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

# Points whose coordinates are checked in every file: control, a traverse station, and
# details whose descriptions hold a comma and non-ASCII letters, a backslash, double quotes.
NAMED = ("CP101", "CP102", "T1", "1001", "1011", "1020", "1227")
MM = 0.0005 + 1e-9           # what rounding to the millimetre may change
TIMEOUT = 600                # a reader that hangs ends the test instead of the suite


class Failure(Exception):
    pass


def norm(s):
    return re.sub(r"[ \t\r\n]+", " ", s or "").strip(" ")


def read_job(path):
    """The job's points by name, in job order, and its line work: line name -> point names."""
    root = ET.parse(path).getroot()
    points, lines = {}, {}
    for p in root.findall("Points/Point"):
        g, geo = p.find("Grid"), p.find("Geographic")
        points[p.get("name")] = {
            "code": p.get("code"), "desc": norm(p.findtext("Description")),
            "e": float(g.get("e")), "n": float(g.get("n")), "z": float(g.get("z")),
            "lat": float(geo.get("lat")), "lon": float(geo.get("lon")), "h": float(geo.get("h")),
        }
        if p.get("line"):
            lines.setdefault(p.get("line"), []).append(p.get("name"))
    return root, points, lines


def run(cmd, **kwargs):
    try:
        return subprocess.run(cmd, capture_output=True, timeout=TIMEOUT, **kwargs)
    except FileNotFoundError:
        raise Failure("%s is not installed (tools/setup-debian.sh --tests installs it)" % cmd[0])


class Exports:
    """Copies of the sample job and style sheets in a temporary folder, and the program that
    writes the exports from them."""

    def __init__(self, program, source, work):
        self.program, self.work = program, work
        self.job = os.path.join(work, "job.dxm")
        shutil.copy(os.path.join(source, "samples", "job.dxm"), self.job)
        self.sheets = os.path.join(work, "stylesheets")
        shutil.copytree(os.path.join(source, "samples", "stylesheets"), self.sheets)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.env["XDG_CONFIG_HOME"] = os.path.join(work, "config")

    def set_value(self, sheet, name, select):
        """Changes a user variable's value line in the copy, as the program does."""
        path = os.path.join(self.sheets, sheet + ".xsl")
        text = open(path, encoding="utf-8").read()
        line = re.compile(r'<xsl:variable name="%s" select="[^"]*"/>' % name)
        if len(line.findall(text)) != 1:
            raise Failure("%s has no value line for %s" % (sheet, name))
        open(path, "w", encoding="utf-8").write(
            line.sub(lambda _: '<xsl:variable name="%s" select="%s"/>' % (name, select), text))

    def write(self, sheet, output):
        out = os.path.join(self.work, output)
        r = run([self.program, self.job, os.path.join(self.sheets, sheet + ".xsl"), out],
                env=self.env, stdin=subprocess.DEVNULL)
        if r.returncode != 0 or not os.path.isfile(out):
            raise Failure("the program did not write %s with %s.xsl (exit %d): %s"
                          % (output, sheet, r.returncode, r.stderr.decode(errors="replace")))
        return out


# ------------------------------------------------------------------ gdal
def ogr_features(path, *options):
    """Features as ogrinfo lists them: {"layer", "fields": {name: text}, "geometry": (type, coords)}."""
    r = run(["ogrinfo", "-ro", "-al", "-q", *options, path])
    if r.returncode != 0:
        raise Failure("ogrinfo cannot read %s: %s" % (os.path.basename(path), r.stderr.decode(errors="replace")))
    features = []
    for line in r.stdout.decode("utf-8").splitlines():
        m = re.match(r"OGRFeature\((.*)\):\d+$", line)
        if m:
            features.append({"layer": m.group(1), "fields": {}, "geometry": None})
            continue
        m = re.match(r"  ([A-Z]+(?: Z)?) \((.*)\)$", line)
        if m and features:
            coords = [tuple(float(v) for v in c.split()) for c in m.group(2).strip("()").split(",")]
            features[-1]["geometry"] = (m.group(1), coords)
            continue
        m = re.match(r"  (\S.*?) \(\w+\) = (.*)$", line)
        if m and features:
            features[-1]["fields"][m.group(1)] = m.group(2)
    return features


def near(what, got, want, tolerance=MM):
    if len(got) != len(want) or any(abs(a - b) > tolerance for a, b in zip(got, want)):
        raise Failure("%s is at %s, the job has %s" % (what, got, want))


def near_geographic(what, got, p, height):
    """Longitude, latitude to the millimetre on the ground, and the height."""
    lon, lat, z = got
    dn = (lat - p["lat"]) * 111320.0
    de = (lon - p["lon"]) * 111320.0 * math.cos(math.radians(p["lat"]))
    if math.hypot(de, dn) > 0.001 or abs(z - height) > MM:
        raise Failure("%s is at %s, the job has %s, %s, %s" % (what, got, p["lon"], p["lat"], height))


def by_field(features, field, what):
    found = {}
    for f in features:
        found.setdefault(f["fields"].get(field), []).append(f)
    for name in NAMED:
        if len(found.get(name, [])) != 1:
            raise Failure("%s: %d features named %s" % (what, len(found.get(name, [])), name))
    return {name: found[name][0] for name in NAMED}


def check_gdal(exports, points, lines):
    # CSV: the coordinates from the named columns; quoted fields come back whole
    features = ogr_features(exports.write("Points CSV", "points.csv"),
                            "-oo", "X_POSSIBLE_NAMES=Easting", "-oo", "Y_POSSIBLE_NAMES=Northing",
                            "-oo", "Z_POSSIBLE_NAMES=Elevation", "-oo", "KEEP_GEOM_COLUMNS=NO")
    if len(features) != len(points):
        raise Failure("CSV: %d features for %d points" % (len(features), len(points)))
    for name, f in by_field(features, "Name", "CSV").items():
        p = points[name]
        near("CSV point " + name, f["geometry"][1][0], (p["e"], p["n"], p["z"]))
        if f["fields"].get("Description") != p["desc"] or f["fields"].get("Code") != p["code"]:
            raise Failure("CSV point %s: code or description %r" % (name, f["fields"]))

    # GeoJSON: longitude, latitude, ellipsoidal height
    features = ogr_features(exports.write("Points GeoJSON", "points.geojson"))
    if len(features) != len(points):
        raise Failure("GeoJSON: %d features for %d points" % (len(features), len(points)))
    for name, f in by_field(features, "name", "GeoJSON").items():
        near_geographic("GeoJSON point " + name, f["geometry"][1][0], points[name], points[name]["h"])
        if f["fields"].get("description") != points[name]["desc"]:
            raise Failure("GeoJSON point %s: description %r" % (name, f["fields"].get("description")))

    # KML: longitude, latitude, elevation, one folder (layer) per code
    features = ogr_features(exports.write("Points KML", "points.kml"))
    if len(features) != len(points):
        raise Failure("KML: %d placemarks for %d points" % (len(features), len(points)))
    for name, f in by_field(features, "Name", "KML").items():
        near_geographic("KML placemark " + name, f["geometry"][1][0], points[name], points[name]["z"])
        if not f["layer"].startswith(points[name]["code"]):
            raise Failure("KML placemark %s is in the folder %r" % (name, f["layer"]))

    # DXF: a POINT and a TEXT label per point on the code's layer; line work in 3D
    features = ogr_features(exports.write("Drawing DXF", "drawing.dxf"))
    marks = [f for f in features if f["geometry"] and f["geometry"][0] == "POINT Z"
             and f["fields"].get("Text") in (None, "(null)", "")]
    labels = {f["fields"]["Text"]: f for f in features if f["fields"].get("Text") not in (None, "(null)", "")}
    if len(marks) != len(points) or len(labels) != len(points):
        raise Failure("DXF: %d points and %d labels for %d points" % (len(marks), len(labels), len(points)))
    for name in NAMED:
        p = points[name]
        want = (p["e"], p["n"], p["z"])
        at = [f for f in marks if all(abs(a - b) <= MM for a, b in zip(f["geometry"][1][0], want))]
        if len(at) != 1 or at[0]["fields"].get("Layer") != p["code"]:
            raise Failure("DXF: no POINT on layer %s at %s for %s" % (p["code"], want, name))
        label = labels.get(name)
        if not label or label["fields"].get("Layer") != p["code"] or \
                math.dist(label["geometry"][1][0][:2], want[:2]) > 2.0:
            raise Failure("DXF: the label of %s is missing or not beside it" % name)
    drawn = [f["geometry"][1] for f in features if f["geometry"] and f["geometry"][0] == "LINESTRING Z"]
    if len(drawn) != len(lines):
        raise Failure("DXF: %d lines for the job's %d feature lines" % (len(drawn), len(lines)))
    for line, members in lines.items():
        want = [(points[m]["e"], points[m]["n"], points[m]["z"]) for m in members]
        if points[members[0]]["code"] == "BLDG":
            want.append(want[0])
        if not any(len(d) == len(want) and all(math.dist(a, b) <= MM * 1.8 for a, b in zip(d, want))
                   for d in drawn):
            raise Failure("DXF: the line %s is not drawn through its points in 3D" % line)
    print("gdal: CSV, GeoJSON, KML and DXF have %d points each; named points, labels and %d lines "
          "at the job's coordinates" % (len(points), len(lines)))


# ------------------------------------------------------------------ ezdxf
def check_ezdxf(exports, points, lines):
    path = exports.write("Drawing DXF", "drawing.dxf")
    r = run(["ezdxf", "audit", path])
    if r.returncode != 0 or "No errors found." not in r.stdout.decode(errors="replace"):
        raise Failure("ezdxf audit: %s%s" % (r.stdout.decode(errors="replace"), r.stderr.decode(errors="replace")))
    r = run(["ezdxf", "info", "--stats", path])
    info = r.stdout.decode(errors="replace")
    want = 2 * len(points) + len(lines)
    if r.returncode != 0 or "Release: R12" not in info or "Entities in modelspace: %d" % want not in info:
        raise Failure("ezdxf info: expected R12 and %d entities:\n%s" % (want, info))
    print("ezdxf: the R12 drawing audits without errors and holds %d entities" % want)


# ------------------------------------------------------------------ rsvg
def png_pixels(path):
    """Width, height and rows of RGBA bytes of an 8-bit RGBA PNG without interlacing."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Failure("rsvg-convert wrote no PNG")
    pos, idat, head = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = head
    if depth != 8 or colour != 6 or interlace:
        raise Failure("unexpected PNG format %r" % (head,))
    raw, stride, rows, prev = zlib.decompress(idat), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b, c = prev[i], (prev[i - 4] if i >= 4 else 0)
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, rows


def check_rsvg(exports, points, lines):
    svg = exports.write("Plan Drawing", "plan.svg")
    png = os.path.join(exports.work, "plan.png")
    zoom = 0.5
    r = run(["rsvg-convert", "--zoom", str(zoom), "-o", png, svg])
    if r.returncode != 0:
        raise Failure("rsvg-convert cannot render the plan: %s" % r.stderr.decode(errors="replace"))
    root = ET.parse(svg).getroot()
    sheet_mm = float(root.get("width")[:-2]), float(root.get("height")[:-2])
    px_per_mm = 96 / 25.4 * zoom
    width, height, rows = png_pixels(png)
    if any(abs(got - v * px_per_mm) > 1 for got, v in zip((width, height), sheet_mm)):
        raise Failure("rendered %dx%d pixels for a sheet of %gx%g mm" % (width, height, *sheet_mm))
    inked = sum(1 for row in rows for i in range(0, len(row), 4) if row[i] + row[i + 1] + row[i + 2] < 600)
    if inked < 0.01 * width * height:
        raise Failure("the rendered plan is nearly blank")
    # the symbols are drawn in job order: find the named points' ones and look for ink there
    svg_ns = "{http://www.w3.org/2000/svg}"
    symbols = [u for g in root.iter(svg_ns + "g") if g.get("clip-path") for u in g.iter(svg_ns + "use")]
    order = list(points)
    if len(symbols) != len(order):
        raise Failure("%d symbols in the plan for %d points" % (len(symbols), len(order)))
    for name in NAMED:
        u = symbols[order.index(name)]
        x, y = (round(float(u.get(k)) * px_per_mm) for k in ("x", "y"))
        window = [rows[j][4 * i:4 * i + 3] for j in range(y - 2, y + 3) for i in range(x - 2, x + 3)
                  if 0 <= i < width and 0 <= j < height]
        if not any(sum(p) < 600 for p in window):
            raise Failure("nothing is drawn where the symbol of %s is" % name)
    print("rsvg: the plan renders at %dx%d pixels with the named points' symbols" % (width, height))


# ------------------------------------------------------------------ chromium
A4 = (595.28, 841.89)


def check_chromium(exports, points, lines):
    html = exports.write("Survey Report", "report.html")
    pdf = os.path.join(exports.work, "report.pdf")
    # --no-sandbox: Chromium's sandbox needs rights that root and many containers lack; the page
    # is the report just written, with no scripts.
    r = run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--user-data-dir=" + os.path.join(exports.work, "chromium"), "--no-pdf-header-footer",
             "--print-to-pdf=" + pdf, "file://" + html], env=exports.env, stdin=subprocess.DEVNULL)
    if r.returncode != 0 or not os.path.isfile(pdf):
        raise Failure("chromium did not print the report: %s" % r.stderr.decode(errors="replace")[-2000:])
    r = run(["pdfinfo", "-f", "1", "-l", "9999", pdf])
    sizes = re.findall(r"Page +\d+ size: +([\d.]+) x ([\d.]+) pts", r.stdout.decode())
    if r.returncode != 0 or len(sizes) < 3:
        raise Failure("pdfinfo: the report is not on several pages:\n%s" % r.stdout.decode())
    for k, (w, h) in enumerate(sizes, 1):
        if sorted((float(w), float(h))) != sorted(A4) and \
                any(abs(a - b) > 1.0 for a, b in zip(sorted((float(w), float(h))), A4)):
            raise Failure("page %d is %s x %s pt, not A4" % (k, w, h))
    r = run(["pdftotext", "-layout", pdf, "-"])
    pages = r.stdout.decode("utf-8").split("\f")
    # every page that lists observations or points starts its table with the header row
    heads = {"observations": (r" (sideshot|backsight) ", r"Point +Code +Role +Hz"),
             "points": (r"\d{7}\.\d{3} +\d+\.\d{3} +\d+°", r"Name +Code +Easting +Northing")}
    for what, (row, head) in heads.items():
        listed = [k for k, text in enumerate(pages, 1) if re.search(row, text)]
        bare = [k for k in listed if not re.search(head, pages[k - 1])]
        if not listed or bare:
            raise Failure("pages %s list %s without the table header" % (bare or "(none)", what))
    missing = [n for n in points if not re.search(r"(^|\s)%s\s" % re.escape(n), r.stdout.decode("utf-8"))]
    if missing:
        raise Failure("points missing in the printed report: %s" % missing[:5])
    print("chromium: the report prints on %d A4 pages, every table page with its header" % len(sizes))


# ------------------------------------------------------------------ landxml
LX = "{http://www.landxml.org/schema/LandXML-1.2}"
DOUBLE = r"-?\d+(\.\d+)?([eE][-+]?\d+)?"
DATE = r"\d{4}-\d\d-\d\d"
TIME = r"\d\d:\d\d:\d\d(\.\d+)?(Z|[-+]\d\d:\d\d)?"
DATETIME = DATE + "T" + TIME
ANGULAR = "radians|grads|decimal degrees|decimal dd.mm.ss"
NCNAME = r"[A-Za-z_][\w.-]*"
ANY = r".*"

# The part of the LandXML 1.2 schema that the export uses. Per element: required attributes,
# optional attributes, both with a pattern for their values, and the content model as a
# pattern over the names of the child elements, each followed by a space.
SCHEMA = {
    "LandXML": ({"date": DATE, "time": TIME, "version": ANY},
                {"language": ANY, "readOnly": "true|false", "LandXMLId": r"-?\d+", "crc": r"-?\d+",
                 "{http://www.w3.org/2001/XMLSchema-instance}schemaLocation": ANY},
                r"((Units|CoordinateSystem|Project|Application|CgPoints|Survey) )+"),
    "Units": ({}, {}, r"(Metric|Imperial) "),
    "Metric": ({"areaUnit": "hectare|squareMeter|squareMillimeter|squareCentimeter",
                "linearUnit": "millimeter|centimeter|meter|kilometer",
                "volumeUnit": "cubicMeter|liter|hectareMeter", "temperatureUnit": "celsius|kelvin",
                "pressureUnit": "HPA|milliBars|mmHG|millimeterHG"},
               {"angularUnit": ANGULAR, "directionUnit": ANGULAR, "latLongAngularUnit": ANGULAR,
                "elevationUnit": "meter|kilometer|feet|miles"}, r""),
    "Imperial": ({"areaUnit": "acre|squareFoot|squareInch|squareMiles",
                  "linearUnit": "foot|USSurveyFoot|inch|mile",
                  "volumeUnit": "US_gallon|IMP_gallon|cubicInch|cubicFeet|cubicYard|acreFeet",
                  "temperatureUnit": "fahrenheit|kelvin", "pressureUnit": "inchHG|inHG"},
                 {"angularUnit": ANGULAR, "directionUnit": ANGULAR, "latLongAngularUnit": ANGULAR,
                  "elevationUnit": "meter|kilometer|feet|miles"}, r""),
    "CoordinateSystem": ({}, {"desc": ANY, "name": ANY, "epsgCode": ANY, "horizontalDatum": ANY,
                              "verticalDatum": ANY, "ellipsoidName": ANY,
                              "projectedCoordinateSystemName": ANY}, r"(Feature )*"),
    "Project": ({"name": ANY}, {"desc": ANY, "state": ANY}, r"(Feature )*"),
    "Feature": ({}, {"name": ANY, "code": ANY, "source": ANY}, r"(Property )*(DocFileRef )*(Feature )*"),
    "Property": ({"label": ANY, "value": ANY}, {}, r""),
    "Application": ({"name": ANY}, {"desc": ANY, "manufacturer": ANY, "version": ANY,
                                    "manufacturerURL": ANY, "timeStamp": DATETIME}, r"(Author )*"),
    "Author": ({}, {"createdBy": ANY, "createdByEmail": ANY, "company": ANY, "companyURL": ANY,
                    "timeStamp": DATETIME}, r""),
    "CgPoints": ({}, {"desc": ANY, "name": ANY, "code": ANY}, r"(CgPoint )*(CgPoints )*(Feature )*"),
    "CgPoint": ({}, {"name": ANY, "code": ANY, "desc": ANY, "timeStamp": DATETIME}, r""),
    "Survey": ({}, {"desc": ANY, "date": DATE},
               r"SurveyHeader (Equipment )?((CgPoints|InstrumentSetup|ObservationGroup|Feature) )*"),
    "SurveyHeader": ({"name": ANY}, {"desc": ANY, "surveyor": ANY, "surveyorFirm": ANY,
                                     "type": "compiled|computed|surveyed"}, r"(Feature )*"),
    "Equipment": ({}, {}, r"InstrumentDetails (Feature )*"),
    "InstrumentDetails": ({"id": NCNAME}, {"manufacturer": ANY, "model": ANY, "serialNumber": ANY},
                          r"Corrections (Feature )*"),
    "Corrections": ({}, {"refractionCoefficient": DOUBLE, "applyRefractionCoefficient": "true|false"}, r""),
    "InstrumentSetup": ({"id": NCNAME, "stationName": ANY, "instrumentHeight": DOUBLE},
                        {"instrumentDetailsID": NCNAME, "orientationAzimuth": DOUBLE, "circleAzimuth": DOUBLE},
                        r"(InstrumentPoint )?((Backsight|RawObservation|Feature) )*"),
    "InstrumentPoint": ({"pntRef": ANY}, {}, r""),
    "Backsight": ({"circle": DOUBLE}, {"id": NCNAME, "azimuth": DOUBLE, "targetHeight": DOUBLE},
                  r"(BacksightPoint )?(Feature )*"),
    "BacksightPoint": ({"pntRef": ANY}, {}, r""),
    "RawObservation": ({}, {"purpose": "normal|check|backsight|foresight|traverse|sideshot",
                            "horizAngle": DOUBLE, "zenithAngle": DOUBLE, "slopeDistance": DOUBLE,
                            "targetHeight": DOUBLE, "timeStamp": DATETIME},
                       r"(TargetPoint )?(Feature )*"),
    "TargetPoint": ({"pntRef": ANY}, {}, r""),
}
UNITS = (("Metre", "Metric", "meter", 1.0), ("International foot", "Imperial", "foot", 0.3048),
         ("US survey foot", "Imperial", "USSurveyFoot", 1200 / 3937))


def validate(element, path="LandXML"):
    """The element and everything below it against SCHEMA."""
    if not element.tag.startswith(LX) or element.tag[len(LX):] not in SCHEMA:
        raise Failure("%s: element %s is not in the schema subset" % (path, element.tag))
    name = element.tag[len(LX):]
    required, optional, content = SCHEMA[name]
    for attr, pattern in required.items():
        if attr not in element.attrib:
            raise Failure("%s: required attribute %s is missing" % (path, attr))
    for attr, value in element.attrib.items():
        pattern = required.get(attr, optional.get(attr))
        if pattern is None:
            raise Failure("%s: attribute %s is not in the schema subset" % (path, attr))
        if not re.fullmatch(pattern, value):
            raise Failure("%s: %s=%r does not match %s" % (path, attr, value, pattern))
    children = "".join(c.tag[len(LX):] + " " for c in element)
    if not re.fullmatch(content, children):
        raise Failure("%s: children %r do not match %s" % (path, children, content))
    if name != "CgPoint" and (element.text or "").strip():
        raise Failure("%s: unexpected text" % path)
    for k, child in enumerate(element):
        validate(child, "%s/%s[%d]" % (path, child.tag[len(LX):], k + 1))


def check_landxml(exports, points, lines):
    root, _, _ = read_job(exports.job)
    for menu, kind, unit, metres in UNITS:
        exports.set_value("Survey LandXML", "linearUnit", "'%s'" % menu)
        x = ET.parse(exports.write("Survey LandXML", "survey-%s.xml" % unit)).getroot()
        validate(x)
        if x.tag != LX + "LandXML" or x.get("version") != "1.2" or len(x.findall(LX + "Units")) != 1:
            raise Failure("%s: not a LandXML 1.2 document with one Units element" % unit)
        if x.find("%sUnits/%s%s" % (LX, LX, kind)).get("linearUnit") != unit:
            raise Failure("%s: Units do not name the linear unit" % unit)
        # ids unique, references resolved
        ids = [e.get("id") for e in x.iter() if e.get("id") is not None]
        names = {c.get("name") for c in x.iter(LX + "CgPoint")}
        if len(ids) != len(set(ids)) or any(e.get("instrumentDetailsID") not in ids
                                            for e in x.iter(LX + "InstrumentSetup")
                                            if e.get("instrumentDetailsID")):
            raise Failure("%s: ids are not unique or a reference does not resolve" % unit)
        if any(e.get("pntRef") not in names for e in x.iter() if e.get("pntRef") is not None):
            raise Failure("%s: a pntRef names no CgPoint" % unit)
        # coordinates read back: "northing easting elevation"
        cg = {c.get("name"): c for c in x.iter(LX + "CgPoint")}
        if len(cg) != len(points):
            raise Failure("%s: %d CgPoints for %d points" % (unit, len(cg), len(points)))
        for name, p in points.items():
            n, e, z = (float(v) * metres for v in cg[name].text.split())
            near("%s: CgPoint %s (N E Z)" % (unit, name), (e, n, z), (p["e"], p["n"], p["z"]))
            if (cg[name].get("code"), cg[name].get("desc") or "") != (p["code"], p["desc"]):
                raise Failure("%s: CgPoint %s: code or description differ" % (unit, name))
        setups = x.findall("%sSurvey/%sInstrumentSetup" % (LX, LX))
        observations = sum(len(s.findall(LX + "RawObservation")) for s in setups)
        if len(setups) != len(root.findall("Setups/Setup")) or \
                observations != len(root.findall("Setups/Setup/Observation")):
            raise Failure("%s: %d setups with %d observations do not match the job" % (unit, len(setups), observations))
        first = root.find("Setups/Setup")
        height = float(setups[0].get("instrumentHeight")) * metres
        if abs(height - float(first.get("instrumentHeight"))) > MM:
            raise Failure("%s: instrument height of the first setup differs" % unit)
    print("landxml: valid in the schema subset; %d points and %d setups read back in metres, "
          "international and US survey feet" % (len(points), len(setups)))


GROUPS = {"gdal": check_gdal, "ezdxf": check_ezdxf, "rsvg": check_rsvg,
          "chromium": check_chromium, "landxml": check_landxml}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in GROUPS:
        sys.exit("usage: check-readers.py {%s} PROGRAM SOURCE_DIR" % ",".join(GROUPS))
    group, program, source = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="readers-") as work:
        try:
            exports = Exports(os.path.abspath(program), source, work)
            _, points, lines = read_job(exports.job)
            GROUPS[group](exports, points, lines)
        except (Failure, ET.ParseError, subprocess.TimeoutExpired) as e:
            print("%s: %s" % (group, e), file=sys.stderr)
            sys.exit(1)


if __name__ == "__main__":
    main()
