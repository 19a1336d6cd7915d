#!/usr/bin/env bash
# Builds the release host twice from clean copies of the source in two folders whose paths differ
# (also in length), and checks that the two WebView2Wrapper.exe are the same bytes and name
# neither folder. The copies hold the files git tracks, as they are in the work tree. Given
# REFERENCE_EXE (a clean release build made elsewhere, such as build/release's), only the second
# build is made and compared with it.
# Usage: tools/check-reproducible.sh [PARENT_DIR [REFERENCE_EXE]]   (JOBS: parallel jobs)
# The builds go into a new folder under PARENT_DIR (default: the system's temporary folder), which
# is removed afterwards.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"
# The vendor's SDK (its static loader is linked in), as ./dev setup unpacked it.
SDK="${WRAPPER_WEBVIEW2_SDK_DIR:-$ROOT/build/deps/webview2-sdk}"
PARENT="${1:-${TMPDIR:-/tmp}}"
mkdir -p "$PARENT"
WORK="$(mktemp -d "$(cd "$PARENT" && pwd)/reproducible.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

build_in() {  # folder
    local src="$1/source" out="$1/out-of-tree-build"
    mkdir -p "$src"
    (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
        [ -e "$f" ] && printf '%s\0' "$f"; done | tar --null -T - -cf -) | tar -xf - -C "$src"
    cmake -S "$src" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWRAPPER_RELEASE=ON \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
        -DWRAPPER_WEBVIEW2_SDK_DIR="$SDK" >/dev/null
    cmake --build "$out" -j "$JOBS" --target WebView2Wrapper >/dev/null
    for dir in "$src" "$out"; do
        if grep -qaF "$dir" "$out/WebView2Wrapper.exe"; then
            echo "FAIL: $out/WebView2Wrapper.exe names its folder $dir" >&2; return 1
        fi
    done
}

if [ -n "${2:-}" ]; then
    first="$2"
    [ -f "$first" ] || { echo "FAIL: no reference build at $first" >&2; exit 1; }
else
    echo "==> release build 1 of 2" >&2
    build_in "$WORK/a"
    first="$WORK/a/out-of-tree-build/WebView2Wrapper.exe"
fi
echo "==> release build 2 of 2" >&2
build_in "$WORK/second-folder/with-a-longer-name"
second="$WORK/second-folder/with-a-longer-name/out-of-tree-build/WebView2Wrapper.exe"
if cmp -s "$first" "$second"; then
    echo "reproducible: $(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -d' ' -f1)"
else
    echo "FAIL: the two release builds differ ($(cmp -l "$first" "$second" | wc -l) bytes):" >&2
    cmp -l "$first" "$second" | head -n 20 >&2
    exit 1
fi
