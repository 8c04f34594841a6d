#!/usr/bin/env python3
"""Writes an update package for the tests: makepackage.py OUT.zip SPEC.json.

SPEC is a list of entries, each {"name": ..., and one of "text" (file
contents), "random" (that many random bytes), "dir" (a folder entry) or
"link" (a symbolic link to that target)}; "mode" sets the Unix permission
bits of a file (default 0o644).
"""
import json
import os
import sys
import zipfile


def main():
    out, spec = sys.argv[1], json.load(open(sys.argv[2]))
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for e in spec:
            info = zipfile.ZipInfo(e["name"])
            info.create_system = 3
            if "dir" in e:
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
            elif "link" in e:
                info.external_attr = 0o120777 << 16
                z.writestr(info, e["link"].encode())
            else:
                info.external_attr = (0o100000 | e.get("mode", 0o644)) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                data = os.urandom(e["random"]) if "random" in e else e.get("text", "").encode()
                z.writestr(info, data)


if __name__ == "__main__":
    main()
