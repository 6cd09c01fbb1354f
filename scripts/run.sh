#!/usr/bin/env bash
# Sets everything up, builds and starts the program.
# Without an attached FTDI device (USB vendor 0403) it starts with a simulated box.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/build.sh

if [[ ! -x build/bin/Tavik ]]; then
    echo "The program is not part of this build yet; the libraries and tests were built in build/."
    exit 0
fi

args=()
if ! grep -qsx 0403 /sys/bus/usb/devices/*/idVendor; then
    args+=(--simulate)
fi
exec build/bin/Tavik "${args[@]}" "$@"
