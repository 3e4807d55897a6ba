#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. Each run gets a private copy of the suite's
# template prefix (a clean registry) and its own wineserver. Output goes through a file: Wine's
# helper processes would otherwise inherit ctest's pipe and keep it open.
set -u
source "$(cd "$(dirname "$0")/.." && pwd)/scripts/wine-lib.sh"
ostinel_wine_env
template=${OSTINEL_WINE_TEMPLATE:-$PWD/wine-template}
ostinel_wine_template "$template" || exit 1
ostinel_ensure_display || exit 1

ostinel_fresh_prefix "$template" || exit 1
prefix=$OSTINEL_PREFIX
# Start the server and Wine's own helper processes with stdio away from ctest.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

wine "$@" </dev/null >"$prefix.out" 2>&1
rc=$?
cat "$prefix.out"
wineserver -k </dev/null >/dev/null 2>&1
wineserver -w </dev/null >/dev/null 2>&1
rm -rf "$prefix" "$prefix.out"
ostinel_stop_display
exit $rc
