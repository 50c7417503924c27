#!/usr/bin/python3
"""Writes the example site plan in both drawing formats, with the files its
fields read, all next to this script:

  site-plan.dxf   ASCII DXF (R2018): written with ezdxf, with a table
                  (ACAD_TABLE) written here; then saved by tessly itself
                  ("tessly eval site-plan.dxf --save"), which turns the field
                  codes into FIELD objects as a CAD program saves them
  site-plan.json  the same plan in tessly's own drawing format
  site-notes.txt  the text a "TextField" field shows
  site-areas.xlsx the workbook an "ExcelCell" field reads

Every one of the seven field types is used once or more.

  ./make_site_plan.py --large N OUT.dxf
writes instead a large drawing for benchmarks: N lines, arcs and polylines
and N/4 tree references, with a few fields; it is not committed.
"""
import json
import os
import subprocess
import sys

import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE_HANDLE = "F00"

PLOT = [(0, 0, 0), (60, 0, 0), (60, 40, 0.25), (0, 40, 0)]  # the north-east corner curved
TABLE_CELLS = [["Item", "Count"], ["Parking", "6"], ["Bicycles", "12"]]
TABLE_AT, ROW_HEIGHT, COLUMN_WIDTHS = (70.0, -2.0), 4.0, [20.0, 12.0]
HOUSE = [(10, 10, 0), (30, 10, 0), (30, 25, 0), (10, 25, 0)]
TREES = [((45, 30), "Oak"), ((50, 32), "Oak"), ((5, 35), "Birch"), ((8, 5), "Oak"), ((55, 5), "Maple")]


def notes(handles):
    """The texts of the plan: (text, y)."""
    plot, house, fence, pond = handles["plot"], handles["house"], handles["fence"], handles["pond"]
    return [
        ("Plot area: %<\\AcArea Object(<" + plot + ">) \\f \"%lu2%pr1\">% m2", 0),
        ("Built area: %<\\AcArea Object(<" + house + ">) \\f \"%lu2%pr1\">% m2", 1),
        ("Fence and hedge: %<\\AcLength Object(<" + fence + ";" + plot + ">) \\f \"%lu2%pr2\">% m", 2),
        ("Pond shore: %<\\AcLength Object(<" + pond + ">) \\f \"%lu2%pr2\">% m", 3),
        ("Trees: %<\\AcBlockCount \"TREE\">%, oaks: %<\\AcBlockCount \"TREE\" \\tag \"SPECIES\" \\value \"Oak\">%", 4),
        ("Surveyor: %<\\TextField site-notes.txt>%", 5),
        ("Parking spaces: %<\\TableCell TABLE(<" + TABLE_HANDLE + ">).$B$2>%", 6),
        ("Budget: %<\\ExcelCell site-areas.xlsx:Areas:B2>%", 7),
        ("Plot in hectares: %<\\TsExpr ROUND(%<\\AcArea Object(<" + plot + ">)>%/10000, 3)>%", 8),
    ]


def build_dxf():
    doc = ezdxf.new("R2018")
    for layer in ("PLOT", "BUILDINGS", "PLANTS", "NOTES"):
        doc.layers.add(layer)
    msp = doc.modelspace()
    tree = doc.blocks.new(name="TREE")
    tree.add_circle((0, 0), 1.5, dxfattribs={"layer": "PLANTS"})
    tree.add_attdef("SPECIES", (0, -2), dxfattribs={"height": 0.5})

    handles = {
        "plot": msp.add_lwpolyline(PLOT, format="xyb", close=True, dxfattribs={"layer": "PLOT"}).dxf.handle,
        "house": msp.add_lwpolyline(HOUSE, format="xyb", close=True, dxfattribs={"layer": "BUILDINGS"}).dxf.handle,
        "fence": msp.add_line((0, 0), (0, -3), dxfattribs={"layer": "PLOT"}).dxf.handle,
        "pond": msp.add_circle((45, 12), 4, dxfattribs={"layer": "PLANTS"}).dxf.handle,
    }
    msp.add_arc((20, 25), 5, 0, 180, dxfattribs={"layer": "BUILDINGS"})  # the porch
    for (x, y), species in TREES:
        msp.add_blockref("TREE", (x, y), dxfattribs={"layer": "PLANTS"}).add_attrib("SPECIES", species, (x, y - 2))
    for text, y in notes(handles):
        msp.add_mtext(text, dxfattribs={"layer": "NOTES", "insert": (70, 40 - 4 * y), "char_height": 1.5})
    msp.add_hatch().paths.add_polyline_path([(10, 10), (30, 10), (30, 25), (10, 25)], is_closed=True)
    # The table's drawn form: an anonymous *T block with one MTEXT per cell.
    shown = doc.blocks.new_anonymous_block(type_char="T")
    for r, row in enumerate(TABLE_CELLS):
        for c, text in enumerate(row):
            x = sum(COLUMN_WIDTHS[:c]) + COLUMN_WIDTHS[c] / 2
            shown.add_mtext(text, dxfattribs={"insert": (x, -(r + 0.5) * ROW_HEIGHT), "char_height": 1.5,
                                              "attachment_point": 5, "layer": "NOTES"})
    path = os.path.join(HERE, "site-plan.dxf")
    doc.saveas(path)
    add_table(path, doc, shown)
    return doc


