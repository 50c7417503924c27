#!/usr/bin/python3
"""Writes the DXF drawings the DXF reader is tested on, with ezdxf.

Run from anywhere: ./make_dxf.py writes next to itself. Each drawing comes
with <name>.expected.json: for every text or attribute holding a field code,
its handle and the value the field must show, computed here from the
geometry, so the tests check the reader and the field engine together.

plan2018.dxf (R2018) and plan12.dxf (R12) hold the same plan: walls as lines,
a column as a circle, a curved wall as an arc, rooms as polylines (LWPOLYLINE
in R2018, old-style POLYLINE in R12), doors as block references with a TYPE
attribute, texts with fields, and entities the reader does not know.
"""
import json
import math
import os

import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))


def polyline_measures(vertices, closed):
    """Length and enclosed area of [x, y, bulge] vertices, arcs included."""
    n = len(vertices)
    segments = n if closed else n - 1
    length = 0.0
    area = 0.0
    for i in range(n):
        x1, y1, _ = vertices[i]
        x2, y2, _ = vertices[(i + 1) % n]
        area += (x1 * y2 - x2 * y1) / 2
    for i in range(segments):
        x1, y1, b = vertices[i]
        x2, y2, _ = vertices[(i + 1) % n]
        chord = math.hypot(x2 - x1, y2 - y1)
        if b == 0:
            length += chord
            continue
        sweep = 4 * math.atan(abs(b))
        r = chord / (2 * math.sin(sweep / 2))
        length += r * sweep
        area += math.copysign(r * r / 2 * (sweep - math.sin(sweep)), b)
    if not closed:
        x1, y1, _ = vertices[-1]
        x2, y2, _ = vertices[0]
    return length, abs(area)


def fmt(value):
    return "%.4f" % value


ROOM = [[0, 0, 0], [20, 0, 0], [20, 10, 0], [0, 10, 0]]
BAY = [[30, 0, 0], [40, 0, 1], [40, 10, 0], [30, 10, 0]]  # a half-circle bay on the east side


