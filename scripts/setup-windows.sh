#!/bin/sh
# Installs what the Windows cross build and its runs under Wine need, when
# something is missing and we are root: the MinGW-w64 compilers (posix
# threads), Wine, and the Chinese locale that gives Wine the code page of
# the tool's users. Without root it only says what is missing.
set -e

PACKAGES="g++-mingw-w64-x86-64-posix wine64 wine googletest ninja-build locales xz-utils zip"
LOCALE=zh_CN.UTF-8

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
have_locale() { locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; }

if [ -n "$missing" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup-windows: missing Debian packages:$missing (run as root to install them)" >&2
  else
    echo "setup-windows: installing$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
  fi
fi

if ! have_locale; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup-windows: locale $LOCALE missing (run as root to generate it)" >&2
  else
    # Listed in /etc/locale.gen, so that a later locale-gen keeps it.
    echo "setup-windows: generating locale $LOCALE" >&2
    grep -qx "$LOCALE UTF-8" /etc/locale.gen 2>/dev/null || echo "$LOCALE UTF-8" >> /etc/locale.gen
    locale-gen >/dev/null
  fi
fi
