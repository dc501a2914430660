#!/bin/sh
# Runs the engine's fuzz target for a while: run_fuzz.sh BUILD SECONDS.
# The corpus grows in BUILD/fuzz-corpus from the seeds (fuzz/seeds, the golden
# test inputs and examples/); a crashing input lands in BUILD/fuzz-crashes and
# fails the run. The last lines give the executions and the coverage.
set -e
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="$1"
seconds="${2:-60}"

seeds="$build/fuzz-seeds"
corpus="$build/fuzz-corpus"
crashes="$build/fuzz-crashes"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$crashes"
cp "$here"/seeds/* "$seeds"/
for dir in "$root/tests/format/golden" "$root/examples"; do
  [ -d "$dir" ] || continue
  find "$dir" -type f -size -256k | while read -r f; do
    cp "$f" "$seeds/$(printf '%s' "$f" | md5sum | cut -c1-16)"
  done
done

"$build/engine_fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
  -dict="$here/fortran.dict" -print_final_stats=1 -artifact_prefix="$crashes/" \
  "$corpus" "$seeds" 2>"$build/fuzz.log" || {
  tail -n 40 "$build/fuzz.log" >&2
  echo "fuzz: the engine failed on an input kept in $crashes" >&2
  exit 1
}
grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz.log" || tail -n 5 "$build/fuzz.log"
echo "fuzz: corpus $(ls "$corpus" | wc -l) inputs in $corpus"
