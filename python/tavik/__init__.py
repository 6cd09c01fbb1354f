"""Tavik: SSI/SPI encoder boxes on USB, and their simulator, from Python.

    import tavik
    with tavik.Box.open(simulate=True) as box:
        run = box.batch(100_000, delay_us=10)
        print(tavik.analyse(run)["summary"])

Readings are numpy ``uint32`` arrays. A batch's ``Run.readings`` is a read-only view of the
run's own buffer (no copy); stream chunks belong to the caller. While the box is waited on,
the GIL is released.

Ctrl-C during ``batch`` stops the box and raises ``KeyboardInterrupt`` whose ``run`` holds
the readings that arrived; during ``stream`` the exception's ``readings`` holds those not yet
handed out as chunks; during ``sweep`` its ``points`` holds the clocks checked.
"""

from __future__ import annotations

import asyncio
import threading
from typing import AsyncIterator, Callable, Iterator, Optional, Sequence, Tuple

import numpy as np

from . import _tavik

__version__: str = _tavik.__version__
#: The selectable clock frequencies in Hz, highest first.
CLOCKS: Tuple[int, ...] = tuple(_tavik.CLOCKS)
#: The simulator settings ``Box.open(simulate=True)`` uses unless told otherwise.
DEFAULT_SIMULATOR = "glitch=25000"

Run = _tavik.Run


class BoxError(RuntimeError):
    """A box call failed: ``status`` is the box's status code, ``text`` its words."""

    def __init__(self, text: str, status: int):
        super().__init__(text, status)
        self.text = text
        self.status = status

    def __str__(self) -> str:
        return self.text


class Unplugged(BoxError):
    """The box is no longer attached. It is closed; ``Box.open`` it again once it is back."""


class FileFormatError(ValueError):
    """A run file could not be read: ``text`` names the file (and the line where there is
    one), ``path`` is the file."""

    def __init__(self, text: str, path: str):
        super().__init__(text, path)
        self.text = text
        self.path = path

    def __str__(self) -> str:
        return self.text


_tavik._set_errors(BoxError, Unplugged, FileFormatError)


def list_boxes(simulate: bool = False, simulator: str = DEFAULT_SIMULATOR) -> list[dict]:
    """The attached boxes (and the simulated ones with ``simulate``), each as
    ``{"serial": ..., "description": ...}``."""
    return _tavik._list_boxes(simulate, simulator)


def split(readings, st_bits: int, mt_bits: int) -> Tuple[np.ndarray, np.ndarray]:
    """Splits readings into their singleturn (low ``st_bits``) and multiturn (the next
    ``mt_bits``) parts, as two ``uint32`` arrays."""
    if not 0 <= st_bits <= 32 or not 0 <= mt_bits <= 32 - st_bits:
        raise ValueError(f"st_bits {st_bits}, mt_bits {mt_bits}: 0 to 32 bits in all")
    r = np.asarray(readings, dtype=np.uint64)
    st = r & np.uint64((1 << st_bits) - 1)
    mt = (r >> np.uint64(st_bits)) & np.uint64((1 << mt_bits) - 1)
    return st.astype(np.uint32), mt.astype(np.uint32)


def load(path: str, st_bits: Optional[int] = None, mt_bits: Optional[int] = None,
         gray: bool = False) -> Run:
    """Reads a saved run (.log/.txt/.dat, .csv, .h5). Text files name no bit counts: give
    ``st_bits`` and ``mt_bits``. Raises ``FileFormatError`` naming the file and line."""
    return _tavik._load(str(path), st_bits, mt_bits, gray)


def check(run: Run, st_mono: str = "auto", mt_mono: str = "auto", st_step: int = 1,
          mt_step: int = 1, error_limit: int = 1) -> dict:
    """The code tester's result and verdict, as ``tavik-cli --json check`` prints them under
    ``result``, plus ``history``: the lines a check writes."""
    return run._check(st_mono, mt_mono, st_step, mt_step, error_limit)


def analyse(run: Run, events: int = 20) -> dict:
    """The run analysis as ``tavik-cli --json analyse`` prints it (without ``file``), plus
    ``summary``: the lines a batch check writes. ``events`` limits the events listed."""
    return run._analyse(events)


def _run_times(self: Run) -> np.ndarray:
    """Seconds from the run's start of each reading (its delay as the time base)."""
    return np.arange(len(self), dtype=np.float64) * self.time_base


Run.times = _run_times
Run.delay_us = property(lambda self: self.settings["delay_us"],
                        doc="Microseconds between readings; 0 when unknown.")
