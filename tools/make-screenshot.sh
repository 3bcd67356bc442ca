#!/usr/bin/env bash
# Makes the README's screenshot: runs the real-window check, which opens the sample log in the
# built program, and keeps its picture of the main window with the loaded chart.
# Run after script/test (or any build with tests) has built the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

ctest --test-dir "$build" -R '^realwindow$' --output-on-failure
mkdir -p "$root/doc"
cp "$build/realwindow/2-loaded-window.png" "$root/doc/screenshot.png"
echo "doc/screenshot.png updated"
