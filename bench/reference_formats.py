#!/usr/bin/env python3
"""Each reference library beside its codec's own command, on the same files.

For every file: the library's compressed size against the command's at the
same level, the command reading what the library wrote, and the library
reading what the command wrote. Prints a Markdown table; exits 1 when a size
is off by more than the allowed share or a file does not come back whole.

    reference_formats.py BUILD SCRATCH FILE... [--allow 0.02] [--library NAME:LEVEL ...]
"""
import argparse, atexit, csv, ctypes, io, os, shutil, subprocess, sys, tempfile

# The command that writes the same format, at a level, and reads it back.
COMMANDS = {
    "copy": (lambda level: ["cat"], ["cat"]),
    "zstd": (lambda level: ["zstd", "-q", "-c", f"-{level}"], ["zstd", "-q", "-d", "-c"]),
    "zlib": (lambda level: ["gzip", "-n", "-c", f"-{level}"], ["gzip", "-d", "-c"]),
    "lz4": (lambda level: ["lz4", "-q", "-c", "--content-size", f"-{level}"], ["lz4", "-q", "-d", "-c"]),
    "xz": (lambda level: ["xz", "-c", f"-{level}"], ["xz", "-d", "-c"]),
    "bzip2": (lambda level: ["bzip2", "-c", f"-{level}"], ["bzip2", "-d", "-c"]),
    "brotli": (lambda level: ["brotli", "-c", "-q", str(level)], ["brotli", "-d", "-c"]),
}


def defaults(build):
    """Each library's default level, from the one table, as brevimeter-bench lists it."""
    listed = subprocess.run([os.path.join(build, "brevimeter-bench"), "--list-libraries", "--format", "csv"],
                            check=True, capture_output=True, text=True).stdout
    return {row["name"]: int(row["default_level"] or 0) for row in csv.DictReader(io.StringIO(listed))}


def library(build, name):
    path = os.path.join(build, "libnorvik.so" if name == "zstd" else f"references/{name}/libnorvik.so")
    return ctypes.CDLL(os.path.abspath(path))


def call(entry, source, target):
    return entry(ctypes.c_char_p(os.fsencode(source)), ctypes.c_char_p(os.fsencode(target)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("scratch")
    parser.add_argument("files", nargs="+")
    parser.add_argument("--allow", type=float, default=0.02)
    parser.add_argument("--library", action="append", dest="libraries")
    args = parser.parse_args()
    # A folder of its own, so that runs side by side (ctest -j) never share a file.
    args.scratch = tempfile.mkdtemp(dir=args.scratch)
    atexit.register(shutil.rmtree, args.scratch, True)
    standard = defaults(args.build)
    chosen = args.libraries or [f"{name}:{level}" for name, level in standard.items()]
    failed = False
    print("| library | files | library bytes | command bytes | worst size difference | command reads library's | library reads command's |")
    print("|---|---|---|---|---|---|---|")
    for choice in chosen:
        name, _, level = choice.partition(":")
        level = int(level or standard[name])
        os.environ["BREVIMETER_LEVEL"] = str(level)
        lib = library(args.build, name)
        ours = theirs = 0
        worst = 0.0
        reads = read_back = 0
        for path in args.files:
            packed = os.path.join(args.scratch, "packed")
            unpacked = os.path.join(args.scratch, "unpacked")
            for leftover in (packed, unpacked):
                if os.path.exists(leftover):
                    os.remove(leftover)
            if call(lib.compress_file, path, packed) != 0:
                print(f"{choice}: compress_file failed on {path}", file=sys.stderr)
                failed = True
                continue
            original = open(path, "rb").read()
            command = subprocess.run(COMMANDS[name][0](level) + [path], check=True, capture_output=True).stdout
            mine = os.path.getsize(packed)
            ours += mine
            theirs += len(command)
            worst = max(worst, abs(mine - len(command)) / max(len(command), 1))
            back = subprocess.run(COMMANDS[name][1] + [packed], capture_output=True)
            reads += back.returncode == 0 and back.stdout == original
            with open(packed, "wb") as out:
                out.write(command)
            ok = call(lib.decompress_file, packed, unpacked) == 0 and open(unpacked, "rb").read() == original
            read_back += ok
        n = len(args.files)
        failed |= worst > args.allow or reads != n or read_back != n
        print(f"| {name}:{level} | {n} | {ours} | {theirs} | {worst * 100:.2f}% | {reads}/{n} | {read_back}/{n} |")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
