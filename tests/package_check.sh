#!/usr/bin/env bash
# Builds the Debian package from the build's install rules and checks what a user installing it
# gets: its name and fields, Depends on the runtime libraries only (never a -dev package), every
# file in place, and a launcher entry and AppStream description that the validators accept.
# Usage: package_check.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1 app_id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { passed=$((passed + 1)); echo "ok: $*"; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$work/velkarn-oriq_1.0.2-1_amd64.deb
[ -f "$deb" ] || fail "no package named velkarn-oriq_1.0.2-1_amd64.deb: $(ls "$work")"
pass "package velkarn-oriq_1.0.2-1_amd64.deb built"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = velkarn-oriq ] && [ "$(field Version)" = 1.0.2-1 ] \
    && [ "$(field Architecture)" = amd64 ] || fail "package, version or architecture wrong"
for name in Section Maintainer Description; do
    [ -n "$(field "$name")" ] || fail "no $name"
done
pass "named velkarn-oriq 1.0.2-1 for amd64, with section, maintainer and description"

depends=$(field Depends)
for library in 'libqt5widgets5 ' 'libqt5core5a ' 'libqcustomplot2\.[0-9]+ '; do
    grep -Eq "(^|, )$library" <<<"$depends" || fail "Depends lacks ${library% }: $depends"
done
! grep -q -- '-dev' <<<"$depends" || fail "Depends names a -dev package: $depends"
pass "Depends on Qt 5 widgets and QCustomPlot runtime libraries, no -dev: $depends"

dpkg-deb --extract "$deb" "$work/root"
root=$work/root/usr/share
[ -x "$work/root/usr/bin/velkarn-oriq" ] || fail "no /usr/bin/velkarn-oriq"
for size in 16 32 48 64 128 256; do
    [ -f "$root/icons/hicolor/${size}x$size/apps/velkarn-oriq.png" ] || fail "no $size px icon"
done
[ -f "$root/icons/hicolor/scalable/apps/velkarn-oriq.svg" ] || fail "no scalable icon"
[ -f "$root/velkarn-oriq/sample.log" ] || fail "no sample log"
pass "program, icons at 16 to 256 px and scalable, sample log in place"

desktop-file-validate "$root/applications/$app_id.desktop" || fail "desktop-file-validate rejects the entry"
appstream-util validate --nonet "$root/metainfo/$app_id.metainfo.xml" || fail "appstream-util rejects the metainfo"
pass "desktop-file-validate and appstream-util validate accept the installed entry and metainfo"

echo "$passed passed, 0 failed"
