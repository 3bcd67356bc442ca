#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's screenshots: runs the real-window check, which opens the sample log in the
# built program, and keeps its pictures of the main window with the loaded chart, without and
# with the read-out under the mouse, with two markers, and with the overview strip's window dragged.
# Run after script/test (or any build with tests) has built the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

ctest --test-dir "$build" -R '^realwindow$' --output-on-failure
mkdir -p "$root/doc"
cp "$build/realwindow/2-loaded-window.png" "$root/doc/screenshot.png"
cp "$build/realwindow/2-readout-window.png" "$root/doc/readout.png"
cp "$build/realwindow/2-markers-window.png" "$root/doc/markers.png"
cp "$build/realwindow/5-dragged-window.png" "$root/doc/overview.png"
echo "doc/screenshot.png, doc/readout.png, doc/markers.png and doc/overview.png updated"
