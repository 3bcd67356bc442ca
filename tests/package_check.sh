#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build's install rules and checks what installing it gives:
# its fields, Depends on runtime libraries only, its files, one version throughout, a manual
# page that man finds and every formatter reads without a word, a launcher entry and AppStream
# description that the validators accept, and nothing lintian calls an error or a warning.
# Usage: package_check.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1 app_id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
# The program is run for its version and help, which need no display.
export QT_QPA_PLATFORM=offscreen
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { passed=$((passed + 1)); echo "ok: $*"; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
debs=("$work"/velkarn-oriq_*_amd64.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "no velkarn-oriq package for amd64: $(ls "$work")"
field() { dpkg-deb --field "$deb" "$1"; }
version=$(field Version)
[ "$(field Package) $(field Architecture)" = "velkarn-oriq amd64" ] || fail "not velkarn-oriq for amd64"
for name in Section Maintainer Description; do [ -n "$(field $name)" ] || fail "no $name"; done
pass "velkarn-oriq $version for amd64 with section, maintainer and description"
depends=$(field Depends)
for library in 'libqt5widgets5' 'libqt5core5a' 'libqcustomplot2\.[0-9]+'; do
    grep -Eq "(^|, )$library " <<<"$depends" || fail "Depends lacks $library: $depends"
done
! grep -q -- '-dev' <<<"$depends" || fail "Depends names a -dev package: $depends"
pass "Depends: $depends"

dpkg-deb --extract "$deb" "$work/root"
root=$work/root/usr
files=(bin/velkarn-oriq share/velkarn-oriq/sample.log share/icons/hicolor/scalable/apps/velkarn-oriq.svg
       share/doc/velkarn-oriq/copyright share/doc/velkarn-oriq/changelog.Debian.gz)
for size in 16 32 48 64 128 256; do files+=("share/icons/hicolor/${size}x$size/apps/velkarn-oriq.png"); done
for file in "${files[@]}"; do [ -f "$root/$file" ] || fail "no /usr/$file"; done
pass "${#files[@]} files installed"

# The version is stated once, in CMakeLists.txt; the package adds its Debian release.
program_version=$("$root/bin/velkarn-oriq" --version)
zcat "$root/share/doc/velkarn-oriq/changelog.Debian.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog --file "$work/changelog" --show-field Version)
metainfo=$root/share/metainfo/$app_id.metainfo.xml
release_version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$program_version" = "velkarn-oriq ${version%-*}" ] || fail "'$program_version' is not version $version"
[ "$changelog_version" = "$version" ] || fail "the changelog's version $changelog_version is not $version"
[ "$release_version" = "${version%-*}" ] || fail "the AppStream release $release_version is not $version"
pass "program, package, changelog and AppStream release are version $version"

page=$root/share/man/man1/velkarn-oriq.1.gz
[ "$(MANPATH=$root/share/man man -w velkarn-oriq)" = "$page" ] || fail "man does not find $page"
export LC_ALL=C.UTF-8
lint=$({ man --warnings -E UTF-8 -l -Tutf8 -Z "$page" >/dev/null; zcat "$page" | groff -ww -z -man; mandoc -T lint "$page"; } 2>&1) \
    && [ -z "$lint" ] || fail "the manual page's lint: $lint"
# Every option of the help, its names and its words, as the page shows them.
rendered=$(MANWIDTH=1000 man -l "$page" | tr -s ' \n' '  ')
while read -r option; do
    grep -qF -- "$option" <<<"$rendered" || fail "the manual page lacks '$option'"
done < <("$root/bin/velkarn-oriq" --help | sed -n '/^Optionen:/,/^$/p' | sed '1d;$d' | tr -d '<>' | tr -s ' ')
pass "man finds the manual page, which man, groff and mandoc read without a word and which lists every option of --help"

desktop-file-validate "$root/share/applications/$app_id.desktop" || fail "desktop-file-validate rejects the entry"
appstream-util validate --nonet "$metainfo" || fail "appstream-util rejects it"
appstreamcli validate --strict --no-net "$metainfo" || fail "appstreamcli rejects it"
pass "the launcher entry and the AppStream description are valid"

# Left, as information only: lintian's English spelling takes German words of the manual page
# (Plattform, Programm, Tage) for typos. The binary is hardened and stripped as Debian's own.
report=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || fail "lintian: $report"
pass "lintian finds no error and no warning"
unhardened=$(grep -E 'hardening-no-|binary-has-unneeded-section' <<<"$report") && fail "lintian: $unhardened"
pass "lintian finds the binary hardened and stripped"
echo "$passed passed, 0 failed"