def make_plan(version, name):
    doc = ezdxf.new(version)
    doc.appids.new("TESSLY")
    for layer in ("WALLS", "DOORS", "NOTES"):
        doc.layers.add(layer)
    msp = doc.modelspace()
    expected = {}

    wall = msp.add_line((0, 0), (30, 40), dxfattribs={"layer": "WALLS"})
    wall.set_xdata("TESSLY", [(1000, "outer wall"), (1000, "north")])
    column = msp.add_circle((100, 0), 5, dxfattribs={"layer": "WALLS"})
    curve = msp.add_arc((0, 50), 10, 0, 90, dxfattribs={"layer": "WALLS"})
    rooms = []
    for vertices in (ROOM, BAY):
        points = [(x, y, 0, 0, b) for x, y, b in vertices]
        if version == "R12":
            pl = msp.add_polyline2d([(x, y) for x, y, _ in vertices], dxfattribs={"layer": "WALLS"})
            pl.close(True)
            for v, (_, _, b) in zip(pl.vertices, vertices):
                v.dxf.bulge = b
        else:
            pl = msp.add_lwpolyline(points, format="xyseb", close=True, dxfattribs={"layer": "WALLS"})
        rooms.append(pl)

    door = doc.blocks.new(name="DOOR")
    door.add_line((0, 0), (0.9, 0))
    door.add_attdef("TYPE", (0, 0.2), dxfattribs={"height": 0.2})
    for i, kind in enumerate(["A", "A", "B"]):
        ref = msp.add_blockref("DOOR", (5 * i, 0), dxfattribs={"layer": "DOORS"})
        ref.add_attrib("TYPE", kind, (5 * i, 0.2))
    counted = msp.add_blockref("DOOR", (50, 0), dxfattribs={"layer": "DOORS"})
    attr = counted.add_attrib("TYPE", "%<\\TsExpr 6*7>%", (50, 0.2))
    expected[attr.dxf.handle] = "42"

    def note(text, value, y):
        t = msp.add_text(text, dxfattribs={"layer": "NOTES", "height": 2.5, "insert": (0, -10 - 5 * y)})
        expected[t.dxf.handle] = value

    length, area = polyline_measures(ROOM, True)
    bay_length, bay_area = polyline_measures(BAY, True)
    note("%<\\AcLength Object(<" + wall.dxf.handle + ">)>%", fmt(50), 0)
    note("%<\\AcLength Object(<" + column.dxf.handle + ">)>%", fmt(2 * math.pi * 5), 1)
    note("%<\\AcLength Object(<" + curve.dxf.handle + ">)>%", fmt(math.pi * 10 / 2), 2)
    note("%<\\AcLength Object(<" + rooms[0].dxf.handle + ">)>%", fmt(length), 3)
    note("%<\\AcArea Object(<" + rooms[0].dxf.handle + ">)>%", fmt(area), 4)
    note("%<\\AcLength Object(<" + rooms[1].dxf.handle + ">)>%", fmt(bay_length), 5)
    note("%<\\AcArea Object(<" + rooms[1].dxf.handle + ";" + column.dxf.handle + ">)>%",
         fmt(bay_area + math.pi * 25), 6)
    note("%<\\AcBlockCount \"DOOR\" \\tag \"TYPE\" \\value \"A\">%", "2", 7)
    note("%<\\AcBlockCount \"DOOR\" \\layer \"DOORS\">%", "4", 8)
    note("%<\\AcBlockCount \"DOOR\">%", "5", 9)  # the one in paper space too
    gate = doc.blocks.new(name="GATE")
    gate.add_line((0, 0), (3, 0))
    msp.add_blockref("GATE", (70, 0))
    # R2018 has a stretched gate too: an anonymous copy of the dynamic block.
    note("%<\\AcBlockCount \"GATE\">%", "2" if version != "R12" else "1", 10)

    if version != "R12":
        m = msp.add_mtext("Floor: %<\\AcArea Object(<" + rooms[0].dxf.handle + ">)>%",
                          dxfattribs={"layer": "NOTES", "insert": (0, -70)})
        expected[m.dxf.handle] = fmt(area)
        # Entities the reader does not know: skipped and counted.
        for box in ((0, 0), (30, 0)):
            hatch = msp.add_hatch()
            hatch.paths.add_polyline_path([box, (box[0] + 5, 0), (box[0] + 5, 5)], is_closed=True)
        msp.add_spline([(0, 0), (10, 10), (20, 0), (30, 10)])
        anonymous = doc.blocks.new_anonymous_block()
        anonymous.add_circle((0, 0), 1)
        msp.add_blockref(anonymous.name, (0, 0))
        # A gate stretched by its grips: an anonymous copy of the dynamic GATE,
        # tagged as CAD programs tag them; it counts as a GATE.
        doc.appids.new("AcDbBlockRepBTag")
        copy = doc.blocks.new_anonymous_block()
        copy.add_line((0, 0), (4, 0))
        copy.block_record.set_xdata("AcDbBlockRepBTag", [(1070, 1), (1005, gate.block_record.dxf.handle)])
        msp.add_blockref(copy.name, (80, 0))
        doc.add_xref_def("site.dxf", "SITE")
        sheet = doc.layouts.new("Sheet2")
        sheet.add_line((0, 0), (3, 4))
    else:
        msp.add_point((1, 2))
        msp.add_polyline3d([(0, 0, 0), (1, 1, 1), (2, 0, 2)])  # skipped

    psp = doc.layouts.get("Layout1")
    psp.add_blockref("DOOR", (10, 10)).add_attrib("TYPE", "C", (10, 10.2))
    ptext = psp.add_text("%<\\TsExpr 1+1>%", dxfattribs={"insert": (0, 0)})
    expected[ptext.dxf.handle] = "2"

    doc.saveas(os.path.join(HERE, name + ".dxf"))
    with open(os.path.join(HERE, name + ".expected.json"), "w") as f:
        json.dump(expected, f, indent=1, sort_keys=True)
        f.write("\n")


make_plan("R2018", "plan2018")
make_plan("R12", "plan12")
