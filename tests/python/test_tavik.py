"""The tavik module against the built-in simulator, at the box's real speed.

Run by ctest (PYTHONPATH names the built package, TAVIK_CLI the built tavik-cli)."""

import asyncio
import json
import os
import re
import signal
import subprocess
import threading
from pathlib import Path

import numpy as np
import pytest

import tavik

CLEAN = "glitch=0"  # no faults: every step of a stream is the encoder's own


@pytest.fixture
def box():
    with tavik.Box.open(simulate=True, simulator=CLEAN) as b:
        b.st_bits, b.mt_bits = 13, 12  # the simulated encoder's
        yield b


def clean_check(readings, delay_us=10):
    """The code tester on readings of the clean encoder: a lost or repeated chunk is a step
    error."""
    return tavik.check(tavik.Run(readings, 13, 12, delay_us), st_step=2)


def test_open_settings_read_and_a_million_readings():
    assert {"serial": "SIM00001", "description": "Tavik box (simulated)"} in tavik.list_boxes(
        simulate=True)
    with tavik.Box.open("SIM00001", simulate=True) as box:
        assert box.is_open and box.supply == "ext"
        box.clock = max(tavik.CLOCKS)
        box.mode = "SPI_Binary"  # shows the SPI group on the way
        box.mode = "SSI_Binary"
        box.data_mask = 0x01FFFFFF
        box.spi_word = 0x1234
        box.outputs = ("high", "open", "low")
        assert (box.clock, box.mode, box.data_mask, box.spi_word, box.outputs) == (
            max(tavik.CLOCKS), "SSI_Binary", 0x01FFFFFF, 0x1234, ("high", "open", "low"))
        one = box.read()
        assert one.dtype == np.uint32 and one.shape == (1,) and one[0] <= 0x01FFFFFF

        progress = []
        run = box.batch(1_000_000, delay_us=10, progress=lambda done, total: progress.append(done))
        r = run.readings
        # A view of the run's own buffer, kept alive by the run, read-only.
        assert r.dtype == np.uint32 and len(r) == 1_000_000
        assert r.base is run and not r.flags.owndata and not r.flags.writeable
        assert progress[-1] == 1_000_000 and progress == sorted(progress)
        s = run.settings
        assert (s["count"], s["delay_us"], s["serial"], s["clock_hz"]) == (
            1_000_000, 10, "SIM00001", max(tavik.CLOCKS))
        assert re.match(r"\d{4}-\d\d-\d\dT", run.start) and run.time_base == 10e-6
        # The default simulator's glitch every 25,000th reading, found as spikes.
        spikes = {c["name"]: c["count"] for c in tavik.analyse(run)["classes"]}["spike"]
        assert 35 <= spikes <= 45
        st, mt = tavik.split(r, box.st_bits, box.mt_bits)
        assert np.array_equal((mt.astype(np.uint64) << box.st_bits) | st, r & 0x01FFFFFF)
        box.supply = "off"
        assert box.supply == "off"
        with pytest.raises(tavik.BoxError, match="supply is off"):
            box.batch(10, 10)


def cli_json(*args):
    cli = os.environ.get("TAVIK_CLI")
    if not cli:
        pytest.skip("TAVIK_CLI names no tavik-cli")
    done = subprocess.run([cli, "--json", *args], capture_output=True, text=True, cwd="/tmp")
    assert done.returncode in (0, 3), done.stderr
    return json.loads(done.stdout)


def test_check_and_analyse_equal_tavik_cli(tmp_path):
    with tavik.Box.open(simulate=True, simulator="glitch=2000") as box:
        run = box.batch(20_000, delay_us=10)
    for name in ("run.h5", "run.log"):
        path = str(tmp_path / name)
        run.save(path)
        bits = ["--st", "12", "--mt", "13"] if name.endswith(".log") else []
        loaded = tavik.load(path, 12, 13) if bits else tavik.load(path)

        cli = cli_json("analyse", path, "--events", "5", *bits)
        mine = tavik.analyse(loaded, events=5)
        assert mine.pop("summary")
        for key in ("file", "history", "errors"):
            cli.pop(key)
        assert mine == cli and cli["classes"]

        cli = cli_json("check", path, "--st-step", "3", "--limit", "100", *bits)
        mine = tavik.check(loaded, st_step=3, error_limit=100)
        assert mine.pop("history") == cli["history"]
        assert mine == cli["result"] and cli["result"]["errors"] > 0


def test_blocking_and_async_streams_lose_nothing(box):
    counted = [c for c in box.stream(count=150_000, delay_us=10)]
    assert len(counted) > 3 and all(c.dtype == np.uint32 and len(c) for c in counted)
    counted = np.concatenate(counted)
    assert len(counted) == 150_000 and clean_check(counted)["errors"] == 0

    endless = []
    for chunk in box.stream(delay_us=10):
        endless.append(chunk)
        if sum(map(len, endless)) >= 100_000:
            break  # stops the box
    assert clean_check(np.concatenate(endless))["errors"] == 0
    assert len(box.read(3)) == 3  # the box takes commands again

    async def collect():
        ticks = 0
        done = asyncio.Event()

        async def ticker():
            nonlocal ticks
            while not done.is_set():
                ticks += 1
                await asyncio.sleep(0.01)

        ticking = asyncio.create_task(ticker())
        chunks = [c async for c in box.astream(count=100_000, delay_us=10)]
        done.set()
        await ticking
        return chunks, ticks

    chunks, ticks = asyncio.run(collect())
    readings = np.concatenate(chunks)
    assert len(readings) == 100_000 and clean_check(readings)["errors"] == 0
    assert ticks > 20  # the event loop ran while the box streamed

    stream = box.stream(delay_us=10)
    next(stream)
    with pytest.raises(tavik.BoxError, match="streaming"):
        box.read()
    stream.close()


