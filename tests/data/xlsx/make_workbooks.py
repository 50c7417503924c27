#!/usr/bin/python3
"""Writes the small workbooks the spreadsheet stand-in is tested on.

Run from anywhere: ./make_workbooks.py writes next to itself. openpyxl does not
calculate formulas nor write rich text, so those cells are patched into the
saved XML afterwards, with the values the spreadsheet application would cache.

cells.xlsx, sheet "Data": column B holds a value, column C the text the
application displays for it, so the tests compare B with C row by row.
display.xlsx, sheet "Übersicht": the same layout for the finer points of
the displayed text; sheet "Other" holds what a calculating application must
compute and a name of the workbook that points back to the first sheet.
cells.ods and cells.xls are cells.xlsx saved by LibreOffice, which only that
application opens; cells.csv is written here.
"""
import datetime
import os
import re
import shutil
import subprocess
import tempfile
import zipfile

import openpyxl
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from openpyxl.workbook.defined_name import DefinedName

HERE = os.path.dirname(os.path.abspath(__file__))

# (value, number format or None, displayed text)
DATA_ROWS = [
    (1250, "$#,##0.00", "$1,250.00"),
    (0.15, "0%", "15%"),
    (datetime.datetime(2026, 12, 8), "m/d/yyyy", "12/8/2026"),
    (datetime.datetime(2026, 12, 8, 18, 30), "m/d/yyyy h:mm", "12/8/2026 18:30"),
    (1234567.891, "#,##0.00", "1,234,567.89"),
    (123456789012, None, "1.23457E+11"),
    (0.5, "# ?/?", " 1/2"),
    (-1234, "#,##0_);[Red](#,##0)", "(1,234)"),
    (True, None, "TRUE"),
    ("plain text", None, "plain text"),
    (datetime.datetime(2026, 12, 8), "mm-dd-yy", "12/8/2026"),  # built-in id 14
    (0.1234, "0.00%", "12.34%"),  # built-in id 10
    (3.14159, "0.00E+00", "3.14E+00"),
    (1.5, "[h]:mm:ss", "36:00:00"),
    ("abc", '"<"@">"', "<abc>"),
    ("=B2*2", "$#,##0.00", "$2,500.00"),  # row 17, cached value patched in
    ("=1/0", None, "#DIV/0!"),
    ('=CONCATENATE("a","b")', None, "ab"),
    ("=1=1", None, "TRUE"),
    ("RICH_INLINE", None, "Rich text"),
    ("SHARED_RICH", None, "Bold part"),
    (None, None, None),  # row 23: empty
    (0.000011574, "hh:mm:ss", "00:00:01"),
    (46364, "dddd, mmmm d, yyyy", "Tuesday, December 8, 2026"),
    ("#N/A", None, "#N/A"),
    (12.5, '0.0 "kg"', "12.5 kg"),
    (-0.5, "0.00;[Red]-0.00;\"zero\"", "-0.50"),
    (0, "0.00;[Red]-0.00;\"zero\"", "zero"),
    ("SHARED_PLAIN", None, "caf\u00e9 \u2013 A\u00b2"),  # row 30
]

# Cells whose XML is replaced after saving: (type attribute, inner XML).
PATCHES = {
    "B17": ("", "<f>B2*2</f><v>2500</v>"),
    "B18": ("e", "<f>1/0</f><v>#DIV/0!</v>"),
    "B19": ("str", '<f>CONCATENATE("a","b")</f><v>ab</v>'),
    "B20": ("b", "<f>1=1</f><v>1</v>"),
    "B21": ("inlineStr", '<is><r><t xml:space="preserve">Rich </t></r><r><rPr><b/></rPr><t>text</t></r>'
                         "<rPh sb=\"0\" eb=\"1\"><t>phonetic</t></rPh></is>"),
    "B22": ("s", "<v>0</v>"),
    "B30": ("s", "<v>1</v>"),
}
# openpyxl writes every string inline; the shared string table is added here.
SHARED_STRINGS = ('<?xml version="1.0" encoding="UTF-8"?>'
                  '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">'
                  '<si><r><rPr><b/></rPr><t>Bold</t></r><r><t xml:space="preserve"> part</t></r>'
                  '<rPh sb="0" eb="1"><t>x</t></rPh></si>'
                  '<si><t>caf\u00e9 _x2013_ A\u00b2</t></si></sst>')


def patch_cell(xml, ref, cell_type, inner):
    pattern = re.compile(r'<c r="%s"([^>]*?)(/>|>.*?</c>)' % ref, re.S)
    match = pattern.search(xml)
    assert match, ref
    attrs = re.sub(r'\s+t="[^"]*"', "", match.group(1))
    type_attr = ' t="%s"' % cell_type if cell_type else ""
    return xml[:match.start()] + '<c r="%s"%s%s>%s</c>' % (ref, attrs, type_attr, inner) + xml[match.end():]


