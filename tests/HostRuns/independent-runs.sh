#!/usr/bin/env bash
# independent-runs.sh SOURCE BUILD: runs of `./quorvel apply` are independent of one another.
#  1. Three runs at once: two succeed, each with its own output, and one over a missing image fails
#     with its host's status while the others succeed.
#  2. A run killed (SIGKILL to its process group) while its host is inside a call of the plug-in
#     keeps no later run from succeeding in time, and leaves no process and no folder behind.
# Every wait is bounded: a run that hangs fails the test instead of hanging it.
set -euo pipefail
root=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
export QUORVEL_BUILD_DIR="$build"
# Under ./quorvel test this script itself runs inside a run: forget that run's prefix, so that the
# only processes naming one are the Wine processes of the runs started here.
unset QUORVEL_WINEPREFIX

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-independent-runs.XXXXXX")
killed=
cleanup() {
    # The killed run's group, should the test stop before killing it.
    if [ -n "$killed" ]; then kill -KILL -- "-$killed" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$work"/*.out; do
        [ -f "$log" ] && { echo "--- $log"; cat "$log"; } >&2
    done
    exit 1
}

# A run of the stand-in host over the small image, with the preset $2, writing $work/$1.png; at most
# 60 s. timeout's TERM reaches the display's script, which ends the run's server and display.
apply() {
    local name=$1 preset=$2
    shift 2
    timeout -k 5 60 "$root/quorvel" apply --settings "$root/samples/$preset" --log "$work/$name.log" "$@" \
        "$work/$name.png" >"$work/$name.out" 2>&1
}

# A small RGB image, 96x64, so that the runs are quick.
python3 - "$work/small.png" <<'EOF'
import struct, sys, zlib
w, h = 96, 64
rows = b"".join(b"\0" + bytes(v for x in range(w) for v in (x * 2, y * 3, 128)) for y in range(h))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
with open(sys.argv[1], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
EOF

# Whether the host's log $1 has the line $2 (the host writes its log with CR LF line ends).
log_has() { tr -d '\r' 2>/dev/null <"$1" | grep -qxF "$2"; }

is_png() { [ "$(head -c 8 "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }

# 1. Three runs at once.
apply first rounded-rectangle.qvo "$work/small.png" & first=$!
apply second ellipse-shadow.qvo "$work/small.png" & second=$!
apply missing rounded-rectangle.qvo "$work/no-such-image.png" & missing=$!
status=0; wait "$first" || status=$?
[ "$status" -eq 0 ] || fail "the first of the runs at once ended with $status"
status=0; wait "$second" || status=$?
[ "$status" -eq 0 ] || fail "the second of the runs at once ended with $status"
status=0; wait "$missing" || status=$?
# The host's status for an image it cannot read is 1; 124 would be timeout's.
[ "$status" -eq 1 ] || fail "the run over a missing image ended with $status, not its host's 1"
for name in first second; do
    is_png "$work/$name.png" || fail "the $name run wrote no PNG image"
    log_has "$work/$name.log" "host: output image $work/$name.png" || fail "the $name run's log names another output"
done
! cmp -s "$work/first.png" "$work/second.png" || fail "the runs with two presets wrote the same image"
[ ! -e "$work/missing.png" ] || fail "the run over a missing image wrote an output"

# 2. A run killed inside a call: the about call, with alerts left to the user, waits on its box.
# setsid gives the run a process group of its own, as a shell gives a job.
setsid "$root/quorvel" apply --about --interactive-alerts --log "$work/killed.log" \
    </dev/null >"$work/killed.out" 2>&1 &
killed=$!
for ((i = 0; i < 600; i++)); do
    log_has "$work/killed.log" "call about (0)" && break
    kill -0 "$killed" 2>/dev/null || fail "the run to kill ended before its host made the call"
    sleep 0.1
done
log_has "$work/killed.log" "call about (0)" || fail "the host of the run to kill made no call in 60 s"

# The run's folder, from the environment of a process of the group (its host).
group_run_folder() {
    local dir line value
    local -a fields
    for dir in /proc/[0-9]*; do
        read -r line 2>/dev/null <"$dir/stat" || continue
        read -r -a fields <<<"${line##*) }"   # after the command name: state, parent, group...
        [ "${fields[2]:-}" = "$1" ] || continue
        value=$(tr '\0' '\n' 2>/dev/null <"$dir/environ" | sed -n 's/^QUORVEL_WINEPREFIX=//p')
        if [ -n "$value" ]; then dirname "$value"; return 0; fi
    done
    return 1
}
killed_run=$(group_run_folder "$killed") || killed_run=
kill -KILL -- "-$killed"
{ wait "$killed"; } 2>/dev/null || true   # reaped quietly: the shell would report the kill
killed=

status=0; apply after rounded-rectangle.qvo "$work/small.png" || status=$?
[ "$status" -eq 0 ] || fail "the run after the killed one ended with $status (124: it hung)"
is_png "$work/after.png" || fail "the run after the killed one wrote no PNG image"

# Nothing of the killed run is left: no process names its folder (the pattern is read from a file,
# or grep would find its own command line), and the folder is gone.
[ -n "$killed_run" ] || fail "no process of the killed run's group named its run's prefix"
printf '%s\n' "$killed_run" >"$work/pattern"
for ((i = 0; i < 200; i++)); do
    left=$(grep -lsFf "$work/pattern" /proc/[0-9]*/environ /proc/[0-9]*/cmdline || true)
    [ -z "$left" ] && [ ! -e "$killed_run" ] && break
    sleep 0.1
done
if [ -n "$left" ]; then
    for file in $left; do
        pid=${file#/proc/}; pid=${pid%%/*}
        echo "left: $pid $(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline")"
    done | sort -u >&2
    fail "processes of the killed run are still there after 20 s"
fi
[ ! -e "$killed_run" ] || fail "the killed run's folder $killed_run is still there after 20 s"
echo "independent runs: three at once, and one after a run killed mid-call, as expected"
