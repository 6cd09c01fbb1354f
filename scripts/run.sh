#!/usr/bin/env bash
# Sets everything up, builds and starts the program in the current directory (where it
# reads Tavik.ini and writes its logs).
# Without an attached FTDI device (USB vendor 0403) it starts with a simulated box.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

# Without a display Qt aborts with a misleading "Reinstalling the application may fix this".
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" && " $* " != *" -platform "* ]]; then
    echo "No display: start it as 'xvfb-run -a scripts/run.sh' (apt install xvfb xauth)," \
         "or with QT_QPA_PLATFORM=offscreen to run without a window." >&2
    exit 1
fi

"$repo/scripts/build.sh"

if [[ ! -x "$repo/build/bin/Tavik" ]]; then
    echo "The program is not part of this build yet; the libraries and tests were built in build/."
    exit 0
fi

args=()
if ! grep -qsx 0403 /sys/bus/usb/devices/*/idVendor; then
    args+=(--simulate)
fi
exec "$repo/build/bin/Tavik" "${args[@]}" "$@"
