#!/usr/bin/env python3
"""Writes example.dat: two related series with nonlinear cross dependence.

x is a linear AR(1) series. y follows its own AR(1) and, in the second half
of the sample, a bilinear term in lagged x shocks: third-order cross
dependence that a VAR leaves in the residuals (the Hxxy test should light up
there), while the first half is linear only.

Seeded, so the file is the same on every run: python3 make_example_data.py
"""
import random

ROWS = 2400
rng = random.Random(20091009)
x_prev = y_prev = 0.0
shocks = [0.0, 0.0, 0.0]
lines = []
for t in range(ROWS):
    e = rng.gauss(0.0, 1.0)
    u = rng.gauss(0.0, 1.0)
    x = 0.5 * x_prev + e
    bilinear = 0.8 * shocks[-1] * shocks[-2] if t >= ROWS // 2 else 0.0
    y = 0.3 * y_prev + 0.4 * x_prev + bilinear + u
    shocks.append(e)
    shocks.pop(0)
    x_prev, y_prev = x, y
    lines.append(f"{x:12.5f}{y:12.5f}")

with open("example.dat", "w") as f:
    f.write("Example: AR(1) x, y with a bilinear cross term in its second half\n")
    f.write(f"rows={ROWS} columns=2 interval=1.0 format=(2f12.5)\n")
    f.write("\n".join(lines) + "\n")
