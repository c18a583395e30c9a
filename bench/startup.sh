#!/usr/bin/env bash
# Start-up under Xvfb: exec to first paint, and resident memory then, for the
# program and for the minimal Qt window (the floor). Prints a Markdown table.
#   startup.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-7}
if [ -z "${BREVIMETER_IN_XVFB:-}" ]; then
  exec env BREVIMETER_IN_XVFB=1 xvfb-run -a -s '-screen 0 1024x768x24 -br -nolisten tcp' "$0" "$build" "$runs"
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 0700 "$scratch/runtime"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$scratch/runtime

summary() { # name, then lines "seconds KiB" on stdin (the first is the warm-up)
  python3 -c '
import statistics, sys
rows = [line.split() for line in sys.stdin.read().splitlines()[1:]]
t = sorted(float(r[0]) * 1000 for r in rows); m = sorted(int(r[1]) / 1024 for r in rows)
print(sys.argv[1], *("%.1f" % v for v in (statistics.median(t), t[0], t[-1], statistics.median(m), m[0], m[-1])), len(rows))
' "$1"
}

cd "$scratch"
ours=$("$build/first_paint" $((runs + 1)) "$build/brevimeter" | summary brevimeter)
floor=$("$build/first_paint" $((runs + 1)) "$build/minimal_window" | summary floor)
cd /

echo "| program | runs | exec to first paint, median (ms) | min | max | resident at first paint, median (MiB) | min | max |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for line in "$ours" "$floor"; do
  read -r name t tmin tmax m mmin mmax n <<<"$line"
  echo "| $name | $n | $t | $tmin | $tmax | $m | $mmin | $mmax |"
done
read -r _ ot _ _ om _ _ _ <<<"$ours"
read -r _ ft _ _ fm _ _ _ <<<"$floor"
python3 -c 'import sys; ot, ft, om, fm = map(float, sys.argv[1:])
print("\nBrevimeter ÷ floor: %.2f× the time, %.2f× the memory (goal: within 1.3×)." % (ot / ft, om / fm))' "$ot" "$ft" "$om" "$fm"
