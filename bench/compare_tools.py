#!/usr/bin/env python3
"""The default library against the usual compressors, each as a whole process:
compress and decompress throughput, ratio, peak memory, and each peer's time as
a multiple of ours from the same run. Prints Markdown tables.

usage: compare_tools.py NORVIK_CLI CORPUS_DIR SCRATCH_DIR [--quick]

All inputs and outputs live in SCRATCH_DIR, the same file system for every tool.
"""
import atexit, os, random, shutil, statistics, subprocess, sys, tempfile, time

cli, corpus, scratch = sys.argv[1:4]
quick = "--quick" in sys.argv
RUNS = 1 if quick else 5
os.makedirs(scratch, exist_ok=True)
# A folder of its own, so that runs side by side (ctest -j) never share a file.
scratch = tempfile.mkdtemp(dir=scratch)
atexit.register(shutil.rmtree, scratch, True)

def command(*args):
    return list(args)

# name: (compress, decompress); each gets (source, target) and returns argv and
# an optional file for standard output.
TOOLS = {
    "ours": (lambda s, t: ([cli, "c", s, t], None), lambda s, t: ([cli, "d", s, t], None)),
    "zstd -3 -T0": (lambda s, t: (["zstd", "-q", "-f", "-3", "-T0", s, "-o", t], None),
                    lambda s, t: (["zstd", "-q", "-f", "-d", s, "-o", t], None)),
    "gzip -6": (lambda s, t: (["gzip", "-6", "-c", s], t), lambda s, t: (["gzip", "-d", "-c", s], t)),
    "pigz -6": (lambda s, t: (["pigz", "-6", "-c", s], t), lambda s, t: (["pigz", "-d", "-c", s], t)),
    "xz -6": (lambda s, t: (["xz", "-6", "-c", s], t), lambda s, t: (["xz", "-d", "-c", s], t)),
    "lz4": (lambda s, t: (["lz4", "-q", "-f", s, t], None), lambda s, t: (["lz4", "-q", "-f", "-d", s, t], None)),
}
TOOLS = {name: tool for name, tool in TOOLS.items() if shutil.which(tool[0]("x", "y")[0][0]) or name == "ours"}

PEAK = os.path.join(scratch, "peak")

def timed(argv_out):
    """Wall seconds and peak resident MiB of one run. GNU time reports the peak:
    a child of this script would inherit the script's own high-water mark."""
    argv, out = argv_out
    sink = open(out, "wb") if out else subprocess.DEVNULL
    start = time.perf_counter()
    process = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", PEAK, *argv], stdout=sink, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if out:
        sink.close()
    if process.returncode != 0:
        raise SystemExit(f"{' '.join(argv)} failed: {process.stderr.decode()}")
    with open(PEAK) as f:
        return elapsed, int(f.read().split()[-1]) / 1024

def measure(tool, source, runs):
    """Median, min and max seconds and peak MiB for compress and decompress."""
    packed, unpacked = os.path.join(scratch, "packed"), os.path.join(scratch, "unpacked")
    compress, decompress = TOOLS[tool]
    result = {}
    for phase, make, args in (("c", compress, (source, packed)), ("d", decompress, (packed, unpacked))):
        if runs > 1:
            timed(make(*args))  # warm-up
        samples = [timed(make(*args)) for _ in range(runs)]
        times = sorted(s[0] for s in samples)
        result[phase] = (statistics.median(times), times[0], times[-1], max(s[1] for s in samples))
        if phase == "c":
            result["size"] = os.path.getsize(packed)
    if not files_equal(source, unpacked):
        raise SystemExit(f"{tool} did not give back {source}")
    return result

