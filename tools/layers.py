#!/usr/bin/env python3
"""Checks the product's layering by its #include lines: every folder may
include only itself and the layers below it.

    lib  <-  data (the ROM and program images)
    lib  <-  hardwarecommunication  <-  drivers  <-  filesystem
    c64 (the machine) beside filesystem: lib, data and filesystem only
    host  <-  kernel (start-up) on top of everything

Exits 1 and names each include that crosses a layer the wrong way."""

import os
import re
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))

BELOW = {
    "lib": set(),
    "data": {"lib"},
    "hardwarecommunication": {"lib"},
    "drivers": {"lib", "hardwarecommunication"},
    "filesystem": {"lib", "hardwarecommunication", "drivers"},
    "c64": {"lib", "data", "filesystem"},
    "host": {"lib", "data", "hardwarecommunication", "drivers", "filesystem", "c64"},
    "kernel": {"lib", "data", "hardwarecommunication", "drivers", "filesystem", "c64", "host"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".cpp", ".h", ".inc", ".s", ".S")


def violations(root=ROOT):
    found = []
    for layer, allowed in sorted(BELOW.items()):
        top = os.path.join(root, layer)
        for folder, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(folder, name)
                with open(path, errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1).split("/")[0]
                        if target in BELOW and target != layer and target not in allowed:
                            found.append("%s:%d: %s includes %s" % (os.path.relpath(path, root), number,
                                                                   layer, m.group(1)))
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else ROOT
    bad = violations(root)
    for line in bad:
        print(line)
    if bad:
        print("%d include(s) cross a layer the wrong way" % len(bad))
        return 1
    print("layers: every include goes downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main())
