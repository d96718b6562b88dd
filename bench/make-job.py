#!/usr/bin/env python3
"""Write a synthetic Dexmor survey job (.dxm) with N points.

The job is deterministic for a given --points/--seed/--angle-unit and is
written as a stream: points, setups and reductions go to three temporary
files next to the output, which are then joined behind the job header, so the
memory use does not grow with N.

The bundled sample is made with:
    bench/make-job.py --points 240 --seed 7 samples/job.dxm

Layout of the synthetic site: a few control points (CP, keyed in from an
official list) spread over the site, then one "block" per cell of a grid of
90 m cells visited in a serpentine. In every block the crew measures a
traverse station (TRAV) by GNSS RTK, sets the total station up on it, takes a
backsight to the nearest control point or to the previous station, and
observes kerbs, a building, a fence, trees, manholes and spot heights; a few
more spot heights are measured by GNSS RTK. Grid coordinates are
ETRS89 / UTM zone 32N; geographic coordinates are computed from them with the
exact (Krueger series) inverse transverse Mercator projection.
"""

import argparse
import datetime as dt
import math
import os
import random
import shutil
import sys
import tempfile

# ---------------------------------------------------------------- projection
A_GRS80 = 6378137.0
INV_F_GRS80 = 298.257222101
K0 = 0.9996
FALSE_E = 500000.0
LON0 = math.radians(9.0)  # UTM zone 32

_f = 1.0 / INV_F_GRS80
_n = _f / (2.0 - _f)
_n2, _n3, _n4 = _n * _n, _n ** 3, _n ** 4
_A = A_GRS80 / (1.0 + _n) * (1.0 + _n2 / 4.0 + _n4 / 64.0)
_ALPHA = (
    _n / 2 - 2 * _n2 / 3 + 5 * _n3 / 16 + 41 * _n4 / 180,
    13 * _n2 / 48 - 3 * _n3 / 5 + 557 * _n4 / 1440,
    61 * _n3 / 240 - 103 * _n4 / 140,
    49561 * _n4 / 161280,
)
_BETA = (
    _n / 2 - 2 * _n2 / 3 + 37 * _n3 / 96 - _n4 / 360,
    _n2 / 48 + _n3 / 15 - 437 * _n4 / 1440,
    17 * _n3 / 480 - 37 * _n4 / 840,
    4397 * _n4 / 161280,
)
_DELTA = (
    2 * _n - 2 * _n2 / 3 - 2 * _n3 + 116 * _n4 / 45,
    7 * _n2 / 3 - 8 * _n3 / 5 - 227 * _n4 / 45,
    56 * _n3 / 15 - 136 * _n4 / 35,
    4279 * _n4 / 630,
)
_C = 2.0 * math.sqrt(_n) / (1.0 + _n)


def tm_forward(lat_deg, lon_deg):
    """Geographic (degrees) -> UTM 32N easting, northing (metres)."""
    phi = math.radians(lat_deg)
    lam = math.radians(lon_deg) - LON0
    s = math.sin(phi)
    t = math.sinh(math.atanh(s) - _C * math.atanh(_C * s))
    xi1 = math.atan2(t, math.cos(lam))
    eta1 = math.atanh(math.sin(lam) / math.sqrt(1.0 + t * t))
    xi, eta = xi1, eta1
    for j, a in enumerate(_ALPHA, 1):
        xi += a * math.sin(2 * j * xi1) * math.cosh(2 * j * eta1)
        eta += a * math.cos(2 * j * xi1) * math.sinh(2 * j * eta1)
    return FALSE_E + K0 * _A * eta, K0 * _A * xi


