#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the server tests: made in a temporary folder, reached through a Unix
# socket in that folder (and a free port on the loopback), stopped and removed by "stop" whatever the tests
# did. PostgreSQL refuses to run as root, so under root the cluster belongs to an unprivileged user.
#
#   cluster.sh start STATE_FILE     writes STATE_FILE: how to reach the cluster, or "skip: <reason>"
#   cluster.sh stop STATE_FILE
#
# Without the server programs the state says why the tests skip; under CI=true that is a failure.
set -uo pipefail

action="${1:-}"
state="${2:-}"
[ -n "$action" ] && [ -n "$state" ] || { echo "usage: $0 start|stop STATE_FILE" >&2; exit 2; }

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "$owner" -- "$@"
    else
        "$@"
    fi
}

stop_cluster() {
    [ -f "$state" ] || return 0
    local folder bin
    folder=$(sed -n 's/^folder=//p' "$state")
    bin=$(sed -n 's/^bin=//p' "$state")
    owner=$(sed -n 's/^owner=//p' "$state")
    if [ -n "$folder" ] && [ -d "$folder/data" ]; then
        as_owner "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    [ -n "$folder" ] && rm -rf "$folder"
    rm -f "$state"
}

skip() {
    if [ "${CI:-}" = "true" ]; then
        echo "cluster.sh: $1 (CI=true: the server tests must run)" >&2
        exit 1
    fi
    echo "skip: $1" >"$state"
    echo "cluster.sh: the server tests skip: $1" >&2
    exit 0
}

if [ "$action" = stop ]; then
    stop_cluster
    exit 0
fi
[ "$action" = start ] || { echo "usage: $0 start|stop STATE_FILE" >&2; exit 2; }

stop_cluster # a cluster left by an interrupted run

bin=""
for candidate in "${ROWSIFTER_PG_BIN:-}" "$(pg_config --bindir 2>/dev/null)" /usr/lib/postgresql/*/bin; do
    if [ -n "$candidate" ] && [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then
        bin="$candidate"
        break
    fi
done
[ -n "$bin" ] || skip "no PostgreSQL server programs (initdb, pg_ctl; Debian package postgresql-15)"

owner="$(id -un)"
if [ "$(id -u)" -eq 0 ]; then
    owner="${ROWSIFTER_PG_OWNER:-nobody}"
    id "$owner" >/dev/null 2>&1 || skip "no unprivileged user '$owner' to run the cluster as"
fi

folder=$(mktemp -d "${TMPDIR:-/tmp}/rowsifter-pg.XXXXXX") || skip "no temporary folder"
chmod 0755 "$folder"
[ "$(id -u)" -eq 0 ] && chown "$owner" "$folder"
# The state names the folder at once, so "stop" removes it even when the start fails below.
printf 'folder=%s\nbin=%s\nowner=%s\n' "$folder" "$bin" "$owner" >"$state"

fail() {
    echo "cluster.sh: $1" >&2
    [ -f "$folder/log" ] && tail -n 20 "$folder/log" >&2
    stop_cluster
    if [ "${CI:-}" = "true" ]; then exit 1; fi
    echo "skip: $1" >"$state"
    exit 0
}

# A port nobody listens on now (the server binds it for itself below).
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' 2>/dev/null)
[ -n "$port" ] || port=$((20000 + RANDOM % 20000))

as_owner "$bin/initdb" -D "$folder/data" -U rowsifter_admin --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$folder/initdb.log" 2>&1 || as_owner "$bin/initdb" -D "$folder/data" -U rowsifter_admin --auth=trust \
    -E UTF8 --locale=C >"$folder/initdb.log" 2>&1 || fail "initdb failed ($(tail -n 1 "$folder/initdb.log"))"

# The password role must prove its password on every route in; everyone else is trusted (loopback only).
cat >"$folder/data/pg_hba.conf" <<HBA
local   all   rowsifter_pw                 scram-sha-256
host    all   rowsifter_pw   127.0.0.1/32  scram-sha-256
local   all   all                          trust
host    all   all            127.0.0.1/32  trust
HBA

as_owner "$bin/pg_ctl" -D "$folder/data" -l "$folder/log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$folder -c fsync=off \
        -c synchronous_commit=off -c full_page_writes=off -c max_connections=60" start >/dev/null 2>&1 ||
    fail "the server did not start"

"$bin/psql" -X -q -h "$folder" -p "$port" -U rowsifter_admin -d postgres -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE rowsifter_pw LOGIN PASSWORD 'right horse battery'" \
    -c "CREATE ROLE rowsifter_user LOGIN" >/dev/null 2>&1 || fail "the test roles could not be made"

cat >>"$state" <<STATE
host=$folder
port=$port
admin=rowsifter_admin
user=rowsifter_user
password_user=rowsifter_pw
password=right horse battery
STATE
exit 0
