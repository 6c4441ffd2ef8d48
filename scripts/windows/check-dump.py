#!/usr/bin/env python3
"""Checks the dump of a Windows end-to-end run of rvex-tool.exe --headless.

    check-dump.py serial|network OUTPUT

Parses the runner's output (one JSON object per dumped control, and the `table`
action's aligned columns) and checks the controls the run is about: the port's label
and the readings grid's value cells, which rvex-sim (--static) fills with known values,
and the table, which must show the grid's rows with a good outcome each. The serial run
also records the session: the readings log, the traffic log and the report in the
folder of OUTPUT are checked too. The table and the report are read by the helpers in
tests/support (runner_table.py, html_tables.py).
Exits 1 with the reasons when a check fails.
"""
import csv
import glob
import json
import os
import subprocess
import sys

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support")
sys.path.insert(0, SUPPORT)
from runner_table import table_rows  # noqa: E402

VALUE = 2  # the grid's "Valore letto" column
READINGS_LOG_HEADER = ["time", "port", "framing", "row", "address", "type", "count", "obis",
                       "note", "value", "outcome", "request", "reply"]
HTML_TABLES = os.path.join(SUPPORT, "html_tables.py")


def dumps(path):
    """The dumped controls by name, the error lines, and the rows of the last table."""
    controls = {}
    errors = []
    with open(path, encoding="utf-8", errors="replace") as out:
        lines = out.readlines()
    for line in lines:
        line = line.strip()
        if line.startswith("error:"):
            errors.append(line)
        if not line.startswith("{"):
            continue
        control = json.loads(line)
        if "name" in control:
            controls.setdefault(control["name"], []).append(control)
    return controls, errors, table_rows(lines)


def check_serial(controls, table, folder, problems):
    label = controls.get("Label2", [])
    if [c["text"] for c in label] != ["OPEN", "CLOSE"]:
        problems.append(f"Label2 should read OPEN, then CLOSE: {[c['text'] for c in label]}")
    rows = grid_rows(controls, problems)
    expected = {1: "12345.678", 8: "230.1", 16: "12345678", 19: "9876543", 22: "5000",
                23: "0x0000", 24: "RVEX-SN-12345678"}
    check_rows(rows, expected, problems)
    pins = {"Label31": "PIN1->Unasserted ( Run )", "Label32": "PIN2->Unasserted (Modbus) ",
            "Label33": "PIN3->Asserted (Interface_RS485)"}
    for name, text in pins.items():
        got = [c["text"] for c in controls.get(name, [])]
        if got != [text]:
            problems.append(f"{name} should read {text!r} after the RCI status query: {got}")
    empty = [r for r in range(1, 25) if r >= len(rows) or not rows[r][VALUE]]
    if empty:
        problems.append(f"the 24 rows of Table1.c should each hold a value; empty: {empty}")
    check_table(table, rows, problems)
    check_readings_log(folder, 24, problems)
    check_traffic_log(folder, problems)
    check_report(os.path.join(folder, "rapporto-collaudo.html"), 24, problems)


def check_network(controls, table, folder, problems):
    label = controls.get("Label24", [])
    if not label or label[0]["text"] != "Connesso":
        problems.append(f"Label24 should read Connesso: {[c['text'] for c in label]}")
    rows = grid_rows(controls, problems)
    check_rows(rows, {1: "12345.678", 2: "9876543", 3: "RVEX-SN-12345678"}, problems)
    check_table(table, rows, problems)


def check_table(table, rows, problems):
    """The table shows the grid's filled rows, each with its value and a good outcome."""
    if table is None:
        problems.append("the output holds no table")
        return
    filled = [r for r in rows[1:] if len(r) > VALUE and r[1].strip()]
    if len(table) != len(filled):
        problems.append(f"the table has {len(table)} rows, the grid {len(filled)} filled ones")
    for line, row in zip(table, filled):
        if (line["Address"], line["Value"]) != (row[1].strip(), row[VALUE].strip()):
            problems.append(f"table row {line} does not show grid row {row}")
        if line["Outcome"] != "good":
            problems.append(f"table row {line['Rif']}: outcome {line['Outcome']!r}")


def only_file(folder, pattern, problems):
    found = glob.glob(os.path.join(folder, pattern))
    if len(found) != 1:
        problems.append(f"one {pattern} expected in {folder}, found {len(found)}")
        return None
    return found[0]


def check_readings_log(folder, count, problems):
    path = only_file(folder, "letture-*.csv", problems)
    if not path:
        return
    with open(path, encoding="utf-8", newline="") as log:
        lines = list(csv.reader(log))
    if not lines or lines[0] != READINGS_LOG_HEADER:
        problems.append(f"readings log header: {lines[:1]}")
        return
    readings = [dict(zip(READINGS_LOG_HEADER, line)) for line in lines[1:]]
    if len(readings) < count:
        problems.append(f"readings log: {len(readings)} readings, at least {count} expected")
    for r in readings:
        if r["port"] != "COM3" or r["outcome"] != "good" or not r["reply"]:
            problems.append(f"readings log: {r}")


def check_traffic_log(folder, problems):
    path = only_file(folder, "traffico-*.log", problems)
    if not path:
        return
    directions = set()
    with open(path, encoding="utf-8") as log:
        for line in log:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) != 5 or fields[1] != "COM3" or fields[2] not in ("tx", "rx"):
                problems.append(f"traffic log line: {line!r}")
                continue
            directions.add(fields[2])
            shown = "".join(chr(b) if 0x20 <= b < 0x7F else "." for b in bytes.fromhex(fields[3]))
            if shown != fields[4]:
                problems.append(f"traffic log: {fields[4]!r} is not {fields[3]}")
    if directions != {"tx", "rx"}:
        problems.append(f"traffic log directions: {sorted(directions)}")


def check_report(path, count, problems):
    if not os.path.exists(path):
        problems.append(f"no report {path}")
        return
    parsed = subprocess.run([sys.executable, HTML_TABLES, path], capture_output=True,
                            check=True).stdout.decode("utf-8").splitlines()
    problems += [f"report: {line}" for line in parsed if line.startswith("error\t")]
    readings = [line.split("\t")[2:] for line in parsed if line.startswith("row\treadings\t")]
    if len(readings) != count + 1:
        problems.append(f"report: {len(readings) - 1} rows of readings, {count} expected")
    for row in readings[1:]:
        if len(row) < 8 or row[7] != "good":
            problems.append(f"report row {row}")


def grid_rows(controls, problems):
    grid = controls.get("StringGrid3", [])
    if len(grid) != 1:
        problems.append(f"one dump of StringGrid3 expected, got {len(grid)}")
        return []
    return grid[0]["cells"]


def check_rows(rows, expected, problems):
    for row, value in expected.items():
        got = rows[row][VALUE] if row < len(rows) else None
        if got != value:
            problems.append(f"row {row}: value {got!r}, expected {value!r}")


def main():
    mode, path = sys.argv[1], sys.argv[2]
    controls, errors, table = dumps(path)
    problems = [f"runner reported {e}" for e in errors]
    check = {"serial": check_serial, "network": check_network}[mode]
    check(controls, table, os.path.dirname(os.path.abspath(path)), problems)
    if problems:
        print(f"{mode} end-to-end failed ({path}):")
        for p in problems:
            print("  " + p)
        return 1
    print(f"{mode} end-to-end: grid, table and labels as expected"
          + (", session logs and report too" if mode == "serial" else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
