#!/usr/bin/env python3
"""What brevimeter-bench adds to a call: the figures it shows for calls of a
known length, against that length. Prints a Markdown table.

usage: sweep_fidelity.py BREVIMETER_BENCH SPIN_LIBRARY SCRATCH_DIR [--quick]
"""
import atexit, csv, io, os, shutil, statistics, subprocess, sys, tempfile

program, spin, scratch = sys.argv[1:4]
quick = "--quick" in sys.argv
lengths = [1] if quick else [1, 10, 100]
runs = 3 if quick else 21
os.makedirs(scratch, exist_ok=True)
# A folder of its own, so that runs side by side (ctest -j) never share a file.
scratch = tempfile.mkdtemp(dir=scratch)
atexit.register(shutil.rmtree, scratch, True)
files = []
for milliseconds in lengths:
    files.append(os.path.join(scratch, f"spin:{milliseconds}"))
    with open(files[-1], "wb") as f:
        f.write(b"a small file to copy\n" * 100)
output = subprocess.run([program, "--runs", str(runs), "--format", "csv", "--library", spin, *files],
                        check=True, capture_output=True, text=True).stdout
print(f"| call (ms) | runs | shown, min (s) | shown, median (s) | shown − call, min (µs) | shown − call, median (µs) |")
print("|---:|---:|---:|---:|---:|---:|")
for row, milliseconds in zip(csv.DictReader(io.StringIO(output)), lengths):
    low, middle = float(row["compress_s_min"]), float(row["compress_s_median"])
    print(f"| {milliseconds} | {runs} | {low:.6f} | {middle:.6f} | {(low - milliseconds / 1000) * 1e6:.0f} | "
          f"{(middle - milliseconds / 1000) * 1e6:.0f} |")
