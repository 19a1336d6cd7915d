#!/usr/bin/env bash
# Runs a command inside a Wine session of its own (Xvfb + prefix), for test programs started
# outside ./dev test.  Usage: with-wine-session.sh BUILD_DIR COMMAND [ARGS...]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"; shift
source "$(dirname "$0")/wine-env.sh"
wine_session_start
trap wine_session_stop EXIT
"$@"
