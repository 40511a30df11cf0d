#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and starts the wizard.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exec "${ROWSIFTER_BUILD_DIR:-$root/build}/bin/rowsifter" "$@"
