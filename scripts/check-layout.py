#!/usr/bin/env python3
"""Keeps the tree's layers as the README draws them: every quoted #include of a
library or a program must point at its own folder or at a folder it may use, and
portable code never includes a Windows-only header.

    check-layout.py [ROOT]            fails (exit 1) naming each include that crosses a line
    check-layout.py --counts [ROOT]   also prints how many includes go from folder to folder

Headers are found as they are written: a path from the root ("base/utf8.h"), a
path beside the including file, or a bare name, which names the one header of that
name in the tree (names are unique; two headers of one name are an error too).
Tests, benchmarks and fuzz targets may include anything and are not checked.
"""
import os
import re
import sys
from collections import Counter, defaultdict

# Folder -> the folders its code may include from (besides itself). What a folder may
# use, it may use through the folders below it as well.
LAYERS = {
    "base": [],
    "sfx_format": ["base"],
    "files": ["sfx_format"],
    "inf": ["files"],
    "registry": ["inf"],
    "signatures": ["inf"],
    "drivers": ["registry", "signatures"],
    "zipcomp": ["sfx_format"],
    "backup": ["drivers", "zipcomp"],
    "grid": ["base"],
    # The programs.
    "zipcomp/qzip": ["zipcomp"],
    "sfx": ["sfx_format"],
    "restore": ["backup", "grid"],
    "app": ["backup", "grid", "zipcomp/qzip"],
    "cli": ["restore", "backup"],
}
UNCHECKED = ("tests", "bench", "fuzz")
SOURCE = re.compile(r"\.(h|c|cpp|in)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def may_use(folder):
    seen, todo = set(), [folder]
    while todo:
        for below in LAYERS[todo.pop()]:
            if below not in seen:
                seen.add(below)
                todo.append(below)
    return seen


def folder_of(path):
    """The layer a file belongs to: the longest folder of LAYERS it lies in."""
    best = None
    for folder in LAYERS:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def windows_only(path):
    """Code built for Windows only: a win32/ folder, a *_win file, the zip DLL."""
    name = os.path.basename(path)
    return ("/win32/" in "/" + path or path.startswith("zipcomp/qzip/")
            or re.search(r"_win\.(h|cpp)$", name) is not None)


def windows_lines(body):
    """Numbers of the lines inside #ifdef _WIN32 (up to its #else or #endif)."""
    inside, stack = set(), []
    for number, line in enumerate(body.splitlines(), 1):
        directive = line.strip()
        if re.match(r"#\s*if", directive):
            stack.append(bool(re.match(r"#\s*(ifdef\s+_WIN32|if\s+defined\s*\(?\s*_WIN32\b)", directive)))
        elif re.match(r"#\s*(else|elif)", directive) and stack:
            stack[-1] = False
        elif re.match(r"#\s*endif", directive) and stack:
            stack.pop()
        elif any(stack):
            inside.add(number)
    return inside


def main(argv):
    counts = "--counts" in argv
    args = [a for a in argv if a != "--counts"]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), ".."))
    files = []
    for top in sorted({f.split("/")[0] for f in LAYERS} | set(UNCHECKED)):
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames[:] = sorted(d for d in dirnames if not d.startswith("."))
            for name in filenames:
                files.append(os.path.relpath(os.path.join(dirpath, name), root).replace(os.sep, "/"))
    present = set(files)
    by_name = defaultdict(list)
    for f in files:
        if f.endswith(".h"):
            by_name[os.path.basename(f)].append(f)

    problems = []
    for name, places in sorted(by_name.items()):
        if len(places) > 1:
            problems.append(f"two headers named {name}: {', '.join(places)} (a bare #include cannot tell them apart)")

    between = Counter()
    for f in files:
        if not SOURCE.search(f):
            continue
        source = folder_of(f)
        if source is None:
            continue
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            body = text.read()
        windows = windows_lines(body)
        for number, line in enumerate(body.splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            written = m.group(1)
            beside = os.path.normpath(os.path.join(os.path.dirname(f), written)).replace(os.sep, "/")
            if written in present:
                target = written
            elif beside in present:
                target = beside
            elif "/" not in written and len(by_name.get(written, [])) == 1:
                target = by_name[written][0]
            else:
                continue  # a generated or third-party header
            into = folder_of(target)
            if into is None:
                if target.split("/")[0] in UNCHECKED and f.split("/")[0] not in UNCHECKED:
                    problems.append(f"{f}:{number}: includes {target}, which is test code")
                continue
            if f.split("/")[0] in UNCHECKED:
                continue
            between[(source, into)] += 1
            if into != source and into not in may_use(source):
                problems.append(f"{f}:{number}: includes {target}: {source}/ may not use {into}/")
            elif windows_only(target) and not windows_only(f) and number not in windows:
                problems.append(f"{f}:{number}: portable code includes the Windows-only {target}")

    if counts:
        for (a, b), n in sorted(between.items()):
            if a != b:
                print(f"{n:4d}  {a} -> {b}")
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) cross the layout's lines (scripts/check-layout.py)")
        return 1
    print(f"layout: {sum(between.values())} includes checked, none crosses a line")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
