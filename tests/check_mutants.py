#!/usr/bin/env python3
"""tests/mutants.txt stays true: each fault's text stands exactly once in its
file, so that every line still makes the fault it names.
    check_mutants.py SOURCE_DIR"""
import os, sys

top = sys.argv[1]
wrong = []
for number, line in enumerate(open(os.path.join(top, "tests", "mutants.txt"), encoding="utf-8"), 1):
    if not line.strip() or line.lstrip().startswith("#"):
        continue
    parts = [p.strip() for p in line.rstrip("\n").split(" | ")]
    if len(parts) != 3:
        wrong.append(f"line {number}: not 'FILE | TEXT | REPLACEMENT'")
        continue
    path, text, _ = parts
    try:
        found = open(os.path.join(top, path), encoding="utf-8").read().count(text)
    except OSError as error:
        wrong.append(f"line {number}: {path}: {error.strerror}")
        continue
    if found != 1:
        wrong.append(f"line {number}: {path} holds its text {found} times, not once: {text}")
print("\n".join(wrong) or "every fault in tests/mutants.txt applies")
sys.exit(1 if wrong else 0)
