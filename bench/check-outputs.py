#!/usr/bin/env python3
"""Check what the sample style sheets wrote against the job they read.

    check-outputs.py csv OUT JOB --delimiter ',' --decimals 3 --header yes --eol crlf
    check-outputs.py geojson OUT JOB --height yes
    check-outputs.py html OUT JOB --observations yes
    check-outputs.py svg OUT JOB
    check-outputs.py dxf OUT JOB --height 0.5 --layers code
    check-outputs.py kml OUT JOB --altitude clampToGround
    check-outputs.py landxml OUT JOB --unit metre
    check-outputs.py userfields STYLESHEET EXT
    check-outputs.py setvar IN.xsl OUT.xsl NAME SELECT

The output checks compare every point of the job with its line, feature,
table row or drawn symbol. "userfields" checks the fileExt variable and the
user variable declarations of a style sheet; "setvar" rewrites the line of a
variable's value the way the program does when the user changes it.
Exit status 1 and a message on the first kind of problem found.
"""

import argparse
import html.parser
import json
import math
import re
import sys
import xml.etree.ElementTree as ET

XSL = "{http://www.w3.org/1999/XSL/Transform}"
SVG = "{http://www.w3.org/2000/svg}"
XLINK = "{http://www.w3.org/1999/xlink}"


class CheckError(Exception):
    pass


def fail(msg):
    raise CheckError(msg)


def norm(s):
    """XPath normalize-space."""
    return re.sub(r"[ \t\r\n]+", " ", s or "").strip(" ")


def job_points(path):
    root = ET.parse(path).getroot()
    pts = []
    for p in root.findall("Points/Point"):
        g, geo = p.find("Grid"), p.find("Geographic")
        pts.append({
            "name": norm(p.get("name")), "code": norm(p.get("code")),
            "method": norm(p.get("method")), "time": norm(p.get("time")),
            "desc": norm(p.findtext("Description")),
            "e": float(g.get("e")), "n": float(g.get("n")), "z": float(g.get("z")),
            "lat": float(geo.get("lat")), "lon": float(geo.get("lon")), "h": float(geo.get("h")),
        })
    return root, pts


def close(text, value, decimals, what):
    if decimals == 0:
        ok = re.fullmatch(r"-?\d+", text)
    else:
        ok = re.fullmatch(r"-?\d+\.\d{%d}" % decimals, text)
    if not ok:
        fail("%s: %r is not a number with %d decimals" % (what, text, decimals))
    if abs(float(text) - value) > 0.5 * 10 ** -decimals + 1e-9:
        fail("%s: %s does not round %r" % (what, text, value))


# ------------------------------------------------------------------ CSV
def split_csv_line(line, sep, what):
    """Strict CSV: quoted fields with doubled quotes, or plain fields without
    quotes and delimiters."""
    fields, i, n = [], 0, len(line)
    while True:
        if i < n and line[i] == '"':
            i += 1
            buf = []
            while True:
                j = line.find('"', i)
                if j < 0:
                    fail("%s: unterminated quoted field" % what)
                buf.append(line[i:j])
                if j + 1 < n and line[j + 1] == '"':
                    buf.append('"')
                    i = j + 2
                    continue
                i = j + 1
                break
            field = "".join(buf)
            if sep not in field and '"' not in field:
                fail("%s: field %r is quoted without need" % (what, field))
            fields.append(field)
            if i < n and line[i] != sep:
                fail("%s: text after a closing quote" % what)
        else:
            j = line.find(sep, i)
            j = n if j < 0 else j
            field = line[i:j]
            if '"' in field:
                fail("%s: unquoted field with a double quote: %r" % (what, field))
            fields.append(field)
            i = j
        if i >= n:
            return fields
        i += 1                      # skip the delimiter
        if i == n:
            fields.append("")
            return fields


