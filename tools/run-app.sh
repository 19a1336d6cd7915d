#!/usr/bin/env bash
# Packages an app folder into build/run/<name> exactly as tools/package-app.sh ships it, runs the
# host under Wine (in a session of its own: Xvfb unless a display is given) with a page driver,
# and summarises the run. The run's own files (transcript, screenshot, probe report, scenario)
# go beside the package, into build/run/<name>.run, so that the next run replaces the package
# in place. The package is run as it ships, with the vendor's loader inside the host: the session
# installs the substitute runtime in the prefix where that loader looks for a runtime.
# With the Chromium page driver the browser's profile is kept where the runtime keeps it, in the
# app's user-data folder (%LOCALAPPDATA%\<package.json name>\EBWebView in the Wine prefix), so
# that what the page stores (localStorage, IndexedDB, cookies) is there again in the next run of
# the same app; WRAPPER_RUN_FRESH=1 empties it first.
# The window closes by itself once the page has settled (and been photographed); with
# WRAPPER_RUN_KEEP_OPEN=1 it stays until it is closed (with the Chromium page driver, mouse and
# keys reach the page), and the run ends then, with the summary.
# Usage: [WRAPPER_RUN_ONE_FILE=1] tools/run-app.sh BUILD_DIR APP_DIR
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; APP="$(cd "$2" && pwd)"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
NAME="$(basename "$APP")"
RUN="$BUILD/run/$NAME"
FILES="$BUILD/run/$NAME.run"

# --force: a package folder left by an earlier layout, which held the run's files, is replaced
# (renamed aside once, as the packager does with a folder that is not wholly its own).
# WRAPPER_RUN_ONE_FILE=1: the app as one executable, alone in its folder.
layout=(); [ -z "${WRAPPER_RUN_ONE_FILE:-}" ] || layout=(--one-file)
"$ROOT/tools/package-app.sh" "$BUILD" "$APP" "$RUN" --no-zip --quiet --force "${layout[@]}"
mkdir -p "$FILES"

source "$ROOT/tests/support/wine-env.sh"
if [ -n "${DISPLAY:-}" ] && [ -z "${WRAPPER_RUN_XVFB:-}" ]; then WRAPPER_KEEP_DISPLAY=1; fi
wine_session_start
trap wine_session_stop EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
TRANSCRIPT="$FILES/transcript.jsonl"
SCENARIO="$FILES/scenario.txt"

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
SETTLE=1500 close_on=()
rm -f "$FILES/screenshot.png"  # an earlier run's
case "$DRIVER" in
    scripted) write_scripted_page >"$SCENARIO"; export WRAPPER_SUBSTITUTE_SCENARIO="$(winpath "$SCENARIO")" ;;
    chromium)
        # The host's user-data folder, %LOCALAPPDATA%\<name>: the profile is its EBWebView folder.
        app_name="$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1], encoding="utf-8"))["name"])' \
                    "$APP/package.json")"
        # The packager above refused a name that is not one Windows folder name (the host's own
        # rule); this guard keeps what --fresh removes inside AppData\Local whatever happens.
        case "$app_name" in
            "" | . | .. | */* | *\\*) echo "run-app: package.json's name '$app_name' is not a folder name" >&2; exit 2 ;;
        esac
        LOCAL="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local"
        # Letter case does not count in Windows names, nor under Wine: a folder left by an app whose
        # name differs only in case is the one the host opens, and the one --fresh empties.
        for other in "$LOCAL"/*/; do
            other="$(basename "$other")"
            if [ "$other" != "$app_name" ] && [ "${other,,}" = "${app_name,,}" ]; then
                echo "==> warning: the name $app_name differs from $other, which an earlier app left, only in" \
                     "letter case: on Windows both apps keep their data in one folder, $other" >&2
                app_name="$other"
            fi
        done
        PROFILE="$LOCAL/$app_name/EBWebView"
        if [ -n "${WRAPPER_RUN_FRESH:-}" ] && [ -e "$PROFILE" ]; then
            echo "==> starting from an empty profile (removing $PROFILE)"
            rm -rf -- "$PROFILE"
        fi
        [ -d "$PROFILE" ] && kept="the kept" || kept="a new"
        # The app's browser arguments reach the browser as the runtime would apply them.
        mapfile -t app_args < <(python3 -c 'import json, shlex, sys; [print(a) for a in shlex.split(json.load(open(sys.argv[1], encoding="utf-8")).get("chromium-args") or "")]' \
                                "$APP/package.json")
        chromium_session_start "$FILES/chromium" "$PROFILE" "${app_args[@]}"
        export WRAPPER_SUBSTITUTE_CHROMIUM=user-data
        echo "==> $kept browser profile of $app_name: $PROFILE (./dev run --fresh empties it)"
        trap 'chromium_session_stop "$FILES/chromium"; wine_session_stop' EXIT
        rm -f "$TRANSCRIPT" "$FILES/view-state.json"
        # The driver's word on what the window shows, for the screenshot of the settled page.
        export WRAPPER_SUBSTITUTE_VIEW_STATE="$(winpath "$FILES/view-state.json")"
        chromium_screenshot_when_settled "$TRANSCRIPT" "$FILES/view-state.json" \
            "$FILES/screenshot.png" "$FILES/screenshot.done" & SHOT=$!
        close_on=(--close-on "$(winpath "$FILES/screenshot.done")")
        SETTLE=3000 ;;
    *) echo "run-app: unknown page driver '$DRIVER'" >&2; exit 2 ;;
esac

if [ -n "${WRAPPER_RUN_KEEP_OPEN:-}" ]; then
    # No time limit: the probe waits for the program, however long the window stays open.
    watch=(--timeout 4294967295 --close-when never) limit=()
    echo "==> running $NAME from $RUN ($DRIVER page) on display $DISPLAY: close the window to end the run"
else
    watch=(--timeout 90000 --close-when visible --settle "$SETTLE" "${close_on[@]}") limit=(timeout 150)
    echo "==> running $NAME from $RUN ($DRIVER page); the window closes by itself once the page has settled"
fi
EXE=$(cd "$RUN" && ls ./*.exe | head -n 1)
WRAPPER_SUBSTITUTE_TRANSCRIPT="$(winpath "$TRANSCRIPT")" \
    "${limit[@]}" "$WINE_BIN" "$(winpath "$BUILD/win/tools/probe/probe.exe")" \
    "${watch[@]}" -- "$(winpath "$RUN/${EXE#./}")" >"$FILES/probe.json"
if [ -n "${SHOT:-}" ]; then
    # A window closed before the page settled leaves nothing to photograph: stop waiting.
    kill "$SHOT" 2>/dev/null || true
    wait "$SHOT" 2>/dev/null || true
fi
rm -f "$FILES/screenshot.done" "$FILES/screenshot.png.frame.ppm" "$FILES/screenshot.png.frame.ppm.new"
echo "==> the run's files: $FILES"
python3 "$ROOT/tools/summarise-run.py" "$FILES/probe.json" "$TRANSCRIPT"
