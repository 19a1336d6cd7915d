#!/usr/bin/env bash
# Packages an app folder into build/run/<name>, adds the substitute WebView2 runtime, runs the host
# under Wine (in a session of its own: Xvfb unless a display is given) and summarises the run.
# Usage: tools/run-app.sh BUILD_DIR APP_DIR
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; APP="$(cd "$2" && pwd)"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
NAME="$(basename "$APP")"
RUN="$BUILD/run/$NAME"
rm -rf "$RUN"; mkdir -p "$RUN/www"

# Everything but www/ is copied as it is; www/ becomes the bundle.
(cd "$APP" && find . -mindepth 1 -maxdepth 1 ! -name www -exec cp -r {} "$RUN/" \;)
"$BUILD/native/tools/packer/wrapper-bundle" pack "$APP/www" "$RUN/www/assets.dat" >/dev/null
cp "$BUILD/win/WebView2Wrapper.exe" "$RUN/"
cp "$BUILD/win/substitute/WebView2Loader.dll" "$RUN/"

source "$ROOT/tests/support/wine-env.sh"
if [ -n "${DISPLAY:-}" ] && [ -z "${WRAPPER_RUN_XVFB:-}" ]; then WRAPPER_KEEP_DISPLAY=1; fi
wine_session_start
trap wine_session_stop EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
TRANSCRIPT="$RUN/transcript.jsonl"

# Until a real page runs here, a scripted page stands in for it: it asks for every file of the app
# (as its markup would), does the handshake, and leaves the window to the probe.
SCENARIO="$RUN/scenario.txt"
{
    echo "# scripted page for $NAME"
    (cd "$APP/www" && find . -type f | sort) | while read -r f; do
        path="${f#./}"
        case "$path" in
            *.css) ctx=stylesheet ;; *.js|*.mjs) ctx=script ;; *.png|*.jpg|*.jpeg|*.gif|*.webp|*.svg|*.ico) ctx=image ;;
            *.webm|*.ogg|*.opus|*.mp3|*.wav|*.mp4) ctx=media ;; *.woff|*.woff2|*.ttf|*.otf) ctx=font ;; *) ctx=fetch ;;
        esac
        echo "request GET https://app.localhost/${path// /%20} $ctx"
    done
    echo 'message-string https://app.localhost/index.html {"type":"wrapper-init"}'
    echo "wait PostWebMessageAsJson 1"
} >"$SCENARIO"
echo "==> running $NAME from $RUN"
WRAPPER_SUBSTITUTE_TRANSCRIPT="$(winpath "$TRANSCRIPT")" WRAPPER_SUBSTITUTE_SCENARIO="$(winpath "$SCENARIO")" \
    timeout 120 "$WINE_BIN" "$(winpath "$BUILD/win/tools/probe/probe.exe")" \
    --timeout 60000 --close-when visible --settle 1500 -- "$(winpath "$RUN/WebView2Wrapper.exe")" \
    >"$RUN/probe.json"
python3 "$ROOT/tools/summarise-run.py" "$RUN/probe.json" "$TRANSCRIPT"