def check_csv(a):
    sep = {"comma": ",", "semicolon": ";", "tab": "\t"}[a.delimiter]
    eol = {"crlf": "\r\n", "lf": "\n"}[a.eol]
    data = open(a.output, "rb").read().decode("utf-8")
    _, pts = job_points(a.job)
    if pts and not data.endswith(eol):
        fail("the file does not end with the line ending")
    lines = data[: len(data) - len(eol)].split(eol) if data else []
    for k, line in enumerate(lines):
        if "\r" in line or "\n" in line:
            fail("line %d: mixed line endings" % (k + 1))
    if a.header == "yes":
        if not lines or split_csv_line(lines[0], sep, "header") != \
                ["Name", "Easting", "Northing", "Elevation", "Code", "Description"]:
            fail("header line missing or wrong")
        lines = lines[1:]
    if len(lines) != len(pts):
        fail("%d data lines for %d points" % (len(lines), len(pts)))
    for k, (line, p) in enumerate(zip(lines, pts)):
        what = "point %s" % p["name"]
        f = split_csv_line(line, sep, what)
        if len(f) != 6:
            fail("%s: %d fields instead of 6" % (what, len(f)))
        if f[0] != p["name"] or f[4] != p["code"] or f[5] != p["desc"]:
            fail("%s: name, code or description differ: %r" % (what, f))
        for text, key in zip(f[1:4], ("e", "n", "z")):
            close(text, p[key], a.decimals, what)
    quoted = sum(1 for line in lines if '"' in line)
    print("csv ok: %d points, %d lines with quoted fields" % (len(pts), quoted))


# ------------------------------------------------------------------ GeoJSON
def check_geojson(a):
    raw = open(a.output, "rb").read()
    doc = json.loads(raw.decode("utf-8"))
    root, pts = job_points(a.job)
    if doc.get("type") != "FeatureCollection":
        fail("not a FeatureCollection")
    if doc.get("name") != norm(root.findtext("JobProperties/Name")):
        fail("collection name differs from the job name")
    feats = doc.get("features")
    if not isinstance(feats, list) or len(feats) != len(pts):
        fail("%s features for %d points" % (len(feats) if isinstance(feats, list) else "no", len(pts)))
    escaped = 0
    for f, p in zip(feats, pts):
        what = "feature %s" % p["name"]
        if f.get("type") != "Feature" or f["geometry"].get("type") != "Point":
            fail("%s: not a Point feature" % what)
        c = f["geometry"]["coordinates"]
        want = 3 if a.height == "yes" else 2
        if len(c) != want:
            fail("%s: %d coordinates, expected %d" % (what, len(c), want))
        if abs(c[0] - p["lon"]) > 5e-10 or abs(c[1] - p["lat"]) > 5e-10:
            fail("%s: lon/lat %r differ from the job" % (what, c))
        if want == 3 and abs(c[2] - p["h"]) > 5e-4:
            fail("%s: height differs from the job" % what)
        pr = f["properties"]
        exp = {"name": p["name"], "code": p["code"], "description": p["desc"],
               "method": p["method"], "time": p["time"]}
        for k, v in exp.items():
            if pr.get(k) != v:
                fail("%s: property %s is %r, expected %r" % (what, k, pr.get(k), v))
        for k, key in (("elevation", "z"), ("easting", "e"), ("northing", "n")):
            if not isinstance(pr.get(k), (int, float)) or abs(pr[k] - p[key]) > 5e-4:
                fail("%s: property %s is %r" % (what, k, pr.get(k)))
        if '"' in p["desc"] or "\\" in p["desc"]:
            escaped += 1
    print("geojson ok: %d features, %d descriptions with quotes or backslashes" % (len(feats), escaped))


# ------------------------------------------------------------------ HTML
class Tables(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables, self.cell, self.headings = [], None, []
        self.in_h = None

    def handle_starttag(self, tag, attrs):
        if tag == "table":
            self.tables.append([])
        elif tag == "tr":
            self.tables[-1].append([])
        elif tag in ("td", "th"):
            self.cell = []
        elif tag in ("h1", "h2", "h3"):
            self.in_h = []

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self.tables[-1][-1].append("".join(self.cell))
            self.cell = None
        elif tag in ("h1", "h2", "h3") and self.in_h is not None:
            self.headings.append((tag, "".join(self.in_h)))
            self.in_h = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)
        if self.in_h is not None:
            self.in_h.append(data)


