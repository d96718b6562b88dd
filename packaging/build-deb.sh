#!/usr/bin/env bash
# Builds the Debian package in build-pkg/ (a release build with Debian's hardening flags, without
# the tests) and checks it with lintian. Ends non-zero when lintian reports an error; the warnings
# it may still report are explained in packaging/zandrel.lintian-overrides.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-pkg

# Debian's own compiler and linker flags, with every hardening feature. The debug information
# that -g adds would only be stripped again: no debug symbol package is made.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cppflags=$(dpkg-buildflags --get CPPFLAGS) # CMake reads no CPPFLAGS
cflags="$(dpkg-buildflags --get CFLAGS) $cppflags"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DZANDREL_BUILD_TESTS=OFF \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
    -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j2

rm -f "$build"/zandrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
packages=("$build"/zandrel_*.deb)
echo "Built ${packages[*]}"
lintian --fail-on error "${packages[@]}"
