# Shared by the Windows build scripts: how they talk and how long builds show how far along they are.
say() { printf '%s\n' "$*" >&2; }
stage() { say "== [$1] $2"; }
trap 'say "   stopped: line $LINENO of $0 failed"' ERR

# ninja's own "[n/N]" lines go to the log; the terminal gets one line each tenth of the way.
progress() {
    local name="$1" log="$2"
    awk -v name="$name" -v logfile="$log" '
        { print > logfile; fflush(logfile) }
        match($0, /^\[[0-9]+\/[0-9]+\]/) {
            split(substr($0, 2, RLENGTH - 2), p, "/")
            tenth = int(p[1] * 10 / p[2])
            if (tenth > shown) { shown = tenth; printf "   %s: %d of %d steps (%d%%)\n", name, p[1], p[2], tenth * 10 > "/dev/stderr" }
        }'
}

# Runs a build command with its output in a log; on failure the log's end is shown.
logged() {
    local name="$1" log="$2"; shift 2
    : >"$log"
    if ! "$@" 2>&1 | progress "$name" "$log"; then
        say "   $name failed; the end of $log:"
        grep -v 'redeclared without dllimport' "$log" | tail -n 40 >&2
        exit 1
    fi
}
