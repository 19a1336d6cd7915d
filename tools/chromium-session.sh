#!/usr/bin/env bash
# A headless Chromium for the substitute runtime's Chromium driver: loopback-only remote
# debugging, a fresh or a kept profile, no background traffic, names resolving only to nothing.
#
#   tools/chromium-session.sh start DIR [PROFILE [ARG...]]
#       start it; prints the DevTools endpoint (ws://127.0.0.1:PORT/...). DIR is the session's own
#       folder (created, emptied; DIR.pid and DIR.log beside it). Without PROFILE (or with an empty
#       one), DIR is the profile, new each time. With PROFILE, that folder is the profile and is
#       kept: created when missing, never emptied. A host started with
#       WRAPPER_SUBSTITUTE_CHROMIUM=user-data and the user-data folder whose EBWebView folder is
#       PROFILE finds this browser by itself. ARGs are the app's browser arguments (chromium-args),
#       given to Chromium as they are; the second line printed names them. Chromium keeps its own
#       autoplay policy and sound, as the runtime does.
#   tools/chromium-session.sh stop DIR
#       close it as a user closes a browser (DevTools Browser.close), so that it writes what it
#       keeps in memory (cookies, localStorage) to the profile; wait for it and everything it
#       started to end by themselves (at most 20 s), then signal what is left, and say so; remove
#       DIR (a kept PROFILE stays)
#
# Sourced, it offers chromium_session_start DIR [PROFILE] (exports WRAPPER_SUBSTITUTE_CHROMIUM)
# and chromium_session_stop DIR, chromium_available, and chromium_screenshot_when_settled
# (below).

chromium_available() { command -v chromium >/dev/null 2>&1; }

