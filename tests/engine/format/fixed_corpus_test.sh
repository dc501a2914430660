#!/bin/sh
# The fixed-form corpus: every file compiles with gfortran before and after
# `--form fixed`, and formatting the result again changes nothing. Skipped
# (exit 77) when gfortran is not installed.
# Usage: fixed_corpus_test.sh CORPUS_DIR CODEKILN_CLI...
# CODEKILN_CLI may come after the program that runs it (an emulator for a
# cross build, with its own arguments).
set -u
corpus=$1
shift
if ! command -v gfortran >/dev/null 2>&1; then
    echo "SKIP: gfortran is not installed (scripts/setup.sh installs it)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
count=0
for src in "$corpus"/*.f; do
    name=$(basename "$src")
    count=$((count + 1))
    if ! gfortran -fsyntax-only "$src" 2>"$name.before.log"; then
        echo "FAIL: $name does not compile before formatting"; cat "$name.before.log"; failed=1; continue
    fi
    if ! HOME="$work" "$@" --form fixed --stdout "$src" >"$name" 2>"$name.err"; then
        echo "FAIL: $name was not formatted"; cat "$name.err"; failed=1; continue
    fi
    if ! gfortran -fsyntax-only "$name" 2>"$name.after.log"; then
        echo "FAIL: $name does not compile after formatting"; cat "$name.after.log"; failed=1; continue
    fi
    HOME="$work" "$@" --form fixed --stdout "$name" >"$name.again" 2>/dev/null
    if ! cmp -s "$name" "$name.again"; then
        echo "FAIL: $name changes when formatted again"; failed=1
    fi
done
[ "$count" -gt 0 ] || { echo "FAIL: no corpus files in $corpus"; exit 1; }
[ "$failed" -eq 0 ] && echo "$count fixed-form files compile before and after formatting"
exit "$failed"
