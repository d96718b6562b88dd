#!/usr/bin/env python3
"""Check a Dexmor job written by make-job.py: structure and consistency.

    check-job.py JOB.dxm

Structure: root element and version, the sections in order, unique point
ids and names, codes from the code list, ISO 8601 times, every reference
(setup station and backsight, observation target, reduced observation, setup
reduction) resolving, and the count attributes matching.

Geometry: the geographic coordinates of every point project (forward
transverse Mercator, a different series than the inverse the generator uses)
onto its grid coordinates within 1 mm; every observation reduces, with the
setup's orientation and combined scale factor and the curvature and
refraction correction, to the values in the Reductions section and to the
grid coordinates of its target point within 2 mm.

Streams the file; only point coordinates are kept in memory.
"""

import math
import os
import re
import runpy
import sys
import types
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
# the generator's projection and constants (its main() does not run)
mj = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "make-job.py")))

TIME_RE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
SECTIONS = ["JobProperties", "CoordinateSystem", "Units", "Equipment", "FeatureCodes",
            "Points", "Setups", "Reductions"]


class Checker:
    def __init__(self):
        self.errors = []
        self.points = {}        # id -> (e, n, z)
        self.names = set()
        self.codes = set()
        self.obs = {}           # id -> (setup id, point id, hz, v, sd, ht)
        self.setups = {}        # id -> (station, hi)
        self.n_points = self.n_setups = self.n_obs = self.n_reduced = 0
        self.worst_geo = self.worst_red = self.worst_xyz = 0.0
        self.angle_factor = 1.0   # job angle unit -> gon

    def err(self, msg):
        if len(self.errors) < 50:
            self.errors.append(msg)

    def time(self, el, what):
        t = el.get("time")
        if t is None or not TIME_RE.match(t):
            self.err("%s: bad time %r" % (what, t))

    def num(self, el, attr, what):
        try:
            return float(el.get(attr))
        except (TypeError, ValueError):
            self.err("%s: %s is not a number: %r" % (what, attr, el.get(attr)))
            return float("nan")

    def point(self, p):
        pid = p.get("id")
        what = "point %s" % pid
        if pid in self.points:
            self.err("%s: id not unique" % what)
        name = p.get("name")
        if not name or name in self.names:
            self.err("%s: name missing or not unique: %r" % (what, name))
        self.names.add(name)
        if p.get("code") not in self.codes:
            self.err("%s: code %r not in the code list" % (what, p.get("code")))
        if p.get("method") not in ("GNSS-RTK", "TotalStation", "Keyed"):
            self.err("%s: unknown method %r" % (what, p.get("method")))
        self.time(p, what)
        g, geo, q = p.find("Grid"), p.find("Geographic"), p.find("Quality")
        if g is None or geo is None or q is None:
            self.err("%s: Grid, Geographic or Quality missing" % what)
            return
        e, n, z = (self.num(g, a, what) for a in ("e", "n", "z"))
        lat, lon, h = (self.num(geo, a, what) for a in ("lat", "lon", "h"))
        e2, n2 = mj.tm_forward(lat, lon)
        d = math.hypot(e2 - e, n2 - n)
        self.worst_geo = max(self.worst_geo, d)
        if not d <= 0.001:
            self.err("%s: geographic and grid coordinates differ by %.4f m" % (what, d))
        if not 30.0 < h - z < 60.0:
            self.err("%s: h - z = %.3f m is not a plausible geoid height" % (what, h - z))
        for a in ("hPrec", "vPrec"):
            v = self.num(q, a, what)
            if not 0.0 < v < 0.1:
                self.err("%s: implausible %s %r" % (what, a, v))
        self.points[pid] = (e, n, z)
        self.n_points += 1

    def setup(self, s):
        sid = s.get("id")
        what = "setup %s" % sid
        for ref in ("station", "backsight"):
            if s.get(ref) not in self.points:
                self.err("%s: %s %r is not a point" % (what, ref, s.get(ref)))
        self.time(s, what)
        hi = self.num(s, "instrumentHeight", what)
        self.setups[sid] = (s.get("station"), hi)
        self.n_setups += 1
        roles = []
        for o in s.findall("Observation"):
            oid = o.get("id")
            if oid in self.obs:
                self.err("observation %s: id not unique" % oid)
            if o.get("point") not in self.points:
                self.err("observation %s: point %r does not exist" % (oid, o.get("point")))
            self.time(o, "observation %s" % oid)
            vals = [self.num(o, a, "observation %s" % oid) for a in ("hz", "v", "sd", "targetHeight")]
            self.obs[oid] = (sid, o.get("point"), *vals)
            roles.append(o.get("role"))
            self.n_obs += 1
        if not roles or roles[0] != "backsight" or any(r != "sideshot" for r in roles[1:]):
            self.err("%s: expected one backsight observation, then sideshots" % what)
        elif s.findall("Observation")[0].get("point") != s.get("backsight"):
            self.err("%s: the backsight observation does not target the backsight" % what)

    def reduction(self, sr):
        sid = sr.get("setup")
        what = "reduction of setup %s" % sid
        if sid not in self.setups:
            self.err("%s: no such setup" % what)
            return
        station, hi = self.setups[sid]
        if station not in self.points:
            return                      # reported with the setup
        se, sn, sz = self.points[station]
        orient = self.num(sr, "orientation", what) * self.angle_factor
        comb = self.num(sr, "combinedFactor", what)
        kf = self.num(sr, "scaleFactor", what) * self.num(sr, "elevationFactor", what)
        if abs(kf - comb) > 2e-8:
            self.err("%s: combined factor is not scale x elevation factor" % what)
        if abs(self.num(sr, "scaleFactor", what) - mj.scale_factor(se)) > 1e-8:
            self.err("%s: grid scale factor does not fit the station easting" % what)
        for r in sr.findall("Reduced"):
            oid = r.get("observation")
            self.n_reduced += 1
            if oid not in self.obs or self.obs[oid][0] != sid:
                self.err("reduced observation %s: not an observation of setup %s" % (oid, sid))
                continue
            _, pid, hz, v, sd, ht = self.obs[oid]
            vr = v * self.angle_factor / mj.GON
            hd = sd * math.sin(vr)
            vd = sd * math.cos(vr) + (1 - mj.REFRACTION_K) * hd * hd / (2 * mj.EARTH_R)
            dh = vd + hi - ht
            gd = hd * comb
            az = (hz * self.angle_factor + orient) % 400.0
            got = {a: self.num(r, a, "reduced %s" % oid)
                   for a in ("hd", "vd", "dh", "gridDistance", "azimuth")}
            az_got = got["azimuth"] * self.angle_factor
            dev = max(abs(got["hd"] - hd), abs(got["vd"] - vd), abs(got["dh"] - dh),
                      abs(got["gridDistance"] - gd),
                      abs((az_got - az + 200.0) % 400.0 - 200.0) / mj.GON * max(gd, 1.0))
            self.worst_red = max(self.worst_red, dev)
            if not dev <= 0.0015:
                self.err("reduced observation %s: differs from the observation by %.4f m" % (oid, dev))
            if pid not in self.points:
                continue                # reported with the observation
            e, n, z = self.points[pid]
            e2 = se + gd * math.sin(az / mj.GON)
            n2 = sn + gd * math.cos(az / mj.GON)
            z2 = sz + dh
            d = max(math.hypot(e2 - e, n2 - n), abs(z2 - z))
            self.worst_xyz = max(self.worst_xyz, d)
            if not d <= 0.002:
                self.err("observation %s: reduces to %.4f m from point %s" % (oid, d, pid))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check-job.py JOB.dxm")
    c = Checker()
    seen = []
    counts = {}
    stack = []
    for event, el in ET.iterparse(sys.argv[1], events=("start", "end")):
        if event == "start":
            stack.append(el)
            if len(stack) == 1:
                if el.tag != "DexmorJob" or el.get("version") != "1.0":
                    c.err('root element is not <DexmorJob version="1.0">')
            elif len(stack) == 2:
                seen.append(el.tag)
                if el.tag in ("Points", "Setups"):
                    counts[el.tag] = dict(el.attrib)
            continue
        stack.pop()
        if len(stack) == 1:             # a section has ended
            if el.tag == "Units":
                unit = el.get("angle")
                if unit not in ("gon", "degree"):
                    c.err("unknown angle unit %r" % unit)
                c.angle_factor = 1.0 if unit == "gon" else 400.0 / 360.0
            elif el.tag == "FeatureCodes":
                c.codes = {x.get("name") for x in el.findall("Code")}
            elif el.tag == "JobProperties":
                for t in ("Created", "Modified"):
                    if not TIME_RE.match((el.findtext(t) or "").strip()):
                        c.err("JobProperties/%s is not an ISO 8601 UTC time" % t)
            stack[0].remove(el)
        elif len(stack) == 2:           # a child of a section has ended
            section = stack[1].tag
            if section == "Points":
                if el.tag == "Point":
                    c.point(el)
                else:
                    c.err("unexpected <%s> in <Points>" % el.tag)
            elif section == "Setups":
                if el.tag == "Setup":
                    c.setup(el)
                else:
                    c.err("unexpected <%s> in <Setups>" % el.tag)
            elif section == "Reductions":
                if el.tag == "SetupReduction":
                    c.reduction(el)
                elif el.tag != "Settings":
                    c.err("unexpected <%s> in <Reductions>" % el.tag)
            else:
                continue                # keep the small header sections whole
            stack[1].remove(el)
    if seen != SECTIONS:
        c.err("sections are %s, expected %s" % (seen, SECTIONS))
    if counts.get("Points", {}).get("count") != str(c.n_points):
        c.err("Points count=%r but %d points" % (counts.get("Points", {}).get("count"), c.n_points))
    if counts.get("Setups", {}).get("count") != str(c.n_setups) or \
            counts.get("Setups", {}).get("observations") != str(c.n_obs):
        c.err("Setups count/observations attributes do not match")
    if c.n_reduced != c.n_obs:
        c.err("%d observations but %d reduced observations" % (c.n_obs, c.n_reduced))
    print("%s: %d points, %d setups, %d observations; worst grid/geographic %.5f m, "
          "reduction %.5f m, observation/point %.5f m"
          % (sys.argv[1], c.n_points, c.n_setups, c.n_obs, c.worst_geo, c.worst_red, c.worst_xyz))
    for e in c.errors:
        print("ERROR: " + e)
    sys.exit(1 if c.errors else 0)


if __name__ == "__main__":
    main()
