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

# Best of REPS runs, by processor time (user + system, from GNU time): the
# wall time of a run that writes is mostly waiting for the disk, and on a
# shared machine it says more about the neighbours than about the run.
best() {  # folder, then options; prints "cpu wall"
  src=$1
  shift
  b=""
  for _ in $(seq "$REPS"); do
    rm -rf "$WORK/run" "$WORK/bk"
    cp -r "$WORK/$src" "$WORK/run"
    /usr/bin/time -f "%U %S %e" -o "$WORK/time" "$CLI" --backup-dir "$WORK/bk" --no-config "$@" "$WORK/run" \
      >/dev/null || true
    # GNU time puts a line before its figures when the command exits non-zero.
    read -r u s e <<EOT
$(tail -n 1 "$WORK/time")
EOT
    t=$(echo "$u + $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < ${b% *}" | bc)" -eq 1 ]; then b="$t $e"; fi
  done
  echo "$b"
}

row() {  # label, then best()'s arguments
  label=$1
  shift
  set -- $(best "$@")
  printf '%-28s %7.3f s cpu %7.1f us/file   %7.3f s wall\n' "$label" "$1" \
    "$(echo "$1 * 1000000 / $FILES" | bc -l)" "$2"
}

printf 'files: %s\n' "$FILES"
row "flat run" flat
row "recursive run" tree -r
row "recursive, --until-stable" tree -r --until-stable
row "flat --check" flat --check
row "recursive --check" tree -r --check
row "recursive --check --until-stable" tree -r --check --until-stable
rm -rf "$WORK"
