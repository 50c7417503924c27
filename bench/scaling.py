#!/usr/bin/python3
"""Scaling cases for the tessly command: each case writes inputs of sizes in a
geometric series into a temporary folder, runs `tessly` on each and prints a
table of CPU time and peak resident memory, in total and per item, so a cost
that grows faster than the work shows as a rising per-item column.

usage: bench/scaling.py [--tessly PATH] [--baseline PATH] [--sizes N,N,...] CASE...
With --baseline, every size is run with both programs, one after the other,
so the two columns share the machine's state.
"""
import argparse
import atexit
import json
import os
import shutil
import subprocess
import sys
import tempfile


def run(argv, stdin_text=None, cwd=None):
    """Runs argv; returns (CPU seconds, peak resident bytes). Both are taken
    by GNU time: a child forked from this (large) process would start its
    high-water mark at this process's size. CPU time, user and system, is
    what a shared machine disturbs least."""
    proc = subprocess.run(["/usr/bin/time", "-f", "peak-kb %M cpu %U %S"] + argv, cwd=cwd,
                          input=stdin_text.encode() if stdin_text is not None else None,
                          stdin=subprocess.DEVNULL if stdin_text is None else None,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.decode(errors="replace")
    if proc.returncode != 0:
        sys.exit(f"{' '.join(argv[:3])}... failed ({proc.returncode}): {err[-500:]}")
    fields = err.rsplit("peak-kb ", 1)[1].split()
    return float(fields[2]) + float(fields[3]), int(fields[0]) * 1024


# --- inputs -----------------------------------------------------------------

def json_blocks(folder, n):
    """n blocks, each with a circle and one reference in model space; the
    block table lists model space last (the reader adds it)."""
    objs = []
    h = 0x100
    for i in range(n):
        objs.append(f'{{"type": "block", "handle": "{h:X}", "name": "B{i}"}}')
        objs.append(f'{{"type": "circle", "handle": "{h + 1:X}", "owner": "{h:X}", "center": [0, 0], "radius": 1}}')
        objs.append(f'{{"type": "insert", "handle": "{h + 2:X}", "block": "{h:X}", "position": [{i}, 0]}}')
        h += 3
    path = os.path.join(folder, f"blocks{n}.json")
    with open(path, "w") as f:
        f.write('{"tesslyDrawing": 1, "objects": [' + ",\n".join(objs) + "]}")
    return path


def json_layers(folder, n):
    """n lines, each on a layer of its own that the file does not list."""
    objs = [f'{{"type": "line", "handle": "{0x100 + i:X}", "layer": "L{i}", "start": [0, 0], "end": [{i}, 1]}}'
            for i in range(n)]
    path = os.path.join(folder, f"layers{n}.json")
    with open(path, "w") as f:
        f.write('{"tesslyDrawing": 1, "objects": [' + ",\n".join(objs) + "]}")
    return path


def json_pass(folder, n):
    """A drawing of n fields, one per multiline text, of all seven kinds as a
    plan sheet has them, block counts the most: per 20 fields 8 block counts
    (plain, by attribute, by layer, nested), 2 lengths, 2 areas, 3
    expressions, 2 table cells, 2 text files and 1 workbook cell. The
    geometry grows with the fields; the blocks (8 definitions, 100 references
    each with an attribute, one block holding two others), the table
    (50 x 4), the four text files and the workbook stay the same."""
    import zipfile
    notes = []
    for k in range(4):
        name = f"note{k}.txt"
        notes.append(name)
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(f"note {k}: surveyed 12/1/2026, \u00e9t\u00e9\n")
    book = os.path.join(folder, "sheet.xlsx")
    if not os.path.exists(book):
        with zipfile.ZipFile(book, "w") as z:
            z.writestr("[Content_Types].xml",
                       '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                       '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                       '<Default Extension="xml" ContentType="application/xml"/>'
                       '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
                       '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>')
            z.writestr("_rels/.rels",
                       '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                       '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>')
            z.writestr("xl/workbook.xml",
                       '<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                       'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
                       '<sheet name="Areas" sheetId="1" r:id="rId1"/></sheets></workbook>')
            z.writestr("xl/_rels/workbook.xml.rels",
                       '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                       '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
                       'Target="worksheets/sheet1.xml"/></Relationships>')
            rows = "".join(f'<row r="{r}"><c r="A{r}"><v>{r * 1.5}</v></c><c r="B{r}"><v>{r * 7}</v></c></row>'
                           for r in range(1, 21))
            z.writestr("xl/worksheets/sheet1.xml",
                       '<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                       f"<sheetData>{rows}</sheetData></worksheet>")
    objs = ['{"type": "layer", "handle": "10", "name": "PLANTS"}', '{"type": "layer", "handle": "11", "name": "NOTES"}']
    h = 0x100
    blocks = []
    for b in range(8):
        blocks.append(h)
        objs.append(f'{{"type": "block", "handle": "{h:X}", "name": "B{b}"}}')
        objs.append(f'{{"type": "circle", "handle": "{h + 1:X}", "owner": "{h:X}", "center": [0, 0], "radius": 1}}')
        h += 2
    # B7 holds two references of B0.
    for k in range(2):
        objs.append(f'{{"type": "insert", "handle": "{h:X}", "owner": "{blocks[7]:X}", "block": "{blocks[0]:X}", "position": [{k}, 0]}}')
        h += 1
    species = ["Oak", "Birch", "Maple"]
    for b in range(8):
        for r in range(100):
            layer = "PLANTS" if r % 2 else "0"
            objs.append(f'{{"type": "insert", "handle": "{h:X}", "layer": "{layer}", "block": "{blocks[b]:X}", "position": [{r}, {b}]}}')
            objs.append(f'{{"type": "attribute", "handle": "{h + 1:X}", "owner": "{h:X}", "tag": "SPECIES", "text": "{species[r % 3]}"}}')
            h += 2
    table = h
    h += 1
    cells = ", ".join(f'{{"row": {r}, "column": {c}, "text": "{r * 4 + c}"}}' for r in range(50) for c in range(4))
    objs.append(f'{{"type": "table", "handle": "{table:X}", "rows": 50, "columns": 4, "cells": [{cells}]}}')
    counts = ['"B{b}"', '"B{b}" \\tag "SPECIES" \\value "Oak"', '"B{b};B{c}" \\layer "PLANTS"',
              '"B0" \\nested', '"B{b}" \\tag "SPECIES" \\op "!=" \\value "Birch"', '"B{c}"',
              '"B{b};B{c};B{d}"', '"B{b}" \\layer "0"']
    i = 0
    while i < n:
        line, circle, poly = h, h + 1, h + 2
        h += 3
        objs.append(f'{{"type": "line", "handle": "{line:X}", "start": [0, 0], "end": [{i % 100}, 3]}}')
        objs.append(f'{{"type": "circle", "handle": "{circle:X}", "center": [{i % 50}, 0], "radius": {1 + i % 7}}}')
        objs.append(f'{{"type": "lwpolyline", "handle": "{poly:X}", "vertices": [[0, 0], [{1 + i % 9}, 0], '
                    f'[{1 + i % 9}, 4, 0.5], [0, 4]], "closed": true}}')
        group = ["\\AcBlockCount " + counts[k].format(b=(i + k) % 8, c=(i + k + 3) % 8, d=(i + k + 5) % 8)
                 for k in range(8)] + [
            f"\\AcLength Object(<{line:X};{circle:X}>)", f"\\AcLength Object(<{poly:X}>)",
            f'\\AcArea Object(<{circle:X}>) \\f "%lu2%pr1"', f"\\AcArea Object(<{poly:X};{circle:X}>)",
            f"\\TsExpr ROUND(%<\\AcArea Object(<{circle:X}>)>%/10000, 3)", f"\\TsExpr SUM(1,2,{i % 10})*2",
            f'\\TsExpr IF({i % 3}>1,"a","b")',
            f"\\TableCell TABLE(<{table:X}>).$B${2 + i % 48}", f"\\TableCell TABLE(<{table:X}>).$D${3 + i % 47}",
            f"\\TextField {notes[i % 4]}", f"\\TextField {notes[(i + 1) % 4]}",
            f"\\ExcelCell sheet.xlsx:Areas:B{1 + i % 20}"]
        for code in group[:n - i]:
            objs.append(f'{{"type": "mtext", "handle": "{h:X}", "layer": "NOTES", "text": {json.dumps("%<" + code + ">%")}}}')
            h += 1
        i += len(group)
    path = os.path.join(folder, f"pass{n}.json")
    with open(path, "w") as f:
        f.write('{"tesslyDrawing": 1, "objects": [' + ",\n".join(objs) + "]}")
    return path


def dxf_head(out):
    out.write("0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1032\n9\n$HANDSEED\n5\nFFFFFFF\n0\nENDSEC\n"
              "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n5\n2\n0\nLAYER\n5\n10\n330\n2\n2\n0\n70\n0\n"
              "0\nLAYER\n5\n11\n330\n2\n2\nWALLS\n70\n0\n0\nENDTAB\n")


def dxf_blocks(folder, n):
    """n block records before model space, each defined with a line and
    referenced once from the ENTITIES section."""
    path = os.path.join(folder, f"blocks{n}.dxf")
    with open(path, "w") as out:
        dxf_head(out)
        out.write("0\nTABLE\n2\nBLOCK_RECORD\n5\n1\n")
        for i in range(n):
            out.write(f"0\nBLOCK_RECORD\n5\n{0x1000 + i:X}\n330\n1\n2\nB{i}\n")
        out.write("0\nBLOCK_RECORD\n5\n1F\n330\n1\n2\n*Model_Space\n"
                  "0\nBLOCK_RECORD\n5\n1B\n330\n1\n2\n*Paper_Space\n0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n")
        h = 0x100000
        for i in range(n):
            out.write(f"0\nBLOCK\n5\n{h:X}\n330\n{0x1000 + i:X}\n8\n0\n2\nB{i}\n70\n0\n10\n0\n20\n0\n30\n0\n"
                      f"0\nLINE\n5\n{h + 1:X}\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n"
                      f"0\nENDBLK\n5\n{h + 2:X}\n8\n0\n")
            h += 3
        out.write("0\nENDSEC\n0\nSECTION\n2\nENTITIES\n")
        for i in range(n):
            out.write(f"0\nINSERT\n5\n{h:X}\n330\n1F\n8\nWALLS\n2\nB{i}\n10\n{i}\n20\n0\n30\n0\n")
            h += 1
        out.write("0\nENDSEC\n0\nEOF\n")
    return path


def dxf_curves(folder, megabytes):
    """About `megabytes` MB of lines, circles, arcs and polylines in model
    space, and block references with an attribute each, as a CAD program
    writes R2018."""
    path = os.path.join(folder, f"curves{megabytes}.dxf")
    target = megabytes * 1000000
    with open(path, "w") as out:
        dxf_head(out)
        out.write("0\nTABLE\n2\nBLOCK_RECORD\n5\n1\n0\nBLOCK_RECORD\n5\n1F\n330\n1\n2\n*Model_Space\n"
                  "0\nBLOCK_RECORD\n5\n1B\n330\n1\n2\n*Paper_Space\n0\nBLOCK_RECORD\n5\n30\n330\n1\n2\nDOOR\n"
                  "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n5\n31\n330\n30\n8\n0\n2\nDOOR\n70\n2\n"
                  "10\n0\n20\n0\n30\n0\n0\nLINE\n5\n32\n330\n30\n8\n0\n10\n0\n20\n0\n30\n0\n11\n0.9\n21\n0\n31\n0\n"
                  "0\nENDBLK\n5\n33\n330\n30\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n")
        h = 0x100
        i = 0
        chunk = []
        while out.tell() < target:
            for _ in range(2000):
                x, y = (i % 1000) * 10.0, (i // 1000) * 10.0
                common = f"5\n{h:X}\n330\n1F\n100\nAcDbEntity\n8\nWALLS\n"
                h += 1
                k = i % 5
                if k == 0:
                    chunk.append(f"0\nLINE\n{common}100\nAcDbLine\n10\n{x}\n20\n{y}\n30\n0.0\n11\n{x + 5}\n21\n{y + 5}\n31\n0.0\n")
                elif k == 1:
                    chunk.append(f"0\nCIRCLE\n{common}100\nAcDbCircle\n10\n{x}\n20\n{y}\n30\n0.0\n40\n2.5\n")
                elif k == 2:
                    chunk.append(f"0\nARC\n{common}100\nAcDbCircle\n10\n{x}\n20\n{y}\n30\n0.0\n40\n3.0\n"
                                 "100\nAcDbArc\n50\n0.0\n51\n120.0\n")
                elif k == 3:
                    chunk.append(f"0\nLWPOLYLINE\n{common}100\nAcDbPolyline\n90\n4\n70\n1\n43\n0.0\n10\n{x}\n20\n{y}\n"
                                 f"10\n{x + 4}\n20\n{y}\n42\n0.5\n10\n{x + 4}\n20\n{y + 3}\n10\n{x}\n20\n{y + 3}\n")
                else:
                    ref, att, seq = h, h + 1, h + 2
                    h += 3
                    chunk.append(f"0\nINSERT\n5\n{ref:X}\n330\n1F\n100\nAcDbEntity\n8\n0\n100\nAcDbBlockReference\n"
                                 f"66\n1\n2\nDOOR\n10\n{x}\n20\n{y}\n30\n0.0\n0\nATTRIB\n5\n{att:X}\n330\n{ref:X}\n"
                                 f"100\nAcDbEntity\n8\n0\n100\nAcDbText\n10\n{x}\n20\n{y}\n30\n0.0\n40\n0.2\n1\nA{i % 7}\n"
                                 f"100\nAcDbAttribute\n2\nTYPE\n70\n0\n0\nSEQEND\n5\n{seq:X}\n330\n{ref:X}\n8\n0\n")
                i += 1
            out.write("".join(chunk))
            chunk.clear()
        out.write("0\nENDSEC\n0\nEOF\n")
    return path


def text_file_drawing(folder, megabytes):
    """A drawing with one text field that reads a text file of `megabytes` MB."""
    name = f"notes{megabytes}.txt"
    line = "surveyed 12/1/2026, plot 7, \u00e9t\u00e9 \u2014 north side\n"
    with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
        block = line * 10000
        size = 0
        while size < megabytes * 1000000:
            f.write(block)
            size += len(block.encode())
    path = os.path.join(folder, f"text{megabytes}.json")
    with open(path, "w") as f:
        f.write('{"tesslyDrawing": 1, "objects": [{"type": "mtext", "handle": "100", '
                f'"text": "%<\\\\TextField {name}>%"}}]}}')
    return path


_workbooks = {}


def workbook(megabytes):
    """A workbook of five sheets of numbers, about `megabytes` MB as a file,
    written once per run for all the cases that read it. Gives its path, the
    size of the largest sheet's XML and the last row of each sheet."""
    if megabytes in _workbooks:
        return _workbooks[megabytes]
    folder = tempfile.mkdtemp(prefix="tessly-workbooks-")
    atexit.register(shutil.rmtree, folder, True)
    last_rows = []
    import random
    import zipfile
    rng = random.Random(7)
    book = os.path.join(folder, f"book{megabytes}.xlsx")
    largest = 0
    with zipfile.ZipFile(book, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                   '<Default Extension="xml" ContentType="application/xml"/>'
                   '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
                   + "".join(f'<Override PartName="/xl/worksheets/sheet{i}.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
                             for i in range(1, 6)) + "</Types>")
        z.writestr("_rels/.rels",
                   '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>')
        z.writestr("xl/workbook.xml",
                   '<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                   'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>'
                   + "".join(f'<sheet name="S{i}" sheetId="{i}" r:id="rId{i}"/>' for i in range(1, 6)) + "</sheets></workbook>")
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   + "".join(f'<Relationship Id="rId{i}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
                             f'Target="worksheets/sheet{i}.xml"/>' for i in range(1, 6)) + "</Relationships>")
        columns = [chr(ord("A") + c) for c in range(20)]
        for i in range(1, 6):
            parts = ['<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>']
            size = 0
            row = 1
            # Sheets like these compress about 4.4 times: five of them make a file of about the size asked for.
            while size < megabytes * 1000000 * 22 // 25:
                cells = "".join(f'<c r="{col}{row}"><v>{rng.randint(0, 10**6) / 100}</v></c>' for col in columns)
                line = f'<row r="{row}">{cells}</row>'
                parts.append(line)
                size += len(line)
                row += 1
            parts.append("</sheetData></worksheet>")
            last_rows.append(row - 1)
            xml = "".join(parts).encode()
            largest = max(largest, len(xml))
            z.writestr(f"xl/worksheets/sheet{i}.xml", xml)
    _workbooks[megabytes] = (book, largest, last_rows)
    return _workbooks[megabytes]


def workbook_drawing(folder, megabytes, cells):
    """A drawing with one cell field for each (sheet number, cell) of the
    workbook; the cell "last" is the last one of that sheet."""
    book, largest, last_rows = workbook(megabytes)
    objects = []
    for i, (sheet, cell) in enumerate(cells):
        if cell == "last":
            cell = f"T{last_rows[sheet - 1]}"
        objects.append(f'{{"type": "mtext", "handle": "{0x100 + i:X}", '
                       f'"text": "%<\\\\ExcelCell {book}:S{sheet}:{cell}>%"}}')
    path = os.path.join(folder, f"book{megabytes}.json")
    with open(path, "w") as f:
        f.write('{"tesslyDrawing": 1, "objects": [' + ", ".join(objects) + "]}")
    return path, largest


# --- cases --------------------------------------------------------------------

def drawing_case(make, unit):
    def case(tessly, folder, n):
        path = make(folder, n)
        return run([tessly, "eval", path]), n, unit
    return case


def nested_fields(tessly, folder, n):
    # One expression field whose parameters hold n field codes.
    code = "%<\\TsExpr " + "+".join(["%<\\TsExpr 1>%"] * n) + ">%\n"
    return run([tessly, "field", "-"], stdin_text=code), n, "child"


def text_fields(tessly, folder, n):
    # One text holding n expression fields, each listed with its place in it.
    text = "".join(f"%<\\TsExpr {i}>% " for i in range(n))
    path = os.path.join(folder, f"text{n}.json")
    with open(path, "w") as f:
        json.dump({"tesslyDrawing": 1, "objects": [{"type": "mtext", "handle": "20", "text": text}]}, f)
    return run([tessly, "eval", path, "--json"]), n, "field"


def kept_keys(tessly, folder, n):
    # A drawing whose one line has n keys no codec reads, saved: every key
    # is kept, in its place.
    line = {"type": "line", "handle": "20", "start": [0, 0], "end": [1, 0]}
    line.update({f"k{i}": i for i in range(n)})
    path = os.path.join(folder, f"kept{n}.json")
    with open(path, "w") as f:
        json.dump({"tesslyDrawing": 1, "objects": [line]}, f)
    return run([tessly, "eval", path, "--save", "--output", os.path.join(folder, f"kept{n}-saved.json")]), n, "key"


def dxf_read(tessly, folder, megabytes):
    path = dxf_curves(folder, megabytes)
    return run([tessly, "eval", path]), os.path.getsize(path), "byte"


def field_pass(tessly, folder, n):
    path = json_pass(folder, n)
    return run([tessly, "eval", path, "--json"]), n, "field"


def text_file(tessly, folder, megabytes):
    path = text_file_drawing(folder, megabytes)
    return run([tessly, "eval", path]), os.path.getsize(os.path.join(folder, f"notes{megabytes}.txt")), "byte"


def text_file_json(tessly, folder, megabytes):
    path = text_file_drawing(folder, megabytes)
    return run([tessly, "eval", path, "--json"]), os.path.getsize(os.path.join(folder, f"notes{megabytes}.txt")), "byte"


def text_file_field(tessly, folder, megabytes):
    text_file_drawing(folder, megabytes)
    notes = os.path.join(folder, f"notes{megabytes}.txt")
    return run([tessly, "field", f"%<\\TextField {notes}>%"]), os.path.getsize(notes), "byte"

def workbook_case(cells):
    def case(tessly, folder, megabytes):
        path, largest = workbook_drawing(folder, megabytes, cells)
        return run([tessly, "eval", path]), largest, "byte of the largest sheet's XML"
    return case


CASES = {
    "json-blocks": (drawing_case(json_blocks, "block"), [500, 1000, 2000, 4000, 8000]),
    "json-layers": (drawing_case(json_layers, "layer"), [2000, 4000, 8000, 16000, 32000]),
    "dxf-blocks": (drawing_case(dxf_blocks, "block"), [2000, 4000, 8000, 16000, 32000]),
    "nested-fields": (nested_fields, [10000, 20000, 40000, 80000, 160000]),
    "text-fields": (text_fields, [5000, 10000, 20000, 40000, 80000]),
    "kept-keys": (kept_keys, [5000, 10000, 20000, 40000, 80000]),
    "dxf-read": (dxf_read, [12, 25, 50, 100, 200]),
    "field-pass": (field_pass, [18750, 37500, 75000, 150000, 300000]),
    "text-file": (text_file, [12, 25, 50, 100]),
    "text-file-json": (text_file_json, [12, 25, 50, 100]),
    "text-file-field": (text_file_field, [12, 25, 50, 100]),
    # The first cell of a sheet, the first of each sheet, the last of a sheet.
    "workbook": (workbook_case([(3, "A1")]), [6, 13, 26, 52]),
    "workbook-each": (workbook_case([(i, "A1") for i in range(1, 6)]), [6, 13, 26, 52]),
    "workbook-last": (workbook_case([(3, "last")]), [6, 13, 26, 52]),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tessly", default=os.path.join(here, "..", "build", "bin", "tessly"))
    ap.add_argument("--baseline", help="a second tessly to run on the same inputs")
    ap.add_argument("--sizes", help="comma-separated sizes instead of the case's own")
    ap.add_argument("cases", nargs="+", choices=sorted(CASES))
    args = ap.parse_args()
    programs = [("after", args.tessly)] + ([("before", args.baseline)] if args.baseline else [])
    for name in args.cases:
        case, sizes = CASES[name]
        if args.sizes:
            sizes = [int(s) for s in args.sizes.split(",")]
        print(f"\n{name}")
        print(f"{'program':8} {'size':>8} {'items':>11} {'cpu s':>9} {'us/item':>10} {'peak MB':>9} {'peak B/item':>12}")
        folder = tempfile.mkdtemp(prefix="tessly-scaling-")
        try:
            for n in sizes:
                for label, program in programs:
                    (seconds, peak), items, unit = case(program, folder, n)
                    print(f"{label:8} {n:>8} {items:>11} {seconds:>9.3f} {seconds / items * 1e6:>10.4f} "
                          f"{peak / 1e6:>9.1f} {peak / items:>12.2f}  per {unit}", flush=True)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
