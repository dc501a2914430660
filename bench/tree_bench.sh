#!/bin/sh
# A recursive run against a flat run on the same files, and --until-stable
# against one pass: the generated corpus split into a tree of folders, each
# run on a fresh copy, best of BENCH_REPS (default 3) wall times.
# usage: sh bench/tree_bench.sh BUILDDIR [FILES]
set -eu
[ $# -ge 1 ] || { echo "usage: sh bench/tree_bench.sh BUILDDIR [FILES]" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
FILES=${2:-3000}
REPS=${BENCH_REPS:-3}
CLI="$BUILD/src/cli/codekiln-cli"
WORK="$BUILD/tree-bench"
export XDG_CONFIG_HOME="$WORK/config" LC_ALL=C
rm -rf "$WORK"
mkdir -p "$WORK"
"$BUILD/bench/codekiln_corpus" --files "$FILES" "$WORK/flat" >/dev/null
# The same files, 20 to a folder, in folders two levels deep.
i=0
for f in "$WORK"/flat/*; do
  d="$WORK/tree/d$((i / 400))/e$((i / 20 % 20))"
  mkdir -p "$d"
  cp "$f" "$d/"
  i=$((i + 1))
done

best() {  # best wall time in seconds of REPS runs of: tree-or-flat, then options
  src=$1
  shift
  b=""
  for _ in $(seq "$REPS"); do
    rm -rf "$WORK/run" "$WORK/bk"
    cp -r "$WORK/$src" "$WORK/run"
    s=$(date +%s.%N)
    "$CLI" --backup-dir "$WORK/bk" --no-config "$@" "$WORK/run" >/dev/null
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" -eq 1 ]; then b=$t; fi
  done
  echo "$b"
}

flat=$(best flat)
tree=$(best tree -r)
stable=$(best tree -r --until-stable)
printf 'files: %s\n' "$FILES"
printf 'flat run        %6.3f s  %6.1f us/file\n' "$flat" "$(echo "$flat * 1000000 / $FILES" | bc -l)"
printf 'recursive run   %6.3f s  %6.1f us/file\n' "$tree" "$(echo "$tree * 1000000 / $FILES" | bc -l)"
printf 'until-stable    %6.3f s  %6.1f us/file\n' "$stable" "$(echo "$stable * 1000000 / $FILES" | bc -l)"
rm -rf "$WORK"
