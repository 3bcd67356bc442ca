#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the built program in a real X window as a user would: opens the sample log through
# the file dialog, reads the chart under the mouse, sets two markers through the chart's context
# menu, shows the overview strip and drags its window, opens and closes the About dialog; at last
# starts it with files named on the command line on a screen of twice the density (an X server of
# its own); and follows a copy of the sample while tools/follow-writer.py appends to it (another).
# Asserts what the X server and the
# screenshots show; keeps the shots in SHOT_DIR.
# Usage (under an X server without a window manager, e.g. xvfb-run):
#   realwindow.sh PROGRAM SAMPLE_LOG SHOT_DIR [--twice-the-density | --following]
set -euo pipefail
# xdotool matches window names by regular expression in the current locale: in the C locale
# of a bare machine the pattern "^Über$" finds nothing. C.UTF-8 is built into glibc.
export LC_ALL=C.UTF-8
program=$1 sample=$(realpath "$2") shots=$3 mode=${4:-}

readonly TITLE="Velkarn Oriq II  (V 1.0.2)"
readonly WINDOW_GEOMETRY="542x390+400+250"
readonly ABOUT_TITLE="Über"
readonly ABOUT_SIZE="345x297"
readonly OK_BUTTON_CENTRE="177 281"   # the About dialog's 75 x 23 button at 140, 270
# Menu bar titles, relative to the main window, as laid out in DejaVu Sans.
readonly DATEI_MENU_AT="20 10"
readonly HILFE_MENU_AT="72 10"
# Strongly coloured pixels in the main window: the empty chart shows only its legend's small
# swatches; filled curves under five channels cover a good part of the chart.
readonly COLOURED_BEFORE_LOAD_MAX=3000
readonly COLOURED_AFTER_LOAD_MIN=20000
# The About dialog's animated logo is 120 pixels square; the rest of the dialog is grey.
readonly COLOURED_LOGO_MIN=1000
readonly TIMEOUT_SECONDS=20
# The status bar's text area along the window's bottom edge, left of the size grip.
readonly STATUS_BAR_AREA="500x20+0+368"
# The mouse there (in the main window) brings up the read-out, changing at least so many pixels.
readonly READOUT_AT="230 240" READOUT_CHANGED_MIN=5000
# Right-clicks there set marker A and B (the context menu's eighth and ninth enabled entries:
# with no view to go back or forward to, the keyboard passes over those two); their box changes
# at least so many pixels. Off the chart, the read-out goes.
readonly MARKER_A_AT="150 150" MARKER_B_AT="400 150" MARKERS_CHANGED_MIN=5000 OFF_THE_CHART_AT="5 5"
# "Übersicht", the menu's third enabled entry then, shows the strip under the chart; zoomed in
# by so many presses of +, a drag from its middle so far to the right moves the window in it,
# changing at least so many pixels of the strip.
readonly OVERVIEW_ENTRY=3 ZOOM_PRESSES=8 STRIP_DRAG_AT="295 317" STRIP_DRAG_BY=100
readonly STRIP_AREA="542x60+0+290" STRIP_CHANGED_MIN=1000
# On a screen of twice the density Qt scales the window and all in it by two.
readonly HIDPI_SERVER="-screen 0 2000x1400x24 -dpi 192 -noreset"
readonly HIDPI_GEOMETRY="1084x780+800+500" HIDPI_STATUS_BAR_AREA="1000x40+0+736"
# The writer appends a record an hour, in halves, this many at this pace; the chart then
# changes at least so many pixels.
readonly WRITER="$(dirname "$0")/../tools/follow-writer.py"
readonly FOLLOW_RECORDS=24 FOLLOW_INTERVAL=0.05 FOLLOW_CHANGED_MIN=5000

passed=0
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { passed=$((passed + 1)); echo "ok: $*"; }

# wait_until WHAT COMMAND...: polls COMMAND every tenth of a second until it succeeds; fails,
# naming WHAT, after the timeout.
wait_until() {
    local what=$1 deadline=$((SECONDS + TIMEOUT_SECONDS))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for $what; screenshots in $shots"
        sleep 0.1
    done
}

