#!/usr/bin/env bash
# Writes a PNG picture of each image-menu dialog into FOLDER (default
# build/dialog-screenshots), drawn on a virtual screen with real fonts.
#   scripts/dialog-screenshots.sh [BUILD_DIR] [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
folder=${2:-build/dialog-screenshots}
cmake --build "$build" --target dialog_screenshots
mkdir -p "$folder"
XDG_RUNTIME_DIR=$(mktemp -d) xvfb-run -a -s "-screen 0 1280x1024x24" "$build/shell/dialog_screenshots" "$folder"
