#!/usr/bin/env bash
# CI: the Debian package as a user meets it. Builds it, checks it with lintian (no errors) and its desktop
# files with their validators, installs it with apt-get, uses it as an ordinary user (both programs'
# --version, the wizard's whole road under Xvfb, which makes the user's copy of the sample, then
# rowsifter-cli on that copy), and removes it again, checking that no installed file is left.
# Runs as root on a fresh Debian machine; the screenshots of the road end up in build-package/road.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
export DEBIAN_FRONTEND=noninteractive
user=rowsifter-ci

say() { printf '\n== %s\n' "$*"; }
fail() { echo "ci_package.sh: $*" >&2; exit 1; }

scripts/setup.sh dpkg-dev file lintian appstream desktop-file-utils xdotool imagemagick
started=$SECONDS

say "Building the package"
deb="$(scripts/package.sh | tail -1)"
version="$(dpkg-deb -f "$deb" Version)"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

say "Checking it"
# Warnings are shown; only errors fail.
lintian --fail-on error --display-info "$deb"
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.xml
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop

say "Installing it"
if dpkg-query -W rowsifter >/dev/null 2>&1; then
    apt-get remove -y -q rowsifter
fi
apt-get install -y -q "$deb"
dpkg --verify rowsifter || fail "the installed files differ from the package"

say "Using it as the ordinary user $user"
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
home="$(mktemp -d)"
trap 'rm -rf "$unpacked" "$home"' EXIT
chown "$user:" "$home"
# A clean environment: the user's own home, no display, no settings of ours.
as_user() {
    runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@"
}
[ "$(as_user rowsifter-cli --version)" = "rowsifter-cli $version" ] || fail "rowsifter-cli --version is not $version"
[ "$(as_user rowsifter --version)" = "rowsifter $version" ] || fail "rowsifter --version is not $version"

install -m 0755 -o "$user" scripts/screenshots_road.sh "$home/screenshots_road.sh"
install -m 0644 -o "$user" scripts/road_steps.sh "$home/road_steps.sh"
as_user ROAD_HOME="$home" bash "$home/screenshots_road.sh" --installed "$home/road"
copy="$home/.local/share/Rowsifter/Samples/sample.mdb"
rm -rf build-package/road
cp -r "$home/road" build-package/road

# The same fields on the same copy: rowsifter-cli must keep exactly the rows the wizard kept.
as_user rowsifter-cli -q -d "$copy" -t Customers -f FirstName -f LastName -o CustomersByName \
    >"$home/cli.out" 2>"$home/cli.err" || fail "rowsifter-cli failed: $(cat "$home/cli.err")"
cat "$home/cli.out"
[ ! -s "$home/cli.err" ] || fail "rowsifter-cli -q printed on standard error: $(cat "$home/cli.err")"
differing="$(as_user sqlite3 "$copy" "SELECT (SELECT count(*) FROM (SELECT * FROM Customers2 EXCEPT SELECT * FROM CustomersByName))
    + (SELECT count(*) FROM (SELECT * FROM CustomersByName EXCEPT SELECT * FROM Customers2))")"
[ "$differing" = 0 ] || fail "rowsifter-cli and the wizard kept different rows ($differing differ)"
dpkg --verify rowsifter || fail "using the program changed its installed files"

say "Removing it"
mapfile -t installed < <(dpkg-query -L rowsifter)
apt-get remove -y -q rowsifter
left=()
for path in "${installed[@]}"; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    # Shared folders (/usr/share/man/man1, ...) stay while they hold other packages' files.
    if [ -d "$path" ] && [ ! -L "$path" ] && [ -n "$(ls -A "$path")" ]; then
        continue
    fi
    left+=("$path")
done
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"

say "The package passed in $((SECONDS - started)) s"
