#!/usr/bin/env python3
"""Checks the dump of a Windows end-to-end run of rvex-tool.exe --headless.

    check-dump.py serial|network OUTPUT

Parses the runner's output (one JSON object per dumped control) and checks the controls
the run is about: the port's label and the readings grid's value cells, which rvex-sim
(--static) fills with known values. Exits 1 with the reasons when a check fails.
"""
import json
import sys

VALUE = 2  # the grid's "Valore letto" column


def dumps(path):
    controls = {}
    errors = []
    with open(path, encoding="utf-8", errors="replace") as out:
        for line in out:
            line = line.strip()
            if line.startswith("error:"):
                errors.append(line)
            if not line.startswith("{"):
                continue
            control = json.loads(line)
            if "name" in control:
                controls.setdefault(control["name"], []).append(control)
    return controls, errors


def check_serial(controls, problems):
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


def check_network(controls, problems):
    label = controls.get("Label24", [])
    if not label or label[0]["text"] != "Connesso":
        problems.append(f"Label24 should read Connesso: {[c['text'] for c in label]}")
    rows = grid_rows(controls, problems)
    check_rows(rows, {1: "12345.678", 2: "9876543", 3: "RVEX-SN-12345678"}, problems)


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
    controls, errors = dumps(path)
    problems = [f"runner reported {e}" for e in errors]
    {"serial": check_serial, "network": check_network}[mode](controls, problems)
    if problems:
        print(f"{mode} end-to-end failed ({path}):")
        for p in problems:
            print("  " + p)
        return 1
    print(f"{mode} end-to-end: grid and labels as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
