#!/usr/bin/env bash
# End-to-end scenarios: the real program on the simulated box under Xvfb and openbox,
# widgets found through the accessibility bus (AT-SPI), clicked and typed with xdotool.
#   tests/e2e/run.sh [build-dir [scenario...]]   (default: build, every scenario)
# Prints "N passed, N failed" last; screenshots of failures go to $TAVIK_E2E_SHOTS
# (default: <build-dir>/e2e-shots). Skips (exit 0) with one line where no X server starts.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" 2>/dev/null && pwd) || { echo "e2e: no build folder '${1:-build}'"; exit 1; }
program=$build/bin/Tavik
[[ -x $program ]] || { echo "e2e: $program is missing: build it first"; exit 1; }

skip() { echo "e2e: SKIP: $*"; exit 0; }
for tool in Xvfb openbox xdotool xprop import compare convert dbus-run-session; do
    command -v "$tool" >/dev/null || skip "$tool is missing (SETUP_E2E=1 scripts/setup-deps.sh)"
done
# The Debian interpreter, which has the packaged bindings (not one of a version manager).
python=/usr/bin/python3
[[ -x $python ]] || python=python3
"$python" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
    skip "the AT-SPI bindings are missing (SETUP_E2E=1 scripts/setup-deps.sh)"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavik-e2e.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# Starts Xvfb on a display number of its own choosing (parallel runs do not collide) and
# openbox on it; on failure says why in $why.
start_x() {
    rm -f "$scratch/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" \
        2>"$scratch/xvfb.log" &
    local xvfb=$!
    pids+=("$xvfb")
    for _ in $(seq 100); do
        [[ -s $scratch/display ]] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -s $scratch/display ]]; then
        why="Xvfb did not start: $(tail -n 1 "$scratch/xvfb.log")"
        return 1
    fi
    export DISPLAY=:$(head -n 1 "$scratch/display")
    openbox >"$scratch/openbox.log" 2>&1 &
    local wm=$!
    pids+=("$wm")
    # The window manager is up once it names itself on the root window.
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
        kill -0 "$wm" 2>/dev/null || break
        sleep 0.1
    done
    why="openbox did not start on $DISPLAY: $(tail -n 1 "$scratch/openbox.log")"
    kill -0 "$xvfb" 2>/dev/null || why+=" (Xvfb had gone: $(tail -n 1 "$scratch/xvfb.log"))"
    kill "$wm" "$xvfb" 2>/dev/null
    return 1
}
# A second try: on a shared machine a server can go away under a starting client.
why=
start_x || start_x || skip "$why"

export TAVIK_E2E_SHOTS=${TAVIK_E2E_SHOTS:-$build/e2e-shots}
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config XDG_DATA_HOME=$scratch/home/.local/share
mkdir -p "$HOME"
# Its own session bus, which starts the accessibility bus on demand; the buses' chatter goes
# to a log, shown when the scenarios did not finish. The whole run stays within 3 minutes.
timeout 150 dbus-run-session -- "$python" "$here/scenarios.py" "$program" "$scratch" "${@:2}" \
    2>"$scratch/session.log" | grep --line-buffered -v "^SpiRegistry daemon is running"
status=${PIPESTATUS[0]}
if ((status > 1)); then
    grep -v "fd limit" "$scratch/session.log" | tail -n 20
    ((status == 124)) && echo "e2e: the scenarios took longer than 150 s"
    echo "0 passed, 1 failed"
fi
exit $status
