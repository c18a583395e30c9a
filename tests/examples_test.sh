#!/usr/bin/env bash
# The shipped job scripts as a user runs them: the Slurm job array with each
# task's index set by hand, from another folder than the one "submitted" in,
# then the merge; and GNU parallel where it is installed. A shard that is
# missing or cut short fails the merge, saying which.
#   examples_test.sh EXAMPLES_DIR BUILD_DIR
set -euo pipefail
examples=$1
export PATH=$2:$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/submitted/corpus" "$work/elsewhere"
for name in one two three; do
  head -c 3000 /dev/urandom | base64 > "$work/submitted/corpus/$name"
done
fail() { echo "FAILED: $*" >&2; exit 1; }

export SLURM_SUBMIT_DIR=$work/submitted SLURM_ARRAY_JOB_ID=42 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=2 SLURM_ARRAY_TASK_COUNT=2
export SWEEP_FILES=corpus SWEEP_LIBRARIES="--library copy --library zlib:1" SWEEP_OPTIONS="--runs 1"
cd "$work/elsewhere"
for task in 1 2; do
  SLURM_ARRAY_TASK_ID=$task bash "$examples/sweep.sbatch" || fail "array task $task"
done
reports=$work/submitted/brevimeter-reports/42
[ -s "$reports/shard-1.json" ] && [ -s "$reports/shard-2.json" ] || fail "the shards' reports are not where the scripts say"
SWEEP_JOB=42 bash "$examples/merge.sbatch" > "$work/merged.txt" || fail "the merge"
rows=$(grep -c -E '^  (copy|zlib:1) ' "$work/merged.txt")
[ "$rows" = 8 ] || fail "the merged table has $rows library rows, not 3 files and a total for each of 2 libraries"
[ -s "$reports/sweep.svg" ] && grep -q '"complete": true' "$reports/sweep.json" || fail "the merged report or chart"

# A library whose every row fails: the merge still writes its report, table
# and chart, and exits 1, as a sweep does.
SWEEP_LIBRARIES="--library copy --library bad=$2/tests/empty/libnorvik.so" SLURM_ARRAY_JOB_ID=43 SLURM_ARRAY_TASK_ID=1 \
  bash "$examples/sweep.sbatch" || true
SLURM_ARRAY_JOB_ID=43 SWEEP_LIBRARIES="--library copy --library bad=$2/tests/empty/libnorvik.so" SLURM_ARRAY_TASK_ID=2 \
  bash "$examples/sweep.sbatch" || true
status=0
SWEEP_JOB=43 bash "$examples/merge.sbatch" > "$work/failing.txt" || status=$?
[ "$status" = 1 ] || fail "the merge of a sweep with failed rows exits $status, not 1"
grep -q -E '^  bad .*failed' "$work/failing.txt" && [ -s "$work/submitted/brevimeter-reports/43/sweep.svg" ] \
  || fail "the merge of a sweep with failed rows wrote no table or chart: $(cat "$work/failing.txt")"

# A task stopped by its time limit, and one that never ran.
sed -i 's/"complete": true/"complete": false/' "$reports/shard-2.json"
if SWEEP_JOB=42 bash "$examples/merge.sbatch" 2> "$work/said"; then fail "a shard cut short was merged"; fi
grep -q 'shard 2/2 was cut short' "$work/said" || fail "the merge did not say which shard was cut short: $(cat "$work/said")"
rm "$reports/shard-2.json"
if SWEEP_JOB=42 bash "$examples/merge.sbatch" 2> "$work/said"; then fail "a missing shard was merged"; fi
grep -q 'shard 2/2 is missing' "$work/said" || fail "the merge did not say which shard is missing: $(cat "$work/said")"

if command -v parallel >/dev/null; then
  cd "$work/submitted"
  for sweep in first second; do
    bash "$examples/parallel-sweep.sh" 3 "$work/parallel" --library copy --runs 1 corpus > "$work/parallel.txt" \
      || fail "the GNU parallel sweep"
    [ "$(grep -c -E '^  copy ' "$work/parallel.txt")" = 4 ] || fail "the GNU parallel sweep's table"
  done
  [ "$(ls "$work/parallel"/sweep-*/shard-*.json | wc -l)" = 6 ] || fail "two runs of the GNU parallel sweep shared a folder"
  status=0
  bash "$examples/parallel-sweep.sh" 2 "$work/parallel" --library bad="$2/tests/empty/libnorvik.so" --runs 1 corpus \
    > "$work/parallel-failing.txt" || status=$?
  [ "$status" = 1 ] && grep -q -E '^  bad .*failed' "$work/parallel-failing.txt" \
    || fail "the GNU parallel sweep with failed rows exits $status and wrote no table: $(cat "$work/parallel-failing.txt")"
fi
echo "the job scripts run as shipped"
