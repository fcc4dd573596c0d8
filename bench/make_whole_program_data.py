#!/usr/bin/env python3
"""Writes the data file of the whole-program benchmark: a title line, a keyword
line and 1,000,000 stamped rows of three columns in the record format
(a19,1x,3f12.5), one row a second.

    python3 bench/make_whole_program_data.py [path] [rows]

Column 1 is a skewed AR(1) series, column 2 an AR(1) series driven by x and,
in every other block of 50,000 rows, by a bilinear term in past x (so that
frames light up and the frames file fills as in real use), column 3 noise.
The values come from a seeded generator, so every run writes the same file.
"""
import datetime
import random
import sys


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "whole_program.dat"
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    gen = random.Random(19970301)
    stamp = datetime.datetime(1997, 3, 1, 0, 0, 0)
    step = datetime.timedelta(seconds=1)
    x1 = x2 = y1 = 0.0
    with open(path, "w", newline="\n") as out:
        out.write("Benchmark series: skewed AR(1) x, y with bilinear stretches, noise\n")
        out.write(f"rows={rows} columns=3 interval=1.0 format=(a19,1x,3f12.5)\n")
        lines = []
        for t in range(rows):
            e = gen.gauss(0.0, 1.0)
            x = 0.4 * x1 + 0.7 * e * abs(e)
            bilinear = 0.6 * x1 * x2 if (t // 50_000) % 2 == 1 else 0.0
            y = 0.3 * y1 + 0.2 * x1 + bilinear + gen.gauss(0.0, 1.0)
            z = gen.gauss(0.0, 1.0)
            lines.append(f"{stamp:%Y-%m-%d %H:%M:%S} {x:12.5f}{y:12.5f}{z:12.5f}\n")
            x2, x1, y1 = x1, x, y
            stamp += step
            if len(lines) == 10_000:
                out.write("".join(lines))
                lines.clear()
        out.write("".join(lines))


if __name__ == "__main__":
    main()
