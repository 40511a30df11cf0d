# Shared by the benchmark scripts (sourced, not run).

# Stops with a clear message when one of the named commands is missing.
bench_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$(basename "$0"): $tool is needed" >&2; exit 1; }
    done
}

# Sets $work to the work folder: $BENCH_DIR when given (kept), otherwise a temporary one removed at exit.
bench_work_folder() {
    work="${BENCH_DIR:-}"
    if [ -z "$work" ]; then
        work="$(mktemp -d)"
        trap 'rm -rf "$work"' EXIT
    fi
    mkdir -p "$work"
}
