#!/usr/bin/env python3
"""Fails when a character of a Designer form or a translation has no font.

Qt finds its glyphs through fontconfig, falling back from the form's family
to any installed font that has the character, so a character is drawn when
at least one font fontconfig knows covers it; otherwise it shows as a
replacement box. Usage: fontcoverage.py FILE_OR_FOLDER...
"""
import pathlib
import subprocess
import sys
import xml.etree.ElementTree as ET


def texts(path):
    """Every text and attribute value of an XML file, entities decoded."""
    for element in ET.parse(path).iter():
        yield element.text or ""
        yield from element.attrib.values()


def covered_code_points():
    out = subprocess.run(["fc-list", "--format", "%{charset}\n"], check=True,
                         capture_output=True, text=True).stdout
    ranges = []
    for line in out.splitlines():
        for item in line.split():
            first, _, last = item.partition("-")
            ranges.append((int(first, 16), int(last or first, 16)))
    return ranges


def main(args):
    files = []
    for arg in args:
        p = pathlib.Path(arg)
        files += sorted(p.rglob("*.ui")) + sorted(p.rglob("*.ts")) if p.is_dir() else [p]
    if not files:
        print("no .ui or .ts file found in", args)
        return 1
    wanted = {}
    for f in files:
        for text in texts(f):
            for ch in text:
                if ord(ch) > 0x7e:
                    wanted.setdefault(ch, f)
    ranges = covered_code_points()
    missing = [(ch, f) for ch, f in sorted(wanted.items())
               if not any(lo <= ord(ch) <= hi for lo, hi in ranges)]
    for ch, f in missing:
        print(f"no font has U+{ord(ch):04X} {ch!r} (first seen in {f})")
    print(f"{len(files)} files, {len(wanted)} non-ASCII characters, {len(missing)} without a font")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
