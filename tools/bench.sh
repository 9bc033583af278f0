#!/usr/bin/env bash
# Prints every benchmark figure. `make bench` runs it inside tools/with-wine.sh
# (one virtual display and one wineserver for the Windows sections).
#
# Each section is a function named bench_<name> that prints its own figures;
# to add one, define the function and append its name to SECTIONS below. A
# section that cannot run (its program not built) says so and is skipped.
#
# Build trees (override for private trees):
#   KANDU_NATIVE_BUILD  default build/native
#   KANDU_WIN32_BUILD   default build/win32
#   KANDU_WIN64_BUILD   default build/win64
set -uo pipefail
cd "$(dirname "$0")/.."
NATIVE=${KANDU_NATIVE_BUILD:-build/native}
WIN32=${KANDU_WIN32_BUILD:-build/win32}
WIN64=${KANDU_WIN64_BUILD:-build/win64}

BENCH_TMP=$(mktemp -d)
trap 'rm -rf "$BENCH_TMP"' EXIT

# ---- helpers ----

section() { printf '\n== %s ==\n' "$1"; }
skip() { echo "skipped: $*"; }

# Nanoseconds since the epoch.
now_ns() { date +%s%N; }

# One figure per line, aligned: figure NAME VALUE UNIT
figure() { printf '%-48s %12s %s\n' "$1" "$2" "$3"; }

# The realistic batch input: coefficients 400..4000, displayed -20..579,
# real -20..619, tab-separated, CRLF on every tenth line. Made once.
batch_input() {
    local file=$BENCH_TMP/lines-$1.txt
    if [ ! -f "$file" ]; then
        awk -v n="$1" 'BEGIN {
            srand(7)
            for (i = 1; i <= n; i++) {
                printf "%d\t%d\t%d%s\n", 400 + int(rand() * 3601), -20 + int(rand() * 600),
                    -20 + int(rand() * 640), (i % 10 == 0) ? "\r" : ""
            }
        }' >"$file"
    fi
    echo "$file"
}

# batch_throughput LABEL LINES PROGRAM [LOADER]: best of three runs, in lines
# per second, of PROGRAM reading LINES lines from a file into a file.
batch_throughput() {
    local label=$1 lines=$2 program=$3 loader=${4:-}
    local input best=0 run start end ns rate
    input=$(batch_input "$lines")
    for run in 1 2 3; do
        start=$(now_ns)
        $loader "$program" <"$input" >"$BENCH_TMP/out" 2>"$BENCH_TMP/err" || {
            echo "$label: run failed: $(head -c 200 "$BENCH_TMP/err")"
            return 1
        }
        end=$(now_ns)
        ns=$((end - start))
        rate=$((lines * 1000000000 / (ns > 0 ? ns : 1)))
        [ "$rate" -gt "$best" ] && best=$rate
    done
    [ "$(wc -l <"$BENCH_TMP/out")" = "$lines" ] || echo "$label: wrong number of output lines"
    figure "$label" "$best" "lines/s"
    figure "$label, time" "$((lines * 1000 / best))" "ms"
}

# ---- sections ----

bench_calc_micro() {
    section "calculation core (Google Benchmark, native)"
    [ -x "$NATIVE/calc_bench" ] || { skip "$NATIVE/calc_bench not built"; return; }
    "$NATIVE/calc_bench" --benchmark_min_time=0.5 2>&1 | grep -v '^\*\*\*WARNING'
}

bench_calc_batch_native() {
    section "kandu-calc batch throughput (native)"
    [ -x "$NATIVE/kandu-calc" ] || { skip "$NATIVE/kandu-calc not built"; return; }
    batch_throughput "native kandu-calc, 1,000,000 lines" 1000000 "$NATIVE/kandu-calc"
}

bench_calc_batch_wine() {
    section "kandu-calc.exe batch throughput (Wine)"
    command -v wine >/dev/null 2>&1 || { skip "wine not installed"; return; }
    . tools/wine-env.sh
    kandu_wine_prefix || { skip "no Wine prefix"; return; }
    local name exe
    for name in win64 win32; do
        [ $name = win64 ] && exe=$WIN64/kandu-calc.exe || exe=$WIN32/kandu-calc.exe
        [ -f "$exe" ] || { skip "$exe not built"; continue; }
        batch_throughput "$name kandu-calc.exe, 1,000,000 lines" 1000000 "$exe" "$(kandu_wine_for "$exe")"
    done
    echo "(includes Wine's process start$(kandu_i386_emulated && echo "; the 32-bit build runs under qemu emulation here"))"
}

SECTIONS=(
    calc_micro
    calc_batch_native
    calc_batch_wine
)

# ---- kandu.exe: size, imports, start-up, memory, idle CPU, keystrokes ----

bench_kandu_size() {
    section "kandu.exe size and imports"
    local name exe objdump size dlls
    for name in win32 win64; do
        [ $name = win32 ] && exe=$WIN32/kandu.exe objdump=i686-w64-mingw32-objdump ||
            exe=$WIN64/kandu.exe objdump=x86_64-w64-mingw32-objdump
        [ -f "$exe" ] || { skip "$exe not built"; continue; }
        size=$(stat -c %s "$exe")
        figure "$name kandu.exe size (target <= 32768 in win32)" "$size" "bytes"
        command -v $objdump >/dev/null 2>&1 || { skip "$objdump not installed"; continue; }
        dlls=$($objdump -p "$exe" | awk '/DLL Name:/ { print toupper($3) }' | sort | tr '\n' ' ')
        echo "$name kandu.exe imports: $dlls"
        # Only system DLLs: nothing of the compiler's runtime may be needed.
        local dll bad=""
        for dll in $dlls; do
            case $dll in
            KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | MSVCRT.DLL) ;;
            *) bad="$bad $dll" ;;
            esac
        done
        [ -z "$bad" ] && echo "$name kandu.exe imports only system DLLs: yes" ||
            echo "$name kandu.exe imports only system DLLs: NO ($bad )"
    done
}

# Start-up and peak working set against the floor, the same form written
# plainly in Win32, and a bare window (30 starts each, interleaved; the
# driver's default, or KANDU_BENCH_RUNS), CPU while idle for 10 s and
# keystroke latency, measured by a Windows driver under Wine. The 32-bit
# build is the shipped one.
bench_kandu_window() {
    section "kandu.exe against its floor (Wine)"
    command -v wine >/dev/null 2>&1 || { skip "wine not installed"; return; }
    . tools/wine-env.sh
    kandu_wine_prefix || { skip "no Wine prefix"; return; }
    local name build driver
    for name in win32 win64; do
        [ $name = win32 ] && build=$WIN32 || build=$WIN64
        driver=$build/kandu_bench_driver.exe
        [ -f "$driver" ] && [ -f "$build/kandu.exe" ] && [ -f "$build/floor.exe" ] &&
            [ -f "$build/baseline.exe" ] ||
            { skip "$name: kandu_bench_driver, kandu, floor or baseline not built in $build"; continue; }
        "$(kandu_wine_for "$driver")" "$driver" "$PWD/$build/kandu.exe" "$PWD/$build/floor.exe" \
            "$PWD/$build/baseline.exe" "$name" ${KANDU_BENCH_RUNS:+"$KANDU_BENCH_RUNS"} 2>/dev/null
    done
    if kandu_i386_emulated; then
        echo "(the 32-bit Wine loader runs under qemu user emulation on this machine: every"
        echo " 32-bit process start translates Wine's and the program's code afresh)"
    fi
}

SECTIONS+=(
    kandu_size
    kandu_window
)

for s in "${SECTIONS[@]}"; do "bench_$s"; done
