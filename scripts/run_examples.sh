#!/bin/sh
# Formats a scratch copy of examples/ with codekiln-cli and shows the result:
# the run's summary, then one formatted file. The copy, its backups and the
# settings store all live under <builddir>/examples-run, fresh each time, so
# the examples themselves and the user's own stored backup slot stay as they
# are.
set -e

build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/src/cli/codekiln-cli"
if [ ! -x "$cli" ]; then
  echo "run_examples: $cli not found; build first (make build)" >&2
  exit 1
fi

scratch="$build/examples-run"
rm -rf "$scratch"
mkdir -p "$scratch/config"
cp -R "$here/examples" "$scratch/examples"

echo "== codekiln-cli over $scratch/examples"
XDG_CONFIG_HOME="$scratch/config" "$cli" --yes --backup-dir "$scratch/backups" "$scratch/examples"

echo
echo "== labelled_loops.f90 before"
tr -d "\r" < "$here/examples/labelled_loops.f90"
echo
echo "== labelled_loops.f90 after"
tr -d '\r' < "$scratch/examples/labelled_loops.f90"
