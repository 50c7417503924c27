#!/usr/bin/env python3
"""Runs the examples of the documentation and compares what they print.

An example is a fenced block marked ``console``: lines starting with "$ "
are commands, run from the top folder of the sources with "tessly" being
the built command; the lines up to the next command are its standard output,
exactly. A last output line "[exit N]" is the exit status (0 when absent).

usage: doc-test.py TESSLY FILE.md...
"""
import os
import re
import shlex
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def examples(path):
    lines = open(path, encoding="utf-8").read().split("\n")
    inside = False
    current = None
    for number, line in enumerate(lines, 1):
        if line.startswith("```"):
            if inside and current:
                yield current
            current = None
            inside = line.strip() == "```console"
            continue
        if not inside:
            continue
        if line.startswith("$ "):
            if current:
                yield current
            current = {"file": path, "line": number, "command": line[2:], "output": []}
        elif current is not None:
            current["output"].append(line)


def run(tessly, example):
    expected = list(example["output"])
    status = 0
    if expected and re.fullmatch(r"\[exit \d+\]", expected[-1]):
        status = int(expected.pop()[6:-1])
    words = shlex.split(example["command"])
    if words[0] in ("tessly", "build/bin/tessly"):
        words[0] = tessly
    command = " ".join(shlex.quote(w) for w in words)
    result = subprocess.run(command, shell=True, cwd=ROOT, capture_output=True, text=True)
    want = "\n".join(expected) + ("\n" if expected else "")
    problems = []
    if result.stdout != want:
        problems.append("printed:\n" + result.stdout + "expected:\n" + want)
    if result.returncode != status:
        problems.append("exit status %d, expected %d; stderr: %s" % (result.returncode, status, result.stderr))
    return problems


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    tessly, files = os.path.abspath(sys.argv[1]), sys.argv[2:]
    count = failures = 0
    for path in files:
        for example in examples(os.path.join(ROOT, path)):
            count += 1
            for problem in run(tessly, example):
                failures += 1
                print("%s:%d: $ %s\n%s" % (path, example["line"], example["command"], problem))
    print("%d examples, %d failed" % (count, failures))
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
