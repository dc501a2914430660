#!/bin/sh
# Installs the Debian packages the build, the tests, the examples and the
# package check need, when some are missing and we are root. Without root it
# only says what is missing and leaves the rest to the build.
set -e

PACKAGES="cmake g++ make qt6-base-dev qt6-translations-l10n libgl-dev libgtest-dev libgmock-dev libbenchmark-dev \
xvfb xauth fonts-noto-cjk clang libclang-rt-14-dev \
gfortran help2man dpkg-dev file lintian desktop-file-utils appstream man-db locales \
libdtl-dev libtomlplusplus-dev libxxhash-dev pre-commit git neovim"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

# A locale with a decimal comma, for the test that numbers read the same
# under every locale. Generated once, as root.
need_locale() {
  ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'
}

if [ -z "$missing" ] && ! need_locale; then exit 0; fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing Debian packages:$missing (run as root to install them)" >&2
  exit 0
fi

if [ -n "$missing" ]; then
  echo "setup: installing$missing" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

if need_locale && [ "$(id -u)" -eq 0 ] && [ -f /etc/locale.gen ]; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
