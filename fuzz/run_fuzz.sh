#!/bin/bash
# Runs the libFuzzer targets of the fuzz preset, at most JOBS at a time (default 2), each for the
# seconds given, with large inputs allowed (run-length, strip and tile classes need megabytes)
# and its format's dictionary. Seeds come from make_seeds.py. At the end it prints the
# executions each target really made (libFuzzer's final stats) and where findings are.
#
#   fuzz/run_fuzz.sh OUT_DIR pipeline:3600 bmp:1200 tiff:1200 ...
#   SMALL=1 JOBS=1 fuzz/run_fuzz.sh OUT_DIR png:1200
#
# Findings land in OUT_DIR/findings/<target>/; minimise them (-minimize_crash=1) and keep them
# in fuzz/regressions/<format>/, which the test suite replays.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD:-$here/../build/fuzz}
out=$1
shift
jobs=${JOBS:-2}
# SMALL=1: small seeds and inputs up to 1 MB, for throughput; the default reaches the classes
# that need megabytes.
small=${SMALL:-0}
max_len=$((40 << 20))
seed_args=()
[ "$small" = 1 ] && max_len=$((1 << 20)) && seed_args=(--small)
[ -d "$out/seeds" ] || /usr/bin/python3 "$here/make_seeds.py" "$out/seeds" "${seed_args[@]}" || exit 1
run_one() {
  local target=$1 seconds=$2
  mkdir -p "$out/corpus/$target" "$out/findings/$target"
  local dict=()
  [ -f "$here/dict/$target.dict" ] && dict=(-dict="$here/dict/$target.dict")
  "$build/fuzz/${target}_fuzz" -max_len=$max_len -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=3000 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$out/findings/$target/" "$out/corpus/$target" "$out/seeds/$target" \
    >"$out/$target.log" 2>&1
}
for job in "$@"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_one "${job%%:*}" "${job##*:}" &
done
wait
for job in "$@"; do
  t=${job%%:*}
  printf '%-10s %12s executions in %6s s, %s findings\n' "$t" \
    "$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$t.log" | grep -o '[0-9]*$' | tail -1)" \
    "$(grep -o 'Done [0-9]* runs in [0-9]* second' "$out/$t.log" | grep -o 'in [0-9]*' | tail -1 | cut -c4-)" \
    "$(ls "$out/findings/$t" | wc -l)"
done