def rewrite(path, edits, added=None):
    """Applies edits {part name: function(text) -> text} to a saved package
    and adds the parts in added {part name: text}."""
    with zipfile.ZipFile(path) as zin:
        items = [(i, zin.read(i.filename)) for i in zin.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zout:
        for info, data in items:
            if info.filename in edits:
                data = edits[info.filename](data.decode("utf-8")).encode("utf-8")
            zout.writestr(info, data)
        for name, text in (added or {}).items():
            zout.writestr(name, text.encode("utf-8"))


def make_cells():
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    data["B1"], data["C1"] = "value", "expected"
    for row, (value, fmt, expected) in enumerate(DATA_ROWS, start=2):
        if value is not None:
            cell = data.cell(row=row, column=2, value=value)
            if fmt:
                cell.number_format = fmt
        if expected is not None:
            data.cell(row=row, column=3, value=expected)
    second = wb.create_sheet("Second Sheet")
    second["A1"] = "second sheet"
    second["B2"] = 42
    second["D1"] = "x"
    second["D2"] = "x"
    chart = wb.create_chartsheet("Chart")  # not a worksheet: not counted
    del chart

    wb.defined_names.append(DefinedName("Price", attr_text="Data!$B$2"))
    wb.defined_names.append(DefinedName("Local", attr_text="Data!$B$3"))
    wb.defined_names.append(DefinedName("Local", localSheetId=1, attr_text="'Second Sheet'!$B$2"))
    wb.defined_names.append(DefinedName("Mixed", attr_text="Data!$B$2:$B$3"))
    wb.defined_names.append(DefinedName("Same", attr_text="'Second Sheet'!$D$1:$D$2"))
    wb.defined_names.append(DefinedName("Constant", attr_text="42"))
    path = os.path.join(HERE, "cells.xlsx")
    wb.save(path)

    def sheet(xml):
        for ref, (cell_type, inner) in PATCHES.items():
            xml = patch_cell(xml, ref, cell_type, inner)
        return xml

    def rels(xml):
        return xml.replace("</Relationships>", '<Relationship Type="http://schemas.openxmlformats.org/officeDocument/'
                           '2006/relationships/sharedStrings" Target="sharedStrings.xml" Id="rId99"/></Relationships>')

    def types(xml):
        return xml.replace("</Types>", '<Override PartName="/xl/sharedStrings.xml" ContentType="application/'
                           'vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')

    rewrite(path, {"xl/worksheets/sheet1.xml": sheet, "xl/_rels/workbook.xml.rels": rels, "[Content_Types].xml": types},
            {"xl/sharedStrings.xml": SHARED_STRINGS})
    return path


def make_1904():
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws.title = "Mac"
    ws["A1"] = datetime.datetime(2026, 12, 8)
    ws["A1"].number_format = "m/d/yyyy"
    ws["A2"] = 0
    ws["A2"].number_format = "yyyy-mm-dd"
    wb.save(os.path.join(HERE, "dates1904.xlsx"))


# (value, number format or None, displayed text) for display.xlsx
DISPLAY_ROWS = [
    (45291.999995370374, "d-mmm-yy", "31-Dec-23"),  # 2023-12-31 23:59:59.6
    (45291.999995370374, "m/d/yyyy", "12/31/2023"),
    (45291.999995370374, "dddd, mmmm d, yyyy", "Sunday, December 31, 2023"),
    (45291.999995370374, "m/d/yyyy h:mm:ss", "1/1/2024 0:00:00"),
    (45291.999995370374, "h:mm:ss.0", "23:59:59.6"),
    (0.604166666666667, "h:mm am/pm", "2:30 PM"),
    (0, "h:mm am/pm", "12:00 AM"),
    (0.604166666666667, "h:mm a/p", "2:30 p"),
    (0.604166666666667, "h:mm A/P", "2:30 P"),
    (-1, '[<0]"neg";[>0]"pos";"zero"', "neg"),
    (1, '[<0]"neg";[>0]"pos";"zero"', "pos"),
    (0, '[<0]"neg";[>0]"pos";"zero"', "zero"),
    (" ", None, " "),
    (-0.001, "0", "-0"),
    (-0.001, "0.00", "-0.00"),
    (1250, "#,##0.00", "1,250.00"),
]


def make_display():
    wb = openpyxl.Workbook()
    first = wb.active
    first.title = "\u00dcbersicht"
    first["B1"], first["C1"] = "value", "expected"
    for row, (value, fmt, expected) in enumerate(DISPLAY_ROWS, start=2):
        cell = first.cell(row=row, column=2, value=value)
        if fmt:
            cell.number_format = fmt
        first.cell(row=row, column=3, value=expected)
    other = wb.create_sheet("Other")
    other["A1"], other["A2"] = 6, 7
    other["B7"] = "=A1*A2+1"  # saved without a value, as scripts write them
    other["B7"].number_format = "0.00"
    other["C7"] = "43.00"
    wb.defined_names.append(DefinedName("Elsewhere", attr_text="'\u00dcbersicht'!$B$2"))
    wb.save(os.path.join(HERE, "display.xlsx"))


def main():
    make_display()
    cells = make_cells()
    make_1904()
    with open(cells, "rb") as f:
        whole = f.read()
    with open(os.path.join(HERE, "truncated.xlsx"), "wb") as f:
        f.write(whole[: len(whole) // 2])
    # A broken second sheet: reading the first must not touch it.
    bad = os.path.join(HERE, "badsheet.xlsx")
    with open(bad, "wb") as f:
        f.write(whole)
    rewrite(bad, {"xl/worksheets/sheet2.xml": lambda xml: xml[: len(xml) // 2]})
    # Password-protected workbooks are OLE compound files, not zip packages.
    with open(os.path.join(HERE, "encrypted.xlsx"), "wb") as f:
        f.write(bytes.fromhex("D0CF11E0A1B11AE1") + bytes(504))
    make_other_formats(cells)


def make_other_formats(cells):
    with open(os.path.join(HERE, "cells.csv"), "wb") as f:
        f.write('name,amount,note\r\nWidget,1250.5,plain\r\n"Quoted, name",42,"caf\u00e9"\r\n'.encode("utf-8"))
    soffice = shutil.which("soffice")
    if not soffice:
        print("soffice not found: cells.ods and cells.xls left as they are")
        return
    with tempfile.TemporaryDirectory() as profile:
        for target in ("ods", 'xls:"MS Excel 97"'):
            subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", target,
                            "--outdir", HERE, cells], check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
