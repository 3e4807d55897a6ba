#!/usr/bin/env bash
# Mouse hook figures under Wine: the hook's own time per move, and the time SendInput takes (and
# until the hook recorded the move) with the program's window thread free, held for 1 s at a time,
# and, for comparison, with the hook on that held thread. Prints figures; not a test.
#   scripts/bench-hook.sh [--calls N] [--moves N] [--holds N]
# OSTINEL_BUILD_DIR selects the Windows build directory (default build/windows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTINEL_BUILD_DIR:-$root/build/windows}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target HookBench >/dev/null
cd "$build"
exec "$root/cmake/wine-run.sh" bin/HookBench.exe "$@"
