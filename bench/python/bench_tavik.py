"""The tavik module's costs, each as a ratio against a baseline measured in the same run:

  stream_cpu_share   an endless stream at the box's top rate (8 MHz, 1 data bit, 10 us) on a
                     simulated box in real time, drained chunk by chunk: CPU time of the
                     Python process over the streaming time (target <= 0.05). The simulator
                     runs in the same process, so its share is included.
  batch_peak_ratio   a batch into numpy: the process's peak memory growth over the readings'
                     own size, 64 MiB for 16,777,214 readings (target <= 1.1).
  analyse_ratio      tavik.analyse of that run, dict included, over the core's analysis of
                     the same buffer timed inside C++, best of three each (target <= 1.1).

TAVIK_BENCH_READINGS sets the batch's count (default 16,777,214: 168 s of streaming at the top
rate); TAVIK_BENCH_STREAM the stream's (default 1,000,000, 10 s). Run it with the interpreter
the module is built for:  PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_tavik.py
"""

import json
import os
import resource
import sys
import time

import tavik

TOP = dict(clock=8_000_000, st_bits=1, mt_bits=0)


def peak_bytes():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def stream_cpu_share(box, count):
    cpu0, wall0 = time.process_time(), time.perf_counter()
    got = 0
    for chunk in box.stream(delay_us=10):
        got += len(chunk)
        if got >= count:
            break
    wall = time.perf_counter() - wall0
    cpu = time.process_time() - cpu0
    return {"readings": got, "wall_s": wall, "cpu_s": cpu, "stream_cpu_share": cpu / wall}


def batch_and_analyse(box, count):
    before = peak_bytes()
    run = box.batch(count, delay_us=10)
    readings = run.readings  # the numpy view the caller works with
    growth = peak_bytes() - before
    assert len(readings) == count
    # The best of three each, alternating, so that neither has the warmer caches.
    python_s = core_s = float("inf")
    for _ in range(3):
        t0 = time.perf_counter()
        tavik.analyse(run)
        python_s = min(python_s, time.perf_counter() - t0)
        core_s = min(core_s, run._core_analysis_seconds())
    return {"batch_readings": count, "batch_bytes": 4 * count, "peak_growth_bytes": growth,
            "batch_peak_ratio": growth / (4 * count), "analyse_s": python_s,
            "core_analyse_s": core_s, "analyse_ratio": python_s / core_s}


def main():
    batch_count = int(os.environ.get("TAVIK_BENCH_READINGS", 16_777_214))
    stream_count = int(os.environ.get("TAVIK_BENCH_STREAM", 1_000_000))
    with tavik.Box.open(simulate=True, simulator="1") as box:
        box.supply = "5v"
        for name, value in TOP.items():
            setattr(box, name, value)
        # The batch first: the peak is the process's, and an endless stream's first round
        # has the driver hold a whole round's reply buffer (64 MiB) for a moment.
        figures = batch_and_analyse(box, batch_count)
        figures.update(stream_cpu_share(box, stream_count))
    json.dump(figures, sys.stdout, indent=2)
    print()
    ok = (figures["stream_cpu_share"] <= 0.05 and figures["batch_peak_ratio"] <= 1.1
          and figures["analyse_ratio"] <= 1.1)
    print("targets met" if ok else "a target was missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