def check_html(a):
    text = open(a.output, "rb").read().decode("utf-8")
    if not text.startswith("<!DOCTYPE html>"):
        fail("no HTML5 document type")
    t = Tables()
    t.feed(text)
    t.close()
    root, pts = job_points(a.job)
    point_tables = [tb for tb in t.tables if tb and tb[0][:3] == ["Name", "Code", "Easting [m]"]]
    if len(point_tables) != 1:
        fail("expected one point table, found %d" % len(point_tables))
    rows = point_tables[0][1:]
    if len(rows) != len(pts):
        fail("%d point rows for %d points" % (len(rows), len(pts)))
    for r, p in zip(rows, pts):
        if r[0] != p["name"] or r[1] != p["code"] or r[-1] != p["desc"]:
            fail("point row %r does not match point %s" % (r[:2], p["name"]))
        for text_, key in zip(r[2:5], ("e", "n", "z")):
            close(text_, p[key], a.decimals, "point %s" % p["name"])
    obs_rows = sum(len(tb) - 1 for tb in t.tables if tb and tb[0][:3] == ["Point", "Code", "Role"])
    n_obs = len(root.findall("Setups/Setup/Observation"))
    want = n_obs if a.observations == "yes" else 0
    if obs_rows != want:
        fail("%d observation rows, expected %d" % (obs_rows, want))
    codes = {}
    for p in pts:
        codes[p["code"]] = codes.get(p["code"], 0) + 1
    code_tables = [tb for tb in t.tables if tb and tb[0] == ["Code", "Meaning", "Points"]]
    got = {r[0]: int(r[2]) for r in code_tables[0][1:]} if code_tables else {}
    if got != codes:
        fail("points per code %r, expected %r" % (got, codes))
    if pts:
        ext = [tb for tb in t.tables if tb and tb[0][:1] == ["Extents"]]
        rows = {r[0]: r[1:] for r in ext[0][1:]}
        for label, key in (("Easting", "e"), ("Northing", "n"), ("Elevation", "z")):
            lo, hi = min(p[key] for p in pts), max(p[key] for p in pts)
            close(rows[label][0], lo, a.decimals, "minimum " + label)
            close(rows[label][1], hi, a.decimals, "maximum " + label)
    if not t.headings or t.headings[0] != ("h1", a.title):
        fail("title %r, expected %r" % (t.headings[:1], a.title))
    print("html ok: %d point rows, %d observation rows, %d codes" % (len(pts), obs_rows, len(codes)))


# ------------------------------------------------------------------ SVG
SCALES = [100, 200, 250, 500]
for _p in range(3, 9):
    SCALES += [10 ** _p, 1.25 * 10 ** _p, 2 * 10 ** _p, 2.5 * 10 ** _p, 5 * 10 ** _p]


def check_svg(a):
    tree = ET.parse(a.output)
    svg = tree.getroot()
    if svg.tag != SVG + "svg":
        fail("root is not an SVG element")
    w, h = float(svg.get("width")[:-2]), float(svg.get("height")[:-2])
    if svg.get("viewBox") != "0 0 %g %g" % (w, h):
        fail("viewBox does not match the sheet size")
    _, pts = job_points(a.job)
    clip = [g for g in svg.iter(SVG + "g") if g.get("clip-path")]
    rect = svg.find(".//%sclipPath/%srect" % (SVG, SVG))
    mx, my, mw, mh = (float(rect.get(k)) for k in ("x", "y", "width", "height"))
    uses = [u for u in clip[0].iter(SVG + "use")]
    if len(uses) != len(pts):
        fail("%d symbols for %d points" % (len(uses), len(pts)))
    texts = ["".join(t.itertext()) for t in svg.iter(SVG + "text")]
    scale_text = [t for t in texts if t.startswith("Scale 1:")][0]
    den = float(scale_text.split(":")[1].split()[0])
    if pts:
        e0, e1 = min(p["e"] for p in pts), max(p["e"] for p in pts)
        n0, n1 = min(p["n"] for p in pts), max(p["n"] for p in pts)
        need = max((e1 - e0) * 1000 / (mw - 16), (n1 - n0) * 1000 / (mh - 16))
        if den not in SCALES or den < need:
            fail("scale 1:%g is not a round scale that fits" % den)
        smaller = [s for s in SCALES if s < den]
        if smaller and smaller[-1] >= need:
            fail("scale 1:%g: the drawing would fit at 1:%g" % (den, smaller[-1]))
        f = 1000.0 / den
        cx, cy = mx + mw / 2, my + mh / 2
        me, mn = (e0 + e1) / 2, (n0 + n1) / 2
        for u, p in zip(uses, pts):
            x, y = float(u.get("x")), float(u.get("y"))
            if abs(x - (cx + (p["e"] - me) * f)) > 0.006 or abs(y - (cy - (p["n"] - mn) * f)) > 0.006:
                fail("point %s is drawn at %g,%g, not at its coordinates (north up)" % (p["name"], x, y))
            if not (mx <= x <= mx + mw and my <= y <= my + mh):
                fail("point %s is outside the map area" % p["name"])
            href = u.get(XLINK + "href")
            want = "#s-" + p["code"] if p["code"] in ("CP", "TRAV", "TOPO", "BLDG", "TREE", "FENCE", "KERB", "MH") \
                else "#s-other"
            if href != want or svg.find(".//*[@id='%s']" % href[1:]) is None:
                fail("point %s: symbol %r" % (p["name"], href))
    labels = set(texts)
    missing = [p["name"] for p in pts if p["name"] not in labels]
    if missing:
        fail("labels missing for %s" % missing[:5])
    bar = [t for t in texts if t.endswith(" m") and t[:-2].isdigit()]
    if pts and (not bar or str(int(bar[0][:-2]))[0] not in "125" or set(str(int(bar[0][:-2]))[1:]) - {"0"}):
        fail("scale bar length %r is not a round number" % bar)
    print("svg ok: %d symbols, scale 1:%g, scale bar %s" % (len(uses), den, bar[0] if bar else "-"))


