#!/bin/sh
# The Linux build and the Windows build under Wine must write the same bytes.
# Every bundled example and golden input is formatted by both command lines
# with several option sets (--stdout), and the examples folder is also run
# through a whole batch run by both; every output is compared byte for byte.
# The Windows side runs with a Chinese and with an English system locale:
# the result must not depend on the system code page.
# Usage: compare-windows.sh <linux build> <windows build>
set -e

here=$(cd "$(dirname "$0")/.." && pwd)
linux_cli="$1/src/cli/codekiln-cli"
win_build=$(cd "$2" && pwd)
win_cli="$win_build/src/cli/codekiln-cli.exe"
wine_run="$win_build/wine-run.sh"
for f in "$linux_cli" "$win_cli" "$wine_run"; do
  [ -f "$f" ] || { echo "compare-windows: $f not found; build both first" >&2; exit 1; }
done

scratch="$win_build/compare"
rm -rf "$scratch"
mkdir -p "$scratch"
compared=0
failed=0

same() {  # <what> <linux file> <windows file>
  compared=$((compared + 1))
  if ! cmp -s "$2" "$3"; then
    failed=$((failed + 1))
    echo "DIFFERENT: $1" >&2
    cmp "$2" "$3" >&2 || true
  fi
}

windows_stdout() {  # <locale> <output> <argument>...
  out=$2
  locale=$1
  shift 2
  CODEKILN_WINE_LANG=$locale "$wine_run" "$win_cli" "$@" > "$out" 2>"$out.err" || echo "exit $?" >> "$out"
}

inputs="$here/examples/* $here/tests/engine/format/golden/*.f $here/tests/engine/format/golden/*.f90"
for locale in zh_CN.UTF-8 C.UTF-8; do
  for options in "" "--no-separators --no-indent-else --remove-blank-lines" "--style modern --indent 3"; do
    for input in $inputs; do
      name=$(basename "$input")
      # shellcheck disable=SC2086
      "$linux_cli" $options --stdout "$input" > "$scratch/linux.out" 2>/dev/null || echo "exit $?" >> "$scratch/linux.out"
      # shellcheck disable=SC2086
      windows_stdout "$locale" "$scratch/windows.out" $options --stdout "$input"
      if ! cmp -s "$scratch/linux.out" "$scratch/windows.out"; then
        # Wine now and then loses a program's exit code or its output while
        # its server starts; a real difference shows again on a second run.
        echo "compare-windows: $name differs once, running it again" >&2
        # shellcheck disable=SC2086
        windows_stdout "$locale" "$scratch/windows.out" $options --stdout "$input"
      fi
      same "$name ${options:-(default options)} ($locale)" "$scratch/linux.out" "$scratch/windows.out"
    done
  done

  # A whole batch run: backups, the atomic rewrite and the encodings.
  rm -rf "$scratch/linux" "$scratch/windows"
  for side in linux windows; do
    mkdir -p "$scratch/$side/home"
    cp -R "$here/examples" "$scratch/$side/examples"
  done
  XDG_CONFIG_HOME="$scratch/linux/home" "$linux_cli" --yes --ext '*' --backup-dir "$scratch/linux/backup" \
    "$scratch/linux/examples" > "$scratch/linux/summary"
  CODEKILN_WINE_LANG=$locale "$wine_run" "$win_cli" --yes --ext '*' --backup-dir "$scratch/windows/backup" \
    "$scratch/windows/examples" > "$scratch/windows/summary"
  for input in "$here"/examples/*; do
    name=$(basename "$input")
    same "batch run: $name ($locale)" "$scratch/linux/examples/$name" "$scratch/windows/examples/$name"
    same "batch run backup: $name ($locale)" "$input" "$scratch/windows/backup/备份$(sed -n 's/.*备份\([0-9]\)文件夹中.*/\1/p' "$scratch/windows/summary")/$name"
  done
done

echo "compare-windows: $compared outputs compared, $failed different"
[ "$failed" -eq 0 ]
