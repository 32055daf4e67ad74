#!/usr/bin/env python3
"""Fails when a source file includes a header from a floor above its own.

Floors, lowest first; a file may include its own folder and any folder of a lower floor.
"""
import pathlib
import re
import sys

FLOORS = [
    ["base"],
    ["formats"],
    ["imaging"],
    ["saving"],
    ["controls"],
    ["shell"],
    ["app"],
    ["platform/linux"],
    ["platform/qt", "cli"],
]
RANK = {folder: rank for rank, folders in enumerate(FLOORS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path: str) -> str:
    parts = path.split("/")
    return "/".join(parts[:2]) if parts[0] == "platform" else parts[0]


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    wrong = []
    for f in sorted(src.rglob("*")):
        if f.suffix not in (".h", ".cpp", ".inc") or not f.is_file():
            continue
        own = folder_of(f.relative_to(src).as_posix())
        if own not in RANK:
            wrong.append(f"{f}: folder '{own}' has no floor")
            continue
        for inc in INCLUDE.findall(f.read_text(errors="replace")):
            if "/" not in inc:
                continue  # same folder
            target = folder_of(inc)
            if target not in RANK:
                wrong.append(f"{f}: includes {inc}, which is on no floor")
            elif target != own and RANK[target] >= RANK[own]:
                wrong.append(f"{f}: includes {inc} (floor of {target} is not below {own})")
    for line in wrong:
        print(line)
    if wrong:
        print(f"{len(wrong)} include(s) go the wrong way; floors, lowest first: "
              + " < ".join("/".join(f) for f in FLOORS))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
