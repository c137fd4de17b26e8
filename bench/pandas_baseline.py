#!/usr/bin/python3
"""The job of korvelin done the way an analyst would script it with pandas.

Run in a case folder: reads KORVELIN.inp, parses each distinct export once
with pandas.read_csv (skipping the header section up to "[Data]"), keeps for
each temperature the first 100 rows within 0.25 K of it, builds the sweep
branch as korvelin does (first accepted point with moment 0, then the points
reached by a step in the sweep direction, reversed when it runs towards zero),
integrates it with the trapezoid rule up to each target field (0.01 T of
slack, linear interpolation at the cut) and writes the entropy-change table
to pandas-table.dat.

    /usr/bin/python3 bench/pandas_baseline.py             # in a case folder
    /usr/bin/python3 bench/pandas_baseline.py --compare   # also compare with
                                                          # KORVELIN.dat

It computes in double precision and prints with Python's formats, so its
table matches korvelin's to the last printed digit or so, not byte for byte.
"""

import sys

import numpy as np
import pandas as pd

TEMPERATURE_TOLERANCE = 0.25  # K
FIELD_TOLERANCE = 0.01  # T
MAX_POINTS = 100
MAX_TEMPERATURES = 100


def read_control(path="KORVELIN.inp"):
    with open(path, "r", encoding="latin-1") as f:
        lines = f.read().splitlines()
    mass = float(lines[0].split()[0])
    count, direction = (int(v) for v in lines[1].split()[:2])
    fields = [float(v) for v in lines[2].split()[:max(count, 0)]]
    pairs = []
    rest = lines[3:]
    for k in range(0, len(rest) - 1, 2):
        if not rest[k].strip() or len(pairs) == MAX_TEMPERATURES:
            break
        pairs.append((float(rest[k].split()[0]), rest[k + 1][:50].strip()))
    return mass, direction, fields, pairs


def read_export(path):
    """Field (Oe), temperature (K) and moment (emu): columns 3 to 5."""
    header_lines = 0
    with open(path, "r", encoding="latin-1") as f:
        for number, line in enumerate(f, start=1):
            if line.startswith("[Data]"):
                header_lines = number
                break
    table = pd.read_csv(path, skiprows=header_lines, encoding="latin-1")
    values = table.iloc[:, 2:5].to_numpy(dtype=float)
    return values[:, 0], values[:, 1], values[:, 2]


def branch(field_oe, temperature, moment, wanted, direction):
    rows = np.flatnonzero(np.abs(temperature - wanted) <= TEMPERATURE_TOLERANCE)
    rows = rows[:MAX_POINTS]
    h = field_oe[rows].copy()
    m = moment[rows].copy()
    low = np.abs(h) < FIELD_TOLERANCE * 10000.0
    h[low] = 0.0
    m[low] = 0.0
    h *= 1.0e-4
    if len(h) < 2:
        return np.empty(0), np.empty(0)
    keep = np.sign(direction) * np.diff(h) > 0
    if not keep.any():
        return np.empty(0), np.empty(0)
    bh = np.concatenate(([h[0]], h[1:][keep]))
    bm = np.concatenate(([0.0], m[1:][keep]))
    if abs(bh[-1]) < abs(bh[0]):
        bh, bm = bh[::-1], bm[::-1]
    return bh, bm


def area(h, m, b):
    if len(h) < 2:
        return 0.0
    pieces = (m[1:] + m[:-1]) * np.diff(h) * 0.5
    cut = np.flatnonzero(b + FIELD_TOLERANCE < h[1:])
    if cut.size == 0:
        return float(pieces.sum())
    l = cut[0]
    mb = ((h[l + 1] - b) * m[l] + (b - h[l]) * m[l + 1]) / (h[l + 1] - h[l])
    return float(pieces[:l].sum() + (b - h[l]) * (m[l] + mb) * 0.5)


def compute():
    mass, direction, fields, pairs = read_control()
    exports = {}
    branches = []
    for temperature, name in pairs:
        if name not in exports:
            exports[name] = read_export(name)
        branches.append(branch(*exports[name], temperature, direction))
    areas = np.array([[area(h, m, b) for b in fields] for h, m in branches])
    temperatures = np.array([t for t, _ in pairs])
    rows = []
    for i in range(len(pairs) - 1):
        mean = 0.5 * (temperatures[i] + temperatures[i + 1])
        change = -((areas[i + 1] - areas[i]) /
                   (temperatures[i + 1] - temperatures[i])) / mass
        rows.append((mean, change))
    return fields, rows


def write_table(fields, rows, path="pandas-table.dat"):
    with open(path, "w", newline="") as f:
        f.write(" T/B    " + "".join(f"        {b:5.2f}" for b in fields) + "\r\n")
        for mean, change in rows:
            f.write(f"{mean:8.3f}" + "".join(f"  {v:11.3f}" for v in change) + "\r\n")


def compare(rows, path="KORVELIN.dat"):
    """Largest difference from korvelin's table, in its printed units."""
    with open(path, "r", encoding="latin-1") as f:
        theirs = [line.split() for line in f.read().splitlines()[1:] if line.strip()]
    if len(theirs) != len(rows):
        print(f"row count differs: korvelin {len(theirs)}, pandas {len(rows)}")
        return 1
    worst = 0.0
    for (mean, change), cells in zip(rows, theirs):
        values = [float(c) for c in cells]
        worst = max(worst, abs(values[0] - mean),
                    *(abs(a - b) for a, b in zip(values[1:], change)))
    print(f"largest difference from KORVELIN.dat: {worst:.4f} J/(kg K)")
    return 0


def main():
    fields, rows = compute()
    write_table(fields, rows)
    if "--compare" in sys.argv[1:]:
        return compare(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
