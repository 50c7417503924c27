#!/usr/bin/env python3
"""The architecture as a test: every quoted #include in the tree must follow
the layering the README draws.

  module folders  app/ measure/ expr/ blockcount/ tablecell/ external/ util/
                  include host/, themselves and the module folders listed
                  below, plus the plug-in header set plugin/;
  host/           includes only host/;
  plugin/         includes nothing of ours;
  replacement_host/ command/ sibling_library/ spreadsheet_app/
                  never include a module folder.

And the module never reaches the replacement host's bookkeeping: no module
file names HostAccess (the one access type to the host classes' private
members) or calls one of those members.

Usage: check-layering.py [ROOT]   (exit 1 and one line per fault)
"""
import os
import re
import sys

MODULE = {"app", "measure", "expr", "blockcount", "tablecell", "external", "util"}

# What each folder may include besides the standard and system libraries.
ALLOWED = {
    "util": {"util"},
    "app": {"app", "host", "plugin", "util", "measure", "expr", "blockcount", "tablecell", "external"},
    "measure": {"measure", "app", "host", "util"},
    "expr": {"expr", "app", "host", "util", "tablecell"},
    "blockcount": {"blockcount", "app", "host", "util"},
    "tablecell": {"tablecell", "app", "host", "util"},
    "external": {"external", "app", "host", "util"},
    "host": {"host"},
    "plugin": set(),
}
# Folders of the platform side: anything of theirs, never the module.
PLATFORM = {"replacement_host", "command", "sibling_library", "spreadsheet_app"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ACCESS = re.compile(r"\bHostAccess\b")
# The host classes' private members: the host* bookkeeping and the lookups
# kept for the replacement host and the tests.
PRIVATE_CALL = re.compile(r"(?:\b|\.|->)(host[A-Z]\w*|objectAt|openObjectCount|allData|passRecord)\s*\(")


def private_use(line):
    code = line.split("//", 1)[0]
    if ACCESS.search(code):
        return "use HostAccess, the replacement host's access type"
    m = PRIVATE_CALL.search(code)
    if m:
        return f"call the host-private {m.group(1)}"
    return None


def faults(root):
    for top in sorted(set(ALLOWED) | PLATFORM):
        base = os.path.join(root, top)
        for folder, _, files in os.walk(base):
            for name in sorted(files):
                if not name.endswith((".h", ".hpp", ".cpp", ".cc")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        rel = os.path.relpath(path, root)
                        m = INCLUDE.match(line)
                        if not m:
                            what = private_use(line) if top in MODULE else None
                            if what:
                                yield f"{rel}:{number}: {top}/ must not {what}"
                            continue
                        target = m.group(1)
                        first = target.split("/", 1)[0] if "/" in target else top
                        if top in PLATFORM:
                            if first in MODULE:
                                yield f"{rel}:{number}: {top}/ must not include the module's {target}"
                        elif first not in ALLOWED[top] and first != top:
                            yield f"{rel}:{number}: {top}/ must not include {target}"


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = list(faults(root))
    for line in found:
        print(line)
    print(f"layering: {len(found)} fault(s)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
