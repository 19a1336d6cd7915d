#!/usr/bin/env bash
# Makes a distributable folder of an app (host, package.json and the files it names, the bundled
# www/, the extension library when there is one) and a zip of it beside the folder.
# Usage: tools/package-app.sh BUILD_DIR APP_DIR OUT_DIR [--loose] [--no-zip] [--quiet]
#   --loose   ship www/ as plain files instead of packing it into www/assets.dat
#   --no-zip  make the folder only
#   --quiet   print nothing but errors
set -euo pipefail
exec python3 "$(dirname "$0")/package_app.py" "$@"
