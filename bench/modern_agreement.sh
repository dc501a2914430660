#!/bin/sh
# Indentation agreement of the modern layout with a tree kept formatted by
# another tool: the tree as it is, and a copy with every line's indentation
# removed, laid out at INDENT and compared line by line.
#   bench/modern_agreement.sh DRIVER TREE [INDENT] [AGREEMENT_SCRIPT]
# DRIVER is build/bench/codekiln_modern_run.
set -eu
driver=$1
tree=$2
indent=${3:-3}
agree=${4:-/work/shared/tools/indent-agreement.py}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

"$driver" "$indent" "$tree" "$work/as-is" 2>"$work/warnings.txt"
echo "as it is:"
python3 "$agree" "$tree" "$work/as-is" | tail -2

cp -R "$tree" "$work/flat-in"
find "$work/flat-in" -type f \( -iname '*.f90' -o -iname '*.f95' -o -iname '*.f03' -o -iname '*.f08' \) \
  -exec sed -i 's/^[ \t]*\([^# \t]\)/\1/' {} +
"$driver" "$indent" "$work/flat-in" "$work/flat" 2>/dev/null
echo "indentation removed first:"
python3 "$agree" "$tree" "$work/flat" | tail -2
echo "structure warnings: $(grep -c ': ' "$work/warnings.txt" || true)"
