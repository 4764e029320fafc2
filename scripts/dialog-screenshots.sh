#!/usr/bin/env bash
# Writes a PNG picture of each dialog into FOLDER (default
# build/dialog-screenshots), drawn on a 1600 x 1200 virtual screen with real
# fonts, under openbox when it is installed so the pictures show the title
# bars as a user sees them.
#   scripts/dialog-screenshots.sh [BUILD_DIR] [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
folder=${2:-build/dialog-screenshots}
cmake --build "$build" --target dialog_screenshots
mkdir -p "$folder"
export XDG_RUNTIME_DIR=$(mktemp -d)
xvfb-run -a -s "-noreset -screen 0 1600x1200x24" bash -c '
    if command -v openbox >/dev/null; then
        openbox & manager=$!
        export DIALOG_SCREENSHOTS_FRAMED=1
        sleep 2
    fi
    "$0" "$1"; status=$?
    [ -n "${manager:-}" ] && kill "$manager"
    exit $status' "$build/shell/dialog_screenshots" "$folder"