# ------------------------------------------------------------------ DXF
def dxf_pairs(path):
    data = open(path, "rb").read()
    if not data.endswith(b"\r\n") or b"\n" in data.replace(b"\r\n", b""):
        fail("the lines do not all end with CR LF")
    lines = data.decode("cp1252").split("\r\n")[:-1]
    if len(lines) % 2:
        fail("odd number of lines: group codes and values do not pair up")
    return [(int(lines[k]), lines[k + 1]) for k in range(0, len(lines), 2)]


def dxf_entities(pairs):
    """(type, {code: [values]}) of every entity or table entry, in order."""
    out = []
    for code, value in pairs:
        if code == 0:
            out.append((value, {}))
        elif out:
            out[-1][1].setdefault(code, []).append(value)
    return out


def check_dxf(a):
    root, pts = job_points(a.job)
    ents = dxf_entities(dxf_pairs(a.output))
    kinds = [k for k, _ in ents]
    if kinds[-1] != "EOF" or kinds.count("SECTION") != 3:
        fail("expected HEADER, TABLES and ENTITIES sections and EOF")
    layers = {g[2][0] for k, g in ents if k == "LAYER"}
    points = [g for k, g in ents if k == "POINT"]
    texts = [g for k, g in ents if k == "TEXT"]
    if len(points) != len(pts) or len(texts) != len(pts):
        fail("%d POINTs and %d TEXTs for %d points" % (len(points), len(texts), len(pts)))
    for g, t, p in zip(points, texts, pts):
        what = "point %s" % p["name"]
        want = re.sub(r"[^A-Z0-9$_-]", "_", p["code"].upper())[:31] if a.layers == "code" else "SURVEY"
        if g[8][0] != want or t[8][0] != want or want not in layers:
            fail("%s: layer %r, expected %r in the layer table" % (what, g[8][0], want))
        for key, code in (("e", 10), ("n", 20), ("z", 30)):
            close(g[code][0], p[key], 3, what)
        if t[1][0] != p["name"] or abs(float(t[40][0]) - a.height) > 1e-9:
            fail("%s: label %r of height %s" % (what, t[1][0], t[40][0]))
        if math.hypot(float(t[10][0]) - p["e"], float(t[20][0]) - p["n"]) > 2 * a.height:
            fail("%s: label is not beside the point" % what)
    lines = {}
    for p in root.findall("Points/Point"):
        if p.get("line"):
            lines.setdefault(p.get("line"), []).append(p)
    polylines = [g for k, g in ents if k == "POLYLINE"]
    want_poly = [m for m in lines.values() if len(m) > 2]
    if kinds.count("LINE") != sum(1 for m in lines.values() if len(m) == 2) or len(polylines) != len(want_poly):
        fail("%d LINEs and %d POLYLINEs do not match the job's line work" % (kinds.count("LINE"), len(polylines)))
    closed = sum(1 for g in polylines if int(g[70][0]) & 1)
    if closed != sum(1 for m in want_poly if m[0].get("code") == "BLDG"):
        fail("%d closed polylines, expected one per building" % closed)
    if kinds.count("VERTEX") != sum(len(m) for m in want_poly):
        fail("the polylines do not have a vertex per point")
    print("dxf ok: %d points with labels, %d layers, %d polylines (%d closed)"
          % (len(points), len(layers), len(polylines), closed))


# ------------------------------------------------------------------ KML
KML = "{http://www.opengis.net/kml/2.2}"


