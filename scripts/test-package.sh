#!/usr/bin/env bash
# Builds the Debian package and checks it: unpacked into a temporary root, the installed
# programs start from there (so their RPATH and files are complete), lintian reports no
# errors (warnings are listed), and the desktop entry and the AppStream metainfo validate.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v dpkg-deb >/dev/null; then
    echo "== package test skipped: dpkg-deb is missing (not a Debian system) =="
    exit 0
fi
SETUP_PACKAGE_TEST=1 ./scripts/setup-deps.sh

./scripts/package.sh
deb=$(ls "${BUILD_DIR:-build-package}"/tavik_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "== checking $deb =="

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
dpkg -x "$deb" "$root"
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
# The installed programs run with the system's libraries and their own only.
unset LD_LIBRARY_PATH TAVIK_SIMULATOR
bin=$root/usr/bin

for file in usr/bin/Tavik usr/lib/udev/rules.d/60-tavik.rules \
    usr/share/applications/com.example.Tavik.desktop \
    usr/share/metainfo/com.example.Tavik.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/com.example.Tavik.svg \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/com.example.Tavik.png \
    usr/share/man/man1/Tavik.1.gz usr/share/doc/tavik/{README.md,Tavik.ini.example,copyright}; do
    [[ -e $root/$file ]] || fail "$file is missing"
done
if [[ -e $bin/tavik-cli && ! -e $root/usr/share/man/man1/tavik-cli.1.gz ]]; then
    fail "tavik-cli has no manual page"
fi

# The private libraries resolve inside the unpacked root, through the RPATH.
libraries=$(ldd "$bin/Tavik")
for library in libBase libFTD2xxDriver libTavikDriver; do
    grep -q "$library.* => $root/" <<<"$libraries" || fail "Tavik does not find $library in the package"
done

[[ $("$bin/Tavik" --version) == "Tavik $version" ]] || fail "Tavik --version does not say $version"

# --user-dir: the folder is created, and Tavik.ini is read from it (the load-time read of
# the base library sees it: a broken file there is reported there).
mkdir -p "$tmp/run" "$tmp/home"
(cd "$tmp/run" && HOME=$tmp/home XDG_DATA_HOME=$tmp/data "$bin/Tavik" --user-dir --version >/dev/null)
[[ -d $tmp/data/tavik ]] || fail "--user-dir did not create \$XDG_DATA_HOME/tavik"
(cd "$tmp/run" && env -u XDG_DATA_HOME HOME="$tmp/home" "$bin/Tavik" --user-dir --version >/dev/null)
userdir=$tmp/home/.local/share/tavik
if [[ -d $userdir ]]; then
    printf '[Default]\nUsbDevice\n' >"$userdir/Tavik.ini"
    (cd "$tmp/run" && env -u XDG_DATA_HOME HOME="$tmp/home" "$bin/Tavik" --user-dir --version >/dev/null)
    [[ -e $userdir/error_opening_inifile.log && ! -e $tmp/run/error_opening_inifile.log ]] ||
        fail "--user-dir did not read Tavik.ini from $userdir"
else
    fail "--user-dir did not create ~/.local/share/tavik"
fi

# The program itself, headless with the simulated box: still running after 3 s.
status=0
(cd "$tmp/run" && QT_QPA_PLATFORM=offscreen timeout -k 2 3 "$bin/Tavik" --simulate >"$tmp/gui.log" 2>&1) || status=$?
if ((status != 124)); then
    cat "$tmp/gui.log"
    fail "Tavik --simulate ended with status $status within 3 s"
fi
if [[ -e $bin/tavik-cli ]]; then
    (cd "$tmp/run" && timeout 30 "$bin/tavik-cli" --simulate list >"$tmp/cli.log" 2>&1) || fail "tavik-cli --simulate list failed"
    grep -q SIM00001 "$tmp/cli.log" || fail "tavik-cli --simulate list does not list SIM00001"
    for file in run.h5 run.csv; do
        (cd "$tmp/run" && timeout 60 "$bin/tavik-cli" --simulate -q batch --count 1000 --delay 50 \
            -o "$tmp/$file" >"$tmp/cli.log" 2>&1) || fail "tavik-cli batch -o $file failed"
    done
    /usr/bin/python3 - "$tmp/run.h5" <<'PY' || fail "h5py cannot read tavik-cli's .h5 file"
import sys, h5py
with h5py.File(sys.argv[1], "r") as f:
    d = f["readings"]
    assert d.dtype == "uint32" and d.shape == (1000,), (d.dtype, d.shape)
    assert d.attrs["sample_count"] == 1000 and d.attrs["delay_us"] == 50
    # Variable-length UTF-8 strings: str, not bytes.
    assert d.attrs["serial"] == "SIM00001", d.attrs["serial"]
    assert d.attrs["unit"] == "counts", d.attrs["unit"]
    assert isinstance(d.attrs["start"], str) and d.attrs["start"][:2] == "20", d.attrs["start"]
PY
    /usr/bin/python3 - "$tmp/run.csv" <<'PY' || fail "pandas cannot read tavik-cli's .csv file"
import sys, pandas
frame = pandas.read_csv(sys.argv[1], comment="#")
assert list(frame.columns) == ["time_us", "reading"], list(frame.columns)
assert len(frame) == 1000 and frame["time_us"].iloc[1] == 50, frame.head(2)
PY
fi

# The Python module, imported from the unpacked package by Debian's python3 (its RPATH finds
# the private libraries there), runs a simulated batch.
pydir=$root/usr/lib/python3/dist-packages
if [[ -d $pydir/tavik ]]; then
    grep -q "libTavikDriver.* => $root/" <<<"$(ldd "$pydir"/tavik/_tavik*.so)" ||
        fail "the Python module does not find libTavikDriver in the package"
    (cd "$tmp/run" && PYTHONPATH=$pydir timeout 60 /usr/bin/python3 - "$pydir" <<'PY') ||
import sys, tavik
assert tavik.__file__.startswith(sys.argv[1]), tavik.__file__
with tavik.Box.open(simulate=True) as box:
    run = box.batch(1000, delay_us=50)
assert len(run.readings) == 1000 and run.readings.dtype == "uint32"
assert run.settings["serial"] == "SIM00001" and run.settings["program"].startswith("tavik-python ")
assert tavik.check(run)["verdict"] in ("passed", "failed")
PY
        fail "the packaged Python module cannot run a simulated batch"
elif [[ -e /usr/include/pybind11/pybind11.h ]]; then
    fail "the Python module is missing from the package"
else
    echo "Python module: not built (pybind11-dev missing), not checked"
fi

# A chroot without a running udev: the maintainer scripts skip udevadm and succeed.
dpkg-deb -e "$deb" "$tmp/control"
env PATH=/nonexistent /bin/sh "$tmp/control/postinst" configure || fail "postinst fails without udevadm"
env PATH=/nonexistent /bin/sh "$tmp/control/postrm" remove || fail "postrm fails without udevadm"

desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"

lintian_status=0
lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || lintian_status=$?
grep -v -e '^running with root privileges' "$tmp/lintian.log" || true
if grep -q '^E:' "$tmp/lintian.log" || ((lintian_status != 0)); then
    fail "lintian reports errors"
fi
echo "lintian: $(grep -c '^W:' "$tmp/lintian.log" || true) warnings"

if ((failed)); then
    echo "== package test FAILED =="
    exit 1
fi
echo "== package test passed: $deb =="
