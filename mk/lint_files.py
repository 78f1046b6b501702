#!/usr/bin/env python3
"""Writes the part of a compile database that `make lint` checks.

usage: lint_files.py DB OUT_DIR "DIRS" "EXCLUDED"
OUT_DIR gets compile_commands.json (the selected entries) and files.txt.
"""
import json
import os
import sys


def main() -> int:
    db_path, out_dir, dirs, excluded = sys.argv[1:5]
    root = os.getcwd()
    wanted = [d.rstrip("/") + "/" for d in dirs.split()]
    skipped = [d.rstrip("/") + "/" for d in excluded.split()]
    keep = []
    for entry in json.load(open(db_path)):
        path = os.path.relpath(os.path.join(entry["directory"], entry["file"]), root)
        if any(path.startswith(d) for d in wanted) and not any(path.startswith(d) for d in skipped):
            keep.append(entry)
    if not keep:
        print("lint: no files selected", file=sys.stderr)
        return 1
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "compile_commands.json"), "w") as f:
        json.dump(keep, f, indent=1)
    with open(os.path.join(out_dir, "files.txt"), "w") as f:
        f.write("".join(e["file"] + "\n" for e in keep))
    return 0


if __name__ == "__main__":
    sys.exit(main())
