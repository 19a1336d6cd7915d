#!/usr/bin/env bash
# Packages an app folder into build/run/<name> exactly as tools/package-app.sh ships it (with
# --force: the folder is the run's own and holds the files a run adds), runs the host under Wine
# (in a session of its own: Xvfb unless a display is given) with a page driver, and summarises the
# run. The package is run as it ships, with the vendor's WebView2Loader.dll: the session installs
# the substitute runtime in the prefix where that loader looks for a runtime.
# The window closes by itself once the page has settled; with WRAPPER_RUN_KEEP_OPEN=1 it stays
# until it is closed (with the Chromium page driver, mouse and keys reach the page), and the run
# ends then, with the summary.
# Usage: tools/run-app.sh BUILD_DIR APP_DIR
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; APP="$(cd "$2" && pwd)"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
NAME="$(basename "$APP")"
RUN="$BUILD/run/$NAME"

"$ROOT/tools/package-app.sh" "$BUILD" "$APP" "$RUN" --no-zip --quiet --force

source "$ROOT/tests/support/wine-env.sh"
if [ -n "${DISPLAY:-}" ] && [ -z "${WRAPPER_RUN_XVFB:-}" ]; then WRAPPER_KEEP_DISPLAY=1; fi
wine_session_start
trap wine_session_stop EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
TRANSCRIPT="$RUN/transcript.jsonl"
SCENARIO="$RUN/scenario.txt"

# The scripted page: it asks for every file of the app (as its markup would), does the handshake,
# says hello to the extension library when the app ships one, and leaves the window to the probe.
write_scripted_page() {
    local origin="https://app.localhost/"
    echo "# scripted page for $NAME"
    (cd "$APP/www" && find . -type f | LC_ALL=C sort) | while read -r f; do
        path="${f#./}"
        case "$path" in
            *.css) ctx=stylesheet ;; *.js|*.mjs) ctx=script ;; *.png|*.jpg|*.jpeg|*.gif|*.webp|*.svg|*.ico) ctx=image ;;
            *.webm|*.ogg|*.opus|*.mp3|*.wav|*.mp4) ctx=media ;; *.woff|*.woff2|*.ttf|*.otf) ctx=font ;; *) ctx=fetch ;;
        esac
        echo "request GET $origin${path// /%20} $ctx"
    done
    echo "message-string ${origin}index.html {\"type\":\"wrapper-init\"}"
    echo "wait PostWebMessageAsJson 1"
    if [ -f "$RUN/DI2ZozUzoraru.dll" ]; then
        echo "message-string ${origin}index.html {\"type\":\"extension-message\",\"text\":\"Hello, extension\"}"
        echo "sleep 500"
    fi
}

# The page driver: real pages in headless Chromium when it is installed, else the scripted page.
source "$ROOT/tools/chromium-session.sh"
DRIVER="${WRAPPER_PAGE_DRIVER:-$(chromium_available && echo chromium || echo scripted)}"
SETTLE=1500
case "$DRIVER" in
    scripted) write_scripted_page >"$SCENARIO"; export WRAPPER_SUBSTITUTE_SCENARIO="$(winpath "$SCENARIO")" ;;
    chromium)
        chromium_session_start "$RUN/chromium-profile"
        trap 'chromium_session_stop "$RUN/chromium-profile"; wine_session_stop' EXIT
        rm -f "$TRANSCRIPT" "$RUN/screenshot.png"
        chromium_screenshot_after_load "$TRANSCRIPT" "$RUN/screenshot.png" 3 & SHOT=$!
        SETTLE=6000 ;;
    *) echo "run-app: unknown page driver '$DRIVER'" >&2; exit 2 ;;
esac

if [ -n "${WRAPPER_RUN_KEEP_OPEN:-}" ]; then
    # No time limit: the probe waits for the program, however long the window stays open.
    watch=(--timeout 4294967295 --close-when never) limit=()
    echo "==> running $NAME from $RUN ($DRIVER page) on display $DISPLAY: close the window to end the run"
else
    watch=(--timeout 60000 --close-when visible --settle "$SETTLE") limit=(timeout 120)
    echo "==> running $NAME from $RUN ($DRIVER page); the window closes by itself once the page has settled"
fi
EXE=$(cd "$RUN" && ls ./*.exe | head -n 1)
WRAPPER_SUBSTITUTE_TRANSCRIPT="$(winpath "$TRANSCRIPT")" \
    "${limit[@]}" "$WINE_BIN" "$(winpath "$BUILD/win/tools/probe/probe.exe")" \
    "${watch[@]}" -- "$(winpath "$RUN/${EXE#./}")" >"$RUN/probe.json"
[ -z "${SHOT:-}" ] || wait "$SHOT" || true
python3 "$ROOT/tools/summarise-run.py" "$RUN/probe.json" "$TRANSCRIPT"
