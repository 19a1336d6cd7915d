#!/usr/bin/env bash
# A headless Chromium for the substitute runtime's Chromium driver: loopback-only remote
# debugging, a fresh profile, no background traffic, names resolving only to nothing.
#
#   tools/chromium-session.sh start DIR   start it with DIR as its profile (created, emptied);
#                                         prints the DevTools endpoint (ws://127.0.0.1:PORT/...)
#   tools/chromium-session.sh stop DIR    stop it and everything it started; remove DIR
#
# Sourced, it offers chromium_session_start DIR (exports WRAPPER_SUBSTITUTE_CHROMIUM) and
# chromium_session_stop DIR, chromium_available, and chromium_screenshot_after_load TRANSCRIPT PNG
# (in the background: once the page's DOMContentLoaded is in the transcript and the page has had
# a moment to paint, a PNG of the host window).

chromium_available() { command -v chromium >/dev/null 2>&1; }

chromium_session_start() {  # DIR
    local dir="$1"
    rm -rf "$dir"; mkdir -p "$dir"
    local args=(--headless --remote-debugging-address=127.0.0.1 --remote-debugging-port=0
                --user-data-dir="$dir" --disable-gpu --disable-background-networking
                --disable-component-update --disable-sync --no-first-run --disable-quic
                --disable-default-apps --disable-extensions --mute-audio
                --autoplay-policy=no-user-gesture-required
                "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"
                --window-size=1280,800 about:blank)
    [ "$(id -u)" -ne 0 ] || args=(--no-sandbox "${args[@]}")
    # A session of its own, so that stopping it reaches every process it starts. Without a
    # display: given one (the Wine session's Xvfb), headless Chromium still paints through it, and
    # its screencast then stops showing the page's later changes.
    env -u DISPLAY -u WAYLAND_DISPLAY setsid chromium "${args[@]}" </dev/null >"$dir.log" 2>&1 &
    echo $! >"$dir.pid"
    local i
    for i in $(seq 1 150); do
        local port path
        port="$(sed -n 1p "$dir/DevToolsActivePort" 2>/dev/null || true)"
        path="$(sed -n 2p "$dir/DevToolsActivePort" 2>/dev/null || true)"
        if [ -n "$port" ] && [ -n "$path" ]; then
            export WRAPPER_SUBSTITUTE_CHROMIUM="ws://127.0.0.1:$port$path"
            return 0
        fi
        kill -0 "$(cat "$dir.pid")" 2>/dev/null || break
        sleep 0.1
    done
    echo "chromium did not start (see $dir.log)" >&2
    chromium_session_stop "$dir"
    return 1
}

chromium_session_stop() {  # DIR
    local dir="$1" pid i
    pid="$(cat "$dir.pid" 2>/dev/null || true)"
    if [ -n "$pid" ]; then
        kill -TERM -- "-$pid" 2>/dev/null || true
        for i in $(seq 1 100); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL -- "-$pid" 2>/dev/null || true
        for i in $(seq 1 50); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -rf "$dir" "$dir.pid"
}

# The X window of the host (a top-level window of WebView2Wrapper.exe under Wine), the largest
# when it has several; nothing when none is mapped.
host_window_id() {
    xwininfo -root -children 2>/dev/null | awk '
        tolower($0) ~ /: \("webview2wrapper\.exe" / {
            split($0, parts, ")"); geometry = parts[length(parts)]
            if (match(geometry, /[0-9]+x[0-9]+/)) {
                split(substr(geometry, RSTART, RLENGTH), size, "x")
                if (size[1] * size[2] > best) { best = size[1] * size[2]; id = $1 }
            }
        }
        END { if (id != "") print id }'
}

chromium_screenshot_after_load() {  # TRANSCRIPT PNG [SETTLE_SECONDS]
    local transcript="$1" png="$2" settle="${3:-3}" i
    for i in $(seq 1 600); do
        if grep -q '"event":"DOMContentLoaded"' "$transcript" 2>/dev/null; then
            sleep "$settle"
            local window
            window="$(host_window_id)"
            if [ -z "$window" ]; then
                echo "==> no screenshot: no host window on $DISPLAY" >&2
                return 1
            fi
            import -window "$window" "$png" && echo "==> screenshot: $png" >&2
            return 0
        fi
        sleep 0.1
    done
    echo "==> no screenshot: the page did not load" >&2
    return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
        start) chromium_session_start "$2" && echo "$WRAPPER_SUBSTITUTE_CHROMIUM" ;;
        stop) chromium_session_stop "$2" ;;
        *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
    esac
fi
