#!/usr/bin/env bash
# Builds the Debian package into build-package/: the three programs compiled with Debian's
# optimisation and hardening flags (dpkg-buildflags), then CPack, then lintian's verdict.
# Install it with:  sudo apt install ./build-package/krt6-setting-tool_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

dir=build-package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Build type None: the flags are Debian's alone (-O2 -g, stripped into the package).
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DKRT6_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) -DNDEBUG" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target krt6_package_files
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB -B "$PWD" >/dev/null)
deb=$(ls "$dir"/*.deb)
lintian --fail-on error "$deb"
echo "Built $deb"