def check_kml(a):
    doc = ET.parse(a.output).getroot().find(KML + "Document")
    root, pts = job_points(a.job)
    if doc.findtext(KML + "name") != norm(root.findtext("JobProperties/Name")):
        fail("document name differs from the job name")
    styles = {s.get("id") for s in doc.findall(KML + "Style")}
    marks = {m.findtext(KML + "name"): m for m in doc.iter(KML + "Placemark")}
    if len(marks) != len(pts) or sum(1 for _ in doc.iter(KML + "Placemark")) != len(pts):
        fail("%d placemarks for %d points" % (len(marks), len(pts)))
    for p in pts:
        m = marks[p["name"]]
        what = "placemark %s" % p["name"]
        if m.findtext(KML + "styleUrl") != "#code-" + p["code"] or "code-" + p["code"] not in styles:
            fail("%s: not styled by its code" % what)
        if m.findtext(KML + "Point/" + KML + "altitudeMode") != a.altitude:
            fail("%s: altitude mode is not %s" % (what, a.altitude))
        lon, lat, z = (float(v) for v in m.findtext(KML + "Point/" + KML + "coordinates").split(","))
        if abs(lon - p["lon"]) > 5e-10 or abs(lat - p["lat"]) > 5e-10 or abs(z - p["z"]) > 5e-4:
            fail("%s: coordinates differ from the job" % what)
        if norm(m.findtext(KML + "description")) != p["desc"]:
            fail("%s: description differs" % what)
    print("kml ok: %d placemarks, %d styles" % (len(marks), len(styles)))


# ------------------------------------------------------------------ LandXML
LANDXML = "{http://www.landxml.org/schema/LandXML-1.2}"
UNITS = {"metre": ("Metric", "meter", 1.0, 3), "foot": ("Imperial", "foot", 0.3048, 4),
         "us-foot": ("Imperial", "USSurveyFoot", 1200 / 3937, 4)}


def check_landxml(a):
    x = ET.parse(a.output).getroot()
    root, pts = job_points(a.job)
    kind, name, metres, decimals = UNITS[a.unit]
    if x.tag != LANDXML + "LandXML" or x.get("version") != "1.2":
        fail("not a LandXML 1.2 document")
    if x.find("%sUnits/%s%s" % (LANDXML, LANDXML, kind)).get("linearUnit") != name:
        fail("linear unit is not %s" % name)
    cg = x.findall("%sCgPoints/%sCgPoint" % (LANDXML, LANDXML))
    if len(cg) != len(pts):
        fail("%d CgPoints for %d points" % (len(cg), len(pts)))
    for c, p in zip(cg, pts):
        what = "CgPoint %s" % p["name"]
        if c.get("name") != p["name"] or (c.get("code") or "") != p["code"] or (c.get("desc") or "") != p["desc"]:
            fail("%s: name, code or description differ" % what)
        for text, key in zip(c.text.split(" "), ("n", "e", "z")):
            close(text, p[key] / metres, decimals, what)
    setups = x.findall("%sSurvey/%sInstrumentSetup" % (LANDXML, LANDXML))
    obs = x.findall("%sSurvey/%sInstrumentSetup/%sRawObservation" % (LANDXML, LANDXML, LANDXML))
    if len(setups) != len(root.findall("Setups/Setup")) or len(obs) != len(root.findall("Setups/Setup/Observation")):
        fail("%d setups and %d observations do not match the job" % (len(setups), len(obs)))
    print("landxml ok: %d points, %d setups, %d observations in %s" % (len(cg), len(setups), len(obs), name))


# ------------------------------------------------------------------ user variables
TYPES = {"STRING", "DOUBLE", "INTEGER", "STRINGMENU", "FILENAME"}


