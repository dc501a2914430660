#!/bin/sh
# Measures, in one run and on the same bytes, the formatting engine alone,
# codekiln-cli (one file to stdout, and a whole batch run with backups and
# in-place rewrite), a bare getline/write loop and findent (when installed)
# as yardsticks, one file to stdout in each layout and in both source forms
# (with its peak memory per input byte), the copy floor (the bytes a batch run must at least read and
# write, made durable), a batch run over 10,000 files, the undo of a batch
# run (--restore), each with one job and with two, and a batch run's time
# taken apart step by step; then the stress files for linear time. Every
# row's output is compared byte for byte with its reference. Prints the
# tables and writes them to docs/PERFORMANCE.md.
#
# usage: sh bench/run_bench.sh BUILDDIR
# The corpus is generated once into BUILDDIR/bench-corpus (with a fixed-form
# file joined from the repository's fixed-form samples); scratch copies and
# raw results go to BUILDDIR/bench-work. Nothing is installed; a missing
# findent or codekiln-cli only leaves its rows out.
# BENCH_REPS=N sets the runs per fast row (best of N, default 3);
# BENCH_REPORT_ONLY=1 writes the report again from the last run's results;
# BENCH_SMALL=1 runs every row on a small corpus of its own (60 files, a
# folder of 300 for the many-files rows, the stress files left out), to try
# the script in a minute: its report goes to BUILDDIR/bench-work-small only;
# BENCH_FINDENT=PATH names the yardstick's program (default: findent on the
# PATH, except with BENCH_SMALL=1; empty: its rows left out).
set -eu

[ $# -ge 1 ] || { echo "usage: sh bench/run_bench.sh BUILDDIR" >&2; exit 2; }
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "$1" && pwd)
DOC="$ROOT/docs/PERFORMANCE.md"
SMALL=${BENCH_SMALL:-0}
if [ "$SMALL" = 1 ]; then
    CORPUS="$BUILD/bench-corpus-small"
    WORK="$BUILD/bench-work-small"
    CORPUS_SIZE="--files 60 --megabytes 3 --big 1"
    MANY=300  # files of the many-files row
    MANY_SIZE="--megabytes 2"
else
    CORPUS="$BUILD/bench-corpus"
    WORK="$BUILD/bench-work"
    CORPUS_SIZE=""
    MANY=10000
    MANY_SIZE="--megabytes 60"
fi
RESULTS="$WORK/results"
REPS=${BENCH_REPS:-3}
# The jobs a run uses when none are asked for: the machine's cores.
CORES=$(nproc)
export LC_ALL=C
# The command line stores its backup slot in the settings store; keep that
# out of the user's own configuration.
export XDG_CONFIG_HOME="$WORK/config"

say() { printf '%s\n' "$*" >&2; }

# --- tools -----------------------------------------------------------------
say "bench: building the benchmark tools"
cmake --build "$BUILD" -j2 --target codekiln_corpus codekiln_engine_run codekiln_bench codekiln_nosync \
    codekiln_line_copy >/dev/null
cmake --build "$BUILD" -j2 --target codekiln-cli codekiln_phase_run >/dev/null 2>&1 || true
GEN="$BUILD/bench/codekiln_corpus"
ENGINE="$BUILD/bench/codekiln_engine_run"
GBENCH="$BUILD/bench/codekiln_bench"
NOSYNC=$(find "$BUILD/bench" -maxdepth 1 -name 'libcodekiln_nosync.so' | head -n 1)
LINECOPY="$BUILD/bench/codekiln_line_copy"
PHASES="$BUILD/bench/codekiln_phase_run"
[ -x "$PHASES" ] || PHASES=""
CLI=$(find "$BUILD/src" -type f -name codekiln-cli -perm -u+x 2>/dev/null | head -n 1)
if [ "$SMALL" = 1 ]; then
    FINDENT=${BENCH_FINDENT-}
else
    FINDENT=${BENCH_FINDENT-$(command -v findent || true)}
fi
[ -x /usr/bin/time ] || { say "bench: /usr/bin/time is missing (Debian package time)"; exit 1; }
[ -n "$CLI" ] || say "bench: codekiln-cli is not built; its rows are left out"
[ -n "$FINDENT" ] || say "bench: no findent to compare with (not on the PATH, or BENCH_FINDENT empty); its rows are left out"

