#!/bin/bash
# A brevimeter-bench sweep split into shards that GNU parallel runs, one at a
# time on each machine named with -S (a shard running beside another on one
# machine would time both on shared cores), then joined into one report.
# Every machine needs brevimeter-bench and the same files at the same paths.
#
#   parallel-sweep.sh SHARDS REPORTS_FOLDER [brevimeter-bench options and files...]
#   e.g. PARALLEL="-S host1,host2" parallel-sweep.sh 4 reports --library zstd:19 /data/corpus
#
# Fails, saying which, when a shard is missing or cut short.
set -euo pipefail
shards=${1:?the number of shards}
reports=${2:?a folder for the shards}
shift 2
mkdir -p "$reports"
reports=$(cd "$reports" && pwd)
# Each shard's status is its own: a row that is not ok is 1, and the merge
# below still has to say whether every shard is there.
parallel -j1 --halt never "brevimeter-bench --shard {}/$shards --format json $(printf '%q ' "$@")> $(printf '%q' "$reports")/shard-{}.json" \
  ::: $(seq "$shards") || true
brevimeter-bench --merge --format json "$reports"/shard-*.json > "$reports/sweep.json"
exec brevimeter-bench --merge --plot "$reports/sweep.svg" "$reports/sweep.json"
