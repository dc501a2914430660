#!/bin/sh
# Indentation agreement of the modern layout with a tree kept formatted by
# another tool: the tree as it is, and a copy with every line's indentation
# removed, laid out at INDENT and compared line by line. Each figure is given
# over all files and over the files the tree keeps at INDENT (every statement
# line's indentation a multiple of INDENT); the files that differ are listed.
# It also counts what the layout must never add: CRs and trailing blanks.
#   bench/modern_agreement.sh DRIVER TREE [INDENT] [AGREEMENT_SCRIPT]
# DRIVER is build/bench/codekiln_modern_run.
set -eu
driver=$1
tree=$2
indent=${3:-3}
agree=${4:-/work/shared/tools/indent-agreement.py}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# The free-form files of a tree, one relative path a line.
sources() {
  (cd "$1" && find . -type f \( -iname '*.f90' -o -iname '*.f95' -o -iname '*.f03' -o -iname '*.f08' \) | sort)
}

# Prints the relative paths of the files whose statement lines (not blank,
# comment, preprocessor or continuation lines) all stand at multiples of INDENT.
kept_at_width() {
  python3 - "$1" "$indent" <<'PY'
import os, sys
tree, width = sys.argv[1], int(sys.argv[2])
def code(s):
    q = None
    for i, c in enumerate(s):
        if q:
            if c == q: q = None
        elif c in '"\'': q = c
        elif c == '!': return s[:i]
    return s
for root, _, names in os.walk(tree):
    for n in sorted(names):
        if not n.lower().endswith(('.f90', '.f95', '.f03', '.f08')): continue
        p = os.path.join(root, n)
        cont, kept = False, True
        for x in open(p, 'rb').read().decode('utf-8', 'replace').split('\n'):
            x = x.rstrip('\r'); s = x.strip()
            if not s or s.startswith('#'): continue
            if not s.startswith('!'):
                if not cont and (len(x) - len(x.lstrip(' '))) % width: kept = False
                cont = code(x).rstrip().endswith('&')
        if kept: print(os.path.relpath(p, tree))
PY
}

# Figures of OUT against the tree: all files, the files listed in
# $work/kept.txt, and each file below 100 %.
figures() {
  out=$1
  python3 "$agree" "$tree" "$out" >"$work/all.txt"
  grep -v '100.0%' "$work/all.txt" | grep '%.*differ' || true
  echo "  all files:         $(tail -1 "$work/all.txt" | sed 's/^agree //')"
  python3 "$agree" "$work/kept" "$out" | tail -1 | sed 's/^agree /  kept at width:     /'
  tail -2 "$work/all.txt" | head -1 | sed 's/^/  /'
}

kept_at_width "$tree" >"$work/kept.txt"
while read -r f; do
  mkdir -p "$work/kept/$(dirname "$f")"
  cp "$tree/$f" "$work/kept/$f"
done <"$work/kept.txt"
echo "files kept at indent $indent: $(wc -l <"$work/kept.txt") of $(sources "$tree" | wc -l)"

"$driver" "$indent" "$tree" "$work/as-is" 2>"$work/warnings.txt"
echo "as it is:"
figures "$work/as-is"

cp -R "$tree" "$work/flat-in"
find "$work/flat-in" -type f \( -iname '*.f90' -o -iname '*.f95' -o -iname '*.f03' -o -iname '*.f08' \) \
  -exec sed -i 's/^[ \t]*\([^# \t]\)/\1/' {} +
"$driver" "$indent" "$work/flat-in" "$work/flat" 2>/dev/null
echo "indentation removed first:"
figures "$work/flat"

# What the layout adds: CRs beyond the tree's own, and lines ending in a blank.
cr=$(printf '\r')
sources "$tree" >"$work/sources.txt"
added_crs=0
trailing=0
while read -r f; do
  before=$(tr -cd '\r' <"$tree/$f" | wc -c)
  for out in "$work/as-is" "$work/flat"; do
    after=$(tr -cd '\r' <"$out/$f" | wc -c)
    added_crs=$((added_crs + after - before))
    trailing=$((trailing + $(grep -c "[ 	]$cr*\$" "$out/$f" || true)))
  done
done <"$work/sources.txt"
echo "CRs added: $added_crs; lines with trailing blanks: $trailing (both runs)"
echo "structure warnings: $(grep -c ': ' "$work/warnings.txt" || true)"
