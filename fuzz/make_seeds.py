#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/seeds/<target>/.

The seeds are small, valid inputs in each target's input layout (see the
comment at the top of each *_fuzz.cpp); fuzzing grows the corpus in
fuzz/corpus/<target>/ from them. Run from anywhere: python3 fuzz/make_seeds.py
"""
import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "seeds", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


TOP = """Number of runs=1          * runs
exponent=0.4              * lags
false alarm=0.05          * alpha
frame length={frame_length}          * lw
overlap={ov}                 * step
VAR lag={var_lag}                 * p
resamples={b} #             * bootstrap
run.cnl *
"""

RUN = """column-x=1                * x
column-y=2                * y
graphing={g}              * plot files
unit={unit}              * unit
{clip}data file name=data.dat *
start datum={start}             * IS
end datum=0               * IE
#
"""


def series(n, seed):
    rnd = random.Random(seed)
    x, y, rows = 0.0, 0.0, []
    for i in range(n):
        e1, e2 = rnd.gauss(0, 1), rnd.gauss(0, 1)
        x, y = 0.5 * x + e1, 0.3 * y + 0.4 * x * e2 + e2
        rows.append((x, y))
    return rows


def data_file(n, fmt, seed, keywords="interval=1.0", stamps=None, sep=None):
    lines = ["Seed data", f"rows={n} columns=2 {keywords} format={fmt}"]
    for i, (x, y) in enumerate(series(n, seed)):
        if sep is not None:
            lines.append(f"{x:.5f}{sep}{y:.5f}")
        elif stamps == "first":
            lines.append(f"2009-09-09 10:{i // 60 % 60:02d}:{i % 60:02d} {x:12.5f}{y:12.5f}")
        elif stamps == "last":
            lines.append(f"{x:12.5f}{y:12.5f} 2009-09-09 10:{i // 60 % 60:02d}:{i % 60:02d}")
        else:
            lines.append(f"{x:12.5f}{y:12.5f}")
    return "\n".join(lines) + "\n"


def program_seeds():
    cases = {
        "plain": (TOP.format(frame_length=24, ov=0, var_lag=1, b=0),
                  RUN.format(g="yes", unit="seconds", clip="", start=1),
                  data_file(72, "(2f12.5)", 1)),
        "overlap_p2": (TOP.format(frame_length=24, ov=12, var_lag=2, b=0),
                       RUN.format(g="no", unit="seconds", clip="clip data *\n", start=3),
                       data_file(60, "(2f12.5)", 2)),
        "bootstrap": (TOP.format(frame_length=16, ov=0, var_lag=0, b=20),
                      RUN.format(g="yes", unit="minutes", clip="", start=1),
                      data_file(48, "(2f12.5)", 3)),
        "stamp_first": (TOP.format(frame_length=12, ov=0, var_lag=1, b=0),
                        RUN.format(g="yes", unit="seconds", clip="", start=1),
                        data_file(36, "(a19,1x,2f12.5)", 4, stamps="first")),
        "stamp_last": (TOP.format(frame_length=12, ov=6, var_lag=0, b=0),
                       RUN.format(g="no", unit="seconds", clip="", start=2),
                       data_file(36, "(2f12.5,1x,a19)", 5, stamps="last")),
        "frequency": (TOP.format(frame_length=16, ov=0, var_lag=1, b=0),
                      RUN.format(g="yes", unit="frequency", clip="", start=1),
                      data_file(48, "(2f12.5)", 6, keywords="rate=10.0 unit=kHz")),
        "log": (TOP.format(frame_length=12, ov=0, var_lag=1, b=0),
                RUN.format(g="no", unit="seconds", clip="log data *\n", start=1),
                data_file(36, "(2f12.5)", 7).replace(" -", "  ")),
        "list_directed": (TOP.format(frame_length=12, ov=0, var_lag=1, b=0),
                          RUN.format(g="no", unit="seconds", clip="", start=1),
                          data_file(36, "*", 8, sep=",")),
        "two_runs": (TOP.format(frame_length=12, ov=0, var_lag=1, b=0).replace("runs=1", "runs=3") +
                     "missing.cnl *\nrun.cnl *\n",
                     RUN.format(g="yes", unit="seconds", clip="", start=1),
                     data_file(30, "(2f12.5)", 9)),
    }
    for name, (top, run, data) in cases.items():
        write("program_fuzz", name, top + "%%\n" + run + "%%\n" + data)


def fields_seeds():
    texts = {
        "ength": "frame length= 48 exponent=0.4 ",
        "onent": "lag exponent = 0.4 frame length=48 ",
        "larm": "false alarm=.05 ",
        "ows": "rows=2000 columns=2 interval=1.0 format=(2f12.5) ",
        "rmat": "rows=10 format=(a19,1x,2f12.4) unit=kHz",
        "nterval": "interval=5. rate=10.0 ",
        "R lag": "VAR lag=-3 resamples=100 ",
        "start": "start datum=  7 end datum=0 ",
        "ile name": "data file name=example.dat start datum=1 ",
    }
    for i, (search, text) in enumerate(texts.items()):
        write("fields_fuzz", f"seed{i}", search + "\n" + text)
    write("fields_fuzz", "separators", "\x01:;ength\nframe length:48;")
    # Values that are not a sign and digits: refused whatever they hold.
    not_digits = [
        ("ength", "frame length=20x overlap=0 "),
        ("R lag", "VAR lag=1. resamples=0 "),
        ("sample", "resamples=1e3 "),
        ("ows", "rows=2147483648 columns=2 "),
        ("ows", "rows=-0000000007 columns=2 "),
    ]
    for i, (search, text) in enumerate(not_digits):
        write("fields_fuzz", f"digits{i}", search + "\n" + text)


def layout_seeds():
    layouts = [
        '7X "Moving Frame" I5 2X "(" F5.1 "%)" A',
        '/ 7X "ERROR - 1/resamples > test threshold " F7.5 /',
        '700(: F6.3 2X)',
        '4X "Hxxy Threshold = " G9.4 3X SP F7.4 SS E12.4',
        '60("=")',
        '2(I3, 3(A4, :), /), T10 TL2 TR3 D9.2',
    ]
    values = b"\x00\x07\x00\x00\x00\x01\x00\x00\xc0\x7f\x02\x00\x00\x00\x00\x00\x00\xf0\x7f\x0bhello"
    for i, layout in enumerate(layouts):
        write("layout_fuzz", f"layout{i}", bytes([0]) + layout.encode() + b"\n" + values)
    formats = ["(a19,1x,2f12.4)", "(2f10.3,1x,a19)", "(3f12.4)", "(2(f8.2,1x),/,i5)",
               "(1x,a19,2f10.3)", "*", "(e12.4e2,d10.3,g9.4,t5,tr2,tl1,:)", "(f8.3/f8.3)"]
    for i, fmt in enumerate(formats):
        write("layout_fuzz", f"format{i}", bytes([1]) + fmt.encode() + b"\n")


def rows_seeds():
    def rows(columns, first, count, fmt, lines):
        return bytes([columns + 1, first - 1, count - 1]) + (fmt + "\n" + lines).encode()
    write("rows_fuzz", "plain", rows(2, 1, 4, "(2f12.5)",
                                     "     0.12345    -0.54321\n" * 5))
    write("rows_fuzz", "skip", rows(2, 3, 3, "(2f6.2)", "  1.25  2.50\n" * 6))
    write("rows_fuzz", "stamp_first", rows(2, 1, 2, "(a19,1x,2f8.3)",
                                           "2009-09-09 10:00:00    1.5     -2.25\n" * 2))
    write("rows_fuzz", "stamp_last", rows(2, 1, 2, "(2f8.3,1x,a19)",
                                          "   1.500  -2.250 2009-09-09 10:00:00\n" * 2))
    write("rows_fuzz", "spanning", rows(3, 1, 2, "(2f10.3)", "     1.000     2.000\n" * 4))
    write("rows_fuzz", "implied", rows(2, 1, 2, "(i3,e10.2,1x,d8.1,g9.3)",
                                       " 12      1234 1.5e+03 1.5D-3\n" * 2))
    write("rows_fuzz", "list", rows(2, 1, 3, "*", "1.5, -2.5\n3 4\n\n5e1\t6\n"))
    write("rows_fuzz", "numbers", rows(1, 1, 4, "(f40.0)",
                                       "3.4028235e38\n1e-45\n0.1\n340282356779733661637539395458142568448\n"))


if __name__ == "__main__":
    program_seeds()
    fields_seeds()
    layout_seeds()
    rows_seeds()