geometry_of() {
    xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} /Absolute upper-left X:/ {x=$4}
                             /Absolute upper-left Y:/ {y=$4} END {print w "x" h "+" x "+" y}'
}
size_of() { geometry_of "$1" | cut -d+ -f1; }
title_of() { xprop -id "$1" -notype _NET_WM_NAME | sed -n 's/^_NET_WM_NAME = "\(.*\)"$/\1/p'; }

# Prints the visible windows of the program other than the main window, whose window type
# contains TYPE (e.g. DROPDOWN_MENU, DIALOG).
other_windows_of_type() {
    local id
    for id in $(xdotool search --onlyvisible --classname velkarn-oriq 2>/dev/null); do
        [ "$id" != "$main_window" ] || continue
        xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q "_NET_WM_WINDOW_TYPE_$1" && echo "$id"
    done
    return 0
}
has_window_of_type() { [ -n "$(other_windows_of_type "$1")" ]; }
has_no_window_of_type() { [ -z "$(other_windows_of_type "$1")" ]; }
is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
is_gone() { ! is_viewable "$1"; }
has_focus() { [ "$(xdotool getwindowfocus)" = "$1" ]; }

main_window_found() {
    main_window=$(xdotool search --onlyvisible --name "^${TITLE//[()]/.}\$" 2>/dev/null | head -n 1)
    [ -n "$main_window" ]
}
about_found() {
    about=$(xdotool search --onlyvisible --name "^$ABOUT_TITLE\$" 2>/dev/null | head -n 1)
    [ -n "$about" ]
}

# shoot NAME [GEOMETRY]: screenshot of the whole screen and a crop of one window (the main
# window unless GEOMETRY is given); prints the crop's count of strongly coloured pixels
# (chroma above 15 %).
shoot() {
    local name=$1 geometry=${2:-$WINDOW_GEOMETRY}
    import -window root "$shots/$name.png"
    convert "$shots/$name.png" -crop "$geometry" +repage "$shots/$name-window.png"
    convert "$shots/$name-window.png" -colorspace HCL -channel G -separate +channel \
        -threshold 15% -format '%[fx:round(mean*w*h)]' info:
}
# True when the main window looks the same as at the last call with this NAME: a closed
# dialog leaves its picture behind until the window below has repainted the exposed part.
settled() {
    local name=$1 previous=$shots/.$1-previous.png
    [ -f "$shots/$name-window.png" ] && cp "$shots/$name-window.png" "$previous"
    coloured=$(shoot "$name")
    [ -f "$previous" ] && [ "$(compare -metric AE "$previous" "$shots/$name-window.png" null: 2>&1)" = 0 ]
}
# status_bar_blank [SHOT AREA]: no dark pixel in the status bar of a window's screenshot.
status_bar_blank() {
    [ "$(convert "$shots/${1:-2-loaded}-window.png" -crop "${2:-$STATUS_BAR_AREA}" +repage -colorspace Gray \
        -threshold 50% -negate -format '%[fx:round(mean*w*h)]' info:)" = 0 ]
}
readout_drawn() {
    shoot 2-readout >/dev/null
    [ "$(compare -metric AE "$shots/2-loaded-window.png" "$shots/2-readout-window.png" null: 2>&1)" -ge $READOUT_CHANGED_MIN ]
}
markers_drawn() {
    shoot 2-markers >/dev/null
    [ "$(compare -metric AE "$shots/2-loaded-window.png" "$shots/2-markers-window.png" null: 2>&1)" -ge $MARKERS_CHANGED_MIN ]
}
# strip_changed BEFORE AFTER: shoots AFTER; true when the strip's area differs enough from BEFORE.
strip_changed() {
    shoot "$2" >/dev/null
    [ "$(compare -metric AE "$shots/$1-window.png[$STRIP_AREA]" "$shots/$2-window.png[$STRIP_AREA]" null: 2>&1)" \
        -ge $STRIP_CHANGED_MIN ]
}
legend_drawn() { settled 1-started && [ "$coloured" -gt 0 ]; }
curves_drawn() { settled 2-loaded && [ "$coloured" -ge $COLOURED_AFTER_LOAD_MIN ]; }
logo_drawn() { coloured=$(shoot 3-about "$(geometry_of "$about")") && [ "$coloured" -ge $COLOURED_LOGO_MIN ]; }

