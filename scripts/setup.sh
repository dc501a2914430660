#!/bin/sh
# Installs the Debian packages the build, the tests and the examples need,
# when some are missing and we are root. Without root it only says what is
# missing and leaves the rest to the build.
set -e

PACKAGES="cmake g++ make qt6-base-dev qt6-translations-l10n libgl-dev libgtest-dev libgmock-dev libbenchmark-dev \
xvfb xauth fonts-noto-cjk clang libclang-rt-14-dev"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing Debian packages:$missing (run as root to install them)" >&2
  exit 0
fi

echo "setup: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends $missing >/dev/null
