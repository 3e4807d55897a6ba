#!/usr/bin/env bash
# System figures of Ostinel.exe under Wine, each next to the same figure of a minimal Win32 program:
# start to status window, idle CPU while connected, executable size and private memory, and an
# event flood with the main window probed throughout. Prints the figures and writes them into
# docs/performance.md. Takes about six minutes; not a test and not part of CI.
#
#   bench/system.sh [--starts N] [--idle-seconds S] [--idle-interval MS] [--flood N]
#
# OSTINEL_BUILD_DIR: Windows build directory to use (configured here when new); without it the
#   windows preset is used (build/windows).
# OSTINEL_HOST_BUILD_DIR: host build whose core_bench gives the frame rotation figures (default
#   build/host; left out when it has no core_bench).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-lib.sh"

echo "== building"
if [ -n "${OSTINEL_BUILD_DIR:-}" ]; then
  build=$OSTINEL_BUILD_DIR
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$build" -j2 --target OstinelPerf >/dev/null
else
  build=$root/build/windows
  (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows --target OstinelPerf >/dev/null)
fi

# Frame rotation figures from the host benchmark, when it has been built.
host=${OSTINEL_HOST_BUILD_DIR:-$root/build/host}
bench=$host/bin/core_bench
[ -x "$bench" ] || bench=$host/core_bench
rotation=
if [ -x "$bench" ]; then
  echo "== frame rotation (host core_bench)"
  rotation=$(mktemp /tmp/ostinel-rotation.XXXXXX)
  "$bench" --benchmark_filter='CompareRotation|RotateOurs/45|RotatePixman/45|CopyFrame' </dev/null >"$rotation" 2>&1 || true
  cat "$rotation"
  if ! grep -q '^CompareRotation' "$rotation"; then
    echo "(no rotation figures: $bench has no CompareRotation; rebuild the host preset)"
    rm -f "$rotation"
    rotation=
  fi
fi

# A fresh copy of the suite's template prefix, its own server, and an X display.
ostinel_wine_env
template=${OSTINEL_WINE_TEMPLATE:-$build/wine-template}
ostinel_wine_template "$template"
ostinel_ensure_display
prefix=$(mktemp -d /tmp/ostinel-bench.XXXXXX)
cleanup() {
  WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
  rm -rf "$prefix" "$prefix.out" "$prefix.md"
  [ -n "$rotation" ] && rm -f "$rotation"
  ostinel_stop_display
}
trap cleanup EXIT
cp -a "$template/." "$prefix/"
export WINEPREFIX=$prefix
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

echo "== system figures under Wine (a few minutes)"
# Output goes to a file (Wine's helper processes would hold a pipe open); it is shown as it grows.
wine "$build/bin/OstinelPerf.exe" --markdown "$(ostinel_winpath "$prefix.md")" "$@" </dev/null >"$prefix.out" 2>&1 &
perf=$!
shown=0
while kill -0 "$perf" 2>/dev/null; do
  sleep 2
  size=$(stat -c %s "$prefix.out")
  if [ "$size" -gt "$shown" ]; then
    tail -c +"$((shown + 1))" "$prefix.out" | head -c "$((size - shown))" || true
    shown=$size
  fi
done
tail -c +"$((shown + 1))" "$prefix.out"
status=0
wait "$perf" || status=$?
if [ ! -s "$prefix.md" ]; then
  echo "OstinelPerf.exe wrote no figures (exit $status)" >&2
  exit 1
fi

