#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built program into a temporary prefix and checks that a freedesktop launcher
# would find it: the program on PATH, a valid entry that starts it, its icon in the hicolor
# theme at the size its folder names, and a description the software centres accept.
# Usage: install_check.sh CMAKE BUILD_DIR SOURCE_DIR APP_ID
set -euo pipefail
cmake=$1 build=$2 source=$3 app_id=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
passed=0

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { passed=$((passed + 1)); echo "ok: $*"; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

program=$prefix/bin/velkarn-oriq
[ -x "$program" ] || fail "no executable at bin/velkarn-oriq"
pass "program installed as bin/velkarn-oriq"

entry=$prefix/share/applications/$app_id.desktop
[ -f "$entry" ] || fail "no launcher entry at share/applications/$app_id.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
pass "desktop-file-validate accepts the entry"

key() { sed -n "s/^$1=//p" "$entry"; }
[ "$(key Name)" = "Velkarn Oriq II" ] || fail "entry is named '$(key Name)'"
[ -n "$(key Comment)" ] || fail "entry has no English comment"
[ -n "$(key 'Comment\[de\]')" ] || fail "entry has no German comment"
exec_line=$(key Exec)
[ "$exec_line" = "velkarn-oriq %F" ] || fail "Exec=$exec_line does not hand the chosen files to the program"
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not the installed program"
pass "entry is named after the product, commented in English and German, and starts the installed program with the chosen files"

icon=$(key Icon)
icons=("$prefix"/share/icons/hicolor/*/apps/"$icon".png)
[ -f "${icons[0]}" ] || fail "no hicolor icon named $icon.png"
for file in "${icons[@]}"; do
    folder_size=$(basename "$(dirname "$(dirname "$file")")")
    actual_size=$(identify -format '%wx%h' "$file")
    [ "$folder_size" = "$actual_size" ] || fail "$file is $actual_size, not $folder_size"
done
pass "icon $icon installed at ${#icons[@]} size(s), each as large as its folder says"
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" 2>/dev/null || fail "no scalable icon $icon.svg"
pass "icon $icon installed as a scalable SVG"

metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
[ -f "$metainfo" ] || fail "no metainfo at share/metainfo/$app_id.metainfo.xml"
# The relaxed check lets even a missing summary pass; the strict one is what stores apply.
appstream-util validate --nonet "$metainfo" || fail "appstream-util rejects the metainfo"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
    || fail "metainfo does not launch $app_id.desktop"
pass "appstream-util validate (strict, so validate-relax too) accepts the metainfo, which launches the installed entry"

cmp -s "$prefix/share/velkarn-oriq/sample.log" "$source/samples/sample.log" \
    || fail "the sample log is missing or differs from samples/sample.log"
pass "sample log installed"

echo "$passed passed, 0 failed"
