#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need (only those missing).
# Further package names given as arguments are installed too (the screenshot script needs two more).
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libsqlcipher-dev libssl-dev libsqlite3-0 sqlite3
    libpq-dev postgresql-15
    libicu-dev
    googletest libgtest-dev libbenchmark-dev
    mdbtools mdbtools-dev
    xvfb xauth fonts-liberation
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
