#!/bin/sh
# The hooks of .pre-commit-hooks.yaml under pre-commit, in a temporary git
# repository: the formatting hook changes a file once and then passes; the
# checking hook fails on an unformatted file and passes on a formatted one;
# a .f file is read as fixed form.
# Usage: pre_commit_test.sh CODEKILN_CLI SOURCE_DIR
set -eu
cli=$1
source_dir=$2
command -v pre-commit >/dev/null || { echo "pre-commit is not installed (scripts/setup.sh)"; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/config" PRE_COMMIT_HOME="$tmp/cache"
mkdir -p "$HOME" "$tmp/bin"
# codekiln-cli on the PATH, with its backups kept in the temporary folder.
printf '#!/bin/sh\nexec "%s" --backup-dir "%s" "$@"\n' "$cli" "$tmp/backups" >"$tmp/bin/codekiln-cli"
chmod +x "$tmp/bin/codekiln-cli"
PATH="$tmp/bin:$PATH"
export GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@example.org GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@example.org

# The hooks' repository: this project's hook file, committed.
git init -q "$tmp/hooks"
cp "$source_dir/.pre-commit-hooks.yaml" "$tmp/hooks/"
git -C "$tmp/hooks" add .pre-commit-hooks.yaml
git -C "$tmp/hooks" commit -qm hooks
rev=$(git -C "$tmp/hooks" rev-parse HEAD)

git init -q "$tmp/project"
cd "$tmp/project"
cat >.pre-commit-config.yaml <<YAML
repos:
  - repo: $tmp/hooks
    rev: $rev
    hooks:
      - id: codekiln
      - id: codekiln-check
YAML
mkdir src
printf 'program p\r\nx =%64s1\r\nend program p\r\n' '' >src/a.f90
# Fixed form, which a free-form reading would pull out of its statement field.
printf '      PROGRAM Q\n      X = 1\n      END\n' >src/old.f
printf 'not fortran\n' >notes.txt
git add .
fail() { echo "FAIL: $*"; exit 1; }

pre-commit run codekiln-check --all-files >"$tmp/log" 2>&1 && fail "check passed on an unformatted file"
pre-commit run codekiln --all-files >"$tmp/log" 2>&1 && fail "formatting changed nothing"
grep -q 'x = 1' src/a.f90 || fail "src/a.f90 not formatted: $(cat src/a.f90)"
grep -q '^      PROGRAM Q' src/old.f || fail "src/old.f not read as fixed form: $(cat src/old.f)"
git add .
pre-commit run --all-files >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "hooks fail on formatted files"; }
[ "$(cat notes.txt)" = "not fortran" ] || fail "notes.txt touched"
echo "pre-commit hooks: ok"