def tm_inverse(e, n):
    """UTM 32N easting, northing (metres) -> latitude, longitude (degrees)."""
    xi = n / (K0 * _A)
    eta = (e - FALSE_E) / (K0 * _A)
    xi1, eta1 = xi, eta
    for j, b in enumerate(_BETA, 1):
        xi1 -= b * math.sin(2 * j * xi) * math.cosh(2 * j * eta)
        eta1 -= b * math.cos(2 * j * xi) * math.sinh(2 * j * eta)
    chi = math.asin(math.sin(xi1) / math.cosh(eta1))
    phi = chi
    for j, d in enumerate(_DELTA, 1):
        phi += d * math.sin(2 * j * chi)
    lam = LON0 + math.atan2(math.sinh(eta1), math.cos(xi1))
    return math.degrees(phi), math.degrees(lam)


# ------------------------------------------------------------------ site
EARTH_R = 6381000.0          # mean radius of curvature near 51.5 deg N
REFRACTION_K = 0.13
ORIGIN_E, ORIGIN_N = 564210.0, 5710380.0   # south-west corner of the site
CELL = 90.0                  # block (cell) size in metres
POINTS_PER_BLOCK = 30        # average, used to size the grid of cells


def terrain(e, n):
    """A smooth, plausible terrain height (DHHN2016, metres)."""
    x, y = e - ORIGIN_E, n - ORIGIN_N
    return (152.0 + 0.012 * x + 0.008 * y
            + 2.5 * math.sin(x / 140.0) * math.cos(y / 190.0)
            + 9.0 * math.sin(x / 1700.0 + 0.4) * math.sin(y / 2300.0 + 1.1))


def geoid(lat, lon):
    """A smooth stand-in for the quasigeoid height (metres)."""
    return 46.912 + 0.21 * (lat - 51.5) - 0.34 * (lon - 9.9)


def scale_factor(e):
    x = e - FALSE_E
    return K0 * (1.0 + x * x / (2.0 * EARTH_R * EARTH_R))


# ------------------------------------------------------------ formatting
def f3(x):
    return "%.3f" % (round(x, 3) + 0.0)


def f5(x):
    return "%.5f" % (round(x, 5) + 0.0)


def f9(x):
    return "%.9f" % (round(x, 9) + 0.0)


