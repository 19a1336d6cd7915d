# Wine session helpers shared by ./dev and the test programs (sourced, not run).
# One session = one Xvfb display and one Wine prefix inside the build folder; every Wine process of
# the prefix runs under that display, and the session ends with `wineserver -w` before Xvfb stops.

WINE_BIN="${WINE_BIN:-/usr/lib/wine/wine64}"
WINESERVER_BIN="${WINESERVER_BIN:-/usr/lib/wine/wineserver}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
RUNTIME_KEY='HKLM\SOFTWARE\Microsoft\EdgeUpdate\Clients\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'
RUNTIME_VERSION="137.0.3296.44"

_wine_xvfb_pid=""

wine_session_start() {
    export WINEPREFIX="${WINEPREFIX:-$BUILD/wineprefix}"
    if [ -z "${WRAPPER_KEEP_DISPLAY:-}" ]; then
        # Xvfb picks a free display itself and writes its number back (-displayfd): sessions
        # started at the same moment, here or by another user, never end up on one display.
        local number_file n="" i
        number_file="$(mktemp)"
        Xvfb -displayfd 3 -screen 0 3200x2000x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
        _wine_xvfb_pid=$!
        for i in $(seq 1 100); do
            if [ "$(wc -l <"$number_file")" -ge 1 ]; then n="$(head -n 1 "$number_file")"; break; fi
            kill -0 "$_wine_xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        rm -f "$number_file"
        if [ -z "$n" ]; then
            kill "$_wine_xvfb_pid" 2>/dev/null || true
            _wine_xvfb_pid=""
            echo "could not start Xvfb" >&2
            return 1
        fi
        export DISPLAY=":$n"
    fi
    export WRAPPER_TEST_DISPLAY="$DISPLAY" WRAPPER_TEST_PREFIX="$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "==> creating Wine prefix $WINEPREFIX" >&2
        mkdir -p "$WINEPREFIX"
        timeout 300 "$WINE_BIN" wineboot -i >/dev/null 2>&1 || true
        timeout 120 "$WINESERVER_BIN" -w || true
    fi
    wine_mark_runtime_installed
}

# The vendor's loader finds a runtime through this value (in HKLM's 32-bit view), which names the
# version folder holding EBWebView\x64\EmbeddedBrowserWebView.dll.
RUNTIME_STATE_KEY='HKLM\SOFTWARE\Wow6432Node\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'
RUNTIME_ROOT='C:\Program Files (x86)\Microsoft\EdgeWebView\Application'

# The substitute counts as an installed runtime: for our loader ("pv") and, once the client
# library is built, for the vendor's loader too.
wine_mark_runtime_installed() {
    timeout 60 "$WINE_BIN" reg add "$RUNTIME_KEY" /v pv /t REG_SZ /d "$RUNTIME_VERSION" /f >/dev/null 2>&1
    local library="$BUILD/win/substitute/EmbeddedBrowserWebView.dll"
    [ -f "$library" ] || return 0
    local folder="$WINEPREFIX/drive_c/Program Files (x86)/Microsoft/EdgeWebView/Application/$RUNTIME_VERSION/EBWebView/x64"
    mkdir -p "$folder" && cp "$library" "$folder/"
    timeout 60 "$WINE_BIN" reg add "$RUNTIME_STATE_KEY" /v EBWebView /t REG_SZ \
        /d "$RUNTIME_ROOT\\$RUNTIME_VERSION" /f >/dev/null 2>&1
}

wine_run() {
    "$WINE_BIN" "$@"
}

wine_session_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then timeout 60 "$WINESERVER_BIN" -w 2>/dev/null || "$WINESERVER_BIN" -k 2>/dev/null || true; fi
    if [ -n "$_wine_xvfb_pid" ]; then kill "$_wine_xvfb_pid" 2>/dev/null || true; wait "$_wine_xvfb_pid" 2>/dev/null || true; fi
    _wine_xvfb_pid=""
}
