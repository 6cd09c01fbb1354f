#!/usr/bin/env bash
# tavik-cli's .csv and .h5 files as other tools read them: Python's csv module, and pandas
# and h5py where they are installed (a missing one is named with a SKIP line).
# Usage: read-with-python.sh <tavik-cli>
set -euo pipefail
cli=$(realpath "$1")
# The system's Python, which the Debian packages python3-pandas and python3-h5py serve.
python=/usr/bin/python3
[[ -x $python ]] || python=$(command -v python3 || true)
if [[ -z $python ]]; then
    echo "SKIP: python3 is missing"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
unset TAVIK_SIMULATOR
for file in run.csv run.h5; do
    status=0
    "$cli" --simulate -q batch --count 1000 --delay 50 -o "$file" >/dev/null || status=$?
    # 3: the check of the run found errors; the file is written all the same.
    ((status == 0 || status == 3)) || { echo "tavik-cli batch -o $file: exit $status"; exit 1; }
done
"$python" - run.csv run.h5 <<'PY'
import csv, importlib.util, sys

csv_path, h5_path = sys.argv[1:3]
with open(csv_path, newline="") as f:
    rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
assert rows and list(rows[0]) == ["time_us", "reading"], rows[:1]
assert len(rows) == 1000 and rows[1]["time_us"] == "50", (len(rows), rows[1])
print("csv module: 1000 rows, columns time_us, reading")

if importlib.util.find_spec("pandas"):
    import pandas
    frame = pandas.read_csv(csv_path, comment="#")
    assert list(frame.columns) == ["time_us", "reading"], list(frame.columns)
    assert len(frame) == 1000 and frame["time_us"].iloc[-1] == 49950, frame.tail(1)
    print("pandas: 1000 rows, columns time_us, reading")
else:
    print("SKIP pandas: python3-pandas is not installed")

if importlib.util.find_spec("h5py"):
    import h5py
    with h5py.File(h5_path, "r") as f:
        attrs = f["readings"].attrs
        for name in ("serial", "mode", "unit", "start", "program"):
            assert isinstance(attrs[name], str), (name, type(attrs[name]))
        assert attrs["serial"] == "SIM00001" and attrs["unit"] == "counts", dict(attrs)
    print("h5py: the texts are str")
else:
    print("SKIP h5py: python3-h5py is not installed")
PY