def check_userfields(a):
    lines = open(a.stylesheet, encoding="utf-8").read().split("\n")
    tree = ET.parse(a.stylesheet)
    top = {v.get("name"): v.get("select") for v in tree.getroot().findall(XSL + "variable")}
    line_re = re.compile(r'^\s*<xsl:variable name="([^"]+)" select="([^"]*)"/>\s*$')

    def one_line(name):
        hits = [k for k, l in enumerate(lines) if '<xsl:variable name="%s"' % name in l]
        if len(hits) != 1 or not line_re.match(lines[hits[0]]):
            fail("variable %s is not declared on exactly one line of its own" % name)
        if name not in top:
            fail("variable %s is not a top-level variable" % name)
        return line_re.match(lines[hits[0]]).group(2)

    if one_line("fileExt") != "'%s'" % a.ext:
        fail("fileExt is not '%s'" % a.ext)
    fields = sorted((n for n in top if n.startswith("userField")), key=lambda n: int(n[9:]))
    for name in fields:
        sel = one_line(name)
        if not (sel.startswith("'") and sel.endswith("'")) or "'" in sel[1:-1]:
            fail("%s: select is not one string literal" % name)
        parts = sel[1:-1].split("|")
        if len(parts) < 3 or parts[2] not in TYPES:
            fail("%s: expected target|prompt|TYPE..." % name)
        target, kind, rest = parts[0], parts[2], parts[3:]
        value = one_line(target)
        if kind in ("STRING", "STRINGMENU", "FILENAME"):
            if not (len(value) >= 2 and value[0] == value[-1] and value[0] in "'"):
                fail("%s: value %s of %s is not a quoted string" % (name, value, target))
            if kind == "STRINGMENU":
                if not rest or not rest[0].isdigit() or int(rest[0]) != len(rest) - 1 or int(rest[0]) < 1:
                    fail("%s: menu count does not match its entries" % name)
                if value[1:-1] not in rest[1:]:
                    fail("%s: value %s is not a menu entry" % (name, value))
            elif kind == "FILENAME" and len(rest) > 1:
                fail("%s: FILENAME takes at most an extension" % name)
            elif kind == "STRING" and rest:
                fail("%s: STRING takes nothing more" % name)
        else:
            pat = r"-?\d+" if kind == "INTEGER" else r"-?\d+(\.\d+)?"
            if not re.fullmatch(pat, value):
                fail("%s: value %s of %s is not a plain %s" % (name, value, target, kind.lower()))
            if rest:
                if len(rest) != 2 or not all(re.fullmatch(pat, r) for r in rest):
                    fail("%s: expected %s|min|max" % (name, kind))
                if not float(rest[0]) <= float(value) <= float(rest[1]):
                    fail("%s: value %s outside %s..%s" % (name, value, rest[0], rest[1]))
        print("  %s: %s %s = %s" % (name, target, kind, value))
    print("user variables ok: fileExt '%s', %d user variables" % (a.ext, len(fields)))


def setvar(a):
    lines = open(a.input, encoding="utf-8").read().split("\n")
    hits = [k for k, l in enumerate(lines) if '<xsl:variable name="%s"' % a.name in l]
    if len(hits) != 1:
        fail("variable %s is declared on %d lines" % (a.name, len(hits)))
    indent = re.match(r"\s*", lines[hits[0]]).group(0)
    lines[hits[0]] = '%s<xsl:variable name="%s" select="%s"/>' % (indent, a.name, a.select)
    open(a.output, "w", encoding="utf-8", newline="").write("\n".join(lines))


def main():
    ap = argparse.ArgumentParser()
    sub = ap.add_subparsers(dest="cmd", required=True)

    def output_parser(name):
        """A check of one output file against the job it was made from."""
        p = sub.add_parser(name)
        p.add_argument("output")
        p.add_argument("job")
        return p

    c = output_parser("csv")
    c.add_argument("--delimiter", choices=("comma", "semicolon", "tab"), default="comma")
    c.add_argument("--decimals", type=int, default=3)
    c.add_argument("--header", choices=("yes", "no"), default="yes")
    c.add_argument("--eol", choices=("crlf", "lf"), default="crlf")
    g = output_parser("geojson")
    g.add_argument("--height", choices=("yes", "no"), default="yes")
    h = output_parser("html")
    h.add_argument("--observations", choices=("yes", "no"), default="yes")
    h.add_argument("--decimals", type=int, default=3)
    h.add_argument("--title", default="Survey report")
    output_parser("svg")
    d = output_parser("dxf")
    d.add_argument("--height", type=float, default=0.5)
    d.add_argument("--layers", choices=("code", "one"), default="code")
    k = output_parser("kml")
    k.add_argument("--altitude", choices=("clampToGround", "absolute"), default="clampToGround")
    x = output_parser("landxml")
    x.add_argument("--unit", choices=tuple(UNITS), default="metre")
    u = sub.add_parser("userfields")
    u.add_argument("stylesheet")
    u.add_argument("ext")
    v = sub.add_parser("setvar")
    v.add_argument("input")
    v.add_argument("output")
    v.add_argument("name")
    v.add_argument("select")
    a = ap.parse_args()
    try:
        {"csv": check_csv, "geojson": check_geojson, "html": check_html, "svg": check_svg,
         "dxf": check_dxf, "kml": check_kml, "landxml": check_landxml,
         "userfields": check_userfields, "setvar": setvar}[a.cmd](a)
    except CheckError as e:
        print("%s: %s" % (a.cmd, e), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