def add_table(path, doc, shown):
    """ezdxf does not write ACAD_TABLE: the entity is added to the file's text."""
    def g(code, value):
        return "%3d\n%s\n" % (code, value)
    table = g(0, "ACAD_TABLE") + g(5, TABLE_HANDLE) + g(330, doc.modelspace().block_record_handle)
    table += g(100, "AcDbEntity") + g(8, "NOTES") + g(100, "AcDbBlockReference") + g(2, shown.name)
    table += g(10, TABLE_AT[0]) + g(20, TABLE_AT[1]) + g(30, 0.0) + g(100, "AcDbTable") + g(280, 0)
    table += g(343, shown.block_record_handle) + g(11, 1.0) + g(21, 0.0) + g(31, 0.0) + g(90, 22)
    table += g(91, len(TABLE_CELLS)) + g(92, len(COLUMN_WIDTHS))
    for code in (93, 94, 95, 96):
        table += g(code, 0)
    table += "".join(g(141, ROW_HEIGHT) for _ in TABLE_CELLS) + "".join(g(142, w) for w in COLUMN_WIDTHS)
    for row in TABLE_CELLS:
        for text in row:
            for code, value in ((171, 1), (172, 0), (173, 0), (174, 0), (175, 1), (176, 1), (91, 0), (178, 0),
                                (145, 0.0), (92, 0), (301, "CELL_VALUE"), (93, 2), (90, 4), (1, text), (94, 0),
                                (300, ""), (302, text), (304, "ACVALUE_END")):
                table += g(code, value)
    with open(path) as f:
        text = f.read()
    # The last entity of model space is followed by the section's end.
    end = text.index("ENDSEC", text.index("ENTITIES"))
    at = text.rindex("  0\n", 0, end)
    text = text[:at] + table + text[at:]
    # The table's handle is below the handle seed.
    seed = text.index("$HANDSEED")
    value_at = text.index("\n", text.index("\n", seed) + 1) + 1
    value_end = text.index("\n", value_at)
    if int(text[value_at:value_end], 16) <= int(TABLE_HANDLE, 16):
        text = text[:value_at] + "%X" % (int(TABLE_HANDLE, 16) + 1) + text[value_end:]
    with open(path, "w") as f:
        f.write(text)


def save_with_tessly(path):
    """tessly evaluates the fields and saves: the codes become FIELD objects."""
    tessly = os.environ.get("TESSLY", os.path.join(HERE, "..", "build", "bin", "tessly"))
    if not os.path.exists(tessly):
        print("%s not found: %s keeps its field codes as text (set TESSLY to the tessly command)" % (tessly, path))
        return
    subprocess.run([tessly, "eval", path, "--save"], check=True, cwd=HERE, stdout=subprocess.DEVNULL)


def point(p):
    return [round(p[0], 6), round(p[1], 6), round(p[2], 6)]