# --- corpus ----------------------------------------------------------------
if [ ! -f "$CORPUS/.complete" ] || [ ! -d "$CORPUS/many" ]; then
    say "bench: generating the corpus into $CORPUS"
    rm -rf "$CORPUS"
    mkdir -p "$CORPUS"
    # shellcheck disable=SC2086 # the size options are words
    "$GEN" $CORPUS_SIZE "$CORPUS/files" >/dev/null
    # shellcheck disable=SC2086
    "$GEN" $CORPUS_SIZE --concat "$CORPUS/corpus-all.f90" >/dev/null
    # The joined file must be the folder's bytes in name order.
    cat "$CORPUS"/files/* | cmp -s - "$CORPUS/corpus-all.f90" ||
        { say "bench: the joined corpus differs from the folder"; exit 1; }
    # Many small files: what a run spends per file rather than per byte.
    # shellcheck disable=SC2086
    "$GEN" --files "$MANY" $MANY_SIZE --big 0 "$CORPUS/many" >/dev/null
    touch "$CORPUS/.complete"
fi
ALL="$CORPUS/corpus-all.f90"
BYTES=$(wc -c < "$ALL" | tr -d ' ')
FILES=$(find "$CORPUS/files" -type f | wc -l | tr -d ' ')
LARGEST=$(find "$CORPUS/files" -type f -printf '%s\n' | sort -n | tail -n 1)
OVER1MB=$(find "$CORPUS/files" -type f -size +1000000c | wc -l | tr -d ' ')
MANY_BYTES=$(cat "$CORPUS"/many/* | wc -c | tr -d ' ')
ALL_LINES=$(wc -l < "$ALL" | tr -d ' ')

# A fixed-form file about as large as the joined file: the repository's
# fixed-form samples joined and repeated. Its .f extension decides the form.
# Built apart from the generated corpus, so that a corpus from before it
# gains it without being generated again; under a temporary name until it is
# whole, so that an interrupted run leaves none behind.
FIXED="$CORPUS/corpus-fixed.f"
FIXED_SAMPLES="examples/legacy_fixed.f tests/engine/format/fixed/band.f tests/engine/format/fixed/deep.f
tests/engine/format/fixed/report.f tests/engine/format/golden/fixed_layout.f tests/engine/format/golden/labels.f"
size() { wc -c < "$1" | tr -d ' '; }
joinFixed() {
    set --
    for f in $FIXED_SAMPLES; do
        if [ -f "$ROOT/$f" ]; then set -- "$@" "$ROOT/$f"; fi
    done
    [ $# -gt 0 ] || { say "bench: none of the fixed-form samples is there"; exit 1; }
    say "bench: joining $# fixed-form samples into $FIXED"
    unit="$FIXED.unit" block="$FIXED.block" part="$FIXED.part"
    cat "$@" > "$unit"
    # A block of a sixteenth to an eighth of the size, by doubling; as many
    # blocks as fit, then single copies of the samples up to the size.
    cp "$unit" "$block"
    while [ "$(size "$block")" -lt $((BYTES / 16)) ]; do
        cat "$block" "$block" > "$part"
        mv "$part" "$block"
    done
    : > "$part"
    blockSize=$(size "$block") have=0
    while [ $((have + blockSize)) -le "$BYTES" ]; do
        cat "$block" >> "$part"
        have=$((have + blockSize))
    done
    unitSize=$(size "$unit")
    while [ "$have" -lt "$BYTES" ]; do
        cat "$unit" >> "$part"
        have=$((have + unitSize))
    done
    rm -f "$unit" "$block"
    mv "$part" "$FIXED"
}
[ -f "$FIXED" ] || joinFixed
FIXED_BYTES=$(size "$FIXED")
FIXED_LINES=$(wc -l < "$FIXED" | tr -d ' ')

# --- timing ----------------------------------------------------------------
# timed IN OUT CMD...: runs CMD once under /usr/bin/time -v with stdin IN and
# stdout OUT; sets WALL and CPU (seconds) and RSS (kB).
timed() {
    in=$1 out=$2
    shift 2
    t0=$(date +%s%N)
    if ! /usr/bin/time -v -o "$WORK/time.txt" "$@" < "$in" > "$out" 2>> "$WORK/stderr.txt"; then
        say "bench: failed: $*"
        tail -n 5 "$WORK/stderr.txt" >&2
        exit 1
    fi
    t1=$(date +%s%N)
    WALL=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    CPU=$(awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.3f", s }' "$WORK/time.txt")
    RSS=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")
}

# measure NAME REPS PREP CHECK IN OUT CMD...: the best wall time of REPS
# runs, each after the shell function PREP and checked by the shell function
# CHECK; records "NAME wall cpu rss_kB".
measure() {
    name=$1 reps=$2 prep=$3 check=$4 min=
    shift 4
    bestCpu=0 maxRss=0 r=0
    while [ "$r" -lt "$reps" ]; do
        "$prep"
        timed "$@"
        "$check" "$name"
        if [ -z "$min" ] || awk -v a="$WALL" -v b="$min" 'BEGIN { exit !(a < b) }'; then
            min=$WALL bestCpu=$CPU
        fi
        [ "$RSS" -gt "$maxRss" ] && maxRss=$RSS
        r=$((r + 1))
    done
    echo "$name $min $bestCpu $maxRss" >> "$RESULTS"
    say "bench: $name: ${min} s, peak $((maxRss / 1024)) MiB"
}

# engineRow NAME ARGS...: the engine's own in-memory timing; peak memory
# from /usr/bin/time (the driver holds all input in memory).
engineRow() {
    name=$1
    shift
    timed /dev/null "$WORK/engine.txt" "$ENGINE" --repeat "$REPS" "$@"
    wall=$(sed -n 's/.* seconds=\([^ ]*\).*/\1/p' "$WORK/engine.txt")
    cpu=$(sed -n 's/.*cpu_seconds=\([^ ]*\).*/\1/p' "$WORK/engine.txt")
    echo "$name $wall $cpu $RSS" >> "$RESULTS"
    say "bench: $name: ${wall} s"
}

