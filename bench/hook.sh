#!/usr/bin/env bash
# Mouse hook figures under Wine: the hook's own time per move, and the time SendInput takes (and
# until the hook recorded the move) with the program's window thread free, held for 1 s at a time,
# and, for comparison, with the hook on that held thread. Prints figures; not a test.
#   bench/hook.sh [--calls N] [--moves N] [--holds N]
# OSTINEL_BUILD_DIR selects the Windows build directory (default build/windows).
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-lib.sh"
ostinel_run_windows_bench HookBench "$@"
