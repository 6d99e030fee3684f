#!/usr/bin/env bash
# RenderBench.sh BUILD: the final pass of every sample preset, and of a call without frame layers,
# over a 6000 x 4000 photo (RGB 8-bit and 16-bit) through the stand-in host, with no dialog, beside
# the same work's peers on this machine in this run: a plain copy of the image's bytes (CopyBench),
# libvips' Gaussian blur (sigma 10) and ImageMagick's drop shadow (60x10+20+20), both on one
# thread. Prints seconds per preset and the ratio to each peer.
# Our figure is the start call's own time from the host's log (the host's PNG reading and
# writing are left out); the peers read and write their own in-memory formats. The host's console
# output goes to a file: under Wine every line it echoes to /dev/null costs milliseconds, which
# would be counted in the start call.
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
work="$build/bench-render"
mkdir -p "$work"

# ImageMagick's convert: a `convert` earlier on the PATH may be something else.
find_magick() {
    local c
    for c in magick convert-im6.q16 /usr/bin/convert convert; do
        if command -v "$c" >/dev/null 2>&1 && "$c" -version 2>/dev/null | grep -q ImageMagick; then
            command -v "$c"
            return 0
        fi
    done
    return 1
}
if ! command -v vips >/dev/null 2>&1 || ! find_magick >/dev/null || ! command -v bc >/dev/null 2>&1; then
    echo "installing libvips-tools, imagemagick and bc"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q libvips-tools imagemagick bc >/dev/null 2>&1 || true
fi
magick=$(find_magick)
if ! command -v vips >/dev/null 2>&1 || [ -z "$magick" ]; then
    echo "vips or ImageMagick is missing and could not be installed"
    exit 1
fi

# The photos: the bundled sample photo scaled to 6000 x 4000, at 8 and 16 bits.
for depth in 8 16; do
    photo="$work/photo-$depth.png"
    [ -f "$photo" ] || "$magick" "$root/samples/photo.png" -resize '6000x4000!' -depth "$depth" "$photo"
done
[ -f "$work/photo-8.v" ] || vips copy "$work/photo-8.png" "$work/photo-8.v"
[ -f "$work/photo-8.mpc" ] || "$magick" "$work/photo-8.png" "$work/photo-8.mpc"

# The call without frame layers: the first sample's settings with a layer count of 0 (bytes 12-13
# of the stored block) and its layer switched off (byte 2120), the photo at position 0.
python3 - "$root/samples/ellipse-shadow.qvo" "$work/no-layers.qvo" <<'PY' || exit 1
import plistlib, sys
preset = plistlib.load(open(sys.argv[1], 'rb'))
block = bytearray(preset['QuorvelSettings'])
block[12:14] = b'\0\0'
block[2120] = 0
preset['QuorvelSettings'] = bytes(block)
preset['TargetLayerPos'] = 0
plistlib.dump(preset, open(sys.argv[2], 'wb'))
PY

seconds_of() {  # runs the command, prints its wall time in seconds; fails with it
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || return 1
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
best_of_three() {
    local best="" t
    for _ in 1 2 3; do
        t=$(seconds_of "$@") || { echo "failed: $*" >&2; return 1; }
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf '%.3f' "$best"
}

export VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
vips_s=$(best_of_three vips gaussblur "$work/photo-8.v" "$work/blur.v" 10) || exit 1
magick_s=$(best_of_three "$magick" -limit thread 1 "$work/photo-8.mpc" -background black -shadow 60x10+20+20 "$work/shadow.mpc") || exit 1
copies=$("$build/wine-run.sh" "$build/bin/CopyBench.exe" 2>/dev/null)
copy_8=$(echo "$copies" | sed -n 's/^ *8-bit: \([0-9.]*\) s.*/\1/p')
copy_16=$(echo "$copies" | sed -n 's/^ *16-bit: \([0-9.]*\) s.*/\1/p')
if [ -z "$copy_8" ] || [ -z "$copy_16" ]; then
    echo "CopyBench failed: $copies"
    exit 1
fi
echo "peers on 6000 x 4000 RGB 8-bit, one thread, best of 3:"
echo "  vips gaussblur 10:                 $vips_s s"
echo "  convert -shadow 60x10+20+20:       $magick_s s"
echo "plain copy of the image's bytes, warm (CopyBench): 8-bit $copy_8 s, 16-bit $copy_16 s"
echo
printf '%-22s %-6s %10s %10s %10s %14s\n' preset depth seconds "x copy" "x vips" "x ImageMagick"
status=0
for preset in "$work/no-layers.qvo" "$root"/samples/*.qvo; do
    name=$(basename "$preset" .qvo)
    for depth in 8 16; do
        best=""
        for _ in 1 2 3; do
            log="$work/$name-$depth.log"
            rm -f "$log"
            "$build/wine-run.sh" "$build/bin/QuorvelHost.exe" --plugin "$build/bin/Quorvel.8bf" --settings "$preset" --mode "rgb$depth" \
                --log "$log" "$work/photo-$depth.png" "$work/$name-$depth.png" >"$work/$name-$depth.out" 2>&1
            ms=$(sed -n 's/^ *start answered 0 in \([0-9.]*\) ms.*/\1/p' "$log" 2>/dev/null | tail -1)
            [ -n "$ms" ] || continue
            t=$(echo "$ms / 1000" | bc -l)
            if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
        done
        if [ -z "$best" ]; then
            printf '%-22s %-6s %10s\n' "$name" "$depth" "failed"
            status=1
            continue
        fi
        copy_s=$copy_8
        [ "$depth" = 16 ] && copy_s=$copy_16
        printf '%-22s %-6s %10.3f %10.1f %10.2f %14.2f\n' "$name" "$depth" "$best" "$(echo "$best / $copy_s" | bc -l)" \
            "$(echo "$best / $vips_s" | bc -l)" "$(echo "$best / $magick_s" | bc -l)"
    done
done
exit $status