def build_json(doc):
    """The same plan, object by object, with the DXF's handles."""
    msp = doc.modelspace()
    objects = []
    for layer in doc.layers:
        if layer.dxf.name != "0":
            objects.append({"type": "layer", "handle": layer.dxf.handle, "name": layer.dxf.name})
    tree = doc.blocks.get("TREE")
    objects.append({"type": "block", "handle": tree.block_record_handle, "name": "TREE"})
    for e in tree:
        if e.dxftype() == "CIRCLE":
            objects.append({"type": "circle", "handle": e.dxf.handle, "owner": tree.block_record_handle,
                            "layer": e.dxf.layer, "center": point(e.dxf.center), "radius": e.dxf.radius})
    for e in msp:
        base = {"handle": e.dxf.handle, "layer": e.dxf.layer}
        kind = e.dxftype()
        if kind == "LWPOLYLINE":
            vertices = [[x, y, b] if b else [x, y] for x, y, b in e.get_points("xyb")]
            objects.append({"type": "lwpolyline", **base, "vertices": vertices, "closed": e.closed})
        elif kind == "LINE":
            objects.append({"type": "line", **base, "start": point(e.dxf.start), "end": point(e.dxf.end)})
        elif kind == "CIRCLE":
            objects.append({"type": "circle", **base, "center": point(e.dxf.center), "radius": e.dxf.radius})
        elif kind == "ARC":
            import math
            objects.append({"type": "arc", **base, "center": point(e.dxf.center), "radius": e.dxf.radius,
                            "startAngle": math.radians(e.dxf.start_angle), "endAngle": math.radians(e.dxf.end_angle)})
        elif kind == "INSERT":
            objects.append({"type": "insert", **base, "block": tree.block_record_handle,
                            "position": point(e.dxf.insert)})
            for a in e.attribs:
                objects.append({"type": "attribute", "handle": a.dxf.handle, "owner": e.dxf.handle,
                                "layer": a.dxf.layer, "tag": a.dxf.tag, "text": a.dxf.text})
        elif kind == "MTEXT":
            objects.append({"type": "mtext", **base, "text": e.text, "position": point(e.dxf.insert),
                            "height": e.dxf.char_height})
    objects.append({"type": "table", "handle": TABLE_HANDLE, "layer": "NOTES", "rows": 3, "columns": 2, "cells": [
        {"row": 0, "column": 0, "text": "Item"}, {"row": 0, "column": 1, "text": "Count"},
        {"row": 1, "column": 0, "text": "Parking"}, {"row": 1, "column": 1, "text": "6"},
        {"row": 2, "column": 0, "text": "Bicycles"}, {"row": 2, "column": 1, "text": "12"}]})
    drawing = {"tesslyDrawing": 1, "objects": objects}
    with open(os.path.join(HERE, "site-plan.json"), "w") as f:
        json.dump(drawing, f, indent="\t")
        f.write("\n")


def build_side_files():
    with open(os.path.join(HERE, "site-notes.txt"), "w") as f:
        f.write("J. Smith, surveyed 12/1/2026")
    import openpyxl
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Areas"
    sheet["A1"], sheet["B1"] = "Item", "Cost"
    sheet["A2"], sheet["B2"] = "Landscaping", 18250
    sheet["B2"].number_format = "$#,##0.00"
    path = os.path.join(HERE, "site-areas.xlsx")
    book.save(path)
    # A fixed time stamp, so the committed file changes only when its content does.
    os.utime(path, (1796688000, 1796688000))


def build_large(count, out):
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    tree = doc.blocks.new(name="TREE")
    tree.add_circle((0, 0), 1.5)
    first = None
    for i in range(count):
        x, y = (i % 1000) * 10.0, (i // 1000) * 10.0
        kind = i % 3
        if kind == 0:
            e = msp.add_line((x, y), (x + 5, y + 5))
        elif kind == 1:
            e = msp.add_arc((x, y), 3, 0, 120)
        else:
            e = msp.add_lwpolyline([(x, y), (x + 4, y), (x + 4, y + 3, 0.5)], format="xyb", close=True)
        first = first or e.dxf.handle
        if i % 4 == 0:
            msp.add_blockref("TREE", (x + 2, y + 2))
    msp.add_text("%<\\AcLength Object(<" + first + ">)>%")
    msp.add_text("%<\\AcBlockCount \"TREE\">%")
    doc.saveas(out)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--large":
        build_large(int(sys.argv[2]), sys.argv[3])
    else:
        build_side_files()
        build_json(build_dxf())
        save_with_tessly(os.path.join(HERE, "site-plan.dxf"))
