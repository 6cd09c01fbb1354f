#!/usr/bin/env python3
"""End-to-end scenarios: the real program on the simulated box, used as a person uses it.

Widgets are found by role and accessible name through AT-SPI (a widget without a name
cannot be found, which is a fault in itself) and then clicked and typed at through the X
server with xdotool (XTEST), so modality, stacking and overlapping widgets apply. What is
checked is what a person sees: windows that appear and go, screen pixels, written files.

    scenarios.py PROGRAM SCRATCH [NAME...]      (run.sh starts it in an X and a bus session)
"""

import os
import re
import subprocess
import sys
import time
import traceback

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

SHOTS = os.environ.get("TAVIK_E2E_SHOTS", "e2e-shots")
RED = "#ff0000"  # a switched-on output label (LIGHTRED)


class Failed(Exception):
    pass


def wait_for(what, probe, timeout=10.0):
    """Polls until probe() is truthy and returns its value; fails naming `what`."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failed(f"{what} (waited {timeout:g} s)")
        time.sleep(0.05)


def check(condition, what):
    if not condition:
        raise Failed(what)


# ------------------------------------------------------------------------------------------
# The X server: input, windows, pixels


def xdo(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                          timeout=20).stdout


def windows(title):
    """Mapped windows whose title matches the (extended, anchored) regular expression."""
    return xdo("search", "--onlyvisible", "--name", f"^({title})$").split()


def click_at(x, y, button=1, window=None, what="the place"):
    """Clicks at a screen position; with `window`, first checks that no other window covers it."""
    # (--sync waits for a motion, which never comes when the pointer is there already.)
    if pointer()[:2] != (x, y):
        xdo("mousemove", "--sync", x, y)
    if window is not None:
        check(pointer()[2] == frame(window), f"{what} is covered by another window")
    xdo("click", button)


def pointer():
    """Where the pointer is, and the top-level window (frame) it is over."""
    at = dict(line.split("=") for line in xdo("getmouselocation", "--shell").split())
    return int(at["X"]), int(at["Y"]), int(at["WINDOW"])


def frame(window):
    """The window manager's frame around a top-level window (the root's child holding it)."""
    window = int(window)
    while True:
        tree = subprocess.run(["xwininfo", "-tree", "-id", str(window)], capture_output=True,
                              text=True, timeout=20).stdout
        root = int(re.search(r"Root window id: (0x[0-9a-f]+)", tree).group(1), 16)
        parent = int(re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1), 16)
        if parent == root:
            return window
        window = parent


def bring_to_front(window, title):
    xdo("windowactivate", window)
    wait_for(f'window "{title}" comes to the front when activated',
             lambda: xdo("getactivewindow").strip() == str(window), 3)


def press(*keys):
    xdo("key", "--delay", 30, *keys)


def type_text(text):
    xdo("type", "--delay", 20, text)


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=True, timeout=20)
    return path


def crop(shot, box, out):
    x, y, w, h = box
    subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", out], check=True,
                   timeout=20)
    return out


def share_of(shot, box, colour):
    """The share of pixels of this colour (within 20%) in a rectangle of a screenshot."""
    x, y, w, h = box
    out = subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-fuzz",
                          "20%", "-fill", "black", "+opaque", colour, "-fill", "white",
                          "-opaque", colour, "-format", "%[fx:mean]", "info:"],
                         capture_output=True, text=True, check=True, timeout=20)
    return float(out.stdout)


def differing_pixels(a, b):
    out = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True,
                         text=True, timeout=20)
    return int(float(out.stderr.split()[0]))


def close_box(window):
    """Clicks the close box at the right end of openbox's title bar."""
    info = subprocess.run(["xwininfo", "-id", str(frame(window))], capture_output=True,
                          text=True, timeout=20).stdout
    x, y, w = (int(re.search(rf"{key}:\s+(-?\d+)", info).group(1))
               for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width"))
    extents = subprocess.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"],
                             capture_output=True, text=True, timeout=20).stdout
    title = int(re.findall(r"\d+", extents.split("=")[-1])[2])
    # The buttons are squares as high as the title bar, the close box at its right end.
    click_at(x + w - title // 2, y + title // 2, window=window, what="the close box")


# ------------------------------------------------------------------------------------------
# The accessibility tree of the program

def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def enabled(node):
    return node.get_state_set().contains(Atspi.StateType.ENABLED)


def checked(node):
    return node.get_state_set().contains(Atspi.StateType.CHECKED)


def extents(node):
    e = node.get_extents(Atspi.CoordType.SCREEN)
    return e.x, e.y, e.width, e.height


def centre(node):
    x, y, w, h = extents(node)
    return x + w // 2, y + h // 2


def walk(node):
    """The showing descendants, without the (long) item lists of closed combo boxes."""
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is None or not showing(child):
            continue
        yield child
        if child.get_role_name() != "combo box":
            yield from walk(child)


def matches(node, role, name):
    if role is not None and node.get_role_name() != role:
        return False
    actual = node.get_name() or ""
    return re.fullmatch(name, actual) is not None


class Program:
    """The program in a scratch working directory, and its windows on the accessibility bus."""

    def __init__(self, path, folder, simulator="1"):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   TAVIK_SIMULATOR=simulator)
        self.log = open(os.path.join(folder, "program.log"), "w")
        self.process = subprocess.Popen([path, "--simulate"], cwd=folder, env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        self.app = wait_for("the program on the accessibility bus", self._find_app, 20)

    def _find_app(self):
        check(self.process.poll() is None, f"the program ended ({self.process.returncode})")
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()

    def window(self, title, timeout=10.0):
        """A top-level window of the program, once it is mapped on the screen."""
        wait_for(f'window "{title}" on the screen', lambda: windows(title), timeout)

        def find():
            for i in range(self.app.get_child_count()):
                node = self.app.get_child_at_index(i)
                if node is not None and showing(node) and matches(node, None, title):
                    return node
            return None

        return wait_for(f'window "{title}" on the accessibility bus', find, timeout)

    def gone(self, title, timeout=10.0):
        wait_for(f'window "{title}" to go', lambda: not windows(title), timeout)

    @staticmethod
    def find(window, role, name, timeout=10.0):
        def probe():
            return next((n for n in walk(window) if matches(n, role, name)), None)

        return wait_for(f'{role} "{name}" in "{window.get_name()}"', probe, timeout)

    def click(self, window, role, name, timeout=10.0):
        node = self.find(window, role, name, timeout)
        wait_for(f'{role} "{name}" enabled', lambda: enabled(node), timeout)
        click_at(*centre(node))
        return node

    def field(self, window, caption):
        """The text field right of its caption on the same row, as a person finds it."""
        label = self.find(window, "label", caption)
        lx, ly, lw, lh = extents(label)
        row = ly + lh // 2
        fields = [n for n in walk(window) if n.get_role_name() == "text"
                  and extents(n)[1] <= row <= extents(n)[1] + extents(n)[3]
                  and extents(n)[0] >= lx + lw // 2]
        check(fields, f'a text field right of "{caption}"')
        return min(fields, key=lambda n: extents(n)[0])

    def enter(self, window, caption, text):
        click_at(*centre(self.field(window, caption)))
        press("ctrl+a")
        type_text(text)
        press("Tab")  # the dialog takes the value when the field loses the focus

    def menu(self, window, menu, item):
        self.click(window, "menu item", menu)
        self.click(window, "menu item", item)


# ------------------------------------------------------------------------------------------
# Scenarios

def connect_and_power_on(p):
    main = p.window("Tavik")
    p.click(main, "push button", "Scan Devices")
    devices = p.find(main, "combo box", "SIM00001")
    click_at(*centre(devices))
    popup = p.find(devices, "list", ".*")  # showing only while open
    click_at(*centre(p.find(popup, "list item", "SIM00001")))
    wait_for("the device list closed", lambda: not showing(popup), 5)
    p.click(main, "push button", "Connect")
    p.find(main, "push button", "Disconnect")
    p.click(main, "push button", "Power ON")
    p.find(main, "push button", "Power OFF")
    wait_for('"Single Sample" enabled',
             lambda: enabled(p.find(main, "push button", "Single Sample")), 5)
    return main


def scenario_connect(p, shots):
    connect_and_power_on(p)


def scenario_visualisation(p, shots):
    main = connect_and_power_on(p)
    p.menu(main, "Tavik", "Digital Encoder Visualisation")
    title = "Digital Absolute Angular Encoder Visualisation"
    window = p.window(title)
    bring_to_front(windows(title)[0], title)
    label = p.find(window, None, "Output 1: LOW")
    box = extents(label)
    inner = (box[0] + 3, box[1] + 3, box[2] - 6, box[3] - 6)  # within the sunken edge
    before = screenshot(f"{shots}/before.png")
    check(share_of(before, inner, RED) < 0.2, "LOW of output 1 is red before the click")
    click_at(*centre(label), window=windows(title)[0], what="LOW of output 1")
    wait_for("LOW of output 1 turned red",
             lambda: share_of(screenshot(f"{shots}/after.png"), inner, RED) > 0.5, 5)
    # The box switched too: the main window shows the output low.
    group = extents(p.find(main, "panel", "Output 1"))
    low = next(n for n in walk(main) if matches(n, "radio button", "Low / GND")
               and group[0] <= centre(n)[0] <= group[0] + group[2])
    wait_for("Output 1 shows Low / GND in the main window", lambda: checked(low), 5)

    p.click(window, None, "Upper display")
    fmt = p.window("Format MT / ST")
    p.click(fmt, "push button", "Cancel")
    p.gone("Format MT / ST")
    check(windows(title), "the visualisation window went with the format dialog")

    close_box(windows(title)[0])
    p.gone(title)
    check(windows("Tavik"), "the main window went with the visualisation window")


def scenario_history(p, shots):
    main = connect_and_power_on(p)
    for _ in range(3):
        p.click(main, "push button", "Single Sample")
    history = next((n for n in walk(main) if matches(n, None, "History")
                    and n.get_role_name() != "panel"), None)
    check(history, "the History list (by its accessible name)")
    bar = p.find(history, "scroll bar", ".*")
    top = bar.get_current_value()
    check(top > bar.get_minimum_value(), "the History list is long enough to scroll")
    box = extents(history)
    before = crop(screenshot(f"{shots}/screen.png"), box, f"{shots}/before.png")
    click_at(*centre(history), button=4)  # the wheel up, one notch
    wait_for("the History list scrolled (its scroll bar moved)",
             lambda: bar.get_current_value() < top, 5)
    wait_for("the History list looks scrolled",
             lambda: differing_pixels(before, crop(screenshot(f"{shots}/screen.png"), box,
                                                   f"{shots}/after.png")) > 0, 5)


def scenario_batch(p, shots):
    main = connect_and_power_on(p)
    p.click(main, "push button", "Batch Sample")
    batch = p.window("Batch Sample")
    p.enter(batch, "Sample Delay", "4095")
    p.enter(batch, "Sample Count", "1000000")
    p.click(batch, "push button", "Start")
    stop = p.find(batch, "push button", "Stop", 5)
    bar = p.find(batch, "progress bar", ".*")  # counts the readings
    wait_for("a few readings in the buffer", lambda: bar.get_current_value() >= 10, 5)
    p.click(batch, "push button", "Stop")
    wait_for('"Stop" gone or disabled when sampling stopped',
             lambda: not showing(stop) or not enabled(stop), 5)

    path = os.path.join(p.folder, "batch readings.log")
    p.click(batch, "push button", "Save Buffer")
    p.window("Save Sampled Data As")
    press("ctrl+a")
    type_text(path)
    press("Return")
    p.gone("Save Sampled Data As")
    wait_for(f"{path} written", lambda: os.path.exists(path), 10)
    with open(path) as f:
        lines = f.read().splitlines()
    check(lines and lines[0].startswith("Time [us]; Measurement"), f"header line: {lines[:1]}")
    check(len(lines) >= 3 and lines[1].startswith("0,") and lines[2].startswith("4095,"),
          f"readings 4,095 us apart: {lines[1:3]}")

    analysis = p.find(batch, "push button", "Analysis")
    if not enabled(analysis):  # the analysis needs a check of the readings
        p.click(batch, "push button", "Check again")
    p.click(batch, "push button", "Analysis")
    p.window("Analysis")
    press("Escape")
    p.gone("Analysis")

    p.click(batch, "push button", "Exit")
    # Unsaved readings would be asked about first; these were saved, but answer if asked.
    deadline = time.monotonic() + 5
    while windows("Batch Sample") and time.monotonic() < deadline:
        discard = next((n for n in walk(p.app) if matches(n, "push button", "Discard")), None)
        if discard is not None:
            click_at(*centre(discard))
        time.sleep(0.1)
    p.gone("Batch Sample")
    check(windows("Tavik"), "the main window went with the batch dialog")


def scenario_sweep(p, shots):
    main = connect_and_power_on(p)
    p.menu(main, "Tavik", "Clock Sweep(…)?")
    sweep = p.window("Clock Sweep")
    p.click(sweep, "push button", "Start")
    p.click(sweep, "push button", "Stop", 5)
    wait_for('"Start" enabled again', lambda: enabled(p.find(sweep, "push button", "Start")))

    def texts():
        return [n.get_name() or "" for n in walk(sweep) if n.get_role_name() == "label"]

    said = "Sweep stopped: no recommendation"
    try:
        wait_for(said, lambda: any(said in text for text in texts()), 3)
    except Failed:
        raise Failed(f'no "{said}" among the texts {texts()}') from None
    check(not enabled(p.find(sweep, "push button", "Apply")), "Apply is enabled")
    p.click(sweep, "push button", "Close")
    p.gone("Clock Sweep")


def scenario_hotplug(p, shots):
    """The box vanishes 4 s after Connect and returns 3 s later: the window says so, waits
    with the box controls off, and is powered again on its own."""
    main = connect_and_power_on(p)
    p.find(main, "label", "Box SIM00001 unplugged \u2013 waiting for it to return", 15)
    check(not enabled(p.find(main, "push button", "Power ON|Power OFF")), "Power is enabled")
    check(not enabled(p.find(main, "push button", "Single Sample")), "Single Sample is enabled")
    check(enabled(p.find(main, "push button", "Disconnect")), "Disconnect is disabled")
    wait_for("the box back, powered",
             lambda: enabled(p.find(main, "push button", "Single Sample")), 15)
    wait_for("the waiting state gone",
             lambda: not any(matches(n, "label", "Box SIM00001 unplugged.*")
                             for n in walk(main)), 5)
    p.find(main, "push button", "Power OFF")


scenario_hotplug.simulator = "1,unplug_after=4000,replug=3000"

def scenario_production(p, shots):
    main = connect_and_power_on(p)
    # The plan used last, as the dialog keeps it beside Tavik.ini.
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    plan = os.path.join(root, "docs", "plans", "incoming-inspection-ssi-13-12.toml")
    with open(os.path.join(p.folder, "ProductionTest.ini"), "w") as f:
        f.write(f"[General]\nPlan={plan}\n")
    p.menu(main, "Tavik", "Production Test(…)?")
    test = p.window("Production Test")
    serial = p.find(test, "text", "Serial")
    wait_for("the serial field focused", lambda: serial.get_state_set().contains(
        Atspi.StateType.FOCUSED), 5)
    # A barcode scanner types the code and Enter.
    type_text("SN-E2E-1")
    press("Return")

    def labels():
        return [n.get_name() or "" for n in walk(test) if n.get_role_name() == "label"]

    try:
        wait_for("PASS", lambda: "PASS" in labels(), 30)
    except Failed:
        raise Failed(f"no PASS among the texts {labels()}") from None
    check(serial.get_state_set().contains(Atspi.StateType.FOCUSED),
          "the serial field has the focus again")
    data = os.environ.get("XDG_DATA_HOME", "")
    if not data.startswith("/"):
        data = os.path.join(os.environ["HOME"], ".local", "share")
    spool = os.path.join(data, "tavik", "spool")
    records = [f for f in os.listdir(spool) if f.endswith(".json")]
    check(any("SN-E2E-1" in open(os.path.join(spool, f)).read() for f in records),
          f"a record of SN-E2E-1 in {spool}")
    p.click(test, "push button", "Close")
    p.gone("Production Test")
def scenario_liveview(p, shots):
    main = connect_and_power_on(p)
    p.menu(main, "Tavik", "Live View(…)?")
    title = "Live View"
    live = p.window(title)
    bring_to_front(windows(title)[0], title)

    def status():
        return next((n.get_name() for n in walk(live) if n.get_role_name() == "label"
                     and " readings kept" in (n.get_name() or "")), "")

    wait_for("the live view streams", lambda: status().startswith("Streaming"), 5)
    chart = p.find(live, None, "Strip chart")
    box = extents(chart)
    before = crop(screenshot(f"{shots}/screen.png"), box, f"{shots}/rolling-1.png")
    wait_for("the strip chart rolls",
             lambda: differing_pixels(before, crop(screenshot(f"{shots}/screen.png"), box,
                                                   f"{shots}/rolling-2.png")) > 0, 5)

    p.click(live, "push button", "Pause")
    p.find(live, "push button", "Resume")
    wait_for("paused", lambda: status().startswith("Paused"), 5)
    # Zoomed in, the view can go back: the scroll bar's left part pages back.
    for _ in range(5):
        click_at(*centre(chart), button=4, window=windows(title)[0], what="the strip chart")
    bar = p.find(live, "scroll bar", "Scroll back")
    wait_for("the scroll bar enabled", lambda: enabled(bar), 5)
    value = bar.get_current_value()
    check(value > bar.get_minimum_value(), "the zoomed view is not at the oldest reading")
    bx, by, bw, bh = extents(bar)
    click_at(bx + bh + 4, by + bh // 2, window=windows(title)[0], what="the scroll bar")
    wait_for("the view scrolled back", lambda: bar.get_current_value() < value, 5)

    p.click(live, "push button", "Clear")
    wait_for("the readings cleared", lambda: " 0 readings kept" in status(), 5)
    p.click(live, "push button", "Resume")
    wait_for("streaming again", lambda: status().startswith("Streaming"), 5)

    close_box(windows(title)[0])
    p.gone(title)
    check(windows("Tavik"), "the main window went with the live view")
    wait_for('"Single Sample" enabled after the live view',
             lambda: enabled(p.find(main, "push button", "Single Sample")), 5)


SCENARIOS = {
    "connect": scenario_connect,
    "visualisation": scenario_visualisation,
    "history": scenario_history,
    "batch": scenario_batch,
    "sweep": scenario_sweep,
    "hotplug": scenario_hotplug,
    "production": scenario_production,
    "liveview": scenario_liveview,
}


def main():
    program, scratch, *chosen = sys.argv[1:]
    os.makedirs(SHOTS, exist_ok=True)
    passed = failed = 0
    for name, scenario in SCENARIOS.items():
        if chosen and name not in chosen:
            continue
        start = time.monotonic()
        shots = os.path.join(scratch, "shots", name)
        os.makedirs(shots, exist_ok=True)
        shot = os.path.join(SHOTS, f"{name}.png")
        if os.path.exists(shot):  # from an earlier run
            os.remove(shot)
        p = None
        try:
            p = Program(program, os.path.join(scratch, name),
                        getattr(scenario, "simulator", "1"))
            scenario(p, shots)
            passed += 1
            print(f"e2e: PASS {name} ({time.monotonic() - start:.1f} s)", flush=True)
        except Exception as error:  # noqa: BLE001 - any error fails the scenario
            screenshot(shot)
            why = str(error) if isinstance(error, Failed) else traceback.format_exc().strip()
            failed += 1
            print(f"e2e: FAIL {name}: {why} (screenshot: {shot})", flush=True)
        finally:
            if p is not None:
                p.stop()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
