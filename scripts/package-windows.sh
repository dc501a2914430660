#!/bin/sh
# Zips the two Windows executables with a short README and the licence into
# <windows build>/codekiln-windows.zip. Both are static: nothing else ships.
set -e

win_build=$(cd "${1:-build-win}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(codekiln VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
stage="$win_build/package/codekiln-$version-windows-x64"
rm -rf "$win_build/package"
mkdir -p "$stage"
cp "$win_build/src/app/codekiln.exe" "$win_build/src/cli/codekiln-cli.exe" "$stage/"
# Symbols are of no use to the user; the programs shrink by about a third.
x86_64-w64-mingw32-strip "$stage/codekiln.exe" "$stage/codekiln-cli.exe"
# Windows line ends, so that Notepad shows the lines.
sed 's/$/\r/' "$here/packaging/windows/README.txt" > "$stage/README.txt"
sed 's/$/\r/' "$here/LICENSE" > "$stage/LICENSE.txt"
zip_file="$win_build/codekiln-$version-windows-x64.zip"
rm -f "$zip_file"
(cd "$win_build/package" && zip -q -r -X "$zip_file" "codekiln-$version-windows-x64")
ls -l "$zip_file"
unzip -l "$zip_file"
