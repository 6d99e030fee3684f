#!/usr/bin/env python3
"""Holds docs/layers.md's table of floors against src/CMakeLists.txt: every component the build
declares has a row, and each row names exactly the components the build links it with (besides
the kit, the shared utilities and the interface layer, which every floor may use). Exits 1 and
names each difference, so the document cannot drift from the build unseen."""
import re
import sys
from pathlib import Path

root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
build = (root / "src" / "CMakeLists.txt").read_text()
document = (root / "docs" / "layers.md").read_text()

links = {}
for match in re.finditer(r"^quorvel_component\((\w+)(.*?)\)\n", build, re.S | re.M):
    links[match.group(1)] = set(re.findall(r"\b[A-Z]\w+\b", match.group(2)))
components = set(links)
taken_for_granted = {"Kit", "SharedUtilities", "InterfaceLib"}

faults = []
documented = set()
for line in document.splitlines():
    row = re.match(r"\| \d+ \| (.*?) \| .*? \| (.*?) \|$", line)
    if not row:
        continue
    uses = {name.strip() for name in row.group(2).split(",")} - {"-"}
    for name in re.findall(r"`(\w+)`", row.group(1)):
        documented.add(name)
        if name not in links:
            faults.append(f"{name}: a row of the document, but no component of the build")
            continue
        if "every floor" in uses:
            continue
        built = (links[name] & components) - taken_for_granted - {name}
        if built != uses:
            only_built = ", ".join(sorted(built - uses)) or "-"
            only_written = ", ".join(sorted(uses - built)) or "-"
            faults.append(f"{name}: linked but not written: {only_built}; written but not linked: {only_written}")
for name in sorted(components - documented):
    faults.append(f"{name}: a component of the build without a row in the document")

for fault in faults:
    print(f"docs/layers.md: {fault}")
print(f"{len(documented)} components checked, {len(faults)} differences")
sys.exit(1 if faults else 0)
