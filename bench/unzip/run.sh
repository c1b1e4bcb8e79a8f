#!/usr/bin/env bash
# Extraction benchmark: a ~200 MB archive of mixed files (packed by talvpack zip) extracted
# through ExtractZipEntry and by Info-ZIP "unzip -o", natively, in one run; best of three
# each after a warm-up run, then the ratio. The goal is at most 1.1.
#
#   bench/unzip/run.sh [MEGABYTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size=${1:-200}
build="$root/build/bench"
work="$build/unzip-work"

# An optimised build without sanitizers: the timing is of the code, not of its checks.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_unzip talvpack >/dev/null

if [ ! -f "$work/bench.zip" ] || [ "$(cat "$work/size" 2>/dev/null)" != "$size" ]; then
  rm -rf "$work"
  mkdir -p "$work"
  /usr/bin/python3 "$root/bench/unzip/make_tree.py" "$work/tree" "$size"
  "$build/bin/talvpack" zip "$work/tree" -o "$work/bench.zip" >/dev/null
  rm -rf "$work/tree"
  echo "$size" >"$work/size"
fi
echo "archive: $(du -m "$work/bench.zip" | cut -f1) MB, $(unzip -Z1 "$work/bench.zip" | wc -l) entries"

best_of() {
  local best=999999 t
  for run in 0 1 2 3; do  # run 0 warms the caches and is not counted
    rm -rf "$work/out"
    mkdir -p "$work/out"
    sync
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    t=$(( (t1 - t0) / 1000000 ))
    if [ "$run" -gt 0 ] && [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

ours=$(best_of "$build/bin/bench_unzip" "$work/bench.zip" "$work/out")
theirs=$(best_of unzip -o -q "$work/bench.zip" -d "$work/out")
# Both must have written the same files.
rm -rf "$work/out.ours"
"$build/bin/bench_unzip" "$work/bench.zip" "$work/out.ours" >/dev/null
diff -rq "$work/out" "$work/out.ours" >/dev/null || { echo "extracted trees differ"; exit 1; }
rm -rf "$work/out" "$work/out.ours"
echo "ExtractZipEntry: ${ours} ms"
echo "unzip -o:        ${theirs} ms"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio: %.2f (goal <= 1.10)\n", a / b }'