def test_bad_values_and_an_unplug(tmp_path):
    with tavik.Box.open(simulate=True, simulator=CLEAN) as box:
        for setting, value, words in [("clock", 12345, "12345 Hz is not selectable"),
                                      ("st_bits", 33, "0 to 32"), ("mt_bits", 25, "0 to 24"),
                                      ("data_mask", -1, "0 to 0xFFFFFFFF"),
                                      ("mode", "SSI", "'SSI_Binary', 'SSI_Gray'"),
                                      ("supply", "9v", "'off', 'ext', '5v', '12v'")]:
            with pytest.raises(ValueError, match=words):
                setattr(box, setting, value)
        with pytest.raises(ValueError, match="10 to 4,095"):
            box.batch(10, delay_us=5)
        with pytest.raises(ValueError, match="1 to 16,777,214"):
            box.batch(16_777_215, delay_us=10)
        assert box.clock == 2_000_000 and box.st_bits == 12  # nothing was sent
        with pytest.raises(ValueError, match="simulator 'glitch=0'; close it"):
            tavik.Box.open(simulate=True, simulator="unplug=5")

    bad = tmp_path / "bad.csv"
    bad.write_text("time_us,reading\n0,12\n10,twelve\n")
    with pytest.raises(tavik.FileFormatError) as error:
        tavik.load(str(bad))
    assert str(error.value).startswith(f"{bad}:3: ") and error.value.path == str(bad)

    # The simulated box vanishes on its 20th command: during the readings after the open.
    with tavik.Box.open(simulate=True, simulator="unplug=20") as gone:
        with pytest.raises(tavik.Unplugged) as error:
            gone.read(100)
        assert error.value.status == 1 and "No such device" in error.value.text
        assert not gone.is_open
        with pytest.raises(tavik.BoxError) as again:  # once: then it is just closed
            gone.read()
        assert type(again.value) is tavik.BoxError and "not open" in str(again.value)
    # On its 17th: when the batch starts.
    with tavik.Box.open(simulate=True, simulator="unplug=17") as gone:
        with pytest.raises(tavik.Unplugged, match="Batch sampling failed"):
            gone.batch(1000, 10)
        assert gone.history[-1] == ("Error: Batch sampling stopped: box SIM00001 unplugged - "
                                    "waiting for it to return.")


def test_reopen_after_an_unplug_gives_the_box_its_settings_back():
    with tavik.Box.open(simulate=True, simulator="glitch=0,unplug_after=800,replug=300") as box:
        box.clock, box.st_bits, box.mt_bits = 1_000_000, 13, 12
        with pytest.raises(tavik.Unplugged):
            while True:
                box.read(10)
        box.reopen(wait=5)
        assert (box.clock, box.st_bits, box.mt_bits, box.supply) == (1_000_000, 13, 12, "ext")
        assert len(box.read(5)) == 5
        box.reopen()  # open: nothing to do


def test_ctrl_c_stops_a_batch_and_keeps_the_readings(box):
    threading.Timer(0.8, signal.raise_signal, (signal.SIGINT,)).start()
    with pytest.raises(KeyboardInterrupt) as interrupt:
        box.batch(1_000_000, delay_us=10)
    run = interrupt.value.run
    assert 0 < len(run) < 1_000_000 and run.settings["count"] == 1_000_000
    assert clean_check(run.readings)["errors"] == 0
    assert len(box.read(2)) == 2  # stopped on the box: it answers again

    threading.Timer(0.8, signal.raise_signal, (signal.SIGINT,)).start()
    handed = []
    with pytest.raises(KeyboardInterrupt) as interrupt:
        for chunk in box.stream(delay_us=10):
            handed.append(chunk)
    readings = np.concatenate(handed + [interrupt.value.readings])
    assert clean_check(readings)["errors"] == 0
    assert len(box.read(2)) == 2


@pytest.mark.parametrize("name", ["run.log", "run.txt", "run.dat", "run.csv", "run.h5"])
def test_files_round_trip(tmp_path, name):
    readings = np.array([0, 1, 0xFFFFFFFF, 8191, 8192, 33554431], dtype=np.uint32)
    run = tavik.Run(readings, 13, 12, delay_us=50)
    path = tmp_path / name
    run.save(str(path))
    text = name.endswith((".log", ".txt", ".dat"))
    back = tavik.load(str(path), 13, 12) if text else tavik.load(path)
    assert np.array_equal(back.readings, readings)
    assert back.delay_us == 50 and back.settings["st_bits"] == 13
    if not text:
        assert back.settings == run.settings
    with pytest.raises(ValueError, match=r"\.log, \.txt, \.dat, \.csv or \.h5"):
        run.save(str(tmp_path / "run.xlsx"))
