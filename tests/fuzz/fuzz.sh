#!/usr/bin/env bash
# Builds, replays and runs the libFuzzer targets (clang-14, ASan + UBSan) in build-fuzz/.
#   tests/fuzz/fuzz.sh build                    configure and build the targets only
#   tests/fuzz/fuzz.sh replay [target...]       run each target once over corpus/<target>/
#   tests/fuzz/fuzz.sh run [seconds] [target...] fuzz each target for seconds (default
#                                               TAVIK_FUZZ_SECONDS, else 30)
# Targets are named without the fuzz_ prefix (inifile, box, ...); none given means all.
# A crash or failed property ends the script with status 1 and prints the reproducer.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
dir=${BUILD_DIR:-build-fuzz}
corpus=$root/tests/fuzz/corpus

targets() {
    if (($#)); then
        printf '%s\n' "$@"
    else
        for f in "$dir"/bin/fuzz_*; do basename "$f" | sed 's/^fuzz_//'; done
    fi
}

# Prints a file of the corpus or a crash so that it can be rebuilt from the log.
show() {
    echo "---- reproducer $1 ($(stat -c %s "$1") bytes), base64:"
    base64 -w 76 "$1"
    echo "---- hex:"
    od -A x -t x1z -v "$1" | head -n 64
}

# The targets run in a scratch folder: the libraries read <program>.ini and write logs there.
scratch=$dir/fuzzrun
mkdir -p "$scratch"

case "${1:-}" in
build)
    SETUP_FUZZ=1 ./scripts/setup-deps.sh
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DTAVIK_FUZZ=ON "${launcher[@]}" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
    ;;
replay)
    shift
    for t in $(targets "$@"); do
        files=("$corpus/$t"/*)
        [[ -e "${files[0]}" ]] || { echo "== $t: no corpus"; continue; }
        echo "== replay $t: ${#files[@]} inputs"
        log=$scratch/replay-$t.log
        if ! (cd "$scratch" && "$root/$dir/bin/fuzz_$t" "${files[@]}") >"$log" 2>&1; then
            cat "$log"
            failed=$(grep '^Running: ' "$log" | tail -n 1 | sed 's/^Running: //')
            echo "== replay $t FAILED on $failed"
            show "$failed"
            exit 1
        fi
    done
    ;;
run)
    shift
    seconds=${TAVIK_FUZZ_SECONDS:-30}
    if [[ "${1:-}" =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
    for t in $(targets "$@"); do
        work=$root/$dir/corpus/$t
        artifacts=$root/$dir/artifacts/$t
        rm -rf "$artifacts"
        mkdir -p "$work" "$artifacts"
        dict=()
        [[ -f "$root/tests/fuzz/$t.dict" ]] && dict=(-dict="$root/tests/fuzz/$t.dict")
        echo "== fuzz $t for ${seconds}s"
        log=$scratch/run-$t.log
        # New inputs go to the scratch corpus in the build folder; the tree's corpus is read only.
        if ! (cd "$scratch" && "$root/$dir/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
            -artifact_prefix="$artifacts/" "$work" "$corpus/$t") >"$log" 2>&1; then
            tail -n 80 "$log"
            for crash in "$artifacts"/*; do
                [[ -f "$crash" ]] && show "$crash"
            done
            echo "== fuzz $t FAILED: add the reproducer to tests/fuzz/corpus/$t/ once fixed"
            exit 1
        fi
        grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$log" | tail -n 1 || true
        grep -E '^stat::number_of_executed_units' "$log" || true
    done
    ;;
*)
    sed -n '2,8p' "$0"
    exit 2
    ;;
esac
