#!/usr/bin/env python3
"""What a sweep of many small files costs beyond the library's calls:
brevimeter-bench with one library and --runs 1 over N files of 4 KB, beside
the zstd command compressing them (zstd -1 -r) and benchmarking them in
memory (zstd -b1 -r), each as a whole process, the best and the median of a
few runs, interleaved. Prints a Markdown table.

usage: many_files.py BREVIMETER_BENCH SCRATCH_DIR [COUNT...] [--quick]
"""
import csv, io, os, random, shutil, statistics, subprocess, sys, time

program, scratch = sys.argv[1:3]
quick = "--quick" in sys.argv
counts = [int(a) for a in sys.argv[3:] if a.isdigit()] or ([100] if quick else [100, 1000, 5000])
passes = 1 if quick else 3
words = [b"alpha ", b"beta ", b"gamma ", b"delta ", b"\n", b"epsilon ", b"zeta ", b"eta "]


def files(count):
    """COUNT files of 4 KB of words in a varied order, made once."""
    folder = os.path.join(scratch, f"files-{count}")
    if not os.path.isdir(folder):
        rng = random.Random(count)
        os.makedirs(folder)
        for i in range(count):
            with open(os.path.join(folder, f"f{i:05d}"), "wb") as f:
                f.write(b"".join(rng.choice(words) for _ in range(700))[:4096])
    return folder


def timed(command):
    started = time.monotonic()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.monotonic() - started, done


print("| files of 4 KB | brevimeter-bench --library zstd:1 --runs 1 (s) | per file (ms) | calls' own time (s) "
      "| beyond the calls, per file (ms) | zstd -1 -r (s) | zstd -b1 -r (s) |")
print("|---:|---:|---:|---:|---:|---:|---:|")
for count in counts:
    folder = files(count)
    outputs = os.path.join(scratch, "zst")
    bench, calls, command, memory = [], [], [], []
    for _ in range(passes):
        seconds, done = timed([program, "--runs", "1", "--library", "zstd:1", "--format", "csv", "--scratch", scratch, folder])
        rows = [r for r in csv.DictReader(io.StringIO(done.stdout.decode())) if r["file"] != "(all)"]
        assert len(rows) == count and all(r["status"] == "ok" for r in rows), done.stdout[-500:]
        bench.append(seconds)
        # Each file takes a warm-up call and a timed one each way, at about the timed one's time.
        calls.append(sum(2 * (float(r["compress_s_median"]) + float(r["decompress_s_median"])) for r in rows))
        shutil.rmtree(outputs, ignore_errors=True)
        os.makedirs(outputs)
        command.append(timed(["zstd", "-q", "-1", "-r", folder, "--output-dir-flat", outputs])[0])
        memory.append(timed(["zstd", "-q", "-b1", "-r", folder])[0])
    best = min(bench)
    print(f"| {count} | {best:.2f} (median {statistics.median(bench):.2f}) | {best / count * 1e3:.2f} | {min(calls):.2f} "
          f"| {(best - min(calls)) / count * 1e3:.2f} | {min(command):.2f} | {min(memory):.2f} |")
