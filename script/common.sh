# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the scripts in script/ and tools/: the packages the project needs, listed once, and the build.
# shellcheck shell=bash

# What building and running the viewer needs; what building its Debian package adds; what its
# tests add (one of them builds the package); what the fuzzer and the memory check add; what
# the benchmark compares the CSV export, the days and the command line with; what
# tools/make-images.sh draws with. The package check reads the package with lintian, and its
# manual page with man, groff and mandoc.
RUN_PACKAGES=(build-essential cmake qtbase5-dev libqcustomplot-dev)
PACKAGE_PACKAGES=(dpkg-dev file)
TEST_PACKAGES=(xvfb xauth python3 desktop-file-utils appstream-util appstream xdotool x11-utils imagemagick
               fonts-dejavu-core tzdata lintian man-db groff-base mandoc "${PACKAGE_PACKAGES[@]}")
TOOL_PACKAGES=(clang-14 libclang-rt-14-dev valgrind)
BENCH_PACKAGES=(python3-numpy python3-pandas kst)
IMAGE_PACKAGES=(imagemagick librsvg2-bin)
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
ASAN_BUILD_DIR=${ASAN_BUILD_DIR:-$ROOT/build-asan}
TSAN_BUILD_DIR=${TSAN_BUILD_DIR:-$ROOT/build-tsan}

# Installs only what is missing, so a second run costs a dpkg query and nothing more.
install_missing() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_release() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

# The whole program and its tests once more with AddressSanitizer and UndefinedBehaviorSanitizer;
# optimised a little and with debug information, so the suite stays quick and reports name lines.
build_sanitized() {
    cmake -S "$ROOT" -B "$ASAN_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_SANITIZE=ON "$@"
    cmake --build "$ASAN_BUILD_DIR" -j "$(nproc)"
}

# The program and the tests of what runs on several threads (drawing, loading) with
# ThreadSanitizer. Tests that drive Qt's file dialog stay out: its file-info thread is Qt's own,
# and what Qt hands over inside itself is not seen there.
THREADED_TESTS=(tst_envelopegraph tst_minmaxsummary tst_fastload)
build_thread_sanitized() {
    cmake -S "$ROOT" -B "$TSAN_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_THREAD_SANITIZE=ON "$@"
    cmake --build "$TSAN_BUILD_DIR" -j "$(nproc)" --target "${THREADED_TESTS[@]}"
}
