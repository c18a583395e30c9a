#!/usr/bin/env python3
"""The default library against the zstd command on a real disk: into new files
and over existing ones, compress and decompress, each as a whole process.
Prints a Markdown table of medians with the range of the runs.

usage: on_disk.py CORPUS_DIR SCRATCH_DIR NAME=NORVIK_CLI... [--runs N] [--quick]

Every named norvik_cli is measured beside `zstd -3 -T0`, run for run in turn.
Before each timed run the page cache is written back (`sync`), the same for
every tool, so that no run pays for an earlier one's dirty pages.
"""
import atexit, os, shutil, statistics, subprocess, sys, tempfile, time

args = [a for a in sys.argv[1:] if not a.startswith("--")]
corpus, scratch, ours = args[0], args[1], dict(a.split("=", 1) for a in args[2:])
quick = "--quick" in sys.argv
runs = 1 if quick else int(next((a.split("=")[1] for a in sys.argv if a.startswith("--runs=")), 9))
os.makedirs(scratch, exist_ok=True)
# A folder of its own, so that runs side by side (ctest -j) never share a file.
scratch = tempfile.mkdtemp(dir=scratch)
atexit.register(shutil.rmtree, scratch, True)

TOOLS = {name: (lambda cli: (lambda s, t: [cli, "c", s, t], lambda s, t: [cli, "d", s, t]))(cli)
         for name, cli in ours.items()}
TOOLS["zstd -3 -T0"] = (lambda s, t: ["zstd", "-q", "-f", "-3", "-T0", s, "-o", t],
                        lambda s, t: ["zstd", "-q", "-f", "-d", s, "-o", t])


def timed(argv):
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def files():
    found = []
    for group in ("canterbury", "calgary", "large", "artificial", "misc"):
        folder = os.path.join(corpus, group)
        if os.path.isdir(folder):
            found += [os.path.join(folder, f) for f in sorted(os.listdir(folder))
                      if os.path.getsize(os.path.join(folder, f)) >= 1_000_000]
    joined = os.path.join(scratch, "all-joined")
    with open(joined, "wb") as out:
        for group in ("canterbury", "calgary", "large"):
            folder = os.path.join(corpus, group)
            for f in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
                with open(os.path.join(folder, f), "rb") as part:
                    out.write(part.read())
    return (found + [joined])[:1] if quick else found + [joined]


def measure(source):
    """Seconds per run for each tool, phase and kind of target."""
    local = os.path.join(scratch, "source")
    shutil.copyfile(source, local)
    packed, unpacked = os.path.join(scratch, "packed"), os.path.join(scratch, "unpacked")
    times = {}
    for _ in range(runs + (0 if quick else 1)):  # the first round warms up
        for tool, (compress, decompress) in TOOLS.items():
            for phase, make, target, make_from in (("compress", compress, packed, local),
                                                   ("decompress", decompress, unpacked, packed)):
                for kind in ("new", "existing"):
                    if kind == "new" and os.path.exists(target):
                        os.remove(target)
                    seconds = timed(make(make_from, target))
                    times.setdefault((tool, phase, kind), []).append(seconds)
            if not filecmp(local, unpacked):
                raise SystemExit(f"{tool} did not give back {source}")
    return {key: value[-runs:] for key, value in times.items()}


def filecmp(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def main():
    print(f"Files on {subprocess.run(['df', '--output=fstype', scratch], capture_output=True, text=True).stdout.split()[-1]}"
          f" ({scratch}); {runs} runs each after a warm-up, `sync` before every run; milliseconds, median (min–max).\n")
    names = list(ours)
    header = "| file | size (bytes) | phase | target | zstd -3 -T0 | " + " | ".join(
        f"{n} | {n} ÷ zstd" for n in names) + " |"
    print(header)
    print("|---|---:|---|---|---:|" + "---:|---:|" * len(names))
    for source in files():
        times = measure(source)
        size = os.path.getsize(source)
        for phase in ("compress", "decompress"):
            for kind in ("new", "existing"):
                z = times[("zstd -3 -T0", phase, kind)]
                cells = [f"{statistics.median(z) * 1000:.1f} ({min(z) * 1000:.1f}–{max(z) * 1000:.1f})"]
                for n in names:
                    o = times[(n, phase, kind)]
                    cells.append(f"{statistics.median(o) * 1000:.1f} ({min(o) * 1000:.1f}–{max(o) * 1000:.1f})")
                    cells.append(f"{statistics.median(o) / statistics.median(z):.2f}")
                print(f"| {os.path.basename(source)} | {size:,} | {phase} | {kind} | " + " | ".join(cells) + " |")


main()
