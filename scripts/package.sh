#!/usr/bin/env bash
# Builds the Debian packages into dist/: spanmon (Spanmon and Ethfind) and spanmon-simulators
# (midspan-sim, module-sim). Optimised build of its own in build-package, with Debian's hardening flags.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh file

export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# Only what the packages hold is built: no tests or benchmarks.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
    "$@" >/dev/null
cmake --build build-package --target spanmon spanmon-cli ethfind midspan-sim module-sim package_files

rm -rf build-package/cpack
(cd build-package && cpack -G DEB -B cpack >/dev/null)
mkdir -p dist
rm -f dist/spanmon_*.deb dist/spanmon-simulators_*.deb
mv build-package/cpack/*.deb dist/
ls -1 dist/*.deb