def esc_text(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def esc_attr(s):
    return esc_text(s).replace('"', "&quot;")


def iso(t):
    return t.strftime("%Y-%m-%dT%H:%M:%SZ")


GON = 400.0 / (2.0 * math.pi)

# ------------------------------------------------------------ vocabulary
CODES = [
    ("CP", "control", "Control point"),
    ("TRAV", "control", "Traverse station"),
    ("TOPO", "point", "Spot height"),
    ("BLDG", "line", "Building outline"),
    ("TREE", "point", "Tree"),
    ("FENCE", "line", "Fence"),
    ("KERB", "line", "Kerb (top)"),
    ("MH", "point", "Manhole / gully"),
]

DESC = {
    "CP": ['Control point AP {n}, brass bolt in kerb',
           'Control point AP {n}, marker "granite stone"',
           'Control point AP {n}, pipe in concrete, Straßenrand'],
    "TRAV": ["Survey nail & washer in asphalt",
             "Wooden peg, 50 mm, in verge",
             "Nail in paving, Fußweg",
             "Drill hole in kerb"],
    "TOPO": ["Spot height, grass", "Spot height, asphalt",
             "Ground level, Fußweg", "Top of bank", "Bottom of bank",
             "Gravel path \\ edge unclear", "Spot height; ploughed field",
             "Grünfläche, uneven", "Spot height", ""],
    "BLDG": ["Building corner", "House No. {h}, corner",
             'Café "Zur Linde", corner', "Garage corner, brick",
             "Shed corner (timber)", "Wall & pillar, corner"],
    "TREE": ["Oak, girth 1.2 m, spread 8 m", "Lime (Linde), spread 6 m",
             "Birch; multi-stem", "Horse chestnut, girth 2.1 m",
             'Tree "T{h}" (TPO), spread 10 m', "Ahorn/maple, young"],
    "FENCE": ["Fence, post & wire", "Fence corner, timber 1.2 m",
              "Fence; chain-link 1.8 m", "Hedge/fence line",
              "Gate post, \"Einfahrt\""],
    "KERB": ["Kerb top", "Kerb, dropped at drive", "Kerb top; 12 cm upstand",
             "Kerb, radius start", "Kerb < 5 cm (flush)"],
    "MH": ["Manhole, cover 600×600", "Gully grating",
           "Manhole S{h}, sewer", "Valve cover \\ water",
           'Chamber "IC{h}" \\ foul, 1.2 m deep'],
}

# ------------------------------------------------------------ the generator


class Clock:
    """Field time: 06:30-15:00 UTC on working days."""

    def __init__(self, start):
        self.t = start

    def add(self, seconds):
        self.t += dt.timedelta(seconds=seconds)
        end = self.t.replace(hour=15, minute=0, second=0)
        if self.t > end:
            day = self.t.date() + dt.timedelta(days=1)
            while day.weekday() >= 5:
                day += dt.timedelta(days=1)
            self.t = dt.datetime(day.year, day.month, day.day, 6, 30, 0) + \
                dt.timedelta(seconds=int(seconds) % 600)
        return self.t


class Job:
    def __init__(self, n_points, seed, angle_unit, fp, fs, fr):
        self.n = n_points
        self.rng = random.Random(seed)
        self.angle_unit = angle_unit
        self.fp, self.fs, self.fr = fp, fs, fr
        self.clock = Clock(dt.datetime(2024, 5, 13, 6, 30, 0))
        self.created = self.clock.t - dt.timedelta(minutes=23)
        self.point_id = 0
        self.detail_no = 1000
        self.obs_id = 0
        self.setup_id = 0
        self.numbers = {}       # running numbers for houses, trees, manholes
        self.points = {}        # id -> (e, n, z) of stations and control only
        self.first_time = None
        self.last_time = self.clock.t
        n_blocks = max(1, round(max(0, n_points - 4) / POINTS_PER_BLOCK))
        self.cols = max(1, math.ceil(math.sqrt(n_blocks)))
        self.rows = max(1, math.ceil(n_blocks / self.cols))

    # -------------------------------------------------------- helpers
    def desc(self, code):
        text = self.rng.choice(DESC[code])
        if "{h}" in text:
            self.numbers[code] = self.numbers.get(code, 0) + 1
            text = text.replace("{h}", str(self.numbers[code]))
        return text

    def angle(self, gon):
        if self.angle_unit == "gon":
            return f5(gon)
        return "%.6f" % (round(gon * 0.9, 6) + 0.0)

    def write_point(self, name, code, method, e, n, z, desc, time,
                    line=None, quality=""):
        self.point_id += 1
        pid = self.point_id
        lat, lon = tm_inverse(e, n)
        h = z + geoid(lat, lon)
        attrs = 'id="%d" name="%s" code="%s"' % (pid, esc_attr(name), code)
        if line:
            attrs += ' line="%s"' % line
        out = ['    <Point %s method="%s" time="%s">\n' % (attrs, method, iso(time)),
               '      <Grid e="%s" n="%s" z="%s"/>\n' % (f3(e), f3(n), f3(z)),
               '      <Geographic lat="%s" lon="%s" h="%s"/>\n' % (f9(lat), f9(lon), f3(h)),
               '      <Quality %s/>\n' % quality]
        if desc:
            out.append('      <Description>%s</Description>\n' % esc_text(desc))
        out.append('    </Point>\n')
        self.fp.write("".join(out))
        if self.first_time is None:
            self.first_time = time
        self.last_time = max(self.last_time, time)
        return pid

    def rtk_quality(self):
        r = self.rng
        return 'hPrec="%s" vPrec="%s" pdop="%.1f" satellites="%d" solution="fixed"' % (
            f3(r.uniform(0.007, 0.019)), f3(r.uniform(0.011, 0.034)),
            r.uniform(1.1, 2.9), r.randint(14, 29))

    def left(self):
        return self.n - self.point_id

    # -------------------------------------------------------- control
    def control_points(self):
        n_cp = min(self.n, max(4, self.n // 5000))
        side = max(1, math.ceil(math.sqrt(n_cp)))
        width = self.cols * CELL
        height = self.rows * CELL
        self.cps = []
        ap = 4700 + self.rng.randint(0, 200)
        for i in range(n_cp):
            gx, gy = i % side, i // side
            # on the southern kerb of a road, near the grid position
            fx = (gx + 0.5) / side if side > 1 else 0.5
            fy = (gy + 0.5) / side if side > 1 else 0.5
            e = ORIGIN_E + fx * width + self.rng.uniform(-20, 20)
            row = min(self.rows - 1, int(fy * height / CELL))
            n = ORIGIN_N + row * CELL + 45.0 - 19.0 + self.rng.uniform(-0.4, 0.4)
            z = terrain(e, n) + 0.12
            ap += self.rng.randint(1, 9)
            desc = self.rng.choice(DESC["CP"]).replace("{n}", str(ap))
            q = 'hPrec="0.010" vPrec="0.005"'
            pid = self.write_point("CP%d" % (101 + i), "CP", "Keyed", e, n, z,
                                   desc, self.created, quality=q)
            self.points[pid] = (e, n, z)
            self.cps.append(pid)

    # -------------------------------------------------------- a block
    def cell_origin(self, k):
        row = k // self.cols
        col = k % self.cols
        if row % 2:
            col = self.cols - 1 - col
        return ORIGIN_E + col * CELL + CELL / 2, ORIGIN_N + row * CELL + CELL / 2

    def block(self, k, prev_station):
        r = self.rng
        ce, cn = self.cell_origin(k)
        # traverse station on the pavement, measured by GNSS RTK
        se = ce + r.uniform(-6, 6)
        sn = cn - 8.0 + r.uniform(-1.5, 1.5)
        sz = terrain(se, sn) + 0.15
        t = self.clock.add(r.uniform(300, 900))
        sid = self.write_point("T%d" % (k + 1), "TRAV", "GNSS-RTK", se, sn, sz,
                               self.desc("TRAV"), t, quality=self.rtk_quality())
        self.points[sid] = (se, sn, sz)
        if self.left() <= 0:
            return sid

        # detail targets of this cell, in the order the crew walks them
        targets = []   # (code, x, y, dz, line)
        road = -15.0
        for side, off in (("a", -3.5), ("b", 3.5)):
            m = r.randint(3, 5)
            xs = sorted(r.uniform(-44, 44) for _ in range(m))
            for x in xs:
                targets.append(("KERB", x, road + off + r.uniform(-0.05, 0.05), 0.12,
                                "K%d%s" % (k + 1, side)))
        if r.random() < 0.7:
            targets.append(("MH", r.uniform(-35, 35), road + r.uniform(-1, 1), 0.0, None))
        # building: a rotated rectangle
        bx, by = r.uniform(-15, 15), r.uniform(14, 24)
        w, d, rot = r.uniform(8, 15), r.uniform(6, 11), r.uniform(-0.25, 0.25)
        c, s = math.cos(rot), math.sin(rot)
        for ux, uy in ((-w / 2, -d / 2), (w / 2, -d / 2), (w / 2, d / 2), (-w / 2, d / 2)):
            targets.append(("BLDG", bx + c * ux - s * uy, by + s * ux + c * uy, 0.25,
                            "B%d" % (k + 1)))
        # fence along the plot boundary
        fx0 = r.uniform(-43, -38)
        fence = [(fx0, -7.0), (fx0, 42.0), (r.uniform(-5, 5), 43.0), (43.0, 42.5)]
        for x, y in fence[: r.randint(3, 4)]:
            targets.append(("FENCE", x + r.uniform(-0.3, 0.3), y + r.uniform(-0.3, 0.3),
                            0.0, "F%d" % (k + 1)))
        for _ in range(r.randint(2, 4)):
            targets.append(("TREE", r.uniform(-35, 35), r.choice((r.uniform(-6, 6), r.uniform(32, 40))),
                            0.0, None))
        for _ in range(r.randint(6, 10)):
            targets.append(("TOPO", r.uniform(-44, 44), r.uniform(-44, 44), 0.0, None))

        # set up the total station and take the backsight
        self.setup_id += 1
        setup = self.setup_id
        near = min(self.cps, key=lambda p: (self.points[p][0] - se) ** 2 + (self.points[p][1] - sn) ** 2) \
            if self.cps else None
        if near is not None and math.hypot(self.points[near][0] - se,
                                           self.points[near][1] - sn) < 160:
            bs = near
        else:
            bs = prev_station if prev_station is not None else near
        if bs is None:
            return sid
        hi = round(r.uniform(1.45, 1.70), 3)
        t = self.clock.add(r.uniform(480, 900))
        temp = round(r.uniform(8.0, 24.0), 1)
        pres = round(r.uniform(985.0, 1025.0), 1)
        ppm = round(281.8 - 0.29065 * pres / (1.0 + 0.00366 * temp) * 1.0, 1)
        kscale = scale_factor(se)
        lat, lon = tm_inverse(se, sn)
        elev_f = EARTH_R / (EARTH_R + sz + geoid(lat, lon))
        comb = kscale * elev_f
        hz_bs = 0.0 if r.random() < 0.6 else round(r.uniform(0, 400), 5)
        be, bn, bz = self.points[bs]
        az_bs = math.atan2(be - se, bn - sn) * GON % 400.0
        orient = (az_bs - hz_bs) % 400.0
        self.fs.write('    <Setup id="%d" station="%d" backsight="%d" instrument="TS1" '
                      'instrumentHeight="%s" time="%s">\n' % (setup, sid, bs, f3(hi), iso(t)))
        self.fs.write('      <Atmosphere temperature="%.1f" pressure="%.1f" ppm="%.1f"/>\n'
                      % (temp, pres, ppm))
        self.fr.write('    <SetupReduction setup="%d" orientation="%s" scaleFactor="%.8f" '
                      'elevationFactor="%.8f" combinedFactor="%.8f">\n'
                      % (setup, self.angle(orient), kscale, elev_f, comb))

        def observe(pid_or_none, e, n, z, ht, role, when):
            """Observe grid point (e, n, z); return the coordinates that the
            rounded observation reduces to."""
            dE, dN = e - se, n - sn
            grid = math.hypot(dE, dN)
            hd = grid / comb
            az = math.atan2(dE, dN) * GON % 400.0
            hz = round((az - orient) % 400.0, 5) % 400.0
            cr = (1.0 - REFRACTION_K) * hd * hd / (2.0 * EARTH_R)
            vd = (z + ht) - (sz + hi) - cr
            sd = round(math.hypot(hd, vd), 3)
            v = round(math.atan2(hd, vd) * GON, 5)
            # reduce the rounded observation exactly as the office would
            vr = v / GON
            hd_r = sd * math.sin(vr)
            vd_r = sd * math.cos(vr) + (1.0 - REFRACTION_K) * hd_r * hd_r / (2.0 * EARTH_R)
            dh = vd_r + hi - ht
            gd = hd_r * comb
            az_r = (hz + orient) % 400.0
            e2 = se + gd * math.sin(az_r / GON)
            n2 = sn + gd * math.cos(az_r / GON)
            z2 = sz + dh
            self.obs_id += 1
            ref = ' point="%d"' % pid_or_none if pid_or_none else ' point="%s"'
            line = ('      <Observation id="%d" role="%s"%s hz="%s" v="%s" sd="%s" '
                    'targetHeight="%s" time="%s"/>\n'
                    % (self.obs_id, role, ref, self.angle(hz), self.angle(v), f3(sd), f3(ht), iso(when)))
            red = ('      <Reduced observation="%d" azimuth="%s" hd="%s" vd="%s" dh="%s" '
                   'gridDistance="%s"/>\n'
                   % (self.obs_id, self.angle(az_r), f3(hd_r), f3(vd_r), f3(dh), f3(gd)))
            return line, red, e2, n2, z2

        line, red, _, _, _ = observe(bs, be, bn, bz, 1.600, "backsight", t)
        self.fs.write(line)
        self.fr.write(red)

        building_desc = None
        for code, x, y, dz, line_id in targets:
            if self.left() <= 0:
                break
            e = ce + x
            n = cn + y
            z = terrain(e, n) + dz
            ht = 1.300 if code in ("TOPO", "TREE") and r.random() < 0.3 else \
                (0.0 if code in ("BLDG",) else round(r.choice((1.5, 1.5, 1.8, 2.0)), 3))
            when = self.clock.add(r.uniform(15, 50))
            obs, red, e2, n2, z2 = observe(None, e, n, z, ht, "sideshot", when)
            dist = math.hypot(e - se, n - sn)
            q = 'hPrec="%s" vPrec="%s"' % (f3(0.002 + dist * 0.00003 + r.uniform(0, 0.001)),
                                           f3(0.003 + dist * 0.00004 + r.uniform(0, 0.001)))
            self.detail_no += 1
            if code == "BLDG":    # one description for all corners of a building
                if building_desc is None:
                    building_desc = self.desc(code)
                desc = building_desc
            else:
                desc = self.desc(code)
            pid = self.write_point(str(self.detail_no), code, "TotalStation", e2, n2, z2,
                                   desc, when, line=line_id, quality=q)
            self.fs.write(obs % pid)
            self.fr.write(red)
        self.fs.write('    </Setup>\n')
        self.fr.write('    </SetupReduction>\n')

        # a few more spot heights and trees by GNSS RTK after the setup
        for _ in range(r.randint(0, 3)):
            if self.left() <= 0:
                break
            code = "TOPO" if r.random() < 0.8 else "TREE"
            e = ce + r.uniform(-44, 44)
            n = cn + r.uniform(-44, 44)
            z = terrain(e, n)
            when = self.clock.add(r.uniform(40, 120))
            self.detail_no += 1
            self.write_point(str(self.detail_no), code, "GNSS-RTK", e, n, z,
                             self.desc(code), when, quality=self.rtk_quality())
        return sid

    def run(self):
        self.control_points()
        prev = None
        k = 0
        while self.left() > 0:
            prev = self.block(k, prev)
            k += 1
        return k


def header(out, job, n_blocks, angle_unit):
    first = job.first_time or job.created
    w = out.write
    w('<?xml version="1.0" encoding="UTF-8"?>\n')
    w('<DexmorJob version="1.0">\n')
    w('  <JobProperties>\n')
    w('    <Name>Lindenau – Schulweg footpath and cycleway</Name>\n')
    w('    <Number>2024-117</Number>\n')
    w('    <Client>Stadt Lindenau, Tiefbauamt</Client>\n')
    w('    <Surveyor>Jana Köhler</Surveyor>\n')
    w('    <Company>Hartmann &amp; Partner Vermessung</Company>\n')
    w('    <Location>Lindenau, Schulweg / Am Mühlbach</Location>\n')
    w('    <Description>Control and topographic survey for the design of a '
      'footpath and cycleway; kerbs, buildings, fences, trees and levels</Description>\n')
    w('    <Created>%s</Created>\n' % iso(job.created))
    w('    <Modified>%s</Modified>\n' % iso(job.last_time + dt.timedelta(minutes=17)))
    w('    <FieldworkStart>%s</FieldworkStart>\n' % first.date().isoformat())
    w('    <FieldworkEnd>%s</FieldworkEnd>\n' % job.last_time.date().isoformat())
    w('  </JobProperties>\n')
    w('  <CoordinateSystem name="ETRS89 / UTM zone 32N" epsg="25832">\n')
    w('    <Projection type="TransverseMercator" zone="32N" centralMeridian="9" '
      'latitudeOfOrigin="0" scaleFactor="0.9996" falseEasting="500000" falseNorthing="0"/>\n')
    w('    <Datum name="ETRS89" ellipsoid="GRS 1980" semiMajorAxis="6378137" '
      'inverseFlattening="298.257222101"/>\n')
    w('    <VerticalDatum name="DHHN2016" geoidModel="GCG2016"/>\n')
    w('  </CoordinateSystem>\n')
    w('  <Units distance="metre" angle="%s" temperature="celsius" pressure="hPa" '
      'time="UTC"/>\n' % ("gon" if angle_unit == "gon" else "degree"))
    w('  <Equipment>\n')
    w('    <TotalStation id="TS1" model="Ostara T5 R1000" serial="5183221" '
      'angleStdDev="0.3 mgon" distanceStdDev="1 mm + 1.5 ppm"/>\n')
    w('    <GnssReceiver id="GNSS1" model="Ostara G7" serial="7730418" '
      'correction="RTK network (VRS)"/>\n')
    w('  </Equipment>\n')
    w('  <FeatureCodes>\n')
    for code, cat, desc in CODES:
        w('    <Code name="%s" category="%s" description="%s"/>\n' % (code, cat, esc_attr(desc)))
    w('  </FeatureCodes>\n')


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("output", help="path of the .dxm file to write ('-' for standard output)")
    ap.add_argument("--points", type=int, default=500000, help="number of points (default 500000)")
    ap.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    ap.add_argument("--angle-unit", choices=("gon", "degree"), default="gon",
                    help="unit of observed angles (default gon)")
    args = ap.parse_args()
    if args.points < 0:
        ap.error("--points must not be negative")

    to_stdout = args.output == "-"
    tmpdir = None if to_stdout else (os.path.dirname(os.path.abspath(args.output)))
    tmp = [tempfile.TemporaryFile("w+", encoding="utf-8", dir=tmpdir, newline="\n")
           for _ in range(3)]
    fp, fs, fr = tmp
    job = Job(args.points, args.seed, args.angle_unit, fp, fs, fr)
    n_blocks = job.run()

    if to_stdout:
        out = open(sys.stdout.fileno(), "w", encoding="utf-8", newline="\n", closefd=False)
    else:
        out = open(args.output + ".part", "w", encoding="utf-8", newline="\n")
    with out:
        header(out, job, n_blocks, args.angle_unit)
        out.write('  <Points count="%d">\n' % job.point_id)
        fp.seek(0)
        shutil.copyfileobj(fp, out, 1 << 20)
        out.write('  </Points>\n')
        out.write('  <Setups count="%d" observations="%d">\n' % (job.setup_id, job.obs_id))
        fs.seek(0)
        shutil.copyfileobj(fs, out, 1 << 20)
        out.write('  </Setups>\n')
        out.write('  <Reductions>\n')
        out.write('    <Settings atmosphericCorrection="applied by instrument" '
                  'curvatureRefraction="yes" refractionCoefficient="0.13" '
                  'earthRadius="%d" gridScale="yes" elevationFactor="yes"/>\n' % EARTH_R)
        fr.seek(0)
        shutil.copyfileobj(fr, out, 1 << 20)
        out.write('  </Reductions>\n')
        out.write('</DexmorJob>\n')
    for f in tmp:
        f.close()
    if not to_stdout:
        os.replace(args.output + ".part", args.output)


if __name__ == "__main__":
    main()
