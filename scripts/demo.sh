#!/usr/bin/env bash
# demo.sh BUILD [host options]: runs the stand-in host over the bundled sample photo with the
# plug-in, printing every host call with its result, and says where the output image is.
# (./quorvel demo runs it inside the virtual display with Wine ready.)
set -uo pipefail
build=$(cd "$1" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
out="$build/demo"
mkdir -p "$out"
input="$root/samples/photo.png"
preset="$root/samples/three-part.qvo"
output="$out/photo-framed.png"
rm -f "$output" "$out/host.log"

echo "Quorvel demo: the stand-in host runs Quorvel.8bf over $input with the preset $preset"
echo
"$build/wine-run.sh" "$build/bin/QuorvelHost.exe" --plugin "$build/bin/Quorvel.8bf" --log "$out/host.log" \
    --settings "$preset" "$@" "$input" "$output"
status=$?
echo
if [ "$status" -eq 0 ] && [ -f "$output" ]; then
    echo "The result is $output"
    echo "(the host's log is $out/host.log)"
else
    echo "The host ended with status $status and wrote no result; its log is $out/host.log"
fi
exit "$status"