Run.time_base = property(lambda self: self.settings["delay_us"] / 1e6,
                         doc="Seconds between two readings: the delay, as the files' time column has it.")
Run.start = property(lambda self: self.settings["start"],
                     doc="ISO 8601 start time with its UTC offset ('' when unknown).")
Run.__repr__ = lambda self: (f"<tavik.Run {len(self):,} readings, "
                             f"{self.settings['delay_us']} us, {self.settings['mode']}>")


class Box(_tavik.Box):
    """One box, opened with ``Box.open``. Settings are properties that check their range
    (``ValueError``) and the box's answer (``BoxError``). A box is used from one thread at a
    time; while it streams, other commands raise ``BoxError``."""

    @classmethod
    def open(cls, serial: Optional[str] = None, simulate: bool = False,
             simulator: str = DEFAULT_SIMULATOR, wait: float = 0.0) -> "Box":
        """Connects to the box with ``serial`` (the only one attached when None) and switches a
        box found off on with its defaults' supply. ``simulate`` adds the built-in simulator,
        set up by ``simulator`` (e.g. ``"glitch=25000,unplug=40"``). ``wait`` seconds: waits
        for the box to be plugged in first."""
        box = cls()
        box._open(serial, simulate, simulator, wait)
        return box

    def __enter__(self) -> "Box":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        state = f"{self.serial} {self.mode} {self.clock:,} Hz" if self.is_open else "closed"
        return f"<tavik.Box {state}>"

    @property
    def clocks(self) -> Tuple[int, ...]:
        """The selectable clocks in Hz, highest first."""
        return CLOCKS

    @property
    def outputs(self) -> Tuple[str, str, str]:
        """The three outputs: each ``"open"``, ``"low"`` or ``"high"``."""
        return tuple(self._outputs)

    @outputs.setter
    def outputs(self, modes: Sequence[str]) -> None:
        if len(modes) != 3:
            raise ValueError(f"outputs: three modes, not {len(modes)}")
        for index, mode in enumerate(modes):
            if mode != self._outputs[index]:
                self.set_output(index, mode)

    def batch(self, count: int, delay_us: int = 50,
              progress: Optional[Callable[[int, int], None]] = None) -> Run:
        """Records ``count`` readings (1 to 16,777,214), ``delay_us`` apart (10 to 4,095). ``progress(done,
        total)`` is called about ten times a second."""
        return self._batch(count, delay_us, progress)

    def stream(self, count: Optional[int] = None, delay_us: int = 50) -> Iterator[np.ndarray]:
        """Yields the readings as they arrive, in chunks, without gap or repeat: ``count`` of
        them, or without end (``None``) until the loop is left. Leaving the loop (``break``,
        an exception, closing the generator) stops the box.

        Ctrl-C while the stream waits for the box (nearly all of the time) stops the box and
        raises ``KeyboardInterrupt`` whose ``readings`` holds those not yet handed out. Ctrl-C
        in the loop's own body raises there: the box stops when the generator is closed."""
        check_signals = threading.current_thread() is threading.main_thread()
        self._stream_start(count, delay_us)
        try:
            while (chunk := self._stream_next(check_signals)) is not None:
                yield chunk
        except KeyboardInterrupt as interrupt:
            if not hasattr(interrupt, "readings"):
                interrupt.readings = self._stream_stop()
            raise
        finally:
            self._stream_stop()

    async def astream(self, count: Optional[int] = None,
                      delay_us: int = 50) -> AsyncIterator[np.ndarray]:
        """``stream`` for asyncio: the waits run in a worker thread, the event loop stays
        free. Cancelling the task stops the box."""
        self._stream_start(count, delay_us)
        try:
            while True:
                chunk = await asyncio.to_thread(self._stream_next, False)
                if chunk is None:
                    break
                yield chunk
        finally:
            self._stream_stop()

    def sweep(self, from_hz: int = 250_000, to_hz: int = 2_000_000, count: int = 10_000,
              delay_us: int = 0) -> dict:
        """A short batch at each selectable clock from ``from_hz`` up to ``to_hz``: the fault
        rate of each and the fastest clean clock, as ``tavik-cli --json sweep`` prints them.
        ``delay_us`` 0 takes each clock's minimum safe delay."""
        return self._sweep(from_hz, to_hz, count, delay_us)


__all__ = ["Box", "Run", "BoxError", "Unplugged", "FileFormatError", "CLOCKS", "list_boxes",
           "split", "load", "check", "analyse", "DEFAULT_SIMULATOR"]