def files_equal(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as x, open(b, "rb") as y:
        while True:
            p, q = x.read(1 << 20), y.read(1 << 20)
            if p != q:
                return False
            if not p:
                return True

def corpus_files():
    files = []
    for group in ("canterbury", "calgary", "large", "artificial", "misc"):
        folder = os.path.join(corpus, group)
        if os.path.isdir(folder):
            files += [os.path.join(folder, f) for f in sorted(os.listdir(folder))]
    return files

def joined(files):
    path = os.path.join(scratch, "all-joined")
    with open(path, "wb") as out:
        for f in files:
            with open(f, "rb") as part:
                out.write(part.read())
    return path

def mixed_gibibyte(files, size=1 << 30):
    """Corpus text and binary, shuffled in 1 MiB pieces with random data between."""
    path = os.path.join(scratch, "mixed-1GiB")
    if os.path.exists(path) and os.path.getsize(path) == size:
        return path
    rng = random.Random(1)
    pieces = [open(f, "rb").read() for f in files]
    with open(path, "wb") as out:
        written = 0
        while written < size:
            piece = rng.choice(pieces) if rng.random() < 0.85 else rng.randbytes(1 << 18)
            piece = piece[: size - written]
            out.write(piece)
            written += len(piece)
    return path

def mbps(size, seconds):
    return size / 1e6 / seconds

def main():
    files = corpus_files()
    if quick:
        files = files[:1]
        samples = [(f, RUNS, set(TOOLS)) for f in files]
    else:
        samples = [(f, RUNS, set(TOOLS)) for f in files]
        samples.append((joined(files), RUNS, set(TOOLS)))
        # xz -6 runs at about 1.5 MB/s here: twelve minutes a run on 1 GiB.
        samples.append((mixed_gibibyte(files), RUNS, {"ours", "zstd -3 -T0", "lz4"}))
        samples.append((samples[-1][0], 1, {"gzip -6", "pigz -6"}))

    results = {}
    for source, runs, tools in samples:
        for tool in TOOLS:
            if tool in tools:
                results.setdefault(source, {})[tool] = (measure(tool, source, runs), runs)

    print("### Ours against the zstd command (same level, all cores)\n")
    print("| file | size (bytes) | compress MB/s ours | zstd | zstd time ÷ ours | decompress MB/s ours | zstd | zstd time ÷ ours | ratio ours | zstd | size difference | goal |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|:-:|")
    for source, tools in results.items():
        if "ours" not in tools or "zstd -3 -T0" not in tools:
            continue
        size = os.path.getsize(source)
        (o, _), (z, _) = tools["ours"], tools["zstd -3 -T0"]
        difference = (o["size"] - z["size"]) / z["size"] * 100
        big = size >= 1_000_000
        met = (not big) or (o["c"][0] <= z["c"][0] and o["d"][0] <= z["d"][0] and abs(difference) <= 0.5)
        print(f"| {os.path.basename(source)} | {size:,} | {mbps(size, o['c'][0]):.1f} | {mbps(size, z['c'][0]):.1f} | "
              f"{z['c'][0] / o['c'][0]:.2f} | {mbps(size, o['d'][0]):.1f} | {mbps(size, z['d'][0]):.1f} | "
              f"{z['d'][0] / o['d'][0]:.2f} | {size / o['size']:.3f} | {size / z['size']:.3f} | {difference:+.2f}% | "
              f"{('yes' if met else 'NO') if big else '(under 1 MB)'} |")

    print("\n### Every tool on the larger files (median of the runs, min–max in MB/s)\n")
    print("| file | tool | runs | compress MB/s | decompress MB/s | ratio | compress time ÷ ours | decompress time ÷ ours | peak MiB compress / decompress |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
    for source, tools in results.items():
        size = os.path.getsize(source)
        if size < 1_000_000 and not quick:
            continue
        ours = tools.get("ours", (None,))[0]
        for tool, (r, runs) in tools.items():
            c, d = r["c"], r["d"]
            versus = (f"{c[0] / ours['c'][0]:.2f} | {d[0] / ours['d'][0]:.2f}") if ours else "– | –"
            print(f"| {os.path.basename(source)} | {tool} | {runs} | {mbps(size, c[0]):.1f} ({mbps(size, c[2]):.1f}–{mbps(size, c[1]):.1f}) | "
                  f"{mbps(size, d[0]):.1f} ({mbps(size, d[2]):.1f}–{mbps(size, d[1]):.1f}) | {size / r['size']:.3f} | {versus} | "
                  f"{c[3]:.0f} / {d[3]:.0f} |")

    if not quick:
        sparse = os.path.join(scratch, "sparse-5GiB")
        with open(sparse, "wb") as f:
            f.truncate(5 << 30)
        seconds, peak = timed(TOOLS["ours"][0](sparse, os.path.join(scratch, "sparse.zst")))
        os.remove(sparse)
        print(f"\nOurs on a 5 GiB sparse file: compressed in {seconds:.1f} s with a peak of {peak:.0f} MiB resident.")

main()
