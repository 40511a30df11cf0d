#!/usr/bin/env bash
# Builds the Debian package rowsifter_<version>_<architecture>.deb with CPack and lays it in the top folder
# of the source tree; with --install, installs it with apt-get too:
#
#   scripts/package.sh [--install]
#
# The build for the package has its own folder, build-package/ (or $ROWSIFTER_PACKAGE_BUILD_DIR), made
# with Debian's hardening flags and without the tests and benchmarks. Prints the package's path last.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROWSIFTER_PACKAGE_BUILD_DIR:-$root/build-package}"
install=false
case "${1:-}" in
    --install) install=true ;;
    "") ;;
    *) echo "usage: scripts/package.sh [--install]" >&2; exit 2 ;;
esac

# dpkg-shlibdeps (dpkg-dev) computes the dependencies; CPack finds the programs with file.
"$root/scripts/setup.sh" dpkg-dev file

# The flags a Debian package is built with, all hardening included: stack protector, fortified
# functions, relocations read-only and bound at start.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DROWSIFTER_WERROR=ON \
    -DROWSIFTER_BUILD_TESTS=OFF -DROWSIFTER_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$build/package" >/dev/null)

debs=("$build"/package/rowsifter_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package.sh: CPack made no single package in $build/package" >&2
    exit 1
fi
deb="$root/$(basename "${debs[0]}")"
cp "${debs[0]}" "$deb"

if $install; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$deb"
fi
echo "$deb"
