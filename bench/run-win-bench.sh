#!/usr/bin/env bash
# Runs the Windows benchmarks of a build under Wine: bench/run-win-bench.sh BUILD_DIR
# (BUILD_DIR holds the Windows tree in win/). ./dev bench calls it inside its Wine session;
# started on its own, it opens a session of its own for the run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:?usage: run-win-bench.sh BUILD_DIR}" && pwd)"
# shellcheck source=../tests/support/wine-env.sh
source "$ROOT/tests/support/wine-env.sh"
if [ -z "${WRAPPER_TEST_DISPLAY:-}" ]; then
    wine_session_start
    trap wine_session_stop EXIT
fi

status=0
for exe in "$BUILD"/win/bench/win/bench_*.exe; do
    [ -f "$exe" ] || { echo "no Windows benchmark built in $BUILD/win/bench/win" >&2; exit 1; }
    printf '==> %s (under Wine)\n' "$(basename "$exe" .exe)"
    timeout 600 "$WINE_BIN" "$exe" || status=1
done
exit $status
