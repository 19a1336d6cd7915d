#!/usr/bin/env bash
# Runs the Windows benchmarks of a build under Wine: bench/run-win-bench.sh BUILD_DIR
# (BUILD_DIR holds the Windows tree in win/). ./dev bench calls it inside its Wine session;
# started on its own, it opens a session of its own for the run. With chromium installed, the host
# memory benchmark also plays a real page, in a Chromium session started here.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:?usage: run-win-bench.sh BUILD_DIR}" && pwd)"
# shellcheck source=../tests/support/wine-env.sh
source "$ROOT/tests/support/wine-env.sh"
# shellcheck source=../tools/chromium-session.sh
source "$ROOT/tools/chromium-session.sh"

own_session=""
chromium_dir=""
cleanup() {
    [ -z "$chromium_dir" ] || chromium_session_stop "$chromium_dir"
    [ -z "$own_session" ] || wine_session_stop
}
trap cleanup EXIT
if [ -z "${WRAPPER_TEST_DISPLAY:-}" ]; then
    wine_session_start
    own_session=1
fi
if chromium_available; then
    chromium_dir="$(mktemp -d)"
    chromium_session_start "$chromium_dir" || chromium_dir=""
    # The movie is built from the Chromium test's WebM clip, read through Wine's Z: drive.
    clip="$ROOT/tests/e2e/pages/chromium/www/clip.webm"
    export WRAPPER_BENCH_WEBM_CLIP="Z:${clip//\//\\}"
fi

status=0
for exe in "$BUILD"/win/bench/win/bench_*.exe; do
    [ -f "$exe" ] || { echo "no Windows benchmark built in $BUILD/win/bench/win" >&2; exit 1; }
    printf '==> %s (under Wine)\n' "$(basename "$exe" .exe)"
    timeout 600 "$WINE_BIN" "$exe" || status=1
done
exit $status