doc=$root/docs/performance.md
# The device link's figures come from bench/device-latency.sh, the hook's from bench/hook.sh, the
# policy's from e2e_tests, the ring's at every display scale and the before-and-after figures from
# side-by-side runs of this script; they are kept as they are.
device_link=$(awk '/^## (Device link|The ring at every display scale|Before and after|A policy written|The mouse hook)/{keep=1; print; next} /^## /{keep=0} keep' "$doc" 2>/dev/null || true)
{
  cat <<EOF
# Performance

Figures of the whole program, measured end to end by \`bench/system.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'):
$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')), Linux $(uname -r),
$(wine --version) with a fresh prefix, Xvfb without a window manager. The harness
(\`OstinelPerf.exe\`, \`bench/windows/ostinel_perf.cpp\`) starts the real \`Ostinel.exe\` against the simulated touch controller
(\`tools/sim_controller\`) and sets each figure beside the same figure of \`MinimalDialog.exe\`
(\`bench/windows/minimal_dialog.cpp\`), a Win32 program that only shows a small dialog from its resources and waits in a message loop. Both
are built the same way (mingw-w64, static C++ runtime, Release). Under Wine every figure carries
Wine's own cost (its loader, the server round trips); the ratios to the minimal program are the
figures that say most about Ostinel itself.

## How each figure is taken

- **Start to status window shown**: time from just before \`CreateProcessW\` until the program's
  first visible window (Ostinel's status window, the minimal program's dialog) is visible, polled
  every millisecond: the window list until that window exists, then only its visibility (polling
  the whole window list every millisecond loads the Wine server enough to slow Ostinel's start,
  which makes more server calls, by up to 40 ms). The two programs alternate; every program is left
  1.5 s to finish starting and the system 0.7 s to settle before the next start; the first start of
  each is not counted.
- **Idle CPU**: user plus kernel time of each process over the same window of time, both programs
  running side by side, Ostinel connected and sent nothing. Two kinds of driver: one that holds a
  read until the next touch (the device thread then waits on its outstanding read), and one that completes
  idle reads with a 0 byte (the thread then makes a pass, with its 10 ms sleep, for each).
- **Size and memory**: bytes of the executable; private memory (\`PrivateUsage\`) after start, after
  the idle minutes and after the flood, and the working set.
- **Event flood**: event bytes, left and right clicks in random order, written by the simulated
  controller as fast as its pipe (4096-byte buffer) takes them, after a pointer move so that each
  right click starts the indicator. Meanwhile another thread sends \`WM_NULL\` to the hidden main
  window every 50 ms with \`SendMessageTimeoutW\` (plain flags, 100 ms timeout) and counts answers,
  misses and the slowest answer. The end of the flood is the return of \`FlushFileBuffers\` on the
  simulated controller's end of the pipe, which waits until the program has read every byte.

## Figures

EOF
  cat "$prefix.md"
  if [ -n "$rotation" ]; then
    cat <<EOF
## Frame rotation of the indicator (host, Google Benchmark)

From \`core_bench\` of the host build (\`--benchmark_filter='CompareRotation|RotateOurs/45|RotatePixman/45|CopyFrame'\`):
one frame of the rotation that the indicator draws every 40 ms, against a plain copy of a frame of
the largest size and, where built with it, pixman's nearest-pixel transform.

\`\`\`
$(grep -v '^\*\*\*' "$rotation" | sed "s#$root/##")
\`\`\`

EOF
  fi
  if [ -n "$device_link" ]; then
    printf '%s\n\n' "$device_link"
  fi
  cat <<'EOF'
## Notes on measuring under Wine

- Wine 8 answers `GetProcessTimes` for another process with the calling process's own times, and
  `GetProcessMemoryInfo` leaves `PROCESS_MEMORY_COUNTERS_EX.PrivateUsage` at 0 for every process.
  The harness asks both first and prints what they say; the CPU figures come from
  `NtQuerySystemInformation(SystemProcessInformation)` (in the 10 ms ticks of
  `/proc/<pid>/task/*/stat`) and private memory from
  `NtQueryInformationProcess(ProcessVmCounters)` (`VM_COUNTERS_EX.PrivateUsage`), which Wine fills
  from `/proc/<pid>`. There, private memory is the process's resident anonymous memory (Linux
  `RssAnon`), which includes Wine's own per-process data; on Windows the same calls give the
  committed private bytes. Compare the two programs with each other, not with Windows figures.
- Ostinel imports ADVAPI32, COMCTL32, SETUPAPI and WINMM besides KERNEL32, USER32 and msvcrt; the
  minimal program only KERNEL32, USER32 and msvcrt. The first-window figure splits the start: up to
  it, process creation, Wine's loader and those libraries; after it, Ostinel creates the status
  window and the settings dialog (which reads the registry and sets up the trackbar) and shows the
  status window.
- The machine is shared (two cores); single starts vary by tens of milliseconds, hence medians.
- The flood rate is set by the device loop (one byte per pass and a 10 ms sleep after each event,
  plus Wine's timer granularity) and by the sound cue that each event plays.
EOF
} >"$doc"
echo "== written: $doc"
exit "$status"
