#!/usr/bin/env python3
"""Writes the data file read by read_rows_bench: a title line, a keyword line
and 1,000,000 stamped rows in the record format (a19,1x,3f12.4).

    python3 bench/make_read_rows_data.py [path] [rows]

The values come from a seeded generator, so every run writes the same file.
"""
import datetime
import random
import sys


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "read_rows_data.txt"
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    gen = random.Random(20240611)
    start = datetime.datetime(1997, 3, 1, 0, 0, 0)
    step = datetime.timedelta(seconds=1)
    with open(path, "w", newline="\n") as out:
        out.write("Benchmark series: three random walks, one row a second\n")
        out.write(f"rows={rows} columns=3 interval=1.0 format=(a19,1x,3f12.4) unit=s\n")
        walk = [0.0, 100.0, -50.0]
        stamp = start
        for _ in range(rows):
            for j in range(3):
                walk[j] += gen.gauss(0.0, 1.0)
            out.write(stamp.strftime("%Y-%m-%d %H:%M:%S") + " " +
                      "".join(f"{v:12.4f}" for v in walk) + "\n")
            stamp += step


if __name__ == "__main__":
    main()
