#!/usr/bin/env bash
# Packages an app with the builds in BUILD_DIR: `wrapper-bundle package` (the one WRAPPER_PACKER
# names, else the release packer of build/release-linux, else the test tree's) with the release
# host (build/release, else the Windows tree's host, which the packer refuses once it is marked
# as a test build; the host has the vendor's WebView2 loader inside), the project's sample
# extension for examples/hello, the kit's THIRD-PARTY-NOTICES.txt, and the zip.
# Usage: tools/package-app.sh BUILD_DIR APP_DIR OUT_DIR [--loose] [--no-zip] [--force] [--quiet]
#                             [--one-file] [--host EXE] [--extension DLL] [--notices FILE]
#   --no-zip  make the folder only; the other options are wrapper-bundle package's own
set -euo pipefail
[ $# -ge 3 ] || { sed -n '7,10s/^# \{0,1\}//p' "$0" >&2; exit 2; }
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$1" APP="$2" OUT="$3"
shift 3

first_file() { local f; for f; do [ -f "$f" ] && { echo "$f"; return 0; }; done; return 1; }

# WRAPPER_PACKER: the packer ./dev run and ./dev package built for this run.
PACKER=$(first_file "${WRAPPER_PACKER:-}" "$BUILD/release-linux/tools/packer/wrapper-bundle" \
                    "$BUILD/native/tools/packer/wrapper-bundle") ||
    { echo "package-app: no wrapper-bundle in $BUILD (run ./dev build)" >&2; exit 1; }

args=(package "$APP" "$OUT") zip=--zip given=" "
for a in "$@"; do
    case "$a" in
        --no-zip) zip= ;;
        *) args+=("$a"); given+="${a%%=*} " ;;
    esac
done
[ -z "$zip" ] || args+=(--zip)
if [[ "$given" != *" --host "* ]]; then
    host=$(first_file "$BUILD/release/WebView2Wrapper.exe" "$BUILD/win/WebView2Wrapper.exe") ||
        { echo "package-app: no WebView2Wrapper.exe in $BUILD (run ./dev build)" >&2; exit 1; }
    args+=(--host "$host")
fi
if [[ "$given" != *" --extension "* ]] && [ ! -f "$APP/DI2ZozUzoraru.dll" ] &&
   [ "$(cd "$APP" && pwd -P)" = "$(cd "$ROOT/examples/hello" && pwd -P)" ]; then
    extension=$(first_file "$BUILD/release/examples/extension/DI2ZozUzoraru.dll" \
                           "$BUILD/win/examples/extension/DI2ZozUzoraru.dll") &&
        args+=(--extension "$extension")
fi
if [[ "$given" != *" --notices "* ]]; then
    args+=(--notices "$ROOT/tools/kit/THIRD-PARTY-NOTICES.txt")
fi
exec "$PACKER" "${args[@]}"
