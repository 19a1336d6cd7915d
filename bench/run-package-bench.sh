#!/usr/bin/env bash
# Packs a generated app of 300 MiB with the release packer (build/release-linux) three ways (the
# bundle folder; the bundle folder and its zip; the loose folder and its zip) and reports each
# run's time and peak resident memory, beside two baselines measured in the same run: the packer
# doing nothing (--help) for memory, and tar | gzip -6 of the same app for time.
# Usage: bench/run-package-bench.sh BUILD_DIR
set -euo pipefail
BUILD="$(cd "${1:?usage: run-package-bench.sh BUILD_DIR}" && pwd)"
PACKER="$BUILD/release-linux/tools/packer/wrapper-bundle"
[ -x "$PACKER" ] || { echo "no release packer at $PACKER (./dev bench builds it)" >&2; exit 1; }
WORK="$BUILD/bench-package"
APP="$WORK/app"
MIB=$((1 << 20))

# The app: 160 MiB of incompressible media, 40 MiB of small binary assets and 100 MiB of
# compressible text in 2,000 files, made once and kept for later runs.
make_app() {
    rm -rf "$WORK"
    mkdir -p "$APP/www/media" "$APP/www/assets" "$APP/www/data" "$WORK/host"
    printf '{"name":"bench-app","window":{"title":"Bench"}}' >"$APP/package.json"
    printf '<!doctype html><title>Bench</title>' >"$APP/www/index.html"
    head -c $((160 * MIB)) /dev/urandom >"$APP/www/media/video.webm"
    local i
    for i in $(seq 1 400); do head -c $((100 * 1024)) /dev/urandom >"$APP/www/assets/a$i.bin"; done
    python3 - "$APP/www/data" <<'PY'
import random, sys
random.seed(1)
words = [f"word{i}" for i in range(5000)]
for n in range(2000):
    with open(f"{sys.argv[1]}/d{n}.json", "w") as f:
        line = "{\"text\": \"" + " ".join(random.choice(words) for _ in range(12)) + "\"}\n"
        f.write((line * (52428 // len(line) + 1))[:52428])
PY
    printf 'notices\n' >"$WORK/host/THIRD-PARTY-NOTICES.txt"
    touch "$WORK/app.complete"
}
[ -f "$WORK/app.complete" ] || make_app
# The release host, which the packer gives the app's name and version.
HOST="$BUILD/release/WebView2Wrapper.exe"
[ -f "$HOST" ] || { echo "no release host at $HOST (./dev bench builds it)" >&2; exit 1; }
cp "$HOST" "$WORK/host/WebView2Wrapper.exe"

# Runs a command; prints its seconds, its peak resident memory in MiB (of its largest process,
# from GNU time's getrusage of the child) and its exit code.
measure() {
    local report="$WORK/measure.txt" code=0
    /usr/bin/time -o "$report" -f '%e %M' "$@" >/dev/null || code=$?
    read -r seconds kib <"$report"
    echo "$seconds $(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }') $code"
}

app_mib=$(du -sm --apparent-size "$APP" | cut -f1)
app_files=$(find "$APP" -type f | wc -l)
echo "==> packaging a generated app of $app_mib MiB ($app_files files) with $PACKER"
read -r base_time base_peak _ < <(measure "$PACKER" --help)
read -r tar_time tar_peak _ < <(measure sh -c "tar -C '$WORK' -cf - app | gzip -6 >'$WORK/baseline.tar.gz'")
rm -f "$WORK/baseline.tar.gz"

printf '%-28s %10s %16s %14s %16s\n' "run" "seconds" "peak RSS (MiB)" "time / tar|gz" "RSS / --help"
printf '%-28s %10s %16s %14s %16s\n' "baseline: packer --help" "$base_time" "$base_peak" "" "1.0"
printf '%-28s %10s %16s %14s %16s\n' "baseline: tar | gzip -6" "$tar_time" "$tar_peak" "1.0" ""
worst=0 status=0
for run in "bundle folder:" "bundle folder + zip:--zip" "loose folder + zip:--zip --loose"; do
    name="${run%%:*}" options="${run#*:}"
    rm -rf "$WORK/out" "$WORK/out.zip" "$WORK/out.package-manifest"
    # shellcheck disable=SC2086
    read -r seconds peak code < <(measure "$PACKER" package "$APP" "$WORK/out" --quiet \
        --host "$WORK/host/WebView2Wrapper.exe" $options)
    # A failed run measured nothing worth printing.
    if [ "$code" -ne 0 ]; then
        echo "$name: the packer failed (exit $code); no figure" >&2
        status=1
        continue
    fi
    printf '%-28s %10s %16s %14s %16s\n' "$name" "$seconds" "$peak" \
        "$(python3 -c "print(f'{$seconds / $tar_time:.2f}')")" \
        "$(python3 -c "print(f'{$peak / $base_peak:.1f}')")"
    worst=$(python3 -c "print(max($worst, $peak))")
done
rm -rf "$WORK/out" "$WORK/out.zip" "$WORK/out.package-manifest"
if [ "$status" -ne 0 ]; then
    echo "packer peak resident memory: not measured, a packing run failed" >&2
    exit 1
fi
echo "packer peak resident memory: $worst MiB (aim: under 64 MiB)"