# Opens a menu of the main window by its title and clicks its one entry.
choose_menu_entry() {
    local menu
    # shellcheck disable=SC2086  # the position is two numbers
    xdotool mousemove --window "$main_window" $1 click 1
    wait_until "the menu to open" has_window_of_type DROPDOWN_MENU
    menu=$(other_windows_of_type DROPDOWN_MENU | head -n 1)
    read -r width height < <(size_of "$menu" | tr x ' ')
    xdotool mousemove --window "$menu" $((width / 2)) $((height / 2)) click 1
    wait_until "the menu to close" is_gone "$menu"
}

# Right-clicks the chart there and chooses the entry so many steps down its context menu by keyboard.
choose_context_entry() {
    # shellcheck disable=SC2086  # the position is two numbers
    xdotool mousemove --window "$main_window" $1 click 3
    wait_until "the chart's menu to open" has_window_of_type POPUP_MENU
    # shellcheck disable=SC2046  # one Down per step
    xdotool key $(printf 'Down %.0s' $(seq "$2")) Return
    wait_until "the chart's menu to close" has_no_window_of_type POPUP_MENU
}

# The sample and a missing file named on the command line; Xft.dpi as a desktop sets it along
# with the screen's density (-noreset keeps the setting after xprop leaves).
check_twice_the_density() {
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi: 192"
    QT_QPA_PLATFORM=xcb "$program" "$sample" "$shots/missing.log" &
    program_pid=$!
    trap 'kill "$program_pid" 2>/dev/null || true' EXIT
    wait_until "the main window" main_window_found
    [ "$(geometry_of "$main_window")" = "$HIDPI_GEOMETRY" ] \
        || fail "at twice the density the window is $(geometry_of "$main_window"), not $HIDPI_GEOMETRY"
    wait_until "the files named on the command line" curves_drawn_twice_as_large
    ! status_bar_blank 4-hidpi "$HIDPI_STATUS_BAR_AREA" || fail "the missing file is not named in the status bar"
    pass "at twice the density: $HIDPI_GEOMETRY, the sample named on the command line drawn, the missing one named"
}
# A copy of the sample named on the command line, followed from the start as the settings file
# asks (a folder of its own), while the writer appends a day in records written in halves.
check_following() {
    local log=$shots/following.log settings=$shots/following-settings
    cp "$sample" "$log"
    mkdir -p "$settings/velkarn"
    printf '[General]\nfollow=true\n' >"$settings/velkarn/oriq.conf"
    XDG_CONFIG_HOME=$settings QT_QPA_PLATFORM=xcb "$program" "$log" &
    program_pid=$!
    trap 'kill "$program_pid" 2>/dev/null || true' EXIT
    wait_until "the main window" main_window_found
    wait_until "the followed log drawn" followed_log_drawn
    ! status_bar_blank 5-following || fail "no label in the status bar while following"
    python3 "$WRITER" "$log" --records $FOLLOW_RECORDS --interval $FOLLOW_INTERVAL --step 3600 --halves
    wait_until "the chart to scroll with the new records" followed_records_drawn
    pass "following: $FOLLOW_RECORDS records appended by the writer scroll the chart and move the label on"
}
followed_log_drawn() { settled 5-following && [ "$coloured" -ge $COLOURED_AFTER_LOAD_MIN ]; }
followed_records_drawn() {
    shoot 6-followed >/dev/null
    local shot
    for shot in 5-following 6-followed; do
        convert "$shots/$shot-window.png" -crop "$STATUS_BAR_AREA" +repage "$shots/$shot-status.png"
    done
    [ "$(compare -metric AE "$shots/5-following-window.png" "$shots/6-followed-window.png" null: 2>&1)" -ge $FOLLOW_CHANGED_MIN ] \
        && [ "$(compare -metric AE "$shots/5-following-status.png" "$shots/6-followed-status.png" null: 2>&1)" -gt 0 ]
}
curves_drawn_twice_as_large() {
    coloured=$(shoot 4-hidpi "$HIDPI_GEOMETRY") && [ "$coloured" -ge $((4 * COLOURED_AFTER_LOAD_MIN)) ]
}

