#!/bin/sh
# Times one batch run over the same folder three ways: codekiln-cli, the
# window with the progress dialog shown from the first file, and the window
# as a user meets it (dialog after half a second). Each run gets a fresh copy
# of the folder; best of REPS. Runs the window under Xvfb with openbox, so
# painting goes through a real X server and window manager. With SHOTS=PREFIX
# it saves screenshots of the progress dialog and the summary box.
#
# usage: sh bench/window_timing.sh BUILDDIR [FILES] [MEGABYTES]
set -eu

[ $# -ge 1 ] || { echo "usage: sh bench/window_timing.sh BUILDDIR [FILES] [MEGABYTES]" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
FILES=${2:-365}
MEGABYTES=${3:-12}
REPS=${REPS:-3}
WORK="$BUILD/window-timing"
export XDG_CONFIG_HOME="$WORK/config"

cmake --build "$BUILD" -j2 --target codekiln_corpus codekiln_window_run codekiln-cli >/dev/null
GEN="$BUILD/bench/codekiln_corpus"
RUN="$BUILD/bench/codekiln_window_run"
CLI=$(find "$BUILD/src" -type f -name codekiln-cli -perm -u+x | head -n 1)
for tool in Xvfb openbox; do
    command -v $tool >/dev/null || { echo "window_timing: $tool is missing" >&2; exit 1; }
done

rm -rf "$WORK"
mkdir -p "$WORK/config"
"$GEN" --files "$FILES" --megabytes "$MEGABYTES" --big 0 "$WORK/corpus" >/dev/null
BYTES=$(cat "$WORK/corpus"/* | wc -c)

# An X server with a window manager, for the window's runs.
DISPLAY_NUMBER=${DISPLAY_NUMBER:-57}
Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap 'kill $OPENBOX $XVFB 2>/dev/null || true' EXIT
sleep 1
DISPLAY=":$DISPLAY_NUMBER" openbox >/dev/null 2>&1 &
OPENBOX=$!
sleep 1

fresh() {  # a fresh copy of the corpus and an empty backup folder
    rm -rf "$WORK/run" "$WORK/backup"
    cp -r "$WORK/corpus" "$WORK/run"
    mkdir -p "$WORK/backup"
    sync
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
best() { sort -n | head -n 1; }

cli_ms() {
    fresh
    start=$(now_ms)
    "$CLI" --backup-dir "$WORK/backup" "$WORK/run" >/dev/null 2>&1 || true
    echo $(( $(now_ms) - start ))
}
window_ms() {  # $1: the dialog's delay in ms
    fresh
    DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb "$RUN" --delay "$1" "$WORK/run" "$WORK/backup"
}

CLI_BEST=$(for i in $(seq "$REPS"); do cli_ms; done | best)
DIALOG_BEST=$(for i in $(seq "$REPS"); do window_ms 0; done | best)
USER_BEST=$(for i in $(seq "$REPS"); do window_ms 500; done | best)

echo "folder: $FILES files, $BYTES bytes; best of $REPS"
echo "codekiln-cli:                          $CLI_BEST ms"
echo "window, dialog from the first file:    $DIALOG_BEST ms ($(( (DIALOG_BEST - CLI_BEST) * 100 / CLI_BEST ))% over the command line)"
echo "window, dialog after 500 ms:           $USER_BEST ms ($(( (USER_BEST - CLI_BEST) * 100 / CLI_BEST ))% over the command line)"

if [ -n "${SHOTS:-}" ]; then
    fresh
    DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb "$RUN" --delay 0 --shots "$SHOTS" "$WORK/run" "$WORK/backup" >/dev/null
    echo "screenshots: ${SHOTS}progress.png ${SHOTS}summary.png"
fi
