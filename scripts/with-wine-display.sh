#!/usr/bin/env bash
# with-wine-display.sh BUILD COMMAND...: runs COMMAND inside a virtual X display and a Wine server
# of its own, and exits with COMMAND's status.
#
# Every run is independent of every other (runs may overlap; `./quorvel apply` over a folder in
# parallel is a normal use), and a run that is interrupted or killed leaves nothing that blocks the
# next. So a run shares nothing that lives as long as it does:
# - its own Xvfb, on a display number the X server picks itself (-displayfd): choosing a free number
#   by looking at lock files, as xvfb-run -a does, races with a run starting at the same moment;
# - its own Wine server. A server belongs to a prefix folder, and every process of a server must
#   use the display the server's desktop was made on; so a run gets a prefix of its own: the
#   registry files of the build's prefix (a few MB) and its dosdevices, with C: linked to the build
#   prefix's drive_c (700 MB, never copied). Registry changes of a run die with it. The server's
#   socket folder is kept inside that prefix (TMPDIR), so it goes with it too.
# - no wait on a server the run did not start, and no time-unbounded wait of its own.
# The run's folder is BUILD/wine-runs/run.XXXXXX. The run holds a lock on its lock file as long as
# it lives; a janitor, in a session of its own so that a kill of the run's process group spares it,
# waits for that lock and then ends the run's server and X server and removes the folder: a run
# killed with SIGKILL is cleaned up all the same. A run starting also clears folders whose lock is
# free, should a janitor have been killed too.
#
# The Wine server is persistent for the length of the run, so the programs the command starts one
# after another (ctest runs many at once) find it warm. Wine's services are started first with
# /dev/null for their output, or they would inherit the output of the first test and keep ctest
# waiting until its timeout.
#
# Inside COMMAND: DISPLAY is the run's display, QUORVEL_WINEPREFIX the run's prefix (BUILD/wine-run.sh
# uses it), and QUORVEL_SCREEN_DIR the folder of Xvfb's screen dump (Xvfb_screen0, an XWD file) for
# screenshot tools.
set -euo pipefail

self=$(readlink -f "${BASH_SOURCE[0]}")

# wineserver with the options $3..., for the server of the run folder $1, bounded to $2 seconds.
# The tool stays in the run's process group (--foreground), so that a kill of the group reaches it.
run_wineserver() {
    local run=$1 limit=$2
    shift 2
    timeout --foreground "$limit" env WINEPREFIX="$run/prefix" TMPDIR="$run/prefix/server-tmp" WINEARCH=win64 \
        wineserver "$@"
}

# Ends what is left of the run in folder $1 and removes the folder; safe to call twice and on a
# folder half made. Every step is bounded.
clean_run() {
    local run=$1 pid
    [ -d "$run" ] || return 0
    if [ -d "$run/prefix/server-tmp" ]; then
        # -k ends the server and every Wine process of it; -w then waits for this server only.
        run_wineserver "$run" 20 -k >/dev/null 2>&1 || true
        run_wineserver "$run" 10 -w >/dev/null 2>&1 || run_wineserver "$run" 10 -k9 >/dev/null 2>&1 || true
    fi
    # The X server, when it is still the one this run started (its command line names the folder).
    if pid=$(cat "$run/xvfb.pid" 2>/dev/null) && [ -n "$pid" ] &&
       tr '\0' '\n' 2>/dev/null <"/proc/$pid/cmdline" | grep -qxF "$run/screen"; then
        kill "$pid" 2>/dev/null || true
    fi
    # The prefix's C: is a link to the build's drive_c: rm removes the link, never what it points to.
    rm -rf "$run"
}

# Janitor mode: wait until the run that made folder $2 has ended (its lock is free), then clean up
# after it. The wait has no bound on purpose: it is the run's own length, and it blocks nobody.
if [ "${1:-}" = --clean-after ]; then
    run=$2
    exec 8<"$run/lock"
    flock 8
    clean_run "$run"
    exit 0
fi

[ $# -ge 2 ] || { echo "usage: with-wine-display.sh BUILD COMMAND..." >&2; exit 2; }
build=$(cd "$1" && pwd); shift
runs="$build/wine-runs"
mkdir -p "$runs"
run=$(mktemp -d "$runs/run.XXXXXX")

# The run's lock, fd 9. It takes its final name only once held, so that no one sees it free in
# between and takes the run for dead. Every child gets 9>&-: a process that outlives the run (the
# Wine server, above all) must not keep the lock and with it the run's folder alive.
exec 9>"$run/lock.new"
flock -n 9
mv "$run/lock.new" "$run/lock"
setsid "$BASH" "$self" --clean-after "$run" </dev/null >/dev/null 2>&1 9>&- &

child=
finish() {
    local status=$?
    trap - EXIT INT TERM HUP
    if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then kill -TERM "$child" 2>/dev/null || true; fi
    clean_run "$run"
    exit "$status"
}
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs whose owner and janitor are both gone (a kill of everything, a reboot). A folder without its
# lock yet belongs to a run that is just starting, unless it is old.
for stale in "$runs"/run.*; do
    [ "$stale" != "$run" ] && [ -d "$stale" ] || continue
    if [ -e "$stale/lock" ]; then
        { flock -n 8 && clean_run "$stale"; } 8<"$stale/lock" 2>/dev/null || true
    elif [ -n "$(find "$stale" -maxdepth 0 -mmin +10 2>/dev/null)" ]; then
        clean_run "$stale"
    fi
done

# The X server. It writes its display number to the file once it accepts connections. An
# asynchronous command ignores SIGINT here, so Ctrl+C reaches it through finish only.
mkdir "$run/screen"
: >"$run/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -fbdir "$run/screen" \
     3>"$run/display" </dev/null >"$run/xvfb.log" 2>&1 9>&- &
xvfb=$!
echo "$xvfb" >"$run/xvfb.pid"
display=
for ((i = 0; i < 400; i++)); do
    if read -r display <"$run/display"; then break; fi
    if ! kill -0 "$xvfb" 2>/dev/null; then break; fi
    sleep 0.05
done
if ! [[ $display =~ ^[0-9]+$ ]]; then
    echo "with-wine-display: Xvfb did not start; its output:" >&2
    cat "$run/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$display"
export QUORVEL_SCREEN_DIR="$run/screen"

# The build's prefix, made once (wine-run.sh makes it under a lock), then the run's own.
"$build/wine-run.sh" --prepare 9>&-
template="$build/wineprefix"
prefix="$run/prefix"
mkdir -p "$prefix/server-tmp"
chmod 700 "$prefix/server-tmp"
cp -p "$template"/*.reg "$template/.update-timestamp" "$prefix/"
cp -a "$template/dosdevices" "$prefix/"
ln -sfn "$template/drive_c" "$prefix/dosdevices/c:"
export QUORVEL_WINEPREFIX="$prefix"

# The run's server, persistent until finish ends it, then Wine's services with /dev/null stdio.
run_wineserver "$run" 60 -p 9>&-
timeout --foreground 120 "$build/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 9>&-

# The command runs in the background so that a signal to this script is handled at once (a shell
# waiting for a foreground child handles its traps only when the child ends); 0<&0 keeps its input,
# which a background command would otherwise read from /dev/null.
"$@" 0<&0 9>&- &
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