mkdir -p "$shots"
[ "$mode" != --twice-the-density ] || { check_twice_the_density; exit 0; }
[ "$mode" != --following ] || { check_following; exit 0; }
rm -f "$shots"/*.png "$shots"/.*.png
QT_QPA_PLATFORM=xcb "$program" &
program_pid=$!
trap 'kill "$program_pid" 2>/dev/null || true' EXIT

wait_until "the main window" main_window_found
[ "$(title_of "$main_window")" = "$TITLE" ] || fail "title is '$(title_of "$main_window")'"
[ "$(geometry_of "$main_window")" = "$WINDOW_GEOMETRY" ] \
    || fail "main window is $(geometry_of "$main_window"), not $WINDOW_GEOMETRY"
xprop -id "$main_window" WM_CLASS | grep -q '"velkarn-oriq", "velkarn-oriq"' \
    || fail "WM_CLASS does not match the launcher entry's StartupWMClass"
pass "main window '$TITLE' at $WINDOW_GEOMETRY"

wait_until "the empty chart to be drawn" legend_drawn
[ "$coloured" -le $COLOURED_BEFORE_LOAD_MAX ] || fail "$coloured coloured pixels before any load"
pass "empty chart drawn ($coloured coloured pixels, legend only)"

choose_menu_entry "$DATEI_MENU_AT"
wait_until "the file dialog" has_window_of_type DIALOG
dialog=$(other_windows_of_type DIALOG | head -n 1)
wait_until "the file dialog to take the keyboard" has_focus "$dialog"
xdotool type --delay 5 "$sample"
xdotool key Return
wait_until "the file dialog to close" is_gone "$dialog"
wait_until "filled curves in the chart" curves_drawn
pass "sample opened through the file dialog: $coloured coloured pixels"
status_bar_blank || fail "the status bar reports a problem with the sample"
pass "no word in the status bar"
# shellcheck disable=SC2086  # the position is two numbers
xdotool mousemove --window "$main_window" $READOUT_AT
wait_until "the read-out under the mouse" readout_drawn
pass "the read-out shows under the mouse"
choose_context_entry "$MARKER_A_AT" 8
choose_context_entry "$MARKER_B_AT" 9
# shellcheck disable=SC2086  # the position is two numbers
xdotool mousemove --window "$main_window" $OFF_THE_CHART_AT
wait_until "the markers and their box" markers_drawn
pass "markers A and B set through the chart's context menu, with their box"

choose_context_entry "$MARKER_A_AT" $OVERVIEW_ENTRY
# shellcheck disable=SC2046  # one + per press
xdotool key --window "$main_window" $(printf 'plus %.0s' $(seq $ZOOM_PRESSES))
wait_until "the strip under the zoomed chart" settled 5-overview
# shellcheck disable=SC2086  # the position is two numbers
xdotool mousemove --window "$main_window" $STRIP_DRAG_AT mousedown 1 \
    mousemove_relative $((STRIP_DRAG_BY / 2)) 0 mousemove_relative $((STRIP_DRAG_BY / 2)) 0 mouseup 1
wait_until "the strip's window to move" strip_changed 5-overview 5-dragged
# With views to go back to, the keyboard stops at "Vorherige Ansicht" too.
choose_context_entry "$MARKER_A_AT" $((OVERVIEW_ENTRY + 1))
wait_until "the strip to go" strip_changed 5-dragged 5-overview-off
pass "\"Übersicht\" shows the strip under the chart, a drag moves its window, chosen again it goes"

choose_menu_entry "$HILFE_MENU_AT"
wait_until "the About dialog" about_found
[ "$(size_of "$about")" = "$ABOUT_SIZE" ] || fail "About dialog is $(size_of "$about"), not $ABOUT_SIZE"
pass "About dialog '$ABOUT_TITLE' of $ABOUT_SIZE"
wait_until "the About dialog's logo" logo_drawn
pass "About dialog shows its logo: $coloured coloured pixels"

# shellcheck disable=SC2086  # the position is two numbers
xdotool mousemove --window "$about" $OK_BUTTON_CENTRE click 1
wait_until "the About dialog to close" is_gone "$about"
wait_until "no dialog left open" has_no_window_of_type DIALOG
kill -0 "$program_pid" || fail "the program ended with the About dialog"
is_viewable "$main_window" || fail "main window vanished with the About dialog"
pass "OK closes the About dialog and leaves the main window"

xvfb-run -a -s "$HIDPI_SERVER" bash "$0" "$program" "$sample" "$shots" --twice-the-density
passed=$((passed + 1))
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$program" "$sample" "$shots" --following
passed=$((passed + 1))
echo "$passed passed, 0 failed"
