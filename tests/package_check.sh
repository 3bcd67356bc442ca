#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build's install rules and checks what installing it gives:
# its fields, Depends on runtime libraries only, its files, and a launcher entry and AppStream
# description that the validators accept. Usage: package_check.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1 app_id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$work/velkarn-oriq_1.0.2-1_amd64.deb
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package) $(field Version) $(field Architecture)" = "velkarn-oriq 1.0.2-1 amd64" ] \
    || fail "not velkarn-oriq 1.0.2-1 amd64: $(ls "$work")"
for name in Section Maintainer Description; do [ -n "$(field $name)" ] || fail "no $name"; done
depends=$(field Depends)
for library in 'libqt5widgets5' 'libqt5core5a' 'libqcustomplot2\.[0-9]+'; do
    grep -Eq "(^|, )$library " <<<"$depends" || fail "Depends lacks $library: $depends"
done
! grep -q -- '-dev' <<<"$depends" || fail "Depends names a -dev package: $depends"

dpkg-deb --extract "$deb" "$work/root"
files=(bin/velkarn-oriq share/velkarn-oriq/sample.log share/icons/hicolor/scalable/apps/velkarn-oriq.svg)
for size in 16 32 48 64 128 256; do files+=("share/icons/hicolor/${size}x$size/apps/velkarn-oriq.png"); done
for file in "${files[@]}"; do [ -f "$work/root/usr/$file" ] || fail "no /usr/$file"; done

desktop-file-validate "$work/root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate rejects the entry"
appstream-util validate --nonet "$work/root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstream-util rejects it"
echo "Depends: $depends"
echo "4 passed, 0 failed"
