#!/bin/bash
# A brevimeter-bench sweep split into shards that GNU parallel runs, one at a
# time on each machine named with -S (a shard running beside another on one
# machine would time both on shared cores), then joined into one report.
# Every machine needs brevimeter-bench and the same files at the same paths.
#
# Each machine writes its shard's report into REPORTS_FOLDER, by the same
# path: with -S it must be a folder they all share.
#
#   parallel-sweep.sh SHARDS REPORTS_FOLDER [brevimeter-bench options and files...]
#   e.g. PARALLEL="-S host1,host2" parallel-sweep.sh 4 /shared/reports --library zstd:19 /data/corpus
#
# Each run's shards go to a new folder in REPORTS_FOLDER, named on the first
# line of the output, so no shard of an earlier run is merged. Fails, saying
# which, when a shard is missing or cut short.
set -euo pipefail
shards=${1:?the number of shards}
reports=${2:?a folder for the shards}
shift 2
mkdir -p "$reports"
run=$(mktemp -d "$(cd "$reports" && pwd)/sweep-XXXXXX")
echo "parallel-sweep.sh: the shards and the report go to $run"
# Each shard's status is its own: a row that is not ok is 1, and the merge
# below still has to say whether every shard is there.
parallel -j1 --halt never "brevimeter-bench --shard {}/$shards --format json $(printf '%q ' "$@")> $(printf '%q' "$run")/shard-{}.json" \
  ::: $(seq "$shards") || true
# A row that is not ok is 1 here too; the table and the chart follow.
brevimeter-bench --merge --format json "$run"/shard-*.json > "$run/sweep.json" || [ $? -eq 1 ]
exec brevimeter-bench --merge --plot "$run/sweep.svg" "$run/sweep.json"