nothing() { :; }
# freshCopy [FOLDER]: the corpus folder (or FOLDER of it) copied afresh into
# $WORK/tree and flushed to disk.
freshCopy() {
    rm -rf "$WORK/tree" "$WORK/backups" "$WORK/floor-backup"
    cp -r "$CORPUS/${1:-files}" "$WORK/tree"
    sync -f "$WORK/tree" 2>/dev/null || true
}
freshMany() { freshCopy many; }

# The checks: each row's output, byte for byte, against its reference. The
# first batch run over a folder is the reference for every later run over it;
# it must have formatted every file.
differs() { say "bench: $1: its output differs from $2"; exit 1; }
sameAsInput() { cmp -s "$WORK/out" "$ALL" || differs "$1" "the joined file"; }
# Every --stdout row has a reference of its own: its first run, which must
# have written something.
sameStdout() {
    ref="$WORK/stdout-$1.ref"
    if [ ! -f "$ref" ]; then
        [ -s "$WORK/out" ] || { say "bench: $1 wrote nothing"; exit 1; }
        cp "$WORK/out" "$ref"
    fi
    cmp -s "$WORK/out" "$ref" || differs "$1" "its first run"
}
# The modern layout changes only indentation: its output keeps every line.
sameLines() {
    got=$(wc -l < "$WORK/out" | tr -d ' ')
    [ "$got" -eq "$2" ] || { say "bench: $1 wrote $got lines for $2"; exit 1; }
}
modernStdout() { sameStdout "$1"; sameLines "$1" "$ALL_LINES"; }
modernFixedStdout() { sameStdout "$1"; sameLines "$1" "$FIXED_LINES"; }
sameFolder() { diff -r -q "$WORK/tree" "$CORPUS/files" >/dev/null || differs "$1" "the corpus folder"; }
# sameTree NAME [REFERENCE]: $WORK/tree against the first batch run's result.
sameTree() {
    ref="$WORK/${2:-batch.ref}"
    if [ ! -d "$ref" ]; then
        unformatted=$(find "$WORK/tree" -type f -exec grep -L -m 1 -F '! ****' {} + | wc -l | tr -d ' ')
        [ "$unformatted" = 0 ] || { say "bench: $1 left $unformatted files unformatted"; exit 1; }
        cp -r "$WORK/tree" "$ref"
    fi
    diff -r -q "$WORK/tree" "$ref" >/dev/null || differs "$1" "the first batch run"
}
sameMany() { sameTree "$1" many.ref; }

# The undo of a batch run: the folder and backups that one batch run left,
# laid out again before each restore (the manifest names the folder, so it
# stays where the run was), and the restore checked to give back the corpus
# folder and to report what the first restore reported (its first line, the
# run's start in local time, left out).
keepRun() {
    freshCopy
    "$CLI" --yes --backup-dir "$WORK/backups" "$WORK/tree" > /dev/null
    sameTree "batch before --restore"
    rm -rf "$WORK/run.tree" "$WORK/run.backups"
    cp -a "$WORK/tree" "$WORK/run.tree"
    cp -a "$WORK/backups" "$WORK/run.backups"
}
ranAgain() {
    rm -rf "$WORK/tree" "$WORK/backups"
    cp -a "$WORK/run.tree" "$WORK/tree"
    cp -a "$WORK/run.backups" "$WORK/backups"
    sync -f "$WORK/tree" 2>/dev/null || true
}
sameRestore() {
    sameFolder "$1"
    tail -n +2 "$WORK/restore.txt" > "$WORK/restore.now"
    [ -f "$WORK/restore.ref" ] || cp "$WORK/restore.now" "$WORK/restore.ref"
    cmp -s "$WORK/restore.now" "$WORK/restore.ref" || differs "$1" "the first restore's report"
}

# phaseRows JOBS: the batch run taken apart with JOBS jobs, the steps of its
# fastest of REPS runs in $WORK/phases-jJOBS.txt.
phaseRows() {
    best=
    r=0
    while [ "$r" -lt "$REPS" ]; do
        freshCopy
        "$PHASES" -j "$1" "$WORK/backups" "$WORK/tree" > "$WORK/phases.now"
        sameTree "phases -j $1"
        total=$(awk '$1 == "total" { print $2 }' "$WORK/phases.now")
        if [ -z "$best" ] || awk -v a="$total" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$total
            cp "$WORK/phases.now" "$WORK/phases-j$1.txt"
        fi
        r=$((r + 1))
    done
    say "bench: phases -j $1: ${best} s"
}

