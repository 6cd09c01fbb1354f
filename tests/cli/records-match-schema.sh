#!/usr/bin/env bash
# The records tavik-cli test writes, held to docs/notes/test-record.schema.json with Python's
# jsonschema (Debian python3-jsonschema; a SKIP line when it is missing): a pass on a clean
# simulated box, a failure on a glitching one, a box that stalls mid-plan.
# Usage: records-match-schema.sh <tavik-cli> <source root>
set -euo pipefail
cli=$(realpath "$1")
root=$(realpath "$2")
python=/usr/bin/python3
[[ -x $python ]] || python=$(command -v python3 || true)
if [[ -z $python ]] || ! "$python" -c "import jsonschema" 2>/dev/null; then
    echo "SKIP: python3-jsonschema is not installed"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
plan=$root/docs/plans/incoming-inspection-ssi-13-12.toml
run() { # expected exit code, simulator, serial
    local status=0
    TAVIK_SIMULATOR=$2 "$cli" -q test "$plan" --dut "$3" --station test --spool spool \
        >"$3.out" 2>&1 || status=$?
    ((status == $1)) || { echo "$3 ($2): exit $status, expected $1"; cat "$3.out"; exit 1; }
}
run 0 1 CLEAN
run 3 1,glitch=5000 GLITCH
run 1 1,stall=1000 STALLED
"$python" - "$root/docs/notes/test-record.schema.json" spool <<'PY'
import glob, json, os, sys
import jsonschema

schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
records = {}
for path in sorted(glob.glob(os.path.join(sys.argv[2], "*.json"))):
    record = json.load(open(path))
    jsonschema.validate(record, schema, cls=jsonschema.Draft202012Validator)
    assert os.path.basename(path) == record["uuid"] + ".json", path
    if record["attachment"]:
        assert os.path.exists(os.path.join(sys.argv[2], record["attachment"])), path
    records[record["unit"]["serial"]] = record
assert sorted(records) == ["CLEAN", "GLITCH", "STALLED"], sorted(records)
outcomes = {serial: r["outcome"] for serial, r in records.items()}
assert outcomes == {"CLEAN": "PASS", "GLITCH": "FAIL", "STALLED": "ERROR"}, outcomes
failed = {m["name"] for s in records["GLITCH"]["steps"] for m in s["measurements"]
          if m["outcome"] == "FAIL"}
assert "spike_events" in failed, failed
print("3 records match the schema:", outcomes)
PY
