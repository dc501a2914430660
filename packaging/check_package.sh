#!/bin/sh
# Checks the Debian package that `make package` built, the way a user gets it:
# unpacked into a temporary root, its programs started from there, its desktop
# entry, metainfo and manual pages put through their own validators, its file
# list compared with what a user needs, and lintian run over it.
# Usage: check_package.sh [BUILD_FOLDER]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}

failures=0
fail() { echo "check-package: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "check-package: ok: $*"; }

version=$(sed -n 's/^project(codekiln VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "check-package: no version in project() of CMakeLists.txt" >&2; exit 1; }
deb="$build/codekiln_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "check-package: $deb is missing (run make package)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"

# The control fields: version from project(), section, and library
# dependencies that dpkg-shlibdeps found (Qt among them).
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
[ "$(dpkg-deb -f "$deb" Section)" = devel ] || fail "section is not devel"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  *libqt6widgets6*libc6* | *libc6*libqt6widgets6*) pass "Depends: $depends" ;;
  *) fail "Depends lacks the libraries the programs link: '$depends'" ;;
esac

# The programs start from the unpacked root, with a scratch home so that no
# settings of the machine's user are read or written.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
cli="$root/usr/bin/codekiln-cli"
if [ "$("$cli" --version)" = "codekiln-cli $version" ]; then pass "codekiln-cli --version"; else fail "codekiln-cli --version does not print $version"; fi
if "$cli" --stdout examples/select_case.f90 | head -n 1 | grep -q '^! \*\*\*'; then
  pass "codekiln-cli --stdout formats an example"
else
  fail "codekiln-cli --stdout wrote no header banner"
fi
# The window has no way to close itself: it counts as opened when it is
# still running after five seconds and timeout has to end it (status 124).
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/codekiln" >"$work/window.log" 2>&1 || status=$?
if [ "$status" -eq 124 ]; then
  pass "window opened on the offscreen platform and was closed"
else
  fail "window ended on its own with status $status:"
  cat "$work/window.log" >&2
fi

# Desktop entry and metainfo: their validators, and the names they point at.
desktop="$root/usr/share/applications/org.codekiln.codekiln.desktop"
metainfo="$root/usr/share/metainfo/org.codekiln.codekiln.metainfo.xml"
if desktop-file-validate "$desktop"; then pass "desktop-file-validate"; else fail "desktop-file-validate"; fi
if appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1; then
  pass "appstreamcli validate"
else
  fail "appstreamcli validate:"
  cat "$work/appstream.log" >&2
fi
grep -qx 'Exec=codekiln' "$desktop" && [ -x "$root/usr/bin/codekiln" ] || fail "desktop entry does not start /usr/bin/codekiln"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release is not $version"

# The manual pages render without warnings; codekiln-cli's names every
# option its --help has.
for name in codekiln codekiln-cli; do
  if MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$name.1.gz" >"$work/$name.txt" 2>"$work/man.log" &&
    [ ! -s "$work/man.log" ]; then
    pass "man -l renders $name(1)"
  else
    fail "man -l $name(1):"
    cat "$work/man.log" >&2
  fi
done
missing=""
for option in $("$cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option" "$work/codekiln-cli.txt" || missing="$missing $option"
done
[ -z "$missing" ] || fail "the manual page of codekiln-cli lacks$missing"

# Exactly the files a user needs, and nothing the programs wrote next to
# themselves while they ran.
expected="/usr/bin/codekiln
/usr/bin/codekiln-cli
/usr/share/applications/org.codekiln.codekiln.desktop
/usr/share/doc/codekiln/changelog.gz
/usr/share/doc/codekiln/copyright
/usr/share/icons/hicolor/256x256/apps/codekiln.png
/usr/share/icons/hicolor/48x48/apps/codekiln.png
/usr/share/icons/hicolor/scalable/apps/codekiln.svg
/usr/share/man/man1/codekiln-cli.1.gz
/usr/share/man/man1/codekiln.1.gz
/usr/share/metainfo/org.codekiln.codekiln.metainfo.xml"
actual=$(cd "$root" && find . ! -type d | sed 's|^\.||' | LC_ALL=C sort)
if [ "$actual" = "$expected" ]; then
  pass "file list"
else
  fail "file list differs (- expected, + packaged):"
  printf '%s\n' "$expected" >"$work/expected"
  printf '%s\n' "$actual" >"$work/actual"
  diff -u "$work/expected" "$work/actual" | tail -n +3 >&2 || true
fi
for size in 48 256; do
  file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/codekiln.png" | grep -q "$size x $size" ||
    fail "the ${size}x${size} icon is not ${size} pixels square"
done

# lintian: errors fail the check; warnings are shown.
if lintian --fail-on error --tag-display-limit 0 "$deb"; then pass "lintian (no errors)"; else fail "lintian found errors"; fi

if [ "$failures" -ne 0 ]; then
  echo "check-package: $failures check(s) failed" >&2
  exit 1
fi
echo "check-package: $deb passed"