runAll() {
    rm -rf "$WORK"
    mkdir -p "$WORK"
    : > "$RESULTS"
    cut -d' ' -f1-3 /proc/loadavg > "$WORK/load-start"

    engineRow engine "$CORPUS/files"
    engineRow engine_joined "$ALL"
    measure line_copy "$REPS" nothing sameAsInput /dev/null "$WORK/out" "$LINECOPY" "$ALL"
    if [ -n "$CLI" ]; then
        measure cli_stdout "$REPS" nothing sameStdout /dev/null "$WORK/out" "$CLI" --stdout "$ALL"
        measure cli_stdout_modern "$REPS" nothing modernStdout /dev/null "$WORK/out" \
            "$CLI" --style modern --stdout "$ALL"
        measure cli_stdout_fixed "$REPS" nothing sameStdout /dev/null "$WORK/out" "$CLI" --stdout "$FIXED"
        measure cli_stdout_fixed_modern "$REPS" nothing modernFixedStdout /dev/null "$WORK/out" \
            "$CLI" --style modern --stdout "$FIXED"
    fi
    if [ -n "$FINDENT" ]; then
        measure findent 1 nothing nothing "$ALL" /dev/null "$FINDENT" -ifree
    fi
    # The copy floor: the folder copied into a backup folder, then copied
    # over itself, as a batch run must at least read and write it, and made
    # durable as a batch run makes it.
    # shellcheck disable=SC2016 # expanded by the sh that runs it
    floor='cp -r "$1/tree" "$1/floor-backup" && cp -r "$1/floor-backup/." "$1/tree/" && sync -f "$1/tree"'
    measure copy_floor "$REPS" freshCopy sameFolder /dev/null /dev/null sh -c "$floor" sh "$WORK"
    if [ -n "$CLI" ]; then
        # One job and two; the machine's default (its cores) besides where
        # that is neither.
        for jobs in 1 2; do
            measure "batch_j$jobs" "$REPS" freshCopy sameTree /dev/null "$WORK/summary.txt" \
                "$CLI" --yes -j "$jobs" --backup-dir "$WORK/backups" "$WORK/tree"
        done
        if [ "$CORES" -gt 2 ]; then
            measure batch "$REPS" freshCopy sameTree /dev/null "$WORK/summary.txt" \
                "$CLI" --yes --backup-dir "$WORK/backups" "$WORK/tree"
        fi
        if [ -n "$NOSYNC" ]; then
            measure batch_nosync "$REPS" freshCopy sameTree /dev/null "$WORK/summary.txt" \
                env LD_PRELOAD="$NOSYNC" "$CLI" --yes --backup-dir "$WORK/backups" "$WORK/tree"
        fi
        if [ -n "$PHASES" ]; then
            # The same batch run taken apart, with one job and with two.
            phaseRows 1
            phaseRows 2
        fi
        # The undo of the batch run.
        keepRun
        for jobs in 1 2; do
            measure "restore_j$jobs" "$REPS" ranAgain sameRestore /dev/null "$WORK/restore.txt" \
                "$CLI" --restore -j "$jobs" --backup-dir "$WORK/backups"
        done
        # Many small files: one run each (the floor made durable the same way).
        measure copy_floor_many 1 freshMany nothing /dev/null /dev/null sh -c "$floor" sh "$WORK"
        for jobs in 1 2; do
            measure "batch_many_j$jobs" 1 freshMany sameMany /dev/null "$WORK/summary.txt" \
                "$CLI" --yes -j "$jobs" --backup-dir "$WORK/backups" "$WORK/tree"
        done
        if [ "$CORES" -gt 2 ]; then
            measure batch_many 1 freshMany sameMany /dev/null "$WORK/summary.txt" \
                "$CLI" --yes --backup-dir "$WORK/backups" "$WORK/tree"
        fi
    fi

    : > "$WORK/gbench.csv"
    if [ "$SMALL" != 1 ]; then
        say "bench: Google Benchmark (10 MB in memory, stress files)"
        "$GBENCH" --benchmark_format=csv > "$WORK/gbench.csv" 2> "$WORK/gbench.err" ||
            { say "bench: codekiln_bench failed"; tail -n 5 "$WORK/gbench.err" >&2; exit 1; }
    fi

    cut -d' ' -f1-3 /proc/loadavg > "$WORK/load-end"
    rm -rf "$WORK/tree" "$WORK/backups" "$WORK/floor-backup" "$WORK"/*.ref "$WORK/out" "$WORK/run.tree" \
        "$WORK/run.backups"
}

if [ "${BENCH_REPORT_ONLY:-0}" = 1 ]; then
    [ -s "$RESULTS" ] || { say "bench: no results in $WORK to report"; exit 1; }
else
    runAll
fi
LOAD_START=$(cat "$WORK/load-start")
LOAD_END=$(cat "$WORK/load-end")

# --- report ----------------------------------------------------------------
CPU_MODEL=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
MEM_GB=$(awk '/MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)
BUILD_TYPE=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
COMPILER=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
COMPILER_VERSION=$("$COMPILER" --version 2>/dev/null | head -n 1)
FINDENT_VERSION=$([ -n "$FINDENT" ] && "$FINDENT" -v 2>/dev/null | head -n 1 || echo "findent not run")

report() {
    cat <<EOF
# Performance

Written by \`make bench\` (\`sh bench/run_bench.sh $(basename "$BUILD")\`) on $(date -u '+%Y-%m-%d %H:%M UTC').
Run it again to refresh every figure below.
$([ "$SMALL" = 1 ] && printf '\n**Small corpus (BENCH_SMALL=1): a try of the script, not a measurement.**\n')

## Machine

- CPU: $CPU_MODEL, $CORES cores; memory $MEM_GB GiB; $(uname -sr)
- Build: $BUILD_TYPE, $COMPILER_VERSION; $FINDENT_VERSION
- Load average at start $LOAD_START, at end $LOAD_END (other work on the machine slows every row)

## Corpus

$FILES generated free-form files, $BYTES bytes ($(awk -v b="$BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB), $OVER1MB of them over 1 MB, the largest $LARGEST bytes.
\`bench-corpus/corpus-all.f90\` joins them in name order: the same bytes in one file.
\`bench-corpus/corpus-fixed.f\` joins the repository's fixed-form samples, repeated to about the same size: $FIXED_BYTES bytes ($(awk -v b="$FIXED_BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB), $FIXED_LINES lines; its \`.f\` extension makes it fixed form.
A second folder of $MANY smaller files, $MANY_BYTES bytes ($(awk -v b="$MANY_BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB), times what a run costs per file.
MB means 10^6 bytes. Times are wall-clock, best of $REPS runs (findent and the $MANY-file rows: one run). Every batch run and copy floor starts from a fresh copy of the folder, flushed to disk first.
Every row's output is compared byte for byte with its reference by the benchmark itself, which stops at the first difference:
the getline loop's with the joined file, every \`--stdout\` run's with its row's first (and the modern layout's line count with its input's), the copy floor's with the corpus folder,
every batch run's tree (with any number of jobs, the diagnostic and the taken-apart runs included) with the first batch run's, which must have formatted every file,
and every \`--restore\`'s folder with the corpus folder and its report with the first restore's.

EOF
    awk -v bytes="$BYTES" -v largest="$LARGEST" -v gb="$WORK/gbench.csv" -v many="$MANY" \
        -v manyBytes="$MANY_BYTES" -v phases1="$WORK/phases-j1.txt" -v phases2="$WORK/phases-j2.txt" \
        -v files="$FILES" -v cores="$CORES" -v fixedBytes="$FIXED_BYTES" '
    function mbps(s) { return s > 0 ? bytes / s / 1e6 : 0 }
    function cell(x, fmt) { return x == "" ? "n/a" : sprintf(fmt, x) }
    function verdict(ok) { return ok ? "met" : "not met" }
    # a / b, or "" where b rounds to nothing (a CPU time below the clock tick).
    function div(a, b) { return b > 0 ? a / b : "" }
    function cpuVerdict(r, ok) { return r == "" ? "n/a" : verdict(ok) }
    # The row of a run with the default jobs (the cores): measured as such
    # only where that is neither one nor two.
    function byDefault(k) { return (k in wall) ? k : (cores == 1 ? k "_j1" : k "_j2") }
    function readPhases(file, sec, names,    line, f, n) {
        n = 0
        while ((getline line < file) > 0) {
            split(line, f, " ")
            names[++n] = f[1]; sec[f[1]] = f[2]
        }
        return n
    }
    {
        wall[$1] = $2; cpu[$1] = $3; rss[$1] = $4; order[++n] = $1
    }
    END {
        label["engine"] = "Engine alone, in memory, each file with a fresh session"
        label["engine_joined"] = "Engine alone, in memory, the joined file"
        label["line_copy"] = "Bare getline/write loop on the joined file (`codekiln_line_copy`)"
        label["cli_stdout"] = "`codekiln-cli --stdout` on the joined file"
        label["cli_stdout_modern"] = "`codekiln-cli --style modern --stdout` on the joined file"
        label["cli_stdout_fixed"] = "`codekiln-cli --stdout` on the joined fixed-form file"
        label["cli_stdout_fixed_modern"] = "`codekiln-cli --style modern --stdout` on the joined fixed-form file"
        label["findent"] = "findent, joined file from stdin"
        label["copy_floor"] = "Copy floor: `cp -r` into a backup folder, `cp` back over the folder, `sync`"
        label["batch_j1"] = "`codekiln-cli --yes -j 1` batch run over the folder"
        label["batch_j2"] = "`codekiln-cli --yes -j 2` batch run over the folder"
        label["batch"] = "`codekiln-cli --yes` batch run over the folder (" cores " jobs, the default)"
        label["restore_j1"] = "`codekiln-cli --restore -j 1`: the batch run undone"
        label["restore_j2"] = "`codekiln-cli --restore -j 2`: the batch run undone"
        label["batch_nosync"] = "the same batch run with fsync/fdatasync made no-ops (diagnostic)"
        label["copy_floor_many"] = "Copy floor over the " many " small files"
        label["batch_many_j1"] = "`codekiln-cli --yes -j 1` batch run over the " many " small files"
        label["batch_many_j2"] = "`codekiln-cli --yes -j 2` batch run over the " many " small files"
        label["batch_many"] = "`codekiln-cli --yes` batch run over the " many " small files (" cores " jobs, the default)"
        print "## Throughput on the same bytes\n"
        print "| Run | MB/s | × findent | × copy floor time | wall s | CPU s | peak RSS MiB |"
        print "|---|---:|---:|---:|---:|---:|---:|"
        for (i = 1; i <= n; i++) {
            k = order[i]
            xf = ("findent" in wall) ? cell(wall["findent"] / wall[k], "%.1f") : "n/a"
            xc = ("copy_floor" in wall) ? cell(wall[k] / wall["copy_floor"], "%.2f") : "n/a"
            b = (k ~ /_many/) ? manyBytes : (k ~ /_fixed/) ? fixedBytes : bytes
            floor = (k ~ /_many/) ? "copy_floor_many" : "copy_floor"
            xc = (floor in wall) ? cell(wall[k] / wall[floor], "%.2f") : "n/a"
            if (k ~ /_many/ || k ~ /^restore/ || k ~ /_fixed/) xf = "n/a"
            if (k ~ /_fixed/) xc = "n/a"
            printf "| %s | %.1f | %s | %s | %.3f | %.3f | %.1f |\n", label[k], (wall[k] > 0 ? b / wall[k] / 1e6 : 0), xf, xc, wall[k], cpu[k], rss[k] / 1024
        }
        print "\nThe engine rows hold the whole corpus in memory, so their peak RSS is mostly input and output."
        if ("cli_stdout" in rss)
            printf "`--stdout` peaks at %.2f bytes of memory per input byte (peak RSS %.1f MiB, the program itself included, for %.1f MB).\n", rss["cli_stdout"] * 1024 / bytes, rss["cli_stdout"] / 1024, bytes / 1e6

        # Peak memory of one file to stdout, in each layout and form.
        mlabel["cli_stdout"] = "classic layout, free form (the joined file)"
        mlabel["cli_stdout_modern"] = "`--style modern`, free form (the joined file)"
        mlabel["cli_stdout_fixed"] = "classic layout, fixed form (the joined fixed-form file)"
        mlabel["cli_stdout_fixed_modern"] = "`--style modern`, fixed form (the joined fixed-form file)"
        split("cli_stdout cli_stdout_modern cli_stdout_fixed cli_stdout_fixed_modern", mk, " ")
        if ("cli_stdout" in rss) {
            print "\n## Peak memory per input byte\n"
            print "`codekiln-cli --stdout`, one file, peak RSS of the whole process (the program itself included) over the input'"'"'s bytes.\n"
            print "| Run | input MB | peak RSS MiB | bytes per input byte | wall s |"
            print "|---|---:|---:|---:|---:|"
            for (i = 1; i <= 4; i++) {
                k = mk[i]
                if (!(k in rss)) continue
                b = (k ~ /_fixed/) ? fixedBytes : bytes
                printf "| %s | %.1f | %.1f | %.2f | %.3f |\n", mlabel[k], b / 1e6, rss[k] / 1024, rss[k] * 1024 / b, wall[k]
            }
        }

        # One job against two.
        print "\n## Files in parallel: `-j 1` against `-j 2`\n"
        print "The same runs with one job and with two; every `-j 2` run'"'"'s output (tree, backups and report) was checked equal to the `-j 1` run'"'"'s.\n"
        print "| Run | `-j 1` wall s | `-j 1` CPU s | `-j 2` wall s | `-j 2` CPU s | `-j 2` time against `-j 1` |"
        print "|---|---:|---:|---:|---:|---:|"
        plabel2["batch"] = "batch run over the " files "-file folder"
        plabel2["batch_many"] = "batch run over the " many " small files"
        plabel2["restore"] = "`--restore` of the batch run"
        split("batch batch_many restore", pk, " ")
        for (i = 1; i <= 3; i++) {
            a = pk[i] "_j1"; b = pk[i] "_j2"
            if (!(a in wall) || !(b in wall)) continue
            printf "| %s | %.3f | %.3f | %.3f | %.3f | %.2f× |\n", plabel2[pk[i]], wall[a], cpu[a], wall[b], cpu[b], (wall[a] > 0 ? wall[b] / wall[a] : 0)
        }

        # The batch run taken apart.
        np = readPhases(phases1, psec, pname)
        np2 = readPhases(phases2, psec2, pname2)
        if (np > 0) {
            plabel["list"] = "listing the folder"
            plabel["look"] = "looking at each file (stat, resolved path)"
            plabel["read"] = "read"
            plabel["decode"] = "decode and encode"
            plabel["format"] = "format (the engine)"
            plabel["check"] = "check (the safety check)"
            plabel["fingerprint"] = "fingerprints for the manifest"
            plabel["backup"] = "backup copies, without their syncs"
            plabel["replace"] = "replace in place, without its syncs"
            plabel["sync"] = "sync (fsync and fdatasync)"
            plabel["manifest"] = "the run manifest"
            plabel["other"] = "the rest: the run'"'"'s own bookkeeping"
            print "\n## Where a batch run spends its time\n"
            printf "The batch run over the %d-file folder taken apart by `codekiln_phase_run` (the same run as `codekiln-cli --yes`, its output checked equal), the fastest of its runs with `-j 1`: %.3f s in all", files, psec["total"]
            if (np2 > 0) printf "; with `-j 2`: %.3f s", psec2["total"]
            print "."
            if (np2 > 0) {
                print "With `-j 2` the workers look at, read, decode, format and check files ahead of their turn while the run'"'"'s own thread backs up, replaces and syncs earlier ones:"
                print "that column adds up the time of every thread, so it can exceed the run'"'"'s total, and the rest is left out there."
            }
            print ""
            print "| Step | `-j 1` s | share | µs per file | `-j 2` s, all threads |"
            print "|---|---:|---:|---:|---:|"
            for (i = 1; i <= np; i++) {
                k = pname[i]
                if (k == "total") continue
                two = (np2 > 0 && (k in psec2) && k != "other") ? sprintf("%.3f", psec2[k]) : "n/a"
                printf "| %s | %.3f | %.1f%% | %.0f | %s |\n", (k in plabel ? plabel[k] : k), psec[k], 100 * psec[k] / psec["total"], 1e6 * psec[k] / files, two
            }
        }

        # Stress files from Google Benchmark: time per input byte per size.
        mbCol = 0
        while ((getline line < gb) > 0) {
            m = split(line, f, ",")
            for (c = 1; c <= m; c++) gsub(/"/, "", f[c])
            if (f[1] == "name") {
                for (c = 1; c <= m; c++) if (f[c] == "MB") mbCol = c
                continue
            }
            if (f[1] ~ /^formatCorpus\//) corpus[f[1]] = f[6] / 1e6
            if (mbCol > 0 && f[1] ~ /^(labelledDoLoops|nestedBlocks)\/[a-z]+:[0-9]+$/) {
                s = ++ns; sname[s] = f[1]; sreal[s] = f[3]; scpu[s] = f[4]; smb[s] = f[mbCol]
                split(f[1], p, "/")
                nsb = f[4] / f[mbCol]  # CPU ms per MB = ns per byte
                snsb[s] = nsb
                if (!(p[1] in lo) || nsb < lo[p[1]]) lo[p[1]] = nsb
                if (!(p[1] in hi) || nsb > hi[p[1]]) hi[p[1]] = nsb
            }
            if (f[1] ~ /_RMS$/) { sub(/_RMS/, "", f[1]); rms[f[1]] = f[4] }
            if (f[1] ~ /_BigO$/) { sub(/_BigO/, "", f[1]); bigo[f[1]] = f[5] }
        }
        print "\n## Linear time: stress files (Google Benchmark, in memory)\n"
        print "A file of labelled DO loops without separators, and one subroutine of nested IF/DO/SELECT blocks,"
        print "each at 1×, 10× and 100× its base size (100,000 loops; 10,000 levels)."
        print "A linear pass fits O(N) and keeps roughly its time per byte; a quadratic one would take 100× longer per byte at 100×."
        print "A step in time per byte between sizes, with the same fit, is the memory hierarchy: see the notes below.\n"
        print "| Case | input MB | wall ms | CPU ms | MB/s (CPU) | CPU ns per input byte |"
        print "|---|---:|---:|---:|---:|---:|"
        for (s = 1; s <= ns; s++)
            printf "| %s | %.1f | %.1f | %.1f | %.1f | %.2f |\n", sname[s], smb[s], sreal[s], scpu[s], smb[s] / scpu[s] * 1e3, snsb[s]
        if (ns == 0) print "| (not run this time) | | | | | |"
        print ""
        for (fname in lo)
            printf "- %s: best fitting complexity O(%s), %s%% RMS off the fit; CPU time per byte varies %.2f× over the 100-fold range.\n", fname, bigo[fname], ((fname in rms) ? sprintf("%.0f", rms[fname] * 100) : "?"), hi[fname] / lo[fname]
        print "\nGoogle Benchmark figures are CPU time, which other work on the machine disturbs less than wall time."
        print "The 10 MB in-memory corpus case: " sprintf("%.1f", corpus["formatCorpus/separators:1"]) " MB/s with separator banners, " sprintf("%.1f", corpus["formatCorpus/separators:0"]) " MB/s without."

        # Targets.
        print "\n## Targets\n"
        print "Each target is judged twice: on wall-clock time, and on CPU time (user and system), which leaves out most of the other load on the machine but also the waits for the disk."
        print "A batch run is judged with the default jobs (the " cores " cores).\n"
        print "| Target | Measured | By CPU time | Met by wall time | Met by CPU time |"
        print "|---|---|---|---|---|"
        e = mbps(wall["engine"]); ec = mbps(cpu["engine"])
        printf "| Engine, one thread, ≥ 250 MB/s | %.1f MB/s | %.1f MB/s | %s | %s |\n", e, ec, verdict(e >= 250), verdict(ec >= 250)
        if ("findent" in wall) {
            r = wall["findent"] / wall["engine"]; rc = div(cpu["findent"], cpu["engine"])
            printf "| Engine ≥ 30× findent | %.1f× | %s | %s | %s |\n", r, cell(rc, "%.1f×"), verdict(r >= 30), cpuVerdict(rc, rc >= 30)
            if ("cli_stdout" in wall) {
                r = wall["findent"] / wall["cli_stdout"]; rc = div(cpu["findent"], cpu["cli_stdout"])
                printf "| `--stdout` ≥ 40× findent | %.1f× | %s | %s | %s |\n", r, cell(rc, "%.1f×"), verdict(r >= 40), cpuVerdict(rc, rc >= 40)
            }
        }
        if (("cli_stdout" in wall) && ("line_copy" in wall)) {
            r = wall["cli_stdout"] / wall["line_copy"]; rc = div(cpu["cli_stdout"], cpu["line_copy"])
            printf "| `--stdout` no slower than the bare getline/write loop | %.2f× its time | %s | %s | %s |\n", r, cell(rc, "%.2f×"), verdict(r <= 1), cpuVerdict(rc, rc <= 1)
        }
        # The memory target holds for every layout and form, each judged on its own row.
        for (i = 1; i <= 4; i++) {
            k = mk[i]
            if (!(k in rss)) continue
            b = (k ~ /_fixed/) ? fixedBytes : bytes
            r = rss[k] * 1024 / b
            printf "| `--stdout` peak memory ≤ 2.5 bytes per input byte: %s | %.2f B/B | | %s | |\n", mlabel[k], r, verdict(r <= 2.5)
        }
        bd = byDefault("batch")
        if (bd in wall) {
            r = wall[bd] / wall["copy_floor"]; rc = div(cpu[bd], cpu["copy_floor"])
            printf "| Batch run ≤ 3× the copy floor time | %.2f× | %s | %s | %s |\n", r, cell(rc, "%.2f×"), verdict(r <= 3), cpuVerdict(rc, rc <= 3)
            if ("batch_nosync" in wall)
                printf "| (diagnostic) batch run with syncs skipped, against the copy floor | %.2f× | %s | | |\n", wall["batch_nosync"] / wall["copy_floor"], cell(div(cpu["batch_nosync"], cpu["copy_floor"]), "%.2f×")
            md = byDefault("batch_many")
            if (md in wall)
                printf "| %d files ≤ 15 s | %.1f s | %.1f s | %s | %s |\n", many, wall[md], cpu[md], verdict(wall[md] <= 15), verdict(cpu[md] <= 15)
            limit = 3 * largest / 1048576 + 30
            printf "| Batch peak memory ≤ 3× largest file + 30 MiB (%.1f MiB) | %.1f MiB | | %s | |\n", limit, rss[bd] / 1024, verdict(rss[bd] / 1024 <= limit)
        }
        for (fname in lo)
            printf "| %s in time linear in size (time per byte over 1×, 10×, 100×; quadratic would be ×100) | | O(%s), per byte ×%.2f | | %s |\n", fname, bigo[fname], hi[fname] / lo[fname], verdict(hi[fname] / lo[fname] <= 2)
    }' "$RESULTS"
    if [ -f "$ROOT/bench/performance_notes.md" ]; then
        echo
        cat "$ROOT/bench/performance_notes.md"
    fi
}

report > "$WORK/PERFORMANCE.md"
cat "$WORK/PERFORMANCE.md"
if [ "$SMALL" = 1 ]; then
    say "bench: small corpus: written to $WORK/PERFORMANCE.md only"
else
    mkdir -p "$(dirname "$DOC")"
    cp "$WORK/PERFORMANCE.md" "$DOC"
    say "bench: written to $DOC"
fi
