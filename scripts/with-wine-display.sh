#!/usr/bin/env bash
# with-wine-display.sh BUILD COMMAND...: runs COMMAND inside a virtual X display with the build's
# Wine prefix ready and its server running, then stops the server.
#
# Everything shares one display: a Wine server started without one fails dialogs later. Wine's
# services are started first with /dev/null for their output, or they would inherit the output of
# the first test and keep ctest waiting until its timeout.
set -uo pipefail
build=$(cd "$1" && pwd); shift
if [ -z "${QUORVEL_IN_DISPLAY:-}" ]; then
    export QUORVEL_IN_DISPLAY=1
    shot=$(mktemp -d /tmp/quorvel-xvfb.XXXXXX)
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -fbdir $shot" "$0" "$build" "$@"
fi
export WINEPREFIX="$build/wineprefix"
"$build/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p
"$build/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1
"$@"
status=$?
wineserver -k 2>/dev/null
exit $status
