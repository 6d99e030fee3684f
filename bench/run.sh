#!/usr/bin/env bash
# run.sh BUILD [NAME...]: runs every benchmark program of the build (or the named ones) under Wine
# and then every bench/*.sh script, printing their figures. Called by `./quorvel bench` inside the
# virtual display.
set -uo pipefail
build=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
status=0
want() { [ $# -le 1 ] && return 0; local n; for n in "${@:2}"; do [ "$n" = "$1" ] && return 0; done; return 1; }
for exe in "$build"/bin/*Bench.exe; do
    [ -e "$exe" ] || continue
    name=$(basename "$exe" .exe)
    want "$name" "$@" || continue
    echo "== $name"
    "$build/wine-run.sh" "$exe" || status=1
done
for script in "$here"/*.sh; do
    name=$(basename "$script" .sh)
    [ "$name" = run ] && continue
    want "$name" "$@" || continue
    echo "== $name"
    bash "$script" "$build" || status=1
done
exit $status
