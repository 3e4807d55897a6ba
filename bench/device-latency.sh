#!/usr/bin/env bash
# Device link figures, end to end under Wine: event-to-feedback latency (p50/p99 over a few hundred
# events), function-button click and settings OK to the command at the controller with reads held
# and with idle reads completed, unplug/replug cycles with commands pending, WM_CLOSE to process end,
# console session release and reconnect, and (--cpu S) CPU over S seconds in each failure mode the
# simulated controller can play with a held write against the console leaving. Prints figures; not a test.
#   bench/device-latency.sh [--events N] [--cycles N] [--commands N] [--closes N] [--sessions N] [--cpu S]
# OSTINEL_BUILD_DIR selects the Windows build directory (default build/windows).
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-lib.sh"
ostinel_run_windows_bench DeviceLatencyBench "$@"