chromium_session_start() {  # DIR [PROFILE [ARG...]]
    local dir="$1" profile="${2:-$1}"
    shift; [ $# -eq 0 ] || shift
    # The app's own browser arguments (its chromium-args), applied at start; the runtime holds the
    # app's AdditionalBrowserArguments to what this browser was started with.
    local extra=("$@")
    rm -rf "$dir"; mkdir -p "$dir" "$profile"
    # The port file of an earlier browser on a kept profile would name a port nobody listens on.
    rm -f "$profile/DevToolsActivePort"
    [ "$profile" = "$dir" ] || printf '%s\n' "$profile" >"$dir/profile"
    local args=(--headless --remote-debugging-address=127.0.0.1 --remote-debugging-port=0
                --user-data-dir="$profile" --disable-gpu --disable-background-networking
                --disable-component-update --disable-sync --no-first-run --disable-quic
                --disable-default-apps --disable-extensions
                "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"
                --window-size=1280,800 "${extra[@]}" about:blank)
    [ "$(id -u)" -ne 0 ] || args=(--no-sandbox "${args[@]}")
    # A session of its own, so that stopping it reaches every process it starts. Without a
    # display: given one (the Wine session's Xvfb), headless Chromium still paints through it, and
    # its screencast then stops showing the page's later changes.
    env -u DISPLAY -u WAYLAND_DISPLAY setsid chromium "${args[@]}" </dev/null >"$dir.log" 2>&1 &
    echo $! >"$dir.pid"
    local i
    for i in $(seq 1 150); do
        local port path
        port="$(sed -n 1p "$profile/DevToolsActivePort" 2>/dev/null || true)"
        path="$(sed -n 2p "$profile/DevToolsActivePort" 2>/dev/null || true)"
        if [ -n "$port" ] && [ -n "$path" ]; then
            export WRAPPER_SUBSTITUTE_CHROMIUM="ws://127.0.0.1:$port$path"
            export WRAPPER_SUBSTITUTE_CHROMIUM_ARGUMENTS="${extra[*]}"
            printf '%s\n' "$WRAPPER_SUBSTITUTE_CHROMIUM" >"$dir/endpoint"
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
    local dir="$1" pid i profile endpoint left
    pid="$(cat "$dir.pid" 2>/dev/null || true)"
    profile="$(cat "$dir/profile" 2>/dev/null || true)"
    endpoint="$(cat "$dir/endpoint" 2>/dev/null || true)"
    if [ -n "$pid" ]; then
        # Closed as a user closes it: the browser writes what it keeps in memory (cookies,
        # localStorage, which it writes in batches) to the profile and ends its helper processes.
        # Signals come only after a bounded wait, for what is left.
        if [ -n "$endpoint" ] && kill -0 "$pid" 2>/dev/null &&
           python3 "$(dirname "${BASH_SOURCE[0]}")/devtools-command.py" "$endpoint" Browser.close \
               2>/dev/null; then
            for i in $(seq 1 200); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
        fi
        left="$(pgrep -g "$pid" -l 2>/dev/null | tr '\n' ' ' || true)"
        if [ -n "$left" ]; then
            if [ -n "$endpoint" ]; then
                echo "chromium-session: still running 20 s after Browser.close, signalled: $left" >&2
            fi
            # The browser first, alone: it shuts down as on closing; its helper processes,
            # signalled with it, would be gone before it could write the profile.
            kill -TERM "$pid" 2>/dev/null || true
            for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
            kill -TERM -- "-$pid" 2>/dev/null || true
            for i in $(seq 1 100); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
            kill -KILL -- "-$pid" 2>/dev/null || true
            for i in $(seq 1 50); do kill -0 -- "-$pid" 2>/dev/null || break; sleep 0.1; done
        fi
    fi
    [ -z "$profile" ] || rm -f "$profile/DevToolsActivePort"
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

# Once the page has settled, a PNG of the host window, and the file DONE (written whatever came
# of it, for whoever waits to close the window). Settled: the page's DOMContentLoaded is in the
# transcript; when the page started the host's handshake, the host's answer is too; the driver's
# VIEW_STATE file (WRAPPER_SUBSTITUTE_VIEW_STATE) says the window shows the page as it is
# ("current": the frame painted last was made after the page's latest change, and no host message
# is still on its way to the page; frames reach the window a while after the page changed, seconds
# on a loaded machine, so the window's picture alone cannot tell); then neither the transcript,
# that file nor the painted window changed for QUIET_MS. The frame saved is the one that was seen
# unchanged. Gives up after 90 s without a loaded page; a page that never stops changing (an
# animation) is taken as it is 20 s after it loaded, and that is said.
chromium_screenshot_when_settled() {  # TRANSCRIPT VIEW_STATE PNG DONE [QUIET_MS]
    local transcript="$1" state="$2" png="$3" done="$4" quiet="${5:-1000}" i
    local frame="$png.frame.ppm" previous="" since=0 now_ms=0 window="" now hash view settled=""
    rm -f "$done" "$png" "$frame"
    for i in $(seq 1 900); do
        grep -q '"event":"DOMContentLoaded"' "$transcript" 2>/dev/null && break
        sleep 0.1
    done
    if ! grep -q '"event":"DOMContentLoaded"' "$transcript" 2>/dev/null; then
        echo "==> no screenshot: the page did not load" >&2; : >"$done"; return 1
    fi
    for i in $(seq 1 80); do  # every 250 ms, at most 20 s
        sleep 0.25
        window="$(host_window_id)"
        [ -n "$window" ] || continue
        import -window "$window" -depth 8 "ppm:$frame.new" 2>/dev/null || continue
        hash="$(md5sum <"$frame.new" | cut -d' ' -f1)"
        view="$(cat "$state" 2>/dev/null || true)"
        now="$(stat -c %s "$transcript") $hash $view"
        mv -f "$frame.new" "$frame"
        now_ms=$(( $(date +%s%N) / 1000000 ))
        if grep -qF 'wrapper-init\"' "$transcript" && ! grep -qF 'wrapper-init-response' "$transcript" ||
           [[ "$view" != *'"current":true'* ]]; then
            previous=""; continue  # under way
        fi
        if [ "$now" != "$previous" ]; then previous="$now"; since=$now_ms; continue; fi
        if (( now_ms - since >= quiet )); then settled=1; break; fi
    done
    if [ ! -f "$frame" ]; then
        echo "==> no screenshot: no host window on $DISPLAY" >&2; rm -f "$frame.new"; : >"$done"; return 1
    fi
    [ -n "$settled" ] || echo "==> the page did not settle: screenshot of its last frame" >&2
    convert "$frame" "$png" && echo "==> screenshot: $png" >&2
    rm -f "$frame"
    : >"$done"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
        start) chromium_session_start "$2" "${3:-}" "${@:4}" && echo "$WRAPPER_SUBSTITUTE_CHROMIUM" &&
               echo "$WRAPPER_SUBSTITUTE_CHROMIUM_ARGUMENTS" ;;
        stop) chromium_session_stop "$2" ;;
        *) echo "usage: $0 start DIR [PROFILE [ARG...]] | stop DIR" >&2; exit 2 ;;
    esac
fi
