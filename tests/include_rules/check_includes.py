#!/usr/bin/env python3
"""Checks every #include of the program's own folders against the table in docs/architecture.md.

Usage: check_includes.py SOURCE_ROOT [--add FILE=LINE ...]

The table's rows name a folder, the project folders it may include, and the kinds of system header it
may include. A file belongs to the row of the longest folder that holds it; tests/ and bench/ are not
checked (they may include anything). It fails on an include the table does not allow, on a system
header of no known kind, and on two folders that include each other, even where the table allows both.
--add pretends FILE (relative to SOURCE_ROOT) holds LINE too, so that a test can show a stray include
failing without touching the tree.
"""
import os
import re
import sys

TABLE_HEADING = "## What each folder may include"
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = (".h", ".cpp", ".c")

POSIX_HEADERS = {"unistd.h", "poll.h", "fcntl.h", "syslog.h", "langinfo.h", "locale.h", "signal.h", "errno.h",
                 "pwd.h", "dirent.h", "time.h"}


def header_kind(name, quoted):
    """The kind of a header that is not one of the project's own files."""
    if quoted:
        # Code that wayland-scanner makes from the protocol descriptions.
        return "libwayland-client" if name.endswith("-protocol.h") else None
    if re.match(r"^Q[A-Za-z]", name):
        return "Qt"
    if re.match(r"^[a-z_]+$", name):
        return "standard library"
    if name in POSIX_HEADERS or name.startswith(("sys/", "linux/", "netinet/", "arpa/")):
        return "POSIX"
    if name.startswith("xcb/"):
        return "xcb"
    if name.startswith("wayland-"):
        return "libwayland-client"
    if name.endswith(".h") and "/" not in name:
        return "Win32"  # the Windows SDK's headers: windows.h, shellapi.h, wincodec.h...
    return None


def read_table(root):
    """{folder: (allowed project folders, allowed header kinds)} from the architecture document."""
    text = open(os.path.join(root, "docs", "architecture.md"), encoding="utf-8").read()
    if TABLE_HEADING not in text:
        sys.exit(f"docs/architecture.md has no section '{TABLE_HEADING}'")
    section = text.split(TABLE_HEADING, 1)[1].split("\n## ", 1)[0]
    rules = {}
    for line in section.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) != 3 or not cells[0].startswith("`"):
            continue
        folders = re.findall(r"`([^`]+)/`", cells[0])
        allowed = set(re.findall(r"`([^`]+)/`", cells[1]))
        kinds = {kind.strip() for kind in cells[2].split(",") if kind.strip()}
        for folder in folders:
            rules[folder] = (allowed, kinds)
    if not rules:
        sys.exit("the include table in docs/architecture.md has no rows")
    return rules


def folder_of(path, rules):
    best = None
    for folder in rules:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def sources(root, rules):
    for folder in sorted(rules):
        base = os.path.join(root, folder)
        for directory, _, files in os.walk(base):
            relative = os.path.relpath(directory, root)
            if folder_of(relative, rules) != folder:
                continue  # a subfolder with a row of its own is checked as that row
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.join(relative, name).replace(os.sep, "/")


def includes(root, path, added):
    lines = []
    full = os.path.join(root, path)
    if os.path.exists(full):
        lines = open(full, encoding="utf-8", errors="replace").read().splitlines()
    lines += added.get(path, [])
    for number, line in enumerate(lines, 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1) == '"', match.group(2)


def main(argv):
    if not argv:
        sys.exit(__doc__)
    root = argv[0]
    added = {}
    rest = argv[1:]
    while rest:
        if rest[0] != "--add" or len(rest) < 2 or "=" not in rest[1]:
            sys.exit(__doc__)
        path, line = rest[1].split("=", 1)
        added.setdefault(path, []).append(line)
        rest = rest[2:]

    rules = read_table(root)
    problems = []
    edges = {}  # folder -> {included folder: first place seen}
    paths = set(sources(root, rules)) | {path for path in added if folder_of(path, rules)}
    for path in sorted(paths):
        folder = folder_of(path, rules)
        allowed, kinds = rules[folder]
        for number, quoted, name in includes(root, path, added):
            spelled = f'"{name}"' if quoted else f"<{name}>"
            place = f"{path}:{number}: #include {spelled}"
            target = folder_of(name, rules) if quoted and "/" in name else None
            if target is None and quoted and "/" not in name:
                if header_kind(name, quoted) in kinds:
                    continue
                if os.path.exists(os.path.join(root, os.path.dirname(path), name)) or name.endswith(".h"):
                    continue  # the folder's own file, or one the build generates beside it
            if target is not None:
                if target == folder:
                    continue
                edges.setdefault(folder, {}).setdefault(target, place)
                if target not in allowed:
                    problems.append(f"{place}: {folder}/ may not include {target}/")
                continue
            kind = header_kind(name, quoted)
            if kind is None:
                problems.append(f"{place}: a header of no known kind; the table in docs/architecture.md "
                                f"names the kinds each folder may include")
            elif kind not in kinds:
                problems.append(f"{place}: {folder}/ may not include {kind} headers")

    for folder, targets in edges.items():
        for target, place in targets.items():
            back = edges.get(target, {}).get(folder)
            if back and folder < target:
                problems.append(f"{folder}/ and {target}/ include each other:\n    {place}\n    {back}")

    for problem in problems:
        print(problem)
    checked = len(paths)
    if problems:
        print(f"include rules: {len(problems)} problem(s) in {checked} files")
        return 1
    print(f"include rules: {checked} files follow the table in docs/architecture.md")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
