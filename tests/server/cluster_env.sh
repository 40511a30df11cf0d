# shellcheck shell=bash disable=SC2034  # host, port, bin and uri are for the script that sources this
# A throwaway PostgreSQL cluster for scripts (sourced, not run): the tests' cluster.sh started under
# CI=true (no server programs is an error here, not a skip) and what a script needs to reach it.
#
#   . tests/server/cluster_env.sh
#   trap 'cluster_stop; rm -rf "$work"' EXIT
#   cluster_start "$work"      # sets host, port, bin and uri (the admin role over the Unix socket)
#   psql -c "..."              # psql as the admin role, stopping at the first error

cluster_script="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/cluster.sh"
cluster_state=""

cluster_start() {
    cluster_state="$1/cluster.state"
    CI=true "$cluster_script" start "$cluster_state" >/dev/null
    host=$(sed -n 's/^host=//p' "$cluster_state")
    port=$(sed -n 's/^port=//p' "$cluster_state")
    bin=$(sed -n 's/^bin=//p' "$cluster_state")
    uri="postgresql://rowsifter_admin@/postgres?host=$host&port=$port"
}

cluster_stop() {
    if [ -n "$cluster_state" ]; then
        "$cluster_script" stop "$cluster_state" || true
    fi
}

psql() { "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$host" -p "$port" -U rowsifter_admin -d postgres "$@"; }
